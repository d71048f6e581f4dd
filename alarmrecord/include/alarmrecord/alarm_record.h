#pragma once
// The alarm record of a running station: one row per alarm episode (start, end, highest reading,
// number of snapshots, threshold) and one per snapshot, in <alarm folder>/alarms.sqlite, plus the removal of
// snapshots older than the kept number of days.
//
// Everything is written on the record's own thread: the methods below may be called from any
// thread, the camera's frame thread included, and return at once. Rows that cannot be written now
// (the file locked by another program, read-only, a full disk) wait in order and are tried again
// every retry interval; the first problem is reported once through recordFailed. A damaged file is
// moved aside and a new record started.

#include "alarmrecord/person_entry.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <optional>

class QThread;

namespace calidra {

class AlarmRecordWriter;

// AlarmKeepDays: 0 keeps every snapshot.
inline constexpr int defaultAlarmKeepDays = 0;

struct AlarmRecordTimes {
    // How long one write waits for another program (the image list, an export) to let go. It waits
    // on the record's own thread, where nobody else is held up.
    int busyTimeoutMs = defaultBusyTimeoutMs;
    static constexpr int defaultBusyTimeoutMs = 10000;
    // How soon rows that could not be written are tried again.
    int retryIntervalMs = 5000;
};

class AlarmRecord : public QObject {
    Q_OBJECT
public:
    // alarmFolder: the ThermalAlarm folder of the station. An existing record is opened at once
    // and episodes left open by a killed station are closed; a missing one is made by the first
    // episode. With keepDays above 0 old snapshots are removed now and every hour.
    explicit AlarmRecord(const QString& alarmFolder, int keepDays = defaultAlarmKeepDays,
                         QObject* parent = nullptr, AlarmRecordTimes times = {});
    // Ends an episode still open at this moment and waits for the writes asked for so far.
    ~AlarmRecord() override;

    const QString& alarmFolder() const { return alarmFolder_; }
    QString databasePath() const;

    // The alarm went on: a new episode starts (an open one ends first). In temperature mode
    // Reference the correction then in force is kept with it (reference_correction_celsius), and
    // always the alarm threshold the regions were compared with (threshold_celsius).
    void alarmOn(const QDateTime& time, std::optional<double> referenceCorrectionCelsius = std::nullopt,
                 std::optional<double> thresholdCelsius = std::nullopt);
    // The highest region temperature of a frame during the alarm. Cheap enough for every frame:
    // only a reading above the highest so far reaches the writer.
    void noteReading(double celsius);
    // A snapshot was written to filePath; highestCelsius is the highest region temperature of its
    // frame. Its time is read from the station's file name (with or without a "-N" suffix), else
    // it is now.
    void snapshotSaved(const QString& filePath, double highestCelsius);
    // The alarm went off: the open episode ends.
    void alarmOff(const QDateTime& time);
    // A person was finished: one row of the people table.
    void personFinished(const PersonEntry& person);

    // AlarmKeepDays changed: a value above 0 removes old snapshots at once and then every hour.
    void setKeepDays(int days);
    // One removal run now (with the current keepDays), e.g. on the station's own schedule.
    void removeExpiredNow();

    // Blocks until everything asked for before has been written, or waits to be tried again. Never
    // from the writer thread.
    void waitUntilWritten();

signals:
    // Emitted on the thread that owns this object, at most once in its life: the record could not
    // be opened or written. message is a whole sentence naming the file and the database's reason.
    void recordFailed(const QString& message);
    // After every removal run (keepDays above 0), on the owner thread: the number of snapshot
    // files removed and of those that could not be removed. Record rows go with them.
    void expiredSnapshotsRemoved(int filesRemoved, int filesNotRemoved);

private:
    template <typename Work> void post(Work&& work);

    const QString alarmFolder_;
    QThread* thread_ = nullptr;
    AlarmRecordWriter* writer_ = nullptr; // lives on thread_, deleted there
    static constexpr double noReadingYet = -1e9;
    std::atomic<double> highestOfEpisode_{noReadingYet}; // filters readings before they are posted
};

} // namespace calidra
