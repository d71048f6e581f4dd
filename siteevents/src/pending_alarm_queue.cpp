#include "siteevents/pending_alarm_queue.h"

#include "files/file_io.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace calidra {
namespace {

// Far beyond a journal of the largest queue; a larger file is not one of ours.
constexpr std::size_t largestJournalBytes = 64u << 20;

} // namespace

PendingAlarmQueue::PendingAlarmQueue(QString filePath, int capacity)
    : filePath_(std::move(filePath)), capacity_(std::max(1, capacity)) {}

bool PendingAlarmQueue::open(const std::function<bool(const QByteArray& payload)>& payloadCheck) {
    if (filePath_.isEmpty())
        return true;
    // Only a regular file is read: a FIFO in its place must not hold the site events' thread.
    std::vector<uint8_t> bytes;
    const files::FileReadResult read =
        files::readRegularFile(QFile::encodeName(filePath_).toStdString(), largestJournalBytes, bytes);
    if (read.status == files::FileReadStatus::NotRegularFile) {
        notAFile_ = true;
        setFileError(QStringLiteral("it is not a regular file"), 0);
        return false;
    }
    if (read.status == files::FileReadStatus::Read) {
        QBuffer earlier;
        earlier.setData(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
        earlier.open(QIODevice::ReadOnly);
        std::map<quint64, QByteArray> waiting;
        while (!earlier.atEnd()) {
            QByteArray line = earlier.readLine();
            // A line without its end was cut off by a kill or a power loss: it never counted.
            if (!line.endsWith('\n'))
                break;
            line.chop(1);
            const int space = line.indexOf(' ');
            bool isNumber = false;
            if (line.startsWith('+') && space > 1) {
                const quint64 number = line.mid(1, space - 1).toULongLong(&isNumber);
                if (isNumber && number > 0) {
                    waiting[number] = line.mid(space + 1);
                    nextNumber_ = std::max(nextNumber_, number + 1);
                }
            } else if (line.startsWith('-')) {
                const quint64 number = line.mid(1).toULongLong(&isNumber);
                if (isNumber)
                    waiting.erase(number);
            }
        }
        for (auto& [number, payload] : waiting) {
            if (payloadCheck && !payloadCheck(payload))
                ++refusedEntries_;
            else
                messages_.push_back({number, std::move(payload), 0});
        }
        while (int(messages_.size()) > capacity_)
            messages_.pop_front();
    }
    return rewrite();
}

int PendingAlarmQueue::push(const QByteArray& payload) {
    Message message{nextNumber_++, payload, 0};
    // The payload is one line of compact JSON; a line end would split the journal entry.
    message.payload.replace('\n', ' ');
    messages_.push_back(message);
    append('+' + QByteArray::number(message.number) + ' ' + message.payload, true);
    int dropped = 0;
    while (int(messages_.size()) > capacity_) {
        const quint64 oldest = messages_.front().number;
        messages_.pop_front();
        forget(oldest);
        ++dropped;
    }
    return dropped;
}

bool PendingAlarmQueue::acknowledge(int messageId) {
    if (messageId == 0)
        return false;
    const auto found = std::find_if(messages_.begin(), messages_.end(), [messageId](const Message& message) {
        return message.messageId == messageId;
    });
    if (found == messages_.end())
        return false;
    const quint64 number = found->number;
    messages_.erase(found);
    forget(number);
    return true;
}

int PendingAlarmQueue::inFlightCount() const {
    return int(std::count_if(messages_.begin(), messages_.end(),
                             [](const Message& message) { return message.messageId != 0; }));
}

void PendingAlarmQueue::forget(quint64 number) {
    // Losing this line to a power cut only means the message goes out once more: no sync.
    append('-' + QByteArray::number(number), false);
    if (linesInFile_ > 2 * int(messages_.size()) + 64)
        rewrite();
}

bool PendingAlarmQueue::append(const QByteArray& line, bool durable) {
    if (filePath_.isEmpty() || notAFile_)
        return filePath_.isEmpty();
    // After a failure the whole file is written again, which also heals a folder that was missing.
    if (!file_.isOpen())
        return rewrite();
    const QByteArray withEnd = line + '\n';
    if (file_.write(withEnd) != withEnd.size() || !file_.flush()) {
        setFileError(file_.errorString(), errno);
        file_.close();
        return false;
    }
    if (durable && fdatasync(file_.handle()) != 0) {
        setFileError(qt_error_string(errno), errno);
        file_.close();
        return false;
    }
    ++linesInFile_;
    return true;
}

bool PendingAlarmQueue::rewrite() {
    if (filePath_.isEmpty() || notAFile_)
        return filePath_.isEmpty();
    file_.close();
    QDir().mkpath(QFileInfo(filePath_).absolutePath());
    QSaveFile replacement(filePath_);
    if (!replacement.open(QIODevice::WriteOnly)) {
        setFileError(replacement.errorString(), errno);
        return false;
    }
    for (const Message& message : messages_)
        replacement.write('+' + QByteArray::number(message.number) + ' ' + message.payload + '\n');
    if (!replacement.commit()) {
        setFileError(replacement.errorString(), errno);
        return false;
    }
    file_.setFileName(filePath_);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        setFileError(file_.errorString(), errno);
        return false;
    }
    linesInFile_ = int(messages_.size());
    fileError_.clear();
    fileErrorCode_ = 0;
    return true;
}

void PendingAlarmQueue::setFileError(const QString& what, int errorNumber) {
    fileError_ = what.isEmpty() ? QStringLiteral("write failed") : what;
    fileErrorCode_ = errorNumber;
}

} // namespace calidra
