#include "eventlog/event_log.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <time.h>

#include <cstdio>

namespace calidra {

QString logTypeName(LogType type) {
    switch (type) {
    case LogType::Error:
        return QStringLiteral("Error");
    case LogType::Event:
        return QStringLiteral("Event");
    case LogType::Information:
        return QStringLiteral("Information");
    }
    return QString::number(static_cast<int>(type));
}

QString logTimeText(const QDateTime& localTime) {
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second(), time.msec());
}

QString currentLogTimeText() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Looking the system's time zone up again is the expensive step; once a second is enough to
    // follow a change of zone.
    thread_local time_t zoneCheckedSecond = -1;
    if (now.tv_sec != zoneCheckedSecond) {
        tzset();
        zoneCheckedSecond = now.tv_sec;
    }
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[80];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                                     local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                     local.tm_min, local.tm_sec, int(now.tv_nsec / 1000000));
    return QString::fromLatin1(text, length);
}

int EventLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int EventLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EventLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const LogEntry& row = entries_[std::size_t(index.row())];
    switch (index.column()) {
    case TimeColumn:
        return row.timeText;
    case TypeColumn:
        return logTypeName(row.type);
    case MessageColumn:
        return row.shownMessage.isEmpty() ? row.message : row.shownMessage;
    case ReturnColumn:
        return QString::number(row.code);
    default:
        return {};
    }
}

QVariant EventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    // The captions follow the interface language; the contents never do.
    switch (section) {
    case TimeColumn:
        return QCoreApplication::translate("CLogBar", "Time");
    case TypeColumn:
        return QCoreApplication::translate("CLogBar", "Type");
    case MessageColumn:
        return QCoreApplication::translate("CLogBar", "Message");
    case ReturnColumn:
        return QCoreApplication::translate("CLogBar", "Return");
    default:
        return {};
    }
}

void EventLogModel::append(LogEntry entry) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    entries_.push_back(std::move(entry));
    endInsertRows();
}

void EventLogModel::appendNow(LogType type, const QString& message, int code, const QString& shownMessage) {
    append({currentLogTimeText(), type, message, code, shownMessage});
}

EventLog::EventLog(QObject* parent) : QObject(parent) {
    connect(&model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    emit entryAdded(row);
            });
}

void EventLog::WriteLog(LogType type, const QString& message, int code) {
    WriteLog(type, message, code, QString());
}

void EventLog::WriteLog(LogType type, const QString& message, int code, const QString& shownMessage) {
    if (QThread::currentThread() != thread() || !stationUp_.load())
        return;
    model_.appendNow(type, message, code, shownMessage);
}

void EventLog::handToOwner(LogType type, const QString& message, int code) {
    if (QThread::currentThread() == thread()) {
        WriteLog(type, message, code);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, type, message, code] { WriteLog(type, message, code); }, Qt::QueuedConnection);
}

} // namespace calidra
