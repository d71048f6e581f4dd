// A mask drawn in the editor and applied reaches the station: its detection
// reads the same file and no longer finds the warm object under the mask.
#define QTEST_QPA_MOUSE_HANDLING
#include "editor_test_support.h"
#include "roi_label_view.h"
#include "widget.h"

#include "files/station_layout.h"
#include "maskfile/maskinfo.h"
#include "pipeline/frame_buffers.h"
#include "pipeline/human_detection.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;

// Room at 20 °C with two warm, person-sized regions at 34 °C (offset scale).
std::vector<uint16_t> twoPeopleFrame() {
    std::vector<uint16_t> codes(kFrameWidth * kFrameHeight, uint16_t(1200));
    const auto warm = [&](int left, int top, int width, int height) {
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                codes[y * kFrameWidth + x] = 1340;
            }
        }
    };
    warm(40, 60, 40, 60);
    warm(200, 80, 40, 60);
    return codes;
}

calidra::DetectionList detectWithStationMasks(const QString& programFolder) {
    const std::vector<uint16_t> codes = twoPeopleFrame();
    calidra::FrameBuffers buffers;
    buffers.allocate(kFrameWidth, kFrameHeight);
    const calidra::CameraFrame frame{kFrameWidth, kFrameHeight, calidra::PixelFormat::Offset16,
                                     reinterpret_cast<const unsigned char*>(codes.data())};
    calidra::intakeFrame(frame, buffers);

    maskfile::FileBytes bytes{};
    maskfile::readMaskRegions(
        calidra::files::stationMaskFilePath(QFile::encodeName(programFolder).toStdString()), bytes);
    calidra::HumanDetector detector;
    calidra::DetectionResults results;
    detector.detectAndMeasure(
        buffers, calidra::PixelFormat::Offset16, calidra::FrameSettings{}, maskfile::decodeRecords(bytes),
        [] { return uint32_t(0); }, results);
    return results.detections;
}

} // namespace

class StationMaskTest : public QObject {
    Q_OBJECT

private slots:
    void maskDrawnOverWarmObjectRemovesItsDetection();
};

void StationMaskTest::maskDrawnOverWarmObjectRemovesItsDetection() {
    QTemporaryDir programFolder;
    const QString editorFolder = programFolder.filePath("Zonara");
    QVERIFY(QDir().mkdir(editorFolder));
    QVERIFY(zonara::test::writeSnapshot(editorFolder, kFrameWidth, kFrameHeight));
    QCOMPARE(detectWithStationMasks(programFolder.path()).size(), std::size_t(2));

    Widget window(editorFolder);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* area = window.findChild<RoiLabelView*>("laPic");
    // Mask 0 starts at 0, 0, 48 x 48 picture pixels (20 x 20 at a scale of 2.4).
    QCOMPARE(area->maskRect(0), QRect(0, 0, 48, 48));
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(24, 24));
    QTest::mouseMove(area, QPoint(484, 194));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(484, 194));
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(504, 214));
    QTest::mouseMove(area, QPoint(600, 360));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(600, 360));
    QCOMPARE(area->maskRect(0), QRect(460, 170, 140, 190));
    QTest::mouseClick(window.findChild<QCheckBox*>("chkEnable"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>("btnApply"), Qt::LeftButton);

    const calidra::DetectionList detections = detectWithStationMasks(programFolder.path());
    QCOMPARE(detections.size(), std::size_t(1));
    QVERIFY(detections[0].right <= 100);
}

QTEST_MAIN(StationMaskTest)
#include "station_mask_test.moc"
