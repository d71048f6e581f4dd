#include "siteevents/pending_alarm_queue.h"

#include "password_file.h"
#include "siteevents/site_events_messages.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace calidra {
namespace {

QList<QByteArray> payloads(const PendingAlarmQueue& queue) {
    QList<QByteArray> list;
    for (const PendingAlarmQueue::Message& message : queue.messages())
        list << message.payload;
    return list;
}

TEST(PendingAlarmQueueTest, KeepsTheNewestInOrderAcrossReopeningAndIgnoresACutOffLine) {
    QTemporaryDir folder;
    const QString path = folder.filePath("ThermalAlarm/pending"); // the folder does not exist yet
    {
        PendingAlarmQueue queue(path, 3);
        ASSERT_TRUE(queue.open());
        int dropped = 0;
        for (int number = 1; number <= 5; ++number)
            dropped += queue.push(QByteArray::number(number));
        EXPECT_EQ(dropped, 2);
        EXPECT_EQ(payloads(queue), QList<QByteArray>({"3", "4", "5"}));
        queue.messages()[0].messageId = 17;
        EXPECT_FALSE(queue.acknowledge(18));
        EXPECT_TRUE(queue.acknowledge(17));
        EXPECT_TRUE(queue.fileError().isEmpty());
    }
    // A kill in the middle of a write leaves a line without its end: it never counted.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("-4\n+99 {\"alarm\":tr");
    file.close();

    PendingAlarmQueue reopened(path, 3);
    ASSERT_TRUE(reopened.open());
    EXPECT_EQ(payloads(reopened), QList<QByteArray>({"5"}));
    reopened.push("6");
    EXPECT_EQ(reopened.messages().back().number, 6u);
}

TEST(PendingAlarmQueueTest, JournalStaysSmallWhileMessagesComeAndGo) {
    QTemporaryDir folder;
    const QString path = folder.filePath("pending");
    PendingAlarmQueue queue(path, 1000);
    ASSERT_TRUE(queue.open());
    for (int round = 1; round <= 500; ++round) {
        queue.push("{\"alarm\":true}");
        queue.messages().front().messageId = round;
        ASSERT_TRUE(queue.acknowledge(round));
    }
    EXPECT_LT(QFile(path).size(), 100 * 20);
    PendingAlarmQueue reopened(path, 1000);
    ASSERT_TRUE(reopened.open());
    EXPECT_TRUE(reopened.messages().empty());
}

TEST(PendingAlarmQueueTest, AFileThatCannotBeWrittenKeepsTheMessagesInMemory) {
    QTemporaryDir folder;
    QFile blocker(folder.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PendingAlarmQueue queue(folder.filePath("not-a-folder/pending"), 10);
    EXPECT_FALSE(queue.open());
    EXPECT_FALSE(queue.fileError().isEmpty());
    queue.push("1");
    EXPECT_EQ(payloads(queue), QList<QByteArray>({"1"}));
}

// A journal written by someone else reaches the broker only with entries the station could have
// written: well-formed alarms, not from the future.
TEST(PendingAlarmQueueTest, TamperedJournalEntriesAreRefused) {
    QTemporaryDir folder;
    const QString path = folder.filePath("pending");
    const QDateTime now = QDateTime::currentDateTime();
    SiteAlarmEpisode episode{now.addSecs(-30), now.addSecs(-20), 38.2, {"ThermalAlarm_1.jpg"}};
    const QByteArray real = alarmPayload(episode, false);
    SiteAlarmEpisode future{now.addDays(1), QDateTime(), 38.2, {}};
    SiteAlarmEpisode backwards{now.addSecs(-10), now.addSecs(-20), 38.2, {}};
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("+1 " + real + "\n+2 {\"alarm\":true\n+3 " + alarmPayload(future, true) + "\n+4 " +
               alarmPayload(backwards, false) + "\n+5 [1,2]\n+6 " + alarmPayload(episode, true) + "\n");
    file.close();

    PendingAlarmQueue queue(path, 10);
    ASSERT_TRUE(
        queue.open([&](const QByteArray& payload) { return isJournalledAlarmPayload(payload, now); }));
    EXPECT_EQ(payloads(queue), QList<QByteArray>({real, alarmPayload(episode, true)}));
    EXPECT_EQ(queue.refusedEntries(), 4);
}

// A FIFO as the journal or as the password file is refused at once, never waited on or replaced.
TEST(PendingAlarmQueueTest, FifosInPlaceOfTheFilesAreNeitherWaitedOnNorReplaced) {
    QTemporaryDir folder;
    const QString journal = folder.filePath("pending");
    const QString password = folder.filePath("password");
    for (const QString& path : {journal, password})
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    PendingAlarmQueue queue(journal, 10);
    EXPECT_FALSE(queue.open());
    EXPECT_TRUE(queue.fileError().contains("not a regular file")) << queue.fileError().toStdString();
    queue.push("1");
    EXPECT_EQ(payloads(queue), QList<QByteArray>({"1"}));

    const PasswordFileResult read = readPasswordFile(password);
    EXPECT_FALSE(read.usable);
    EXPECT_TRUE(read.problem.contains("is not a file")) << read.problem.toStdString();
    for (const QString& path : {journal, password}) {
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
        EXPECT_TRUE(S_ISFIFO(status.st_mode)) << path.toStdString();
    }
}

} // namespace
} // namespace calidra
