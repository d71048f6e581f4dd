#include "shell/log_bar.h"

#include "eventlog/event_log.h"

#include <QApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

using calidra::LogType;

QString cell(const CLogBar& pane, int row, int column) {
    return pane.list()->model()->index(row, column).data().toString();
}

bool rowVisible(const CLogBar& pane, int row) {
    const QRect shown = pane.list()->viewport()->rect();
    const QRect place = pane.list()->visualRect(pane.list()->model()->index(row, 0));
    return place.isValid() && shown.intersects(place);
}

class LogBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        pane.resize(700, 200);
        pane.show();
    }
    calidra::EventLog log;
    CLogBar pane{log};
};

TEST_F(LogBarTest, ListHasTheFourColumnsOfTheLog) {
    EXPECT_EQ(pane.windowTitle(), "Log");
    const QAbstractItemModel* rows = pane.list()->model();
    ASSERT_EQ(rows->columnCount(), 4);
    EXPECT_EQ(rows->headerData(0, Qt::Horizontal).toString(), "Time");
    EXPECT_EQ(rows->headerData(1, Qt::Horizontal).toString(), "Type");
    EXPECT_EQ(rows->headerData(2, Qt::Horizontal).toString(), "Message");
    EXPECT_EQ(rows->headerData(3, Qt::Horizontal).toString(), "Return");
    const QHeaderView* columns = pane.list()->horizontalHeader();
    // Wide enough for the milliseconds in the list's font, never narrower than 160.
    EXPECT_GE(columns->sectionSize(0), 160);
    EXPECT_GT(columns->sectionSize(0),
              pane.list()->fontMetrics().horizontalAdvance("2020-03-05 14:07:09.042") + 8);
    EXPECT_EQ(columns->sectionSize(1), 80);
    EXPECT_EQ(columns->sectionSize(2), 380);
    EXPECT_EQ(columns->sectionSize(3), 50);
    EXPECT_TRUE(columns->defaultAlignment() & Qt::AlignLeft);
    EXPECT_TRUE(pane.list()->showGrid());
    EXPECT_EQ(pane.list()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(pane.rowCount(), 0);
}

TEST_F(LogBarTest, EntriesAppearInCallOrderWithTypeNameAndSignedCode) {
    pane.AddLogEntry(LogType::Error, "svkOpen Failed", -5);
    pane.AddLogEntry(LogType::Event, "Device has been added.", 0);
    pane.AddLogEntry(LogType::Information, "cam-7 Camera open error.", 3);
    ASSERT_EQ(pane.rowCount(), 3);
    EXPECT_EQ(cell(pane, 0, 1), "Error");
    EXPECT_EQ(cell(pane, 0, 2), "svkOpen Failed");
    EXPECT_EQ(cell(pane, 0, 3), "-5");
    EXPECT_EQ(cell(pane, 1, 1), "Event");
    EXPECT_EQ(cell(pane, 1, 3), "0");
    EXPECT_EQ(cell(pane, 2, 1), "Information");

    const QRegularExpression timeText("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}$");
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(timeText.match(cell(pane, row, 0)).hasMatch()) << qPrintable(cell(pane, row, 0));
    // Entries of one moment keep their order; times never run backwards down the list.
    EXPECT_LE(cell(pane, 0, 0), cell(pane, 1, 0));
    EXPECT_LE(cell(pane, 1, 0), cell(pane, 2, 0));
}

TEST_F(LogBarTest, LongMessageIsKeptWhole) {
    const QString message = QString("Selected camera was unplugged. ").repeated(40);
    pane.AddLogEntry(LogType::Event, message, 0);
    EXPECT_EQ(cell(pane, 0, 2), message);
    EXPECT_EQ(pane.list()->horizontalHeader()->sectionSize(2), 380);
}

TEST_F(LogBarTest, NewestOfManyEntriesIsLastAndScrolledIntoView) {
    constexpr int entries = 100000;
    for (int index = 0; index < entries; ++index)
        pane.AddLogEntry(LogType::Event, QString("entry %1").arg(index), index);
    QApplication::processEvents();
    ASSERT_EQ(pane.rowCount(), entries);
    EXPECT_EQ(cell(pane, entries - 1, 2), "entry 99999");
    EXPECT_EQ(cell(pane, 0, 2), "entry 0");
    EXPECT_TRUE(rowVisible(pane, entries - 1));
    EXPECT_FALSE(rowVisible(pane, 0));

    // One more after the operator scrolled up still brings the newest row back.
    pane.list()->scrollToTop();
    pane.AddLogEntry(LogType::Error, "svkSetAcquisition Failed.", -2);
    QApplication::processEvents();
    EXPECT_TRUE(rowVisible(pane, entries));
}

} // namespace
