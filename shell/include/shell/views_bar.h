#pragma once
// The "Views" pane: the tree the operator switches views with, and the Back/Forward state.

#include "shell/demo_features.h"

#include <QDockWidget>

#include <map>
#include <vector>

class QLabel;
class QLineEdit;
class QModelIndex;
class QSortFilterProxyModel;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

class CViewsBar : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int noSelection = -1;

    explicit CViewsBar(std::vector<CDemoFeature> features, QWidget* parent = nullptr);

    // Selects the tree item of view number n and, while notifications are on, asks for that view.
    // False when n has no entry.
    bool SelectByNumber(int viewNumber);
    // The class of view number n; nullptr when there is none.
    calidra::ViewClass viewClassFor(int viewNumber) const;
    int entryCount() const { return static_cast<int>(numbered_.size()); }

    bool hasPrevious() const { return hasPrevious_; }
    bool hasNext() const { return hasNext_; }
    int selectedNumber() const { return selectedNumber_; }

    QTreeView* tree() const { return tree_; }
    QLineEdit* filterEdit() const { return filter_; }
    // True while the filter hides every row.
    bool noMatchShown() const;

signals:
    // The operator or Back/Forward chose the view with this number.
    void viewChosen(int viewNumber);
    // hasPrevious() or hasNext() may have changed.
    void navigationChanged();

private:
    void fillTree();
    void onTreeCurrentChanged(const QModelIndex& current);
    void onFilterChanged(const QString& text);
    void recomputeFlags(const QStandardItem* item);

    std::vector<CDemoFeature> features_;
    std::map<int, CDemoFeature*> numbered_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* filtered_;
    QLineEdit* filter_;
    QTreeView* tree_;
    QLabel* noMatch_;
    int selectedNumber_ = noSelection;
    bool hasPrevious_ = false;
    bool hasNext_ = false;
    bool notificationsOn_ = true;
};
