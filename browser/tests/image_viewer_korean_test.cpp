#include "browser/image_viewer.h"

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

namespace calidra {
namespace {

// The compiled Korean texts of the browser, as the station loads them.
TEST(ImageViewerKorean, RefreshTheColumnTitlesAndTheExportMessageAreKorean) {
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

    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("alarms.csv"));
    viewer.setExportFileChooser([&](QWidget*) { return csv; });
    QString message;
    QObject::connect(&viewer, &CCalidraView::statusMessage,
                     [&](const QString& text, int) { message = text; });
    viewer.exportButton()->click();
    EXPECT_EQ(message, csv + QString::fromUtf8("에 알람 기록 0건을 내보냈습니다."));
}

} // namespace
} // namespace calidra
