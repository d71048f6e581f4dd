#include "shell/log_bar.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>
#include <QTimer>

#include <vector>

namespace calidra {

// The pane's rows. Entries exist only here: nothing is written to a file.
class EventLogModel final : public QAbstractTableModel {
public:
    enum Column { TimeColumn, TypeColumn, MessageColumn, ReturnColumn, ColumnCount };

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const Row& row = rows_[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
        case TimeColumn:
            // Digits and separators fixed in every language.
            return QLocale::c().toString(row.time, QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        case TypeColumn:
            return typeName(row.type);
        case MessageColumn:
            return row.message;
        case ReturnColumn:
            return QString::number(row.code);
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
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

    void append(LogType type, const QString& message, int code) {
        const int row = rowCount();
        beginInsertRows({}, row, row);
        rows_.push_back({QDateTime::currentDateTime(), type, message, code});
        endInsertRows();
    }

private:
    // The local time is kept as taken, so a later clock or zone change leaves shown rows alone.
    struct Row {
        QDateTime time;
        LogType type;
        QString message;
        int code;
    };

    static QString typeName(LogType type) {
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

    std::vector<Row> rows_;
};

} // namespace calidra

CLogBar::CLogBar(QWidget* parent)
    : QDockWidget(QCoreApplication::translate("CLogBar", "Log"), parent),
      entries_(std::make_unique<calidra::EventLogModel>()), list_(new QTableView(this)) {
    setObjectName(QStringLiteral("LogBar"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    list_->setModel(entries_.get());
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
    const int widths[] = {timeColumnWidth, typeColumnWidth, messageColumnWidth, returnColumnWidth};
    for (int column = 0; column < 4; ++column)
        columns->resizeSection(column, widths[column]);
    setWidget(list_);

    connect(entries_.get(), &QAbstractItemModel::rowsInserted, this, [this] {
        // One scroll per burst of entries, before the next paint.
        if (scrollPending_)
            return;
        scrollPending_ = true;
        QTimer::singleShot(0, this, &CLogBar::scrollToNewest);
    });
}

CLogBar::~CLogBar() = default;

void CLogBar::AddLogEntry(calidra::LogType type, const QString& message, int code) {
    entries_->append(type, message, code);
}

int CLogBar::rowCount() const {
    return entries_->rowCount();
}

void CLogBar::scrollToNewest() {
    scrollPending_ = false;
    const int rows = entries_->rowCount();
    // The newest entry is always the last row.
    if (rows > 0)
        list_->scrollToBottom();
}
