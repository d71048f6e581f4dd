#include "maskfile/maskinfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

class TemporaryFolder {
public:
    TemporaryFolder() {
        char pattern[] = "/tmp/maskfile_test.XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

MaskInfo record(uint16_t enabled, uint16_t x, uint16_t y, uint16_t w, uint16_t h, uint16_t imageW,
                uint16_t imageH) {
    MaskInfo info;
    info.bEnabled = enabled;
    info.nX = x;
    info.nY = y;
    info.nWidth = w;
    info.nHeight = h;
    info.nImageWidth = imageW;
    info.nImageHeight = imageH;
    return info;
}

} // namespace

TEST(MaskFileFormat, RecordsAreLittleEndianAtTheirOffsets) {
    maskfile::MaskRecords records{};
    records[2] = record(1, 0x0102, 3, 4, 5, 384, 288);
    records[2].nID = 2;
    const maskfile::FileBytes bytes = maskfile::encodeRecords(records);
    const uint8_t* r2 = bytes.data() + 32;
    EXPECT_EQ(r2[0], 2);
    EXPECT_EQ(r2[2], 1);
    EXPECT_EQ(r2[4], 0x02);
    EXPECT_EQ(r2[5], 0x01);
    EXPECT_EQ(r2[12], 384 & 0xFF);
    EXPECT_EQ(r2[13], 384 >> 8);
    const maskfile::MaskRecords back = maskfile::decodeRecords(bytes);
    EXPECT_EQ(back[2].nX, 0x0102);
    EXPECT_EQ(back[2].nImageHeight, 288);
    EXPECT_EQ(back[0].nImageWidth, 0);
}

TEST(MaskFileRead, OnlyAWholeFileIsRead) {
    TemporaryFolder folder;
    const std::string path = folder.path() + "/maskinfo.cfg";
    maskfile::FileBytes buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(maskfile::readMaskRegions(path, buffer).state, maskfile::MaskFileState::Missing);
    for (uint8_t b : buffer) {
        ASSERT_EQ(b, 0) << "a missing file must leave the buffer cleared";
    }

    // The editor writes 64 bytes in one step: a file of another size was not written by it.
    for (std::size_t size : {std::size_t(10), std::size_t(100)}) {
        writeBytes(path, std::vector<uint8_t>(size, 7));
        buffer.fill(0xEE);
        const maskfile::MaskFileReading reading = maskfile::readMaskRegions(path, buffer);
        EXPECT_EQ(reading.state, maskfile::MaskFileState::WrongSize);
        EXPECT_EQ(reading.sizeBytes, static_cast<long long>(size));
        EXPECT_EQ(buffer, maskfile::FileBytes{}) << size;
    }

    writeBytes(path, std::vector<uint8_t>(64, 7));
    EXPECT_EQ(maskfile::readMaskRegions(path, buffer).state, maskfile::MaskFileState::Read);
    EXPECT_EQ(buffer[63], 7);
}

TEST(MaskFileApply, OnlyWholeMatchingRecordsInsideTheFrameApply) {
    EXPECT_TRUE(maskfile::recordApplies(record(1, 10, 10, 30, 20, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(2, 10, 10, 30, 20, 384, 288), 384, 288))
        << "only bEnabled == 1 applies";
    EXPECT_FALSE(maskfile::recordApplies(record(0, 10, 10, 30, 20, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 10, 10, 0, 20, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 10, 10, 30, 0, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 10, 10, 30, 20, 640, 480), 384, 288));
    // Touching the right and bottom edges is inside; one more column is not.
    EXPECT_TRUE(maskfile::recordApplies(record(1, 354, 268, 30, 20, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 355, 268, 30, 20, 384, 288), 384, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 354, 269, 30, 20, 384, 288), 384, 288));
    // A sum past 65535 must not wrap into the frame.
    EXPECT_FALSE(maskfile::recordApplies(record(1, 65535, 0, 2, 20, 65535, 288), 65535, 288));
    EXPECT_FALSE(maskfile::recordApplies(record(1, 65000, 0, 1000, 20, 65535, 288), 65535, 288));
}
