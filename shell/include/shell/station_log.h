#pragma once
// The views' way into the event log: entries reach the "Log" pane only from the GUI thread and
// only once the main window exists; all others are dropped, as the operator would never see them.

#include "eventlog/log_sink.h"

#include <functional>

class CLogBar;

namespace calidra {

class StationLog final : public LogSink {
public:
    // paneOfMainWindow gives the log pane of the main window, nullptr while there is none.
    explicit StationLog(std::function<CLogBar*()> paneOfMainWindow);

    void WriteLog(LogType type, const QString& message, int code) override;

private:
    std::function<CLogBar*()> paneOfMainWindow_;
};

} // namespace calidra
