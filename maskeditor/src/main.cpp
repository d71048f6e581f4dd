// Zonara, the mask editor. Started by the station without arguments; every
// file it uses lies in its own folder.

#include "editor_files.h"
#include "single_application.h"
#include "widget.h"

#include "lifecycle/termination_signals.h"

#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    SingleApplication application(argc, argv);
    if (!application.lockInstance()) {
        return 0;
    }
    calidra::quitOnTerminationSignals(application);

    const QString folder = QCoreApplication::applicationDirPath();
    zonara::removeLeftoverMaskFiles(folder);
    // A missing translation leaves an empty translator: the English texts stay.
    QTranslator translator;
    static_cast<void>(
        translator.load(zonara::translationFilePath(folder, zonara::languageCode(QLocale::system().name()))));
    application.installTranslator(&translator);

    Widget window(folder);
    window.setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    // The dialog hint means nothing to X11 or Wayland; the fixed size does.
    window.setFixedSize(window.size());
    window.show();
    return application.exec();
}
