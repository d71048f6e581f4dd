#pragma once
// Zonara/reference.cfg, in Qt's INI form:
//   [Reference]
//   Enabled=true
//   X=340
//   Y=16
//   Width=24
//   Height=24
// in the camera picture's pixels, as the masks are.

#include <QByteArray>

#include <string>

namespace calidra::referencefile {

struct ReferenceRectangle {
    bool enabled = true;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const ReferenceRectangle& other) const {
        return enabled == other.enabled && x == other.x && y == other.y && width == other.width &&
               height == other.height;
    }
};

enum class ReferenceFileState { Read, Missing, NotRegularFile, Damaged };

struct ReferenceFileReading {
    ReferenceFileState state = ReferenceFileState::Missing;
    ReferenceRectangle rectangle; // with Read
};

// Never waits on whatever stands at the path: only a regular file of at most a few KiB is read.
// Damaged: unreadable, not INI, or without a whole non-negative rectangle of non-zero size.
ReferenceFileReading readReferenceFile(const std::string& path);
// The same from the file's bytes.
ReferenceFileReading decodeReferenceFile(const QByteArray& bytes);

QByteArray encodeReferenceFile(const ReferenceRectangle& rectangle);
// Put in place whole or not at all (the atomic writer); false with errorNumber set on failure.
bool writeReferenceFile(const std::string& path, const ReferenceRectangle& rectangle,
                        int* errorNumber = nullptr);

} // namespace calidra::referencefile
