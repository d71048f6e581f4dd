// Run with LANG=ko_KR.UTF-8: every text the operator reads is Korean; the log's entries, which
// also go to calidra-headless and the site's desk, stay as written.

#include "shell/calidra_app.h"

#include "station_features.h"

#include "eventlog/alarm_entries.h"
#include "eventlog/event_log.h"
#include "shell/log_bar.h"
#include "shell/main_frame.h"
#include "shell/views_bar.h"

#include "browser/image_viewer.h"
#include "liveview/live_viewer.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QDir>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(KoreanDesktop, TheMainWindowSpeaksKorean) {
    ASSERT_EQ(QLocale::system().language(), QLocale::Korean) << "run with LANG=ko_KR.UTF-8";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("XDG_CONFIG_HOME", folder.filePath("config").toUtf8());

    CCalidraApp::Options options;
    options.applicationName = "Calidra";
    options.features = calidra::stationFeatures;
    options.makeShared = calidra::makeStation;
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
    // The alarm's entries are the pane's own words; the entry keeps the English.
    for (const calidra::LogText& alarm : {calidra::alarmOnLogText(38.3, "°C"), calidra::alarmOffLogText()})
        app.log().WriteLog(calidra::LogType::Event, alarm.written, 0, alarm.shown);
    const int last = rows->rowCount() - 1;
    EXPECT_EQ(rows->index(last - 1, 2).data().toString(), QString::fromUtf8("알람 켜짐: 38.3 °C"));
    EXPECT_EQ(rows->index(last, 2).data().toString(), QString::fromUtf8("알람 꺼짐"));
    EXPECT_EQ(app.log().model().entry(last - 1).message, "Alarm on: 38.3 °C");

    EXPECT_EQ(frame->themeCombo()->itemText(1), QString::fromUtf8("어두운 테마"));
    EXPECT_EQ(frame->viewsBar()->windowTitle(), QString::fromUtf8("화면"));
    const QAbstractItemModel* views = frame->viewsBar()->tree()->model();
    EXPECT_EQ(views->index(0, 0).data().toString(), QString::fromUtf8("화면"));
    EXPECT_EQ(views->index(0, 0, views->index(0, 0)).data().toString(), QString::fromUtf8("실시간 보기"));
    EXPECT_EQ(views->index(2, 0, views->index(0, 0)).data().toString(), QString::fromUtf8("통계"));
    EXPECT_EQ(frame->menuBar()->actions().value(0)->text(), QString::fromUtf8("파일(&F)"));
    EXPECT_EQ(frame->exitAction()->text(), QString::fromUtf8("끝내기(&X)"));
    EXPECT_EQ(frame->viewStatusPane()->text(), QString::fromUtf8("카메라 없음"));
    EXPECT_EQ(frame->windowTitle(), "Quro-Duzu Calidra v1.0.8.0");

    auto* live = qobject_cast<calidra::CLiveViewer*>(frame->views()[0]);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->pane()->findChild<QGroupBox*>()->title(), QString::fromUtf8("옵션 :"));
    EXPECT_EQ(live->pane()->findChild<QPushButton*>("applyButton")->text(), QString::fromUtf8("적용"));
    EXPECT_EQ(live->pane()->findChild<QPushButton*>("ipSettingButton")->text(), QString::fromUtf8("IP 설정"));
    EXPECT_EQ(live->pane()->findChild<QComboBox*>("alarmTypeList")->itemText(0), QString::fromUtf8("알람1"));
    EXPECT_EQ(live->pictureArea()->signalText(), QString::fromUtf8("카메라를 찾는 중…"));
    EXPECT_EQ(live->pane()->findChild<QComboBox*>("modeList")->itemText(3), QString::fromUtf8("기준체 보정"));
    EXPECT_EQ(live->pane()->findChild<QComboBox*>("alarmModeList")->itemText(1), QString::fromUtf8("기준선"));
    EXPECT_EQ(live->pane()->findChild<QPushButton*>("resetBaselineButton")->text(),
              QString::fromUtf8("기준선 초기화"));
    live->screeningNotice()->setReferenceState(calidra::ReferenceState::Lost);
    EXPECT_EQ(live->screeningNotice()->text(), QString::fromUtf8("기준체를 잃음 — 검사 일시 중지"));
    live->screeningNotice()->setReferenceState(calidra::ReferenceState::Searching);
    EXPECT_EQ(live->screeningNotice()->text(), QString::fromUtf8("기준체를 찾는 중…"));
    EXPECT_EQ(live->pane()->findChild<QLabel*>("peopleToday")->text(),
              QString::fromUtf8("오늘 인원: 0 · 알람: 0"));
    auto* images = qobject_cast<calidra::CImageViewer*>(frame->views()[1]);
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(images->list()->horizontalHeaderItem(1)->text(), QString::fromUtf8("파일 이름"));

    // Qt's own dialogs too: the Export file dialog, and the buttons of a message box.
    QFileDialog exportDialog(frame, "Export");
    exportDialog.setOption(QFileDialog::DontUseNativeDialog);
    exportDialog.setAcceptMode(QFileDialog::AcceptSave);
    ASSERT_NE(exportDialog.findChild<QLabel*>("fileTypeLabel"), nullptr);
    EXPECT_EQ(exportDialog.findChild<QLabel*>("fileTypeLabel")->text(), QString::fromUtf8("파일 형식:"));
    QMessageBox box(QMessageBox::Warning, "Export", "", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QString::fromUtf8("취소"));
}

} // namespace
