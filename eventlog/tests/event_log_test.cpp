#include "eventlog/event_log.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <time.h>

#include <thread>
#include <vector>

namespace calidra {
namespace {

class EventLogTest : public ::testing::Test {
protected:
    QString cell(int row, int column) const {
        return log.model().data(log.model().index(row, column), Qt::DisplayRole).toString();
    }
    EventLog log;
};

TEST_F(EventLogTest, EntriesBeforeTheStationIsUpAreDropped) {
    log.WriteLog(LogType::Event, "Device has been added.", 0);
    EXPECT_EQ(log.model().rowCount(), 0);
    log.setStationUp(true);
    log.WriteLog(LogType::Event, "Device has been added.", 0);
    EXPECT_EQ(log.model().rowCount(), 1);
}

TEST_F(EventLogTest, RowsShowTypeMessageAndCodeAsGiven) {
    log.setStationUp(true);
    const QString longText(2000, QLatin1Char('x'));
    log.WriteLog(LogType::Error, "svkOpen Failed", -5);
    log.WriteLog(LogType::Event, "Retry Acquisition.", 0);
    log.WriteLog(LogType::Information, longText, 7);
    ASSERT_EQ(log.model().rowCount(), 3);
    EXPECT_EQ(cell(0, 1), "Error");
    EXPECT_EQ(cell(0, 2), "svkOpen Failed");
    EXPECT_EQ(cell(0, 3), "-5");
    EXPECT_EQ(cell(1, 1), "Event");
    EXPECT_EQ(cell(1, 3), "0");
    EXPECT_EQ(cell(2, 1), "Information");
    EXPECT_EQ(cell(2, 2), longText);
    EXPECT_EQ(log.model().columnCount(), 4);
    EXPECT_EQ(log.model().headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Return");
}

TEST_F(EventLogTest, TimeTextHasMillisecondsAndSameMillisecondEntriesKeepTheirOrder) {
    EXPECT_EQ(logTimeText(QDateTime(QDate(2020, 3, 5), QTime(14, 7, 9, 42))), "2020-03-05 14:07:09.042");
    log.setStationUp(true);
    for (int index = 0; index < 50; ++index)
        log.WriteLog(LogType::Event, QString::number(index), index);
    for (int index = 0; index < 50; ++index)
        ASSERT_EQ(cell(index, 2), QString::number(index));
    EXPECT_EQ(cell(0, 0).size(), 23);
    EXPECT_LE(cell(0, 0), cell(49, 0));
}

TEST_F(EventLogTest, TimeTextIsTheLocalWallClock) {
    // Texts of one format compare like the times they name.
    qputenv("TZ", "Asia/Seoul");
    tzset();
    const QString before = logTimeText(QDateTime::currentDateTime());
    const QString now = currentLogTimeText();
    const QString after = logTimeText(QDateTime::currentDateTime());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    qunsetenv("TZ");
    tzset();
}

TEST_F(EventLogTest, EveryAppendedRowIsAnnounced) {
    std::vector<int> announced;
    QObject::connect(&log, &EventLog::entryAdded, [&](int row) {
        announced.push_back(row);
        EXPECT_EQ(log.model().entry(row).message, QString::number(row)); // already readable
    });
    log.model().appendNow(LogType::Information, "0", 3); // the pane's own entries count too
    log.setStationUp(true);
    log.WriteLog(LogType::Error, "1", -1);
    log.setStationUp(false);
    log.WriteLog(LogType::Error, "dropped", -1);
    EXPECT_EQ(announced, (std::vector<int>{0, 1}));
}

TEST_F(EventLogTest, OtherThreadsAreDroppedUnlessHandedToTheOwner) {
    log.setStationUp(true);
    int added = 0;
    QObject::connect(&log, &EventLog::entryAdded, [&](int row) { added = row + 1; });
    std::thread cameraThread([&] {
        log.WriteLog(LogType::Event, "dropped", 0);
        log.handToOwner(LogType::Event, "Selected camera was unplugged.", 0);
    });
    cameraThread.join();
    EXPECT_EQ(log.model().rowCount(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(log.model().rowCount(), 1);
    EXPECT_EQ(cell(0, 2), "Selected camera was unplugged.");
    EXPECT_EQ(added, 1);

    // Handed over before the station is up: still dropped on arrival.
    log.setStationUp(false);
    std::thread early([&] { log.handToOwner(LogType::Event, "Device has been added.", 0); });
    early.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.model().rowCount(), 1);
}

TEST_F(EventLogTest, AMillionRowsAreAllKept) {
    log.setStationUp(true);
    for (int index = 0; index < 1000000; ++index)
        log.WriteLog(LogType::Event, QStringLiteral("Retry Acquisition."), index);
    ASSERT_EQ(log.model().rowCount(), 1000000);
    EXPECT_EQ(cell(999999, 3), "999999");
}

} // namespace
} // namespace calidra
