#pragma once
// Alarm messages waiting for the broker's acknowledgement, in order, bounded, and journalled to a
// file so that a restart (or a kill) keeps them. The file is a list of lines: "+<n> <payload>" when
// message n is added, "-<n>" when it is acknowledged or dropped; it is rewritten with only the
// waiting messages when it is opened and whenever the acknowledged lines outweigh them.
// Used by one thread only.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <deque>
#include <functional>

namespace calidra {

class PendingAlarmQueue {
public:
    struct Message {
        quint64 number = 0;
        QByteArray payload;
        int messageId = 0; // the MQTT client's id once handed to it; 0 while waiting
    };

    // An empty path keeps the messages in memory only.
    PendingAlarmQueue(QString filePath, int capacity);

    // Reads what an earlier run left; entries payloadCheck refuses (a tampered or foreign file) are
    // dropped and counted in refusedEntries(). False when the file cannot be written; the queue then
    // keeps working in memory and fileError() says why.
    bool open(const std::function<bool(const QByteArray& payload)>& payloadCheck = {});
    int refusedEntries() const { return refusedEntries_; }

    // Appends a message and drops the oldest beyond the capacity; returns how many were dropped.
    // A failed write to the file leaves the message in memory (see fileError()).
    int push(const QByteArray& payload);
    // Removes the message handed out under this id; false when none was.
    bool acknowledge(int messageId);

    std::deque<Message>& messages() { return messages_; }
    const std::deque<Message>& messages() const { return messages_; }
    int inFlightCount() const;

    // Empty while the file works; else the reason of the last failure (with its errno in fileErrorCode()).
    QString fileError() const { return fileError_; }
    int fileErrorCode() const { return fileErrorCode_; }

private:
    bool append(const QByteArray& line, bool durable);
    bool rewrite();
    void forget(quint64 number); // after the message left messages_
    void setFileError(const QString& what, int errorNumber);

    QString filePath_;
    int capacity_;
    std::deque<Message> messages_;
    quint64 nextNumber_ = 1;
    QFile file_;
    int linesInFile_ = 0;
    QString fileError_;
    int fileErrorCode_ = 0;
    int refusedEntries_ = 0;
    bool notAFile_ = false; // something else stands at the path: never waited on, never replaced
};

} // namespace calidra
