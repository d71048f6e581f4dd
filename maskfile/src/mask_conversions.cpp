#include "maskfile/mask_conversions.h"

#include <cmath>
#include <cstring>

namespace maskfile {

namespace {

// The editor stores every result as an unsigned 16-bit value. Out-of-range
// and non-finite values saturate instead of being undefined.
uint16_t toField(double value) {
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 65535.0) {
        return 65535;
    }
    return static_cast<uint16_t>(value); // truncation toward zero
}

// Snapshot pixels to picture pixels: floor(value / scale). Without a snapshot
// the scale is 0 and every coordinate becomes 0 instead of a division by zero.
uint16_t toPicture(uint16_t value, double scale) {
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return 0;
    }
    return toField(value / scale);
}

uint16_t toSnapshot(uint16_t value, double scale) {
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return 0;
    }
    return toField(value * scale + 0.5);
}

} // namespace

EditorScale editorScale(int snapshotWidth, int snapshotHeight, int pictureWidth, int pictureHeight) {
    EditorScale scale;
    scale.snapshotWidth = snapshotWidth;
    scale.snapshotHeight = snapshotHeight;
    scale.sx = pictureWidth > 0 ? double(snapshotWidth) / double(pictureWidth) : 0.0;
    scale.sy = pictureHeight > 0 ? double(snapshotHeight) / double(pictureHeight) : 0.0;
    return scale;
}

MaskRecords defaultRecords(int snapshotWidth, int snapshotHeight) {
    MaskRecords records{};
    for (int i = 0; i < kMaskCount; ++i) {
        MaskInfo& info = records[i];
        info.nID = static_cast<uint16_t>(i);
        info.bEnabled = 0;
        info.nX = static_cast<uint16_t>(22 * i);
        info.nY = 0;
        info.nWidth = 20;
        info.nHeight = 20;
        info.nImageWidth = static_cast<uint16_t>(snapshotWidth);
        info.nImageHeight = static_cast<uint16_t>(snapshotHeight);
    }
    return records;
}

MaskRecords loadForEditor(const uint8_t* fileBytes, std::size_t size, const EditorScale& scale) {
    MaskRecords records;
    if (fileBytes == nullptr || size < kFileBytes) {
        records = defaultRecords(scale.snapshotWidth, scale.snapshotHeight);
    } else {
        FileBytes bytes;
        std::memcpy(bytes.data(), fileBytes, kFileBytes);
        records = decodeRecords(bytes);
        // Only record 0 tells which snapshot the file was drawn on.
        if (records[0].nImageWidth != static_cast<uint16_t>(scale.snapshotWidth) ||
            records[0].nImageHeight != static_cast<uint16_t>(scale.snapshotHeight)) {
            records = defaultRecords(scale.snapshotWidth, scale.snapshotHeight);
        }
    }
    for (MaskInfo& info : records) {
        info.nX = toPicture(info.nX, scale.sx);
        info.nY = toPicture(info.nY, scale.sy);
        info.nWidth = toPicture(info.nWidth, scale.sx);
        info.nHeight = toPicture(info.nHeight, scale.sy);
    }
    return records;
}

MaskRecords saveForEditor(const MaskRecords& pictureRecords, const EditorScale& scale) {
    MaskRecords records = pictureRecords;
    const int width = scale.snapshotWidth;
    const int height = scale.snapshotHeight;
    for (MaskInfo& info : records) {
        info.nX = toSnapshot(info.nX, scale.sx);
        info.nY = toSnapshot(info.nY, scale.sy);
        info.nWidth = toSnapshot(info.nWidth, scale.sx);
        info.nHeight = toSnapshot(info.nHeight, scale.sy);
        // Clip to the snapshot. A rectangle starting at or past the edge gets
        // no size rather than a negative one wrapped to 16 bits.
        if (int(info.nX) + int(info.nWidth) >= width) {
            info.nWidth = static_cast<uint16_t>(width > info.nX ? width - info.nX : 0);
        }
        if (int(info.nY) + int(info.nHeight) >= height) {
            info.nHeight = static_cast<uint16_t>(height > info.nY ? height - info.nY : 0);
        }
        info.nImageWidth = static_cast<uint16_t>(width);
        info.nImageHeight = static_cast<uint16_t>(height);
    }
    return records;
}

} // namespace maskfile
