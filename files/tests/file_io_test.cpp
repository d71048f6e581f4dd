#include "files/file_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace calidra::files {
namespace {

class TemporaryFolder {
public:
    TemporaryFolder() {
        char pattern[] = "/tmp/files_test.XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(path_.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            ::closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(AtomicWrite, ReplacesTheFileWholeAndLeavesNoTemporary) {
    TemporaryFolder folder;
    const std::string path = folder.path() + "/maskinfo.cfg";
    writeBytes(path, std::vector<uint8_t>(64, 1));
    const std::vector<uint8_t> replacement(64, 9);
    ASSERT_TRUE(writeFileAtomically(path, replacement.data(), replacement.size()));
    std::vector<uint8_t> contents;
    ASSERT_EQ(readRegularFile(path, 64, contents).status, FileReadStatus::Read);
    EXPECT_EQ(contents, replacement);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"maskinfo.cfg"});
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~0022u);

    // Under the packaged launchers' umask the operators' group may write what another put there.
    const mode_t previous = ::umask(0002);
    const bool written = writeFileAtomically(path, replacement.data(), replacement.size());
    ::umask(previous);
    ASSERT_TRUE(written);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u);
}

TEST(AtomicWrite, FailureLeavesTheOldFileAndNoTemporary) {
    TemporaryFolder folder;
    const std::string missingFolderPath = folder.path() + "/missing/maskinfo.cfg";
    const std::vector<uint8_t> bytes(64, 3);
    EXPECT_FALSE(writeFileAtomically(missingFolderPath, bytes.data(), bytes.size()));

    // The target is a folder: the rename fails, the temporary must go.
    const std::string folderTarget = folder.path() + "/target";
    ASSERT_EQ(::mkdir(folderTarget.c_str(), 0755), 0);
    ::mkdir((folderTarget + "/keep").c_str(), 0755);
    EXPECT_FALSE(writeFileAtomically(folderTarget, bytes.data(), bytes.size()));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"target"});
}

} // namespace
} // namespace calidra::files
