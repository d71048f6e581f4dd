#include "browser/image_viewer.h"

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>
#include <QTranslator>

#include <gtest/gtest.h>

namespace calidra {
namespace {

// The compiled Korean texts of the browser, as the station loads them.
TEST(ImageViewerKorean, RefreshAndTheColumnTitlesAreKorean) {
    QTranslator korean;
    ASSERT_TRUE(korean.load(QStringLiteral(BROWSER_KOREAN_TRANSLATION)));
    QApplication::installTranslator(&korean);

    CImageViewer viewer(nullptr, QStringLiteral("/nonexistent/"));
    viewer.OnInitialUpdate();
    EXPECT_EQ(viewer.refreshButton()->text(), QString::fromUtf8("새로고침"));
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(0)->text(), QString::fromUtf8("시간"));
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(1)->text(), QString::fromUtf8("파일 이름"));
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(2)->text(), QString::fromUtf8("최대온도"));
    EXPECT_EQ(viewer.exportButton()->text(), QString::fromUtf8("내보내기…"));
}

} // namespace
} // namespace calidra
