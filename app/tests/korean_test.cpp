// Run with LANG=ko_KR.UTF-8: the string-table texts follow the language, the code's own texts stay.

#include "shell/calidra_app.h"

#include "station_features.h"

#include "shell/log_bar.h"
#include "shell/main_frame.h"
#include "shell/views_bar.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(KoreanDesktop, LogPaneFollowsTheLanguageThemeAndViewNamesStayEnglish) {
    ASSERT_EQ(QLocale::system().language(), QLocale::Korean) << "run with LANG=ko_KR.UTF-8";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("XDG_CONFIG_HOME", folder.filePath("config").toUtf8());

    CCalidraApp::Options options;
    options.applicationName = "Calidra";
    options.features = calidra::stationFeatures;
    options.runtimeFolder = folder.path();
    options.translationsFolder = QDir(qEnvironmentVariable("CALIDRA_RUNTIME_DIR")).filePath("translations");
    CCalidraApp app(options);
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.GetMainWnd();

    CLogBar* log = frame->logBar();
    EXPECT_EQ(log->windowTitle(), QString::fromUtf8("로그"));
    const QAbstractItemModel* rows = log->list()->model();
    EXPECT_EQ(rows->headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("시간"));
    EXPECT_EQ(rows->headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("타입"));
    EXPECT_EQ(rows->headerData(2, Qt::Horizontal).toString(), QString::fromUtf8("메시지"));
    EXPECT_EQ(rows->headerData(3, Qt::Horizontal).toString(), QString::fromUtf8("리턴값"));

    log->AddLogEntry(calidra::LogType::Event, "Device has been added.", 0);
    EXPECT_EQ(rows->index(0, 1).data().toString(), "Event");

    EXPECT_EQ(frame->themeCombo()->itemText(1), "Dark Theme");
    EXPECT_EQ(frame->viewsBar()->windowTitle(), "Views");
    EXPECT_EQ(frame->viewsBar()->tree()->model()->index(0, 0).data().toString(), "Views");
    EXPECT_EQ(frame->windowTitle(), "Quro-Duzu Calidra v1.0.8.0");
}

} // namespace
