#pragma once
// The application object: one running copy per application name, the settings location, the main
// window and its views, in the order the station starts up.

#include "shell/demo_features.h"
#include "lifecycle/runnable_folder_lock.h"
#include "lifecycle/single_instance.h"
#include "shell/translations.h"

#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CMainFrame;

namespace calidra {
class SettingsSection;
class SettingsStore;
class EventLog;
} // namespace calidra

class CCalidraApp {
public:
    // Where start-up looks for things; empty members take the program's defaults.
    struct Options {
        QString applicationName;    // default: the executable's file name
        QString runtimeFolder;      // default: the user's runtime folder
        QString programFolder;      // the runnable folder, held against a second station; empty: not held
        QString processFolder;      // default: /proc, where the kernel names who holds that folder
        QString translationsFolder; // default: translations/ beside the program
        std::optional<QLocale> interfaceLocale;              // default: the user's interface language
        std::function<std::vector<CDemoFeature>()> features; // the views; none without it
        // What the views share, made once the settings and the log exist and before the main
        // window; it goes after the main window. None without it.
        std::function<std::unique_ptr<QObject>(calidra::SettingsSection&, calidra::EventLog&)> makeShared;
        // Shows a message box; tests record the text instead.
        std::function<void(const QString& caption, const QString& text)> showMessage;
    };

    // Selects the dark theme before any window exists. Needs a QApplication.
    explicit CCalidraApp(Options options = {});
    ~CCalidraApp();
    CCalidraApp(const CCalidraApp&) = delete;
    CCalidraApp& operator=(const CCalidraApp&) = delete;

    // False ends the program at once: a copy is already running, or the main window could not be
    // built (a message box says which).
    bool InitInstance();
    // The program's exit code after the main window has closed.
    int ExitInstance();

    static CCalidraApp* instance();
    // The main window once start-up has made it; nullptr before and after.
    CMainFrame* GetMainWnd() const { return mainFrame_.get(); }

    QString applicationName() const { return applicationName_; }
    QString settingsFilePath() const { return settingsFilePath_; }
    calidra::EventLog& log() const { return *log_; }

private:
    void showMessage(const QString& text) const;

    Options options_;
    QString applicationName_;
    QString settingsFilePath_;
    std::unique_ptr<calidra::SingleInstance> singleInstance_;
    std::unique_ptr<calidra::RunnableFolderLock> folderLock_;
    calidra::InstalledTranslations translations_;
    std::unique_ptr<calidra::SettingsStore> settings_;
    std::unique_ptr<calidra::EventLog> log_;
    std::unique_ptr<QObject> shared_; // outlives the main window and its views
    std::unique_ptr<CMainFrame> mainFrame_;
};

namespace calidra {

// Sets "Quro-Duzu Calidra v<FileVersion>" from the program's version record on the main window.
void setVersionTitle(QWidget* mainWindow);

} // namespace calidra
