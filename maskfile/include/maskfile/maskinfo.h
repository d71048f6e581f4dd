#pragma once
// One mask record of maskinfo.cfg: eight unsigned 16-bit fields, stored as a
// raw little-endian memory image. The file holds four records, 64 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct MaskInfo {
    uint16_t nID = 0;
    uint16_t bEnabled = 0;
    uint16_t nX = 0;
    uint16_t nY = 0;
    uint16_t nWidth = 0;
    uint16_t nHeight = 0;
    uint16_t nImageWidth = 0;
    uint16_t nImageHeight = 0;
};
static_assert(sizeof(MaskInfo) == 16, "MaskInfo is a 16-byte record");

namespace maskfile {

constexpr int kMaskCount = 4;
constexpr std::size_t kRecordBytes = 16;
constexpr std::size_t kFileBytes = kMaskCount * kRecordBytes;

using MaskRecords = std::array<MaskInfo, kMaskCount>;
using FileBytes = std::array<uint8_t, kFileBytes>;

// What the station found at the mask file's path on its latest read.
enum class MaskFileState { Read, Missing, NotRegularFile, WrongSize, Unreadable };

struct MaskFileReading {
    MaskFileState state = MaskFileState::Missing;
    long long sizeBytes = 0; // of a file of the wrong size
    int errorNumber = 0;     // errno of an unreadable file
};

// Station side, on every frame: clears the buffer, then fills it from the file
// only when that is a regular file of exactly 64 bytes. The path is opened
// without blocking: a FIFO or a device in its place must not stall the frame
// thread. Anything but Read leaves the buffer zero, so no mask applies.
MaskFileReading readMaskRegions(const std::string& path, FileBytes& buffer);

// Records from (and to) the little-endian file image, independent of the
// host's byte order.
MaskRecords decodeRecords(const FileBytes& bytes);
FileBytes encodeRecords(const MaskRecords& records);

// Whether the station blanks this record out of a frame of the given size:
// enabled exactly 1, non-zero size, drawn on a snapshot of the frame's size,
// and the rectangle inside the frame (checked without 16-bit overflow).
bool recordApplies(const MaskInfo& record, int frameWidth, int frameHeight);

} // namespace maskfile
