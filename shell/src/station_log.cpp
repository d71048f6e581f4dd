#include "shell/station_log.h"

#include "shell/log_bar.h"

#include <QCoreApplication>
#include <QThread>

namespace calidra {

StationLog::StationLog(std::function<CLogBar*()> paneOfMainWindow)
    : paneOfMainWindow_(std::move(paneOfMainWindow)) {}

void StationLog::WriteLog(LogType type, const QString& message, int code) {
    const QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread())
        return;
    if (CLogBar* pane = paneOfMainWindow_())
        pane->AddLogEntry(type, message, code);
}

} // namespace calidra
