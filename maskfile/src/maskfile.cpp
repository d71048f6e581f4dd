#include "maskfile/maskinfo.h"

#include "files/file_io.h"

#include <algorithm>
#include <vector>

namespace maskfile {

using calidra::files::FileReadResult;
using calidra::files::FileReadStatus;
using calidra::files::readRegularFile;

namespace {

uint16_t readLittleEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void writeLittleEndian16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value & 0xFF);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

MaskFileReading readMaskRegions(const std::string& path, FileBytes& buffer) {
    buffer.fill(0);
    std::vector<uint8_t> contents;
    const FileReadResult read = readRegularFile(path, kFileBytes, contents);
    MaskFileReading reading;
    reading.sizeBytes = read.sizeBytes;
    reading.errorNumber = read.errorNumber;
    switch (read.status) {
    case FileReadStatus::Read:
        // The editor writes the file whole in one step: any other size was not written by it.
        if (contents.size() != kFileBytes) {
            reading.state = MaskFileState::WrongSize;
            return reading;
        }
        std::copy(contents.begin(), contents.end(), buffer.begin());
        reading.state = MaskFileState::Read;
        return reading;
    case FileReadStatus::TooLarge:
        reading.state = MaskFileState::WrongSize;
        return reading;
    case FileReadStatus::Missing:
        reading.state = MaskFileState::Missing;
        return reading;
    case FileReadStatus::NotRegularFile:
        reading.state = MaskFileState::NotRegularFile;
        return reading;
    case FileReadStatus::Unreadable:
        break;
    }
    reading.state = MaskFileState::Unreadable;
    return reading;
}

MaskRecords decodeRecords(const FileBytes& bytes) {
    MaskRecords records{};
    for (int i = 0; i < kMaskCount; ++i) {
        const uint8_t* record = bytes.data() + i * kRecordBytes;
        MaskInfo& info = records[i];
        info.nID = readLittleEndian16(record + 0);
        info.bEnabled = readLittleEndian16(record + 2);
        info.nX = readLittleEndian16(record + 4);
        info.nY = readLittleEndian16(record + 6);
        info.nWidth = readLittleEndian16(record + 8);
        info.nHeight = readLittleEndian16(record + 10);
        info.nImageWidth = readLittleEndian16(record + 12);
        info.nImageHeight = readLittleEndian16(record + 14);
    }
    return records;
}

FileBytes encodeRecords(const MaskRecords& records) {
    FileBytes bytes{};
    for (int i = 0; i < kMaskCount; ++i) {
        uint8_t* record = bytes.data() + i * kRecordBytes;
        const MaskInfo& info = records[i];
        writeLittleEndian16(record + 0, info.nID);
        writeLittleEndian16(record + 2, info.bEnabled);
        writeLittleEndian16(record + 4, info.nX);
        writeLittleEndian16(record + 6, info.nY);
        writeLittleEndian16(record + 8, info.nWidth);
        writeLittleEndian16(record + 10, info.nHeight);
        writeLittleEndian16(record + 12, info.nImageWidth);
        writeLittleEndian16(record + 14, info.nImageHeight);
    }
    return bytes;
}

bool recordApplies(const MaskInfo& record, int frameWidth, int frameHeight) {
    if (record.bEnabled != 1 || record.nWidth == 0 || record.nHeight == 0) {
        return false;
    }
    if (record.nImageWidth != frameWidth || record.nImageHeight != frameHeight) {
        return false;
    }
    // Sums in int: two 16-bit fields can exceed 65535 together.
    const int right = int(record.nX) + int(record.nWidth);
    const int bottom = int(record.nY) + int(record.nHeight);
    return right <= frameWidth && bottom <= frameHeight;
}

} // namespace maskfile
