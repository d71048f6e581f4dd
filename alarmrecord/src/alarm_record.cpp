#include "alarmrecord/alarm_record.h"

#include "alarm_record_writer.h"

#include "alarmrecord/snapshot_names.h"

#include "threadaffinity/thread_affinity.h"

#include <QFileInfo>
#include <QThread>

#include <utility>

namespace calidra {
namespace {

// True when value is the new highest.
bool becomesHighest(std::atomic<double>& highest, double value) {
    double current = highest.load();
    do {
        if (value <= current)
            return false;
    } while (!highest.compare_exchange_weak(current, value));
    return true;
}

} // namespace

AlarmRecord::AlarmRecord(const QString& alarmFolder, int keepDays, QObject* parent, AlarmRecordTimes times)
    : QObject(parent), alarmFolder_(alarmFolder) {
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("alarm record"));
    writer_ = new AlarmRecordWriter(alarmFolder_, keepDays, times);
    writer_->moveToThread(thread_);
    connect(thread_, &QThread::finished, writer_, &QObject::deleteLater);
    // Relayed so that both arrive on the owner's thread.
    connect(writer_, &AlarmRecordWriter::failed, this, &AlarmRecord::recordFailed);
    connect(writer_, &AlarmRecordWriter::expiredRemoved, this, &AlarmRecord::expiredSnapshotsRemoved);
    thread_->start();
    post([writer = writer_] { writer->start(); });
}

AlarmRecord::~AlarmRecord() {
    const QDateTime now = QDateTime::currentDateTime();
    QMetaObject::invokeMethod(
        writer_, [writer = writer_, now] { writer->finish(now); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

QString AlarmRecord::databasePath() const {
    return alarmRecordPath(alarmFolder_);
}

template <typename Work> void AlarmRecord::post(Work&& work) {
    QMetaObject::invokeMethod(writer_, std::forward<Work>(work), Qt::QueuedConnection);
}

void AlarmRecord::alarmOn(const QDateTime& time, std::optional<double> referenceCorrectionCelsius,
                          std::optional<double> thresholdCelsius) {
    highestOfEpisode_.store(noReadingYet);
    post([writer = writer_, time, values = EpisodeValues{referenceCorrectionCelsius, thresholdCelsius}] {
        writer->beginEpisode(time, values);
    });
}

void AlarmRecord::noteReading(double celsius) {
    if (!becomesHighest(highestOfEpisode_, celsius))
        return;
    post([writer = writer_, celsius] { writer->raiseHighest(celsius); });
}

void AlarmRecord::snapshotSaved(const QString& filePath, double highestCelsius) {
    const QString fileName = QFileInfo(filePath).fileName();
    const std::optional<StationSnapshotName> name = parseStationSnapshotName(fileName);
    const QDateTime time = name ? name->localTime : QDateTime::currentDateTime();
    becomesHighest(highestOfEpisode_, highestCelsius);
    post([writer = writer_, fileName, time, highestCelsius] {
        writer->addSnapshot(fileName, time, highestCelsius);
    });
}

void AlarmRecord::alarmOff(const QDateTime& time) {
    post([writer = writer_, time] { writer->endEpisode(time); });
}

void AlarmRecord::personFinished(const PersonEntry& person) {
    post([writer = writer_, person] { writer->addPerson(person); });
}

void AlarmRecord::setKeepDays(int days) {
    post([writer = writer_, days] { writer->setKeepDays(days); });
}

void AlarmRecord::removeExpiredNow() {
    post([writer = writer_] { writer->removeExpired(); });
}

void AlarmRecord::waitUntilWritten() {
    requireOtherThread(thread_, Q_FUNC_INFO);
    QMetaObject::invokeMethod(
        writer_, [] {}, Qt::BlockingQueuedConnection);
}

} // namespace calidra
