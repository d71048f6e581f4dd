#include "regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace calidra::sorvik {

int openRegularFile(const std::string& path, std::size_t& sizeBytes, std::string& reason) {
    struct stat info {};
    // Looked at before opening: opening a device may already do something.
    if (::stat(path.c_str(), &info) != 0) {
        reason = "cannot be read (" + std::string(std::strerror(errno)) + ")";
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "is not a regular file";
        return -1;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reason = "cannot be read (" + std::string(std::strerror(errno)) + ")";
        return -1;
    }
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        reason = "is not a regular file";
        return -1;
    }
    sizeBytes = std::size_t(info.st_size);
    return descriptor;
}

bool readRegularTextFile(const std::string& path, std::size_t maxBytes, std::string& text,
                         std::string& reason) {
    std::size_t size = 0;
    const int descriptor = openRegularFile(path, size, reason);
    if (descriptor < 0)
        return false;
    if (size > maxBytes) {
        ::close(descriptor);
        reason = "is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    text.assign(size, '\0');
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t count = ::read(descriptor, &text[filled], size - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        filled += std::size_t(count);
    }
    ::close(descriptor);
    text.resize(filled);
    return true;
}

} // namespace calidra::sorvik
