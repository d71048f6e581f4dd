#include "shell/calidra_app.h"

#include "station_features.h"

#include "shell/color_theme.h"
#include "shell/log_bar.h"
#include "lifecycle/folder_lock_holder.h"
#include "shell/main_frame.h"

#include "eventlog/event_log.h"
#include "settings/settings_store.h"
#include "viewbase/calidra_view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QDateTime>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

namespace {

// A view that reports from its construction, its initial update and a foreign thread.
class ReportingView : public CCalidraView {
public:
    explicit ReportingView(const calidra::ViewEnvironment& environment)
        : CCalidraView(environment.parent), log_(environment.log) {
        log_->WriteLog(calidra::LogType::Event, "written while the frame is built", 0);
    }
    void OnInitialUpdate() override {
        CCalidraView::OnInitialUpdate();
        log_->WriteLog(calidra::LogType::Information, "written during set-up", -5);
        QThread* worker = QThread::create(
            [this] { log_->WriteLog(calidra::LogType::Error, "written by a camera thread", 1); });
        worker->start();
        worker->wait();
        delete worker;
    }

private:
    calidra::LogSink* log_;
};

CCalidraView* makeReportingView(const calidra::ViewEnvironment& environment) {
    return new ReportingView(environment);
}

struct Message {
    QString caption;
    QString text;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        ASSERT_TRUE(runtime.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }

    CCalidraApp::Options options(const QString& name) {
        CCalidraApp::Options result;
        result.applicationName = name;
        result.features = calidra::stationFeatures;
        result.makeShared = calidra::makeStation;
        result.runtimeFolder = runtime.path();
        result.translationsFolder = runtime.filePath("no-translations");
        result.showMessage = [this](const QString& caption, const QString& text) {
            messages.push_back({caption, text});
        };
        return result;
    }

    QTemporaryDir config;
    QTemporaryDir runtime;
    std::vector<Message> messages;
};

TEST_F(AppTest, StartsWithTheVersionTitleAndTheDefaults) {
    CCalidraApp app(options("Calidra"));
    EXPECT_EQ(calidra::currentVisualTheme(), calidra::VisualTheme::Dark);
    EXPECT_EQ(app.GetMainWnd(), nullptr);
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.GetMainWnd();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(CCalidraApp::instance(), &app);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), "Quro-Duzu Calidra v1.0.8.0");
    EXPECT_EQ(frame->themeCombo()->currentText(), "Dark Theme");
    EXPECT_EQ(frame->activeView(), frame->views()[0]);
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(app.settingsFilePath(), config.filePath("Quro-Duzu/Calidra/Calidra.conf"));
    calidra::SettingsStore stored(app.settingsFilePath());
    EXPECT_EQ(stored.readInteger("ColorTheme", -99), 1);
    QFile file(app.settingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("[Settings]"));
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(app.GetMainWnd(), nullptr);
}

TEST_F(AppTest, ASecondCopyOfTheSameNameIsRefusedAndTouchesNothing) {
    auto firstApp = std::make_unique<CCalidraApp>(options("Calidra"));
    CCalidraApp& first = *firstApp;
    ASSERT_TRUE(first.InitInstance());
    CMainFrame* frame = first.GetMainWnd();
    const QString title = frame->windowTitle();
    const QDateTime settingsWritten = QFileInfo(first.settingsFilePath()).lastModified();

    {
        CCalidraApp second(options("Calidra"));
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(second.GetMainWnd(), nullptr);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Calidra");
    EXPECT_EQ(messages[0].text, "Calidra is already running.");
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), title);
    EXPECT_EQ(QFileInfo(first.settingsFilePath()).lastModified(), settingsWritten);

    // Another executable name is another station with its own settings.
    CCalidraApp renamed(options("Calidra-Entrance"));
    ASSERT_TRUE(renamed.InitInstance());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_NE(renamed.settingsFilePath(), first.settingsFilePath());
    renamed.GetMainWnd()->themeCombo()->setCurrentIndex(2);
    emit renamed.GetMainWnd()->themeCombo()->activated(2);
    EXPECT_EQ(calidra::SettingsStore(renamed.settingsFilePath()).readInteger("ColorTheme", -99), 2);
    EXPECT_EQ(calidra::SettingsStore(first.settingsFilePath()).readInteger("ColorTheme", -99), 1);

    // Once the first has ended, the name is free again.
    first.ExitInstance();
    firstApp.reset();
    CCalidraApp again(options("Calidra"));
    EXPECT_TRUE(again.InitInstance());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(AppTest, AStationRunningFromTheSameFolderIsRefused) {
    calidra::RunnableFolderLock headless(runtime.path()); // as calidra-headless holds it
    ASSERT_EQ(headless.claim(), calidra::InstanceClaim::First);
    CCalidraApp::Options sameFolder = options("Calidra");
    sameFolder.programFolder = runtime.path();
    CCalidraApp app(sameFolder);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.GetMainWnd(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, calidra::runnableFolderTakenMessage(runtime.path()));
    // The kernel names the holder: here this test, not calidra-headless, hence the plain message.
    const calidra::FolderLockHolder holder = calidra::findFolderLockHolder(runtime.path());
    EXPECT_EQ(holder.processId, QCoreApplication::applicationPid());
    EXPECT_EQ(holder.programName, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_EQ(calidra::findFolderLockHolder(config.path()).processId, 0);
}

// /proc as it shows calidra-headless holding folder, run by systemd or from a terminal.
void writeHeadlessProcess(const QString& processFolder, const QString& folder, const QByteArray& cgroup) {
    struct stat folderFile {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &folderFile), 0);
    const auto write = [&](const QString& name, const QByteArray& content) {
        QFile file(QDir(processFolder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    };
    write("locks", QString::asprintf("1: POSIX  ADVISORY  WRITE 17 fe:00:42 0 EOF\n"
                                     "2: FLOCK  ADVISORY  WRITE 4242 %02x:%02x:%llu 0 EOF\n",
                                     major(folderFile.st_dev), minor(folderFile.st_dev),
                                     static_cast<unsigned long long>(folderFile.st_ino))
                       .toLatin1());
    ASSERT_TRUE(QDir(processFolder).mkpath("4242"));
    write("4242/cmdline", QByteArray("/opt/calidra/calidra-headless\0", 30));
    write("4242/cgroup", cgroup);
}

TEST_F(AppTest, AHeadlessStationInTheFolderIsNamedInAMessageBoxWithWhatToDo) {
    calidra::RunnableFolderLock held(runtime.path());
    ASSERT_EQ(held.claim(), calidra::InstanceClaim::First);
    QTemporaryDir processes;
    ASSERT_TRUE(processes.isValid());
    const auto refusal = [&] {
        CCalidraApp::Options sameFolder = options("Calidra");
        sameFolder.programFolder = runtime.path();
        sameFolder.processFolder = processes.path();
        sameFolder.showMessage = nullptr; // the real message box
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        CCalidraApp app(sameFolder);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.GetMainWnd(), nullptr);
        return shown;
    };

    writeHeadlessProcess(processes.path(), runtime.path(), "0::/system.slice/calidra-headless.service\n");
    QString shown = refusal();
    EXPECT_TRUE(shown.contains("as the service calidra-headless.service")) << qPrintable(shown);
    EXPECT_TRUE(shown.contains("sudo systemctl stop calidra-headless.service")) << qPrintable(shown);
    EXPECT_TRUE(shown.contains("rtsp://127.0.0.1:8554/calidra")) << qPrintable(shown);

    writeHeadlessProcess(processes.path(), runtime.path(),
                         "1:name=systemd:/user.slice/user-1000.slice/session-2.scope\n");
    shown = refusal();
    EXPECT_TRUE(shown.contains("calidra-headless (process 4242)")) << qPrintable(shown);
    EXPECT_TRUE(shown.contains("kill 4242")) << qPrintable(shown);
    EXPECT_FALSE(shown.contains("systemctl")) << qPrintable(shown);
}

TEST_F(AppTest, OnlyEntriesWrittenOnTheGuiThreadAfterTheWindowExistsReachTheLog) {
    CCalidraApp::Options withReporter = options("Calidra");
    withReporter.features = [] {
        return std::vector<CDemoFeature>{
            {CDemoFeature::viewsGroup, 0, "Live View", makeReportingView, nullptr}};
    };
    CCalidraApp app(withReporter);
    ASSERT_TRUE(app.InitInstance());
    CLogBar* log = app.GetMainWnd()->logBar();
    ASSERT_EQ(log->rowCount(), 1);
    const QAbstractItemModel* rows = log->list()->model();
    EXPECT_EQ(rows->index(0, 1).data().toString(), "Information");
    EXPECT_EQ(rows->index(0, 2).data().toString(), "written during set-up");
    EXPECT_EQ(rows->index(0, 3).data().toString(), "-5");
    // A frame with one view still works, Forward has nowhere to go.
    EXPECT_FALSE(app.GetMainWnd()->forwardAction()->isEnabled());
}

} // namespace
