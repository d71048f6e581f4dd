// Each reader of the alarm folder takes a snapshot's name from files/: a name the pipeline writes
// is read back to its time, listed by the Image View, removed by retention once expired, and its
// temporary file removed by the clean-up; the names it never writes are left alone (the Image View
// lists every JPEG, whoever wrote it).

#include "browser/image_viewer.h"

#include "alarmrecord/alarm_record.h"
#include "alarmrecord/snapshot_names.h"
#include "files/station_layout.h"
#include "pipeline/snapshot_writer.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <set>

namespace calidra {
namespace {

struct NameCase {
    const char* name;
    bool written;  // by the pipeline's writer, in table order; otherwise made by hand
    int sequence;  // read back by the station, at 2021-03-07 09:05:03; 0: no snapshot of it
    bool listed;   // by the Image View
    bool expired;  // removed by retention
    bool leftover; // removed by the clean-up of a killed station
};

constexpr NameCase nameCases[] = {
    {"ThermalAlarm_20210307_090503.jpg", true, 1, true, true, false},
    {"ThermalAlarm_20210307_090503-2.jpg", true, 2, true, true, false},
    {"ThermalAlarm_20210307_090503-10.jpg", false, 10, true, true, false},
    {"ThermalAlarm_20210307_090503.jpg.Ab3dE9", false, 0, false, false, true},
    {"ThermalAlarm_20210307_090503-2.jpg.x7Yz01", false, 0, false, false, true},
    {"ThermalAlarm_20210307_090503.jpg.tmp", false, 0, false, false, false},
    {"ThermalAlarm_20210307_090503.JPG", false, 0, false, false, false},
    {"ThermalAlarm_20210307_090503.jpeg", false, 0, false, false, false},
    {"ThermalAlarm_20210307_090503-1.jpg", false, 0, true, false, false},
    {"ThermalAlarm_20210307_090503-02.jpg", false, 0, true, false, false},
    {"ThermalAlarm_20210231_090503.jpg", false, 0, true, false, false}, // no such day
    {"ThermalAlarm_20210307_0905.jpg", false, 0, true, false, false},
    {"thermalalarm_20210307_090503.jpg", false, 0, true, false, false},
    {"holiday.jpg", false, 0, true, false, false},
    {"snapshot.jpg", false, 0, true, false, false},
    {"snapshot.jpg.Ab3dE9", false, 0, false, false, false}, // the live picture's, outside its folder
    {"alarms.sqlite.Ab3dE9", false, 0, false, false, false},
};

TEST(StationFileNames, WrittenNamesAreReadBackByEveryReaderAndOthersAreLeftAlone) {
    QTemporaryDir program;
    const QString alarmFolder = alarmFolderPath(program.path());
    ASSERT_TRUE(QDir().mkpath(alarmFolder));
    std::tm taken{};
    ASSERT_NE(strptime("2021-03-07 09:05:03", "%Y-%m-%d %H:%M:%S", &taken), nullptr);
    const QDateTime takenTime(QDate(2021, 3, 7), QTime(9, 5, 3));

    const cv::Mat picture(8, 8, CV_8UC3, cv::Scalar::all(128));
    for (const NameCase& row : nameCases) {
        const QString path = QDir(alarmFolder).filePath(QString::fromLatin1(row.name));
        if (row.written) {
            const std::optional<std::string> written =
                saveAlarmSnapshot(QFile::encodeName(program.path()).toStdString(), picture, true, taken).path;
            ASSERT_EQ(written.value_or(""), QFile::encodeName(path).toStdString());
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << row.name;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }

    for (const NameCase& row : nameCases) {
        const std::optional<StationSnapshotName> name =
            parseStationSnapshotName(QString::fromLatin1(row.name));
        EXPECT_EQ(name.has_value(), row.sequence > 0) << row.name;
        if (name) {
            EXPECT_EQ(name->localTime, takenTime) << row.name;
            EXPECT_EQ(name->sequence, row.sequence) << row.name;
        }
    }

    files::removeStationLeftovers(QFile::encodeName(program.path()).toStdString());
    for (const NameCase& row : nameCases)
        EXPECT_NE(QFile::exists(QDir(alarmFolder).filePath(row.name)), row.leftover) << row.name;

    std::set<std::string> listed;
    for (const SnapshotRow& row : CImageViewer::listFolder(alarmFolder + QLatin1Char('/')))
        listed.insert(row.fileName.toStdString());
    for (const NameCase& row : nameCases)
        EXPECT_EQ(listed.count(row.name), row.listed ? 1u : 0u) << row.name;

    int expired = 0;
    for (const NameCase& row : nameCases)
        expired += row.expired ? 1 : 0;
    AlarmRecord record(alarmFolder, 1);
    QSignalSpy removed(&record, &AlarmRecord::expiredSnapshotsRemoved);
    ASSERT_TRUE(removed.wait(10000));
    EXPECT_EQ(removed.at(0).at(0).toInt(), expired);
    for (const NameCase& row : nameCases)
        EXPECT_EQ(QFile::exists(QDir(alarmFolder).filePath(row.name)), !row.expired && !row.leftover)
            << row.name;
}

} // namespace
} // namespace calidra
