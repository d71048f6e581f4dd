#include "referencefile/reference_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>

#include <fstream>

namespace calidra::referencefile {
namespace {

TEST(ReferenceFileTest, WrittenInIniFormAndReadBack) {
    QTemporaryDir folder;
    const std::string path = (folder.path() + QStringLiteral("/reference.cfg")).toStdString();
    const ReferenceRectangle rectangle{true, 340, 16, 24, 24};
    ASSERT_TRUE(writeReferenceFile(path, rectangle));
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[Reference]\nEnabled=true\nHeight=24\nWidth=24\nX=340\nY=16\n");
    const ReferenceFileReading reading = readReferenceFile(path);
    EXPECT_EQ(reading.state, ReferenceFileState::Read);
    EXPECT_EQ(reading.rectangle, rectangle);
    EXPECT_FALSE(
        decodeReferenceFile("[Reference]\nEnabled=false\nX=1\nY=2\nWidth=3\nHeight=4\n").rectangle.enabled);
}

TEST(ReferenceFileTest, MissingDamagedAndAFifoAreToldApartWithoutWaiting) {
    QTemporaryDir folder;
    const std::string path = (folder.path() + QStringLiteral("/reference.cfg")).toStdString();
    EXPECT_EQ(readReferenceFile(path).state, ReferenceFileState::Missing);
    for (const char* damaged :
         {"", "garbage\x01\xff", "[Reference]\nEnabled=true\nX=1\nY=2\nWidth=0\nHeight=4\n",
          "[Reference]\nEnabled=true\nX=a\nY=2\nWidth=3\nHeight=4\n",
          "[Other]\nEnabled=true\nX=1\nY=2\nWidth=3\nHeight=4\n"}) {
        std::ofstream(path, std::ios::trunc) << damaged;
        EXPECT_EQ(readReferenceFile(path).state, ReferenceFileState::Damaged) << damaged;
    }
    std::remove(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(readReferenceFile(path).state, ReferenceFileState::NotRegularFile); // a wait would hang here
}

} // namespace
} // namespace calidra::referencefile
