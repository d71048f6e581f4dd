// Plays a station that is killed during an alarm: it records the start of an episode, a reading
// and two snapshots, says "written" and waits to be killed (it gives up after a minute).

#include "alarmrecord/alarm_record.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ALARM_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    calidra::AlarmRecord record(folder);
    record.alarmOn(QDateTime(QDate(2021, 3, 7), QTime(9, 5, 0)));
    record.noteReading(37.9);
    record.snapshotSaved(QDir(folder).filePath("ThermalAlarm_20210307_090501.jpg"), 38.4);
    record.snapshotSaved(QDir(folder).filePath("ThermalAlarm_20210307_090503.jpg"), 38.1);
    record.waitUntilWritten();
    std::printf("written\n");
    std::fflush(stdout);
    QThread::sleep(60);
    return 1;
}
