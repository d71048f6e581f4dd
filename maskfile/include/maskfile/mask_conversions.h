#pragma once
// The mask editor's conversions between the file (snapshot pixels) and its
// picture area (768 x 576 pixels showing the scaled snapshot). Pure functions.

#include "maskfile/maskinfo.h"

namespace maskfile {

// Scale factors of the editor: sx = snapshot width / picture width,
// sy = snapshot height / picture height.
struct EditorScale {
    int snapshotWidth = 0;
    int snapshotHeight = 0;
    double sx = 0.0;
    double sy = 0.0;
};

EditorScale editorScale(int snapshotWidth, int snapshotHeight, int pictureWidth, int pictureHeight);

// Default record i: disabled, at (22 i, 0), 20 x 20, on the snapshot's size.
MaskRecords defaultRecords(int snapshotWidth, int snapshotHeight);

// Editor load: the file's bytes (possibly short or absent) to records in
// picture-area pixels. Falls back to the defaults when the file is missing,
// short, or record 0 was drawn on a snapshot of another size.
// fileBytes == nullptr means the file could not be opened.
MaskRecords loadForEditor(const uint8_t* fileBytes, std::size_t size, const EditorScale& scale);

// Editor save: records in picture-area pixels to records in snapshot pixels,
// rounded, clipped to the snapshot, and stamped with the snapshot size.
MaskRecords saveForEditor(const MaskRecords& pictureRecords, const EditorScale& scale);

} // namespace maskfile
