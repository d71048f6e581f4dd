#include "shell/views_bar.h"

#include "shell/demo_features.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

QModelIndex rowNamed(QTreeView* tree, const QString& caption) {
    const QModelIndexList found = tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, caption,
                                                       1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QModelIndex() : found.front();
}

QString selectedCaption(QTreeView* tree) {
    return tree->currentIndex().data().toString();
}

CCalidraView* makeNoView(const calidra::ViewEnvironment&) {
    return nullptr;
}

// The station's two views, as the application lists them.
std::vector<CDemoFeature> stationFeatures() {
    return {{CDemoFeature::viewsGroup, 0, "Live View", makeNoView, nullptr},
            {CDemoFeature::viewsGroup, 0, "Image View", makeNoView, nullptr}};
}

class ViewsBarTest : public ::testing::Test {
protected:
    CViewsBar bar{stationFeatures()};
    QSignalSpy chosen{&bar, &CViewsBar::viewChosen};
};

TEST_F(ViewsBarTest, StartsOnTheLiveViewWithOnlyForwardPossible) {
    EXPECT_EQ(bar.windowTitle(), "Views");
    EXPECT_EQ(bar.entryCount(), 2);
    EXPECT_EQ(bar.selectedNumber(), 1);
    EXPECT_EQ(selectedCaption(bar.tree()), "Live View");
    EXPECT_FALSE(bar.hasPrevious());
    EXPECT_TRUE(bar.hasNext());
    EXPECT_NE(bar.viewClassFor(1), nullptr);
    EXPECT_NE(bar.viewClassFor(2), nullptr);
    EXPECT_EQ(bar.viewClassFor(3), nullptr);
    EXPECT_EQ(bar.filterEdit()->placeholderText(), "Search");
}

TEST_F(ViewsBarTest, SelectingByNumberMovesTheFlagsAndAsksForTheView) {
    ASSERT_TRUE(bar.SelectByNumber(2));
    EXPECT_EQ(selectedCaption(bar.tree()), "Image View");
    EXPECT_TRUE(bar.hasPrevious());
    EXPECT_FALSE(bar.hasNext());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 2);

    // An unknown number changes no selection, asks for nothing and leaves no way to move on.
    EXPECT_FALSE(bar.SelectByNumber(3));
    EXPECT_FALSE(bar.SelectByNumber(0));
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(selectedCaption(bar.tree()), "Image View");
    EXPECT_FALSE(bar.hasPrevious());
    EXPECT_FALSE(bar.hasNext());
}

TEST_F(ViewsBarTest, ClickingARowAsksForItsViewButTheHeadingSwitchesNothing) {
    bar.tree()->setCurrentIndex(rowNamed(bar.tree(), "Image View"));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 2);
    EXPECT_EQ(bar.selectedNumber(), 2);

    bar.tree()->setCurrentIndex(rowNamed(bar.tree(), "Views"));
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(bar.selectedNumber(), 2);
    // The heading has no siblings: nothing before or after it.
    EXPECT_FALSE(bar.hasPrevious());
    EXPECT_FALSE(bar.hasNext());
}

TEST_F(ViewsBarTest, FilterHidesRowsButNeverChangesTheShownView) {
    bar.tree()->setCurrentIndex(rowNamed(bar.tree(), "Image View"));
    chosen.clear();

    bar.filterEdit()->setText("live");
    EXPECT_TRUE(rowNamed(bar.tree(), "Live View").isValid());
    EXPECT_FALSE(rowNamed(bar.tree(), "Image View").isValid());
    EXPECT_FALSE(bar.noMatchShown());

    bar.filterEdit()->setText("thermometer");
    EXPECT_TRUE(bar.noMatchShown());
    EXPECT_EQ(bar.tree()->model()->rowCount(), 0);
    auto* label = bar.tree()->viewport()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "No items match your search.");

    bar.filterEdit()->clear();
    EXPECT_FALSE(bar.noMatchShown());
    EXPECT_TRUE(rowNamed(bar.tree(), "Live View").isValid());
    EXPECT_TRUE(rowNamed(bar.tree(), "Image View").isValid());
    EXPECT_EQ(selectedCaption(bar.tree()), "Image View");
    EXPECT_EQ(bar.selectedNumber(), 2);
    EXPECT_TRUE(bar.hasPrevious());
    EXPECT_EQ(chosen.count(), 0);
}

TEST(ViewsBarFeatures, NumbersOnlyTheViewsGroupInTableOrder) {
    std::vector<CDemoFeature> features = stationFeatures();
    features.insert(features.begin(), CDemoFeature{7, 0, "Elsewhere", nullptr, nullptr});
    CViewsBar bar(std::move(features));
    EXPECT_EQ(bar.entryCount(), 2);
    EXPECT_FALSE(rowNamed(bar.tree(), "Elsewhere").isValid());
    EXPECT_EQ(bar.selectedNumber(), 1);
    EXPECT_EQ(selectedCaption(bar.tree()), "Live View");
}

} // namespace
