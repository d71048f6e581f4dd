// Zonara, the mask editor. Started by the station without arguments; every
// file it uses lies in its own folder.

#include "editor_files.h"
#include "editor_translations.h"
#include "single_application.h"
#include "widget.h"

#include "lifecycle/termination_signals.h"

#include <QLocale>

int main(int argc, char** argv) {
    SingleApplication application(argc, argv);
    if (!application.lockInstance()) {
        return 0;
    }
    calidra::quitOnTerminationSignals(application);

    const QString folder = QCoreApplication::applicationDirPath();
    zonara::removeLeftoverMaskFiles(folder);
    const zonara::EditorTranslations translations(folder, QLocale::system());

    Widget window(folder);
    window.setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    // The dialog hint means nothing to X11 or Wayland; the fixed size does.
    window.setFixedSize(window.size());
    window.show();
    return application.exec();
}
