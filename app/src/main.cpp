// Calidra: the screening station with its window.

#include "station_features.h"

#include "shell/calidra_app.h"

#include "lifecycle/termination_signals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    calidra::quitOnTerminationSignals(application);
    CCalidraApp::Options options;
    options.features = calidra::stationFeatures;
    options.makeShared = calidra::makeStation;
    options.programFolder = QCoreApplication::applicationDirPath();
    CCalidraApp calidra(options);
    if (!calidra.InitInstance()) {
        calidra.ExitInstance();
        return 1;
    }
    const int loopResult = QApplication::exec();
    const int exitCode = calidra.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
