#include "files/file_io.h"

#include "files/temporary_names.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace calidra::files {
namespace {

bool writeAll(int descriptor, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR)
            continue;
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

// A temporary file beside its final name, holding the bytes on the disk; -1 on failure (nothing
// left behind, errno set).
int writeTemporaryFile(std::string& temporary, const uint8_t* data, std::size_t size) {
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    // The first failing step's errno is what the caller gets, whatever the clean-up does to it.
    errno = 0;
    int failure = writeAll(descriptor, data, size) ? 0 : (errno != 0 ? errno : EIO);
    // mkostemp made it private: it gets what an ordinary new file would.
    if (failure == 0 && ::fchmod(descriptor, newFilePermissions()) != 0)
        failure = errno;
    if (failure == 0 && ::fsync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        errno = failure;
        return -1;
    }
    return 0;
}

FileReadStatus statusOfOpenFailure(int errorNumber) {
    return errorNumber == ENOENT || errorNumber == ENOTDIR ? FileReadStatus::Missing
                                                           : FileReadStatus::Unreadable;
}

} // namespace

FileReadResult readRegularFile(const std::string& path, std::size_t maxBytes,
                               std::vector<uint8_t>& contents) {
    contents.clear();
    FileReadResult result;
    struct stat info {};
    // Looked at before opening: opening a device may already do something.
    if (::stat(path.c_str(), &info) != 0) {
        result.errorNumber = errno;
        result.status = statusOfOpenFailure(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = FileReadStatus::NotRegularFile;
        return result;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        result.errorNumber = errno;
        result.status = statusOfOpenFailure(errno);
        return result;
    }
    // Something else may have been put at the path between the look and the open.
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        result.status = FileReadStatus::NotRegularFile;
        return result;
    }
    result.sizeBytes = info.st_size;
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(descriptor);
        result.status = FileReadStatus::TooLarge;
        return result;
    }
    contents.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < contents.size()) {
        const ssize_t count = ::read(descriptor, contents.data() + filled, contents.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.errorNumber = errno;
            ::close(descriptor);
            contents.clear();
            result.status = FileReadStatus::Unreadable;
            return result;
        }
        if (count == 0)
            break; // shrunk since the look
        filled += static_cast<std::size_t>(count);
    }
    ::close(descriptor);
    contents.resize(filled);
    result.sizeBytes = static_cast<long long>(filled);
    result.status = FileReadStatus::Read;
    return result;
}

unsigned newFilePermissions() {
    // Read from /proc: umask() cannot be asked without being set, which would race with other
    // threads creating files.
    unsigned mask = 022; // the usual umask, should /proc not tell
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        }
        std::fclose(status);
    }
    return 0666u & ~mask;
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, std::size_t size, int* errorNumber) {
    std::string temporary = temporaryNameTemplate(path);
    bool ok = writeTemporaryFile(temporary, data, size) == 0;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int failure = errno;
        ::unlink(temporary.c_str());
        errno = failure;
        ok = false;
    }
    if (!ok && errorNumber != nullptr)
        *errorNumber = errno;
    return ok;
}

std::string writeFileUnderFreeName(const std::string& folder, const std::function<std::string(int)>& nameFor,
                                   int maxNames, const uint8_t* data, std::size_t size) {
    if (maxNames < 1)
        return {};
    std::string temporary = temporaryNameTemplate(folder + "/" + nameFor(1));
    if (writeTemporaryFile(temporary, data, size) != 0)
        return {};
    int failure = EEXIST; // every name taken
    for (int number = 1; number <= maxNames; ++number) {
        const std::string target = folder + "/" + nameFor(number);
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        failure = errno;
        if (errno != EINVAL && errno != ENOSYS)
            break;
        // A file system that cannot rename without replacing: a hard link refuses a taken name too.
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return target;
        }
        failure = errno;
        if (errno != EEXIST)
            break;
        failure = EEXIST;
    }
    ::unlink(temporary.c_str());
    errno = failure;
    return {};
}

std::size_t removeLeftoverTemporaryFiles(const std::string& folder,
                                         const std::function<bool(const std::string& finalName)>& ownsName,
                                         int minimumAgeSeconds) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return 0;
    const std::time_t now = std::time(nullptr);
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        const std::optional<std::string> finalName = finalNameOfTemporary(name);
        if (!finalName || !ownsName(*finalName))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(directory), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        if (now - info.st_mtime < minimumAgeSeconds)
            continue;
        if (::unlinkat(::dirfd(directory), name.c_str(), 0) == 0)
            ++removed;
    }
    ::closedir(directory);
    return removed;
}

} // namespace calidra::files
