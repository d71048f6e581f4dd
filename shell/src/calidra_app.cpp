#include "shell/calidra_app.h"

#include "shell/color_theme.h"
#include "shell/file_version_info.h"
#include "shell/folder_taken_message.h"
#include "shell/main_frame.h"

#include "eventlog/event_log.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <exception>

namespace {

CCalidraApp* runningApp = nullptr;

QString executableName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void showMessageBox(const QString& caption, const QString& text) {
    // Also on the terminal: a refused start is otherwise easy to miss on a busy desktop.
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok);
    box.exec();
}

} // namespace

namespace calidra {

void setVersionTitle(QWidget* mainWindow) {
    if (!mainWindow)
        return;
    CFileVersionInfo info;
    const bool loaded = info.Load();
    mainWindow->setWindowTitle(windowTitleFor(versionText(info, loaded)));
}

} // namespace calidra

CCalidraApp::CCalidraApp(Options options) : options_(std::move(options)) {
    runningApp = this;
    applicationName_ = options_.applicationName.isEmpty() ? executableName() : options_.applicationName;
    if (!options_.showMessage)
        options_.showMessage = showMessageBox;
    // Before any window exists, so that nothing is ever drawn in another theme first.
    calidra::applyVisualTheme(calidra::VisualTheme::Dark);
}

CCalidraApp::~CCalidraApp() {
    mainFrame_.reset();
    shared_.reset();
    if (runningApp == this)
        runningApp = nullptr;
}

CCalidraApp* CCalidraApp::instance() {
    return runningApp;
}

void CCalidraApp::showMessage(const QString& text) const {
    options_.showMessage(applicationName_, text);
}

bool CCalidraApp::InitInstance() {
    translations_.install(options_.translationsFolder.isEmpty() ? calidra::translationsFolder()
                                                                : options_.translationsFolder,
                          options_.interfaceLocale.value_or(QLocale::system()));

    // Before any window: a second start that runs while the first is still starting is refused too.
    const QString runtimeFolder =
        options_.runtimeFolder.isEmpty() ? calidra::userRuntimeFolder() : options_.runtimeFolder;
    singleInstance_ = std::make_unique<calidra::SingleInstance>(runtimeFolder, applicationName_);
    if (singleInstance_->claim() == calidra::InstanceClaim::AlreadyRunning) {
        showMessage(QCoreApplication::translate("CCalidraApp", "Calidra is already running."));
        return false;
    }
    // calidra-headless from the same folder would share the masks and the snapshots.
    if (!options_.programFolder.isEmpty()) {
        folderLock_ = std::make_unique<calidra::RunnableFolderLock>(options_.programFolder);
        if (folderLock_->claim() == calidra::InstanceClaim::AlreadyRunning) {
            const calidra::FolderLockHolder holder = calidra::findFolderLockHolder(
                options_.programFolder,
                options_.processFolder.isEmpty() ? QStringLiteral("/proc") : options_.processFolder);
            showMessage(calidra::folderTakenMessage(options_.programFolder, holder));
            return false;
        }
    }

    // The settings location is fixed before anything reads a setting.
    settingsFilePath_ = calidra::settingsFilePath(applicationName_);
    settings_ = std::make_unique<calidra::SettingsStore>(settingsFilePath_);

    // Entries written while the frame is still being built are dropped: no window shows them yet.
    log_ = std::make_unique<calidra::EventLog>();
    if (options_.makeShared)
        shared_ = options_.makeShared(*settings_, *log_);

    std::unique_ptr<CMainFrame> frame;
    bool created = false;
    try {
        frame = std::make_unique<CMainFrame>(
            *settings_, options_.features ? options_.features() : std::vector<CDemoFeature>{}, *log_,
            shared_.get());
        created = frame->create();
    } catch (const std::exception&) {
        // Out of memory while building the window ends start-up like any other failure.
        created = false;
    }
    if (!created) {
        frame.reset();
        showMessage(QCoreApplication::translate("CCalidraApp", "Failed to create empty document."));
        return false;
    }
    mainFrame_ = std::move(frame);
    // From now on entries reach the log pane.
    log_->setStationUp(true);

    mainFrame_->initialUpdateViews();
    calidra::setVersionTitle(mainFrame_.get());
    mainFrame_->SelectView(mainFrame_->currentViewNumber());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize();
        mainFrame_->resize(std::min(1280, available.width()), std::min(800, available.height()));
    }
    mainFrame_->show();
    mainFrame_->repaint();
    return true;
}

int CCalidraApp::ExitInstance() {
    if (log_)
        log_->setStationUp(false);
    mainFrame_.reset();
    shared_.reset();
    translations_.removeAll();
    return 0;
}
