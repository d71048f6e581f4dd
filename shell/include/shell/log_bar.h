#pragma once
// The "Log" pane: one row per event-log entry, newest last and scrolled into view.

#include "eventlog/log_sink.h"

#include <QDockWidget>

class QTableView;

namespace calidra {
class EventLog;
}

class CLogBar : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int paneId = 32819;
    static constexpr int timeColumnWidth = 160;
    static constexpr int timeColumnPadding = 16; // the cell's margins and the grid line
    static constexpr int typeColumnWidth = 80;
    static constexpr int messageColumnWidth = 380;
    static constexpr int returnColumnWidth = 50;

    // Shows the rows of log, which outlives the pane.
    explicit CLogBar(calidra::EventLog& log, QWidget* parent = nullptr);
    ~CLogBar() override;

    // Appends one row stamped with the local time. GUI thread only.
    void AddLogEntry(calidra::LogType type, const QString& message, int code);

    QTableView* list() const { return list_; }
    int rowCount() const;

private:
    void scrollToNewest();

    calidra::EventLog& log_;
    QTableView* list_;
    bool scrollPending_ = false;
};
