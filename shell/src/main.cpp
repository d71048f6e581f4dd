#include "shell/calidra_app.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CCalidraApp calidra;
    if (!calidra.InitInstance()) {
        calidra.ExitInstance();
        return 1;
    }
    const int loopResult = QApplication::exec();
    const int exitCode = calidra.ExitInstance();
    return loopResult != 0 ? loopResult : exitCode;
}
