// The mask editor's load and save: any file bytes, any snapshot size, and back again.
#include "maskfile/mask_conversions.h"
#include "maskfile/maskinfo.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int32_t readInt(const uint8_t* data) {
    int32_t value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Snapshot and picture sizes (16 bytes), one flag for "file missing", then the file.
    if (size < 17)
        return 0;
    int snapshotWidth = readInt(data);
    int snapshotHeight = readInt(data + 4);
    int pictureWidth = readInt(data + 8);
    int pictureHeight = readInt(data + 12);
    // Mostly sizes a camera and the editor have; sometimes anything.
    if ((data[16] & 0x80) == 0) {
        snapshotWidth = 1 + int(uint32_t(snapshotWidth) % 2048);
        snapshotHeight = 1 + int(uint32_t(snapshotHeight) % 2048);
        pictureWidth = 768;
        pictureHeight = 576;
    }
    const bool fileMissing = (data[16] & 1) != 0;
    const uint8_t* fileBytes = data + 17;
    const size_t fileSize = size - 17;

    const maskfile::EditorScale scale =
        maskfile::editorScale(snapshotWidth, snapshotHeight, pictureWidth, pictureHeight);
    const maskfile::MaskRecords loaded =
        maskfile::loadForEditor(fileMissing ? nullptr : fileBytes, fileMissing ? 0 : fileSize, scale);
    const maskfile::MaskRecords saved = maskfile::saveForEditor(loaded, scale);

    // What the editor saves is what the station can apply: inside the snapshot, stamped with it.
    if (snapshotWidth > 0 && snapshotHeight > 0 && snapshotWidth <= 0xFFFF && snapshotHeight <= 0xFFFF &&
        std::isfinite(scale.sx) && std::isfinite(scale.sy) && scale.sx > 0 && scale.sy > 0) {
        for (const MaskInfo& record : saved) {
            if (record.nImageWidth != snapshotWidth || record.nImageHeight != snapshotHeight)
                abort();
            // A rectangle clipped away entirely keeps its corner but has no size; nothing applies it.
            const bool hasArea = record.nWidth > 0 && record.nHeight > 0;
            if (hasArea && (long(record.nX) + record.nWidth > snapshotWidth ||
                            long(record.nY) + record.nHeight > snapshotHeight))
                abort();
            if (hasArea && record.bEnabled == 1 &&
                !maskfile::recordApplies(record, snapshotWidth, snapshotHeight))
                abort();
        }
    }
    const maskfile::FileBytes bytes = maskfile::encodeRecords(saved);
    (void)maskfile::loadForEditor(bytes.data(), bytes.size(), scale);
    return 0;
}
