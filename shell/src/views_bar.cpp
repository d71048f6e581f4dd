#include "shell/views_bar.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int viewNumberRole = Qt::UserRole + 1;

// Changes notifications for a scope and restores them, also on early returns.
class NotificationsOff {
public:
    explicit NotificationsOff(bool& flag) : flag_(flag), previous_(flag) { flag_ = false; }
    ~NotificationsOff() { flag_ = previous_; }
    NotificationsOff(const NotificationsOff&) = delete;
    NotificationsOff& operator=(const NotificationsOff&) = delete;

private:
    bool& flag_;
    bool previous_;
};

bool hasPreviousSibling(const QStandardItem* item) {
    return item && item->row() > 0;
}

bool hasNextSibling(const QStandardItem* item) {
    if (!item)
        return false;
    const QStandardItem* parent = item->parent();
    const int siblings = parent ? parent->rowCount() : item->model()->rowCount();
    return item->row() + 1 < siblings;
}

} // namespace

CViewsBar::CViewsBar(std::vector<CDemoFeature> features, QWidget* parent)
    : QDockWidget(tr("Views"), parent), features_(std::move(features)), model_(new QStandardItemModel(this)),
      filtered_(new QSortFilterProxyModel(this)) {
    setObjectName(QStringLiteral("ViewsBar"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    filter_ = new QLineEdit(content);
    filter_->setPlaceholderText(tr("Search"));
    filter_->setClearButtonEnabled(true);
    layout->addWidget(filter_);

    filtered_->setRecursiveFilteringEnabled(true);
    filtered_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    filtered_->setSourceModel(model_);

    tree_ = new QTreeView(content);
    tree_->setModel(filtered_);
    tree_->header()->hide();
    tree_->setRootIsDecorated(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setMouseTracking(true); // hot tracking
    layout->addWidget(tree_);

    noMatch_ = new QLabel(tr("No items match your search."), tree_->viewport());
    noMatch_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    noMatch_->setWordWrap(true);
    auto* viewportLayout = new QVBoxLayout(tree_->viewport());
    viewportLayout->addWidget(noMatch_);
    viewportLayout->addStretch(1);
    noMatch_->hide();

    setWidget(content);
    fillTree();

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onTreeCurrentChanged(current); });
    connect(filter_, &QLineEdit::textChanged, this, &CViewsBar::onFilterChanged);

    SelectByNumber(1);
}

void CViewsBar::fillTree() {
    auto* root = new QStandardItem(tr("Views"));
    root->setData(0, viewNumberRole);
    root->setEditable(false);
    model_->appendRow(root);
    for (CDemoFeature& feature : features_) {
        if (feature.group != CDemoFeature::viewsGroup)
            continue;
        auto* item = new QStandardItem(feature.caption);
        item->setEditable(false);
        feature.viewNumber = entryCount() + 1;
        numbered_[feature.viewNumber] = &feature;
        item->setData(feature.viewNumber, viewNumberRole);
        root->appendRow(item);
        feature.treeItem = item;
    }
    tree_->expand(filtered_->mapFromSource(root->index()));
}

bool CViewsBar::SelectByNumber(int viewNumber) {
    hasPrevious_ = false;
    hasNext_ = false;
    const auto entry = numbered_.find(viewNumber);
    if (entry == numbered_.end()) {
        emit navigationChanged();
        return false;
    }
    QStandardItem* item = entry->second->treeItem;
    selectedNumber_ = viewNumber;
    {
        // The tree mirrors the choice; a row the filter hides stays chosen without being shown.
        NotificationsOff quiet(notificationsOn_);
        const QModelIndex shown = filtered_->mapFromSource(item->index());
        if (shown.isValid()) {
            tree_->expand(shown.parent());
            tree_->selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect);
            tree_->scrollTo(shown);
        }
    }
    recomputeFlags(item);
    if (notificationsOn_)
        emit viewChosen(viewNumber);
    return true;
}

calidra::ViewClass CViewsBar::viewClassFor(int viewNumber) const {
    const auto entry = numbered_.find(viewNumber);
    return entry == numbered_.end() ? nullptr : entry->second->viewClass;
}

bool CViewsBar::noMatchShown() const {
    return !noMatch_->isHidden();
}

void CViewsBar::onTreeCurrentChanged(const QModelIndex& current) {
    if (!notificationsOn_ || !current.isValid())
        return;
    const QModelIndex source = filtered_->mapToSource(current);
    const QStandardItem* item = model_->itemFromIndex(source);
    const int viewNumber = source.data(viewNumberRole).toInt();
    // The heading "Views" carries 0 and switches nothing.
    if (viewNumber > 0) {
        // Remembered so that a later filter change keeps the shown view selected.
        selectedNumber_ = viewNumber;
        emit viewChosen(viewNumber);
    }
    recomputeFlags(item);
}

void CViewsBar::onFilterChanged(const QString& text) {
    NotificationsOff quiet(notificationsOn_);
    filtered_->setFilterFixedString(text);
    noMatch_->setVisible(filtered_->rowCount() == 0);
    tree_->expandAll();
    if (selectedNumber_ >= 0)
        SelectByNumber(selectedNumber_);
}

void CViewsBar::recomputeFlags(const QStandardItem* item) {
    const QStandardItem* parent = item ? item->parent() : nullptr;
    hasPrevious_ = hasPreviousSibling(item) || hasPreviousSibling(parent);
    hasNext_ = hasNextSibling(item) || hasNextSibling(parent);
    emit navigationChanged();
}
