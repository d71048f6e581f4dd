#include "reference_entry.h"

#include "roi_label_view.h"

#include "files/station_layout.h"
#include "referencefile/reference_file.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace zonara {
namespace {

// The example of the guides: a 24-pixel source 16 pixels below the top, 20 from the right edge.
constexpr int defaultSide = 24;
constexpr int defaultTop = 16;
constexpr int defaultRightGap = 20;

int toPicture(int value, double scale) {
    return scale > 0.0 && std::isfinite(scale) ? int(std::floor(value / scale)) : 0;
}

} // namespace

QString referenceFilePath(const QString& applicationFolder) {
    return QStringLiteral("%1/%2").arg(applicationFolder, QLatin1String(calidra::files::referenceFileName));
}

LoadedReference loadReference(const QString& applicationFolder, const maskfile::EditorScale& scale,
                              int areaWidth, int areaHeight) {
    using calidra::referencefile::ReferenceFileState;
    const calidra::referencefile::ReferenceFileReading reading = calidra::referencefile::readReferenceFile(
        QFile::encodeName(referenceFilePath(applicationFolder)).toStdString());
    calidra::referencefile::ReferenceRectangle rectangle;
    LoadedReference loaded;
    if (reading.state == ReferenceFileState::Read) {
        rectangle = reading.rectangle;
        loaded.fromFile = true;
    } else {
        rectangle.enabled = false;
        rectangle.x = std::max(0, scale.snapshotWidth - defaultSide - defaultRightGap);
        rectangle.y = defaultTop;
        rectangle.width = defaultSide;
        rectangle.height = defaultSide;
    }
    MaskInfo& info = loaded.info;
    info.nID = uint16_t(RoiLabelView::kReferenceId);
    info.bEnabled = rectangle.enabled ? 1 : 0;
    const int width = std::clamp(toPicture(rectangle.width, scale.sx), 0, areaWidth);
    const int height = std::clamp(toPicture(rectangle.height, scale.sy), 0, areaHeight);
    info.nWidth = uint16_t(std::max(width, std::min(RoiLabelView::kMinimumSide, areaWidth)));
    info.nHeight = uint16_t(std::max(height, std::min(RoiLabelView::kMinimumSide, areaHeight)));
    info.nX = uint16_t(std::clamp(toPicture(rectangle.x, scale.sx), 0, std::max(0, areaWidth - info.nWidth)));
    info.nY =
        uint16_t(std::clamp(toPicture(rectangle.y, scale.sy), 0, std::max(0, areaHeight - info.nHeight)));
    info.nImageWidth = uint16_t(scale.snapshotWidth);
    info.nImageHeight = uint16_t(scale.snapshotHeight);
    return loaded;
}

bool saveReference(const QString& applicationFolder, const MaskInfo& pictureInfo,
                   const maskfile::EditorScale& scale, int* errorNumber) {
    // The masks' own conversion, so both files round and clip alike.
    maskfile::MaskRecords records{};
    records[0] = pictureInfo;
    const MaskInfo saved = maskfile::saveForEditor(records, scale)[0];
    calidra::referencefile::ReferenceRectangle rectangle;
    rectangle.enabled = pictureInfo.bEnabled != 0;
    rectangle.x = saved.nX;
    rectangle.y = saved.nY;
    rectangle.width = std::max<int>(saved.nWidth, 1);
    rectangle.height = std::max<int>(saved.nHeight, 1);
    return calidra::referencefile::writeReferenceFile(
        QFile::encodeName(referenceFilePath(applicationFolder)).toStdString(), rectangle, errorNumber);
}

} // namespace zonara
