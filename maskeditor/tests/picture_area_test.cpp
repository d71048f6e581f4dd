// The picture area under real mouse input: presses, drags and releases go
// through the window system layer to the editor's window.
#define QTEST_QPA_MOUSE_HANDLING
#include "editor_test_support.h"
#include "roi_label_view.h"
#include "widget.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using zonara::test::fillOf;
using zonara::test::record;

class PictureAreaTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pressOnOverlapSelectsLowestId();
    void pressOutsideDeselectsAndDragChangesNothing();
    void otherButtonsAreIgnored();
    void handleCursorsAndInnerAreaMove();
    void leftHandlePastRightEdgeKeepsMinimumWidthAndLeftEdge();
    void bottomRightHandleStopsAtLastPixelOfArea();
    void blockedMoveThenMovesByNewDifferenceOnly();
    void borderStripBetweenHandlesStartsNoResize();
    void dragUpdatesControlsAndReleaseEndsTheDrag();
    void markerNumberIsDrawnInMarkerColour();

private:
    RoiLabelView* area() const { return window_->findChild<RoiLabelView*>("laPic"); }
    QLineEdit* edit(const char* name) const { return window_->findChild<QLineEdit*>(name); }
    void press(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(area(), button, Qt::NoModifier, point);
    }
    void moveTo(QPoint point) { QTest::mouseMove(area(), point); }
    void release(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(area(), button, Qt::NoModifier, point);
    }

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<Widget> window_;
};

void PictureAreaTest::init() {
    // A snapshot of the picture area's own size: file and picture pixels agree.
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(zonara::test::writeSnapshot(folder_->path(), 768, 576));
    QVERIFY(zonara::test::writeMaskFile(folder_->path(), {record(0, 0, 400, 300, 60, 60, 768, 576),
                                                          record(1, 1, 100, 100, 100, 100, 768, 576),
                                                          record(2, 1, 150, 150, 100, 100, 768, 576),
                                                          record(3, 0, 600, 40, 40, 40, 768, 576)}));
    window_ = std::make_unique<Widget>(folder_->path());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void PictureAreaTest::cleanup() {
    window_.reset();
    folder_.reset();
}

void PictureAreaTest::pressOnOverlapSelectsLowestId() {
    press(QPoint(175, 175));
    QCOMPARE(area()->selectionIndex(), 1);
    QCOMPARE(window_->findChild<QComboBox*>("cmbID")->currentIndex(), 1);
    QCOMPARE(edit("editX")->text(), QString("100"));
    QCOMPARE(fillOf(area()->band(1)), QColor(Qt::darkRed));
    QCOMPARE(area()->band(1)->markerColor(), QColor(Qt::darkRed));
    QCOMPARE(fillOf(area()->handle(1, 0)), QColor(Qt::red));
    QCOMPARE(fillOf(area()->handle(2, 0)), QColor(Qt::darkGreen));
    release(QPoint(175, 175));

    // The right and bottom edges belong to the rectangle.
    press(QPoint(199, 120));
    QCOMPARE(area()->selectionIndex(), 1);
    release(QPoint(199, 120));
    press(QPoint(200, 120));
    QVERIFY(!area()->hasCurrentMask());
    QCOMPARE(window_->findChild<QComboBox*>("cmbID")->currentIndex(), 1);
    release(QPoint(200, 120));
}

void PictureAreaTest::pressOutsideDeselectsAndDragChangesNothing() {
    press(QPoint(175, 175));
    release(QPoint(175, 175));
    press(QPoint(175, 175));
    QCOMPARE(area()->selectionIndex(), 1);

    press(QPoint(700, 500));
    QCOMPARE(area()->selectionIndex(), -1);
    QVERIFY(!area()->hasCurrentMask());
    QCOMPARE(area()->band(1)->markerColor(), QColor(Qt::darkBlue));
    QCOMPARE(fillOf(area()->band(1)), QColor(Qt::blue));
    QCOMPARE(fillOf(area()->handle(1, 7)), QColor(Qt::darkGreen));
    moveTo(QPoint(650, 450));
    release(QPoint(650, 450));
    for (int id = 0; id < RoiLabelView::kMaskCount; ++id) {
        const MaskInfo& stored = window_->maskInfo(id);
        QCOMPARE(area()->maskRect(id), QRect(stored.nX, stored.nY, stored.nWidth, stored.nHeight));
    }
    QCOMPARE(area()->maskRect(1), QRect(100, 100, 100, 100));
}

void PictureAreaTest::otherButtonsAreIgnored() {
    // Mask 0 is selected from the start.
    press(QPoint(175, 175), Qt::RightButton);
    QCOMPARE(area()->selectionIndex(), 0);
    QCOMPARE(edit("editX")->text(), QString("400"));
    moveTo(QPoint(300, 300));
    release(QPoint(300, 300), Qt::RightButton);
    QCOMPARE(area()->maskRect(1), QRect(100, 100, 100, 100));
}

void PictureAreaTest::handleCursorsAndInnerAreaMove() {
    struct Case {
        QPoint point;
        RoiLabelView::DragMode mode;
        Qt::CursorShape cursor;
    };
    // Mask 1 is (100, 100) 100 x 100: handles start at 100, 146 and 192 (x and y).
    const Case cases[] = {
        {{101, 101}, RoiLabelView::DragMode::TopLeft, Qt::SizeFDiagCursor},
        {{150, 101}, RoiLabelView::DragMode::TopMiddle, Qt::SizeVerCursor},
        {{198, 101}, RoiLabelView::DragMode::TopRight, Qt::SizeBDiagCursor},
        {{101, 150}, RoiLabelView::DragMode::LeftMiddle, Qt::SizeHorCursor},
        {{198, 150}, RoiLabelView::DragMode::RightMiddle, Qt::SizeHorCursor},
        {{101, 198}, RoiLabelView::DragMode::BottomLeft, Qt::SizeBDiagCursor},
        {{150, 198}, RoiLabelView::DragMode::BottomMiddle, Qt::SizeVerCursor},
        {{198, 198}, RoiLabelView::DragMode::BottomRight, Qt::SizeFDiagCursor},
        {{108, 108}, RoiLabelView::DragMode::Move, Qt::CrossCursor},
        {{191, 140}, RoiLabelView::DragMode::Move, Qt::CrossCursor},
    };
    for (const Case& c : cases) {
        press(c.point);
        QCOMPARE(area()->selectionIndex(), 1);
        QCOMPARE(area()->dragMode(), c.mode);
        QCOMPARE(area()->cursor().shape(), c.cursor);
        release(c.point);
        QCOMPARE(area()->cursor().shape(), Qt::ArrowCursor);
    }
}

void PictureAreaTest::leftHandlePastRightEdgeKeepsMinimumWidthAndLeftEdge() {
    press(QPoint(102, 102));
    QCOMPARE(area()->dragMode(), RoiLabelView::DragMode::TopLeft);
    moveTo(QPoint(300, 150));
    QCOMPARE(area()->maskRect(1), QRect(100, 150, 20, 50));
    // The handles follow the rectangle.
    QCOMPARE(area()->handle(1, 7)->geometry(), QRect(112, 192, 8, 8));
    // Beyond the area's top-left corner: the edges stop at 0, the right and
    // bottom edges stay where the first move left them.
    moveTo(QPoint(-40, -30));
    QCOMPARE(area()->maskRect(1), QRect(0, 0, 120, 200));
    release(QPoint(-40, -30));
    QCOMPARE(window_->maskInfo(1).nWidth, uint16_t(120));
    QCOMPARE(window_->maskInfo(1).nHeight, uint16_t(200));
}

void PictureAreaTest::bottomRightHandleStopsAtLastPixelOfArea() {
    press(QPoint(198, 198));
    moveTo(QPoint(790, 585));
    const QRect rect = area()->maskRect(1);
    QCOMPARE(rect.left(), 100);
    QCOMPARE(rect.right(), 767);
    QCOMPARE(rect.bottom(), 575);
    // Back over the rectangle: never below the minimum side.
    moveTo(QPoint(50, 60));
    QCOMPARE(area()->maskRect(1), QRect(100, 100, 20, 20));
    release(QPoint(50, 60));
}

void PictureAreaTest::blockedMoveThenMovesByNewDifferenceOnly() {
    press(QPoint(150, 150));
    QCOMPARE(area()->dragMode(), RoiLabelView::DragMode::Move);
    moveTo(QPoint(50, 140));
    QCOMPARE(area()->maskRect(1), QRect(0, 90, 100, 100));
    moveTo(QPoint(40, 130));
    QCOMPARE(area()->maskRect(1), QRect(0, 90, 100, 100));
    moveTo(QPoint(60, 130));
    QCOMPARE(area()->maskRect(1), QRect(20, 90, 100, 100));
    // Past the bottom-right corner as well.
    moveTo(QPoint(800, 580));
    QCOMPARE(area()->maskRect(1), QRect(20, 90, 100, 100));
    release(QPoint(800, 580));
    QCOMPARE(edit("editX")->text(), QString("20"));
    QCOMPARE(edit("editY")->text(), QString("90"));
    QCOMPARE(area()->handle(1, 0)->geometry(), QRect(20, 90, 8, 8));
}

void PictureAreaTest::borderStripBetweenHandlesStartsNoResize() {
    press(QPoint(198, 198));
    moveTo(QPoint(250, 250));
    release(QPoint(250, 250));
    QCOMPARE(area()->maskRect(1), QRect(100, 100, 150, 150));

    // Top border strip of mask 1, between handles 0 and 1.
    press(QPoint(120, 102));
    QCOMPARE(area()->selectionIndex(), 1);
    QCOMPARE(area()->dragMode(), RoiLabelView::DragMode::None);
    QCOMPARE(area()->cursor().shape(), Qt::ArrowCursor);
    moveTo(QPoint(400, 400));
    release(QPoint(400, 400));
    QCOMPARE(area()->maskRect(1), QRect(100, 100, 150, 150));
}

void PictureAreaTest::dragUpdatesControlsAndReleaseEndsTheDrag() {
    press(QPoint(420, 320));
    QCOMPARE(area()->selectionIndex(), 0);
    moveTo(QPoint(440, 330));
    QCOMPARE(edit("editX")->text(), QString("420"));
    QCOMPARE(edit("editY")->text(), QString("310"));
    QCOMPARE(window_->maskInfo(0).nX, uint16_t(420));
    release(QPoint(440, 330));
    // The selection index stays, but no mask follows the pointer any more.
    QCOMPARE(area()->selectionIndex(), 0);
    QVERIFY(!area()->hasCurrentMask());
    moveTo(QPoint(500, 400));
    QCOMPARE(area()->maskRect(0), QRect(420, 310, 60, 60));
}

void PictureAreaTest::markerNumberIsDrawnInMarkerColour() {
    press(QPoint(420, 320));
    release(QPoint(420, 320));
    const QImage image = const_cast<MyRubberBand*>(area()->band(0))->grab().toImage();
    int markerPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            markerPixels += (c.red() > 100 && c.green() < 40 && c.blue() < 40) ? 1 : 0;
        }
    }
    // Selected, mask 0 carries "[0]" in dark red.
    QVERIFY(markerPixels > 10);
}

QTEST_MAIN(PictureAreaTest)
#include "picture_area_test.moc"
