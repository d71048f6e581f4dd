#include "shell/log_bar.h"

#include "eventlog/event_log.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>

#include <algorithm>

CLogBar::CLogBar(calidra::EventLog& log, QWidget* parent)
    : QDockWidget(QCoreApplication::translate("CLogBar", "Log"), parent), log_(log),
      list_(new QTableView(this)) {
    setObjectName(QStringLiteral("LogBar"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    list_->setModel(&log_.model());
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->setWordWrap(false);
    // Long messages are cut at the column edge; the row keeps the whole text.
    list_->setTextElideMode(Qt::ElideNone);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->verticalHeader()->hide();
    // Fixed row heights keep appending cheap at any number of rows.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    QHeaderView* columns = list_->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    // The time column holds its milliseconds whatever the desktop font; 160 pixels at the least.
    const int timeWidth = std::max(
        timeColumnWidth, list_->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88 88:88:88.888")) +
                             timeColumnPadding);
    const int widths[] = {timeWidth, typeColumnWidth, messageColumnWidth, returnColumnWidth};
    for (int column = 0; column < 4; ++column)
        columns->resizeSection(column, widths[column]);
    setWidget(list_);

    connect(&log_.model(), &QAbstractItemModel::rowsInserted, this, [this] {
        // One scroll per burst of entries, before the next paint.
        if (scrollPending_)
            return;
        scrollPending_ = true;
        QTimer::singleShot(0, this, &CLogBar::scrollToNewest);
    });
}

CLogBar::~CLogBar() = default;

void CLogBar::AddLogEntry(calidra::LogType type, const QString& message, int code) {
    log_.model().appendNow(type, message, code);
}

int CLogBar::rowCount() const {
    return log_.model().rowCount();
}

void CLogBar::scrollToNewest() {
    scrollPending_ = false;
    const int rows = log_.model().rowCount();
    // The newest entry is always the last row.
    if (rows > 0)
        list_->scrollToBottom();
}
