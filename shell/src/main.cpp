#include "shell/calidra_app.h"

#include "station/termination_signals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    calidra::quitOnTerminationSignals(application);
    CCalidraApp calidra;
    if (!calidra.InitInstance()) {
        calidra.ExitInstance();
        return 1;
    }
    const int loopResult = QApplication::exec();
    const int exitCode = calidra.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
