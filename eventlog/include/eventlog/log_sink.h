#pragma once
// Where the station's parts report their events: the event log.

#include <QString>

namespace calidra {

enum class LogType : int { Error = 0, Event = 1, Information = 2 };

class LogSink {
public:
    virtual ~LogSink() = default;
    // The log decides which entries it accepts (thread, start-up state).
    virtual void WriteLog(LogType type, const QString& message, int code) = 0;
};

} // namespace calidra
