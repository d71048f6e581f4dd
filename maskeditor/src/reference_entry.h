#pragma once
// The reference source's rectangle in the editor: reference.cfg (camera picture pixels, as the
// masks' file) to the picture area's pixels and back.

#include "maskfile/mask_conversions.h"
#include "maskfile/maskinfo.h"

#include <QString>

namespace zonara {

QString referenceFilePath(const QString& applicationFolder);

struct LoadedReference {
    MaskInfo info; // in picture-area pixels
    bool fromFile = false;
};

// From the file when it holds a whole rectangle; otherwise a disabled one near the top right,
// away from the default masks. Clipped into the picture area so that it can always be grabbed.
LoadedReference loadReference(const QString& applicationFolder, const maskfile::EditorScale& scale,
                              int areaWidth, int areaHeight);

// Written whole, rounded and clipped to the snapshot as the masks are; false with errorNumber set.
bool saveReference(const QString& applicationFolder, const MaskInfo& pictureInfo,
                   const maskfile::EditorScale& scale, int* errorNumber);

} // namespace zonara
