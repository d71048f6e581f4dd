#pragma once
// The station's event log: entries appended on the thread that owns it, kept for the whole run
// and shown by the log pane through the table model. No GUI library is needed here.

#include "eventlog/log_sink.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <vector>

namespace calidra {

struct LogEntry {
    QString timeText; // local time when added, "yyyy-mm-dd hh:mm:ss.mmm"
    LogType type = LogType::Event;
    QString message; // as written: what calidra-headless prints and the site is sent
    int code = 0;
    QString shownMessage; // the pane's text in the interface language; empty: message
};

// "Error", "Event" or "Information"; the number itself for any other value.
QString logTypeName(LogType type);
QString logTimeText(const QDateTime& localTime);
// The time text of this moment, cheap enough for bursts of entries.
QString currentLogTimeText();

// Rows are only ever appended; one plain record per row keeps a million rows cheap.
class EventLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, TypeColumn, MessageColumn, ReturnColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(LogEntry entry);
    // An entry stamped with the current local time.
    void appendNow(LogType type, const QString& message, int code, const QString& shownMessage = {});
    const LogEntry& entry(int row) const { return entries_[std::size_t(row)]; }

private:
    std::vector<LogEntry> entries_;
};

class EventLog : public QObject, public LogSink {
    Q_OBJECT
public:
    explicit EventLog(QObject* parent = nullptr);

    // Until the station's window is up, entries are dropped: nobody could see them.
    void setStationUp(bool up) { stationUp_.store(up); }
    bool stationUp() const { return stationUp_.load(); }

    // Accepted only on the owner thread and once the station is up; anything else is dropped.
    void WriteLog(LogType type, const QString& message, int code) override;
    // The same, with the text the pane shows in the interface language.
    void WriteLog(LogType type, const QString& message, int code, const QString& shownMessage);

    // For the camera library's device notifications, which arrive on its own threads: the entry
    // is handed to the owner thread and written there under the same rules.
    void handToOwner(LogType type, const QString& message, int code);

    EventLogModel& model() { return model_; }
    const EventLogModel& model() const { return model_; }

signals:
    // Once per appended row, however it was appended (also the pane's own entries).
    void entryAdded(int row);

private:
    EventLogModel model_;
    std::atomic<bool> stationUp_{false};
};

} // namespace calidra

Q_DECLARE_METATYPE(calidra::LogEntry)
