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

// Path of the mask file as the station sees it: <program folder>/Zonara/maskinfo.cfg.
std::string stationMaskFilePath(const std::string& programFolder);

// Station side: clears the buffer, then reads up to 64 bytes of the file into
// it. A missing or short file leaves the missing bytes zero. Returns true when
// the file could be opened.
bool readMaskRegions(const std::string& path, FileBytes& buffer);

// Records from (and to) the little-endian file image, independent of the
// host's byte order.
MaskRecords decodeRecords(const FileBytes& bytes);
FileBytes encodeRecords(const MaskRecords& records);

// Whether the station blanks this record out of a frame of the given size:
// enabled exactly 1, non-zero size, drawn on a snapshot of the frame's size,
// and the rectangle inside the frame (checked without 16-bit overflow).
bool recordApplies(const MaskInfo& record, int frameWidth, int frameHeight);

// Replaces the file's content in one step: the bytes go to a temporary file
// in the same folder, flushed to the disk, which is then renamed over the old
// file, so a reader never sees a truncated file, even after a power cut.
// Returns false (and leaves no temporary file) when anything fails, with errno
// set by the step that failed. Every
// file the station and the editor put in place goes through here.
bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size);

} // namespace maskfile
