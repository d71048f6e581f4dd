#include "maskfile/maskinfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace maskfile {

namespace {

uint16_t readLittleEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void writeLittleEndian16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value & 0xFF);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

bool writeAll(int descriptor, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC; // no progress and no error: the disk took nothing more
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::string stationMaskFilePath(const std::string& programFolder) {
    return programFolder + "/Zonara/maskinfo.cfg";
}

bool readMaskRegions(const std::string& path, FileBytes& buffer) {
    buffer.fill(0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    // A short read leaves the rest zero: the records it lacks are never applied.
    (void)std::fread(buffer.data(), 1, buffer.size(), file);
    std::fclose(file);
    return true;
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

bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        return false;
    }
    // The first failing step's errno is what the caller gets, whatever the clean-up does to it.
    errno = 0;
    int failure = writeAll(descriptor, data, size) ? 0 : (errno != 0 ? errno : EIO);
    // Others must be able to read the file as they could the old one.
    if (failure == 0 && ::fchmod(descriptor, 0644) != 0)
        failure = errno;
    if (failure == 0 && ::fsync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        errno = failure;
    }
    return failure == 0;
}

} // namespace maskfile
