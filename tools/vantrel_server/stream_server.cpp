#include "stream_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace calidra {
namespace {

bool fillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Whether a server is accepting on the path right now.
bool serverAnswers(const sockaddr_un& address) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const bool answered = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return answered;
}

} // namespace

StreamServer::StreamServer(int width, int height)
    : frameBytes_(std::size_t(width > 0 ? width : 0) * std::size_t(height > 0 ? height : 0) * 3u) {
    buffer_.resize(frameBytes_ + 1); // one byte more shows a message that is too long
}

StreamServer::~StreamServer() {
    closeSocket();
}

bool StreamServer::listen(const std::string& socketPath, std::string& error) {
    sockaddr_un address;
    if (!fillAddress(socketPath, address)) {
        error = "socket path is empty or too long: " + socketPath;
        return false;
    }
    struct stat existing;
    if (::lstat(socketPath.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = socketPath + " exists and is not a socket";
            return false;
        }
        if (serverAnswers(address)) {
            error = "another stream server is running on " + socketPath;
            return false;
        }
        ::unlink(socketPath.c_str()); // left behind by a server that is gone
    }
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0) {
        error = socketPath + ": " + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    socketPath_ = socketPath;
    return true;
}

void StreamServer::run(const std::atomic<bool>& stopRequested, int pollIntervalMs) {
    while (!stopRequested.load() && listener_ >= 0) {
        pollfd waiting{listener_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, pollIntervalMs);
        if (ready <= 0)
            continue; // time-out or a signal: look at the stop flag again
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        serveConnection(connection);
        ::close(connection);
    }
}

void StreamServer::serveConnection(int connection) {
    std::size_t received = 0;
    bool stalled = false;
    // Read until the sender closes; anything past one picture makes the message bad.
    while (received < buffer_.size()) {
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, stallTimeoutMs_) <= 0) {
            stalled = true;
            break;
        }
        const ssize_t count = ::recv(connection, buffer_.data() + received, buffer_.size() - received, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        received += std::size_t(count);
    }
    if (stalled || received != frameBytes_ || frameBytes_ == 0) {
        badMessages_.fetch_add(1);
        return;
    }
    const uint64_t number = frames_.fetch_add(1) + 1;
    if (frameHandler_) {
        buffer_.resize(frameBytes_);
        frameHandler_(buffer_, number);
        buffer_.resize(frameBytes_ + 1);
    }
}

StreamStatistics StreamServer::statistics() const {
    StreamStatistics statistics;
    statistics.frames = frames_.load();
    statistics.badMessages = badMessages_.load();
    return statistics;
}

void StreamServer::closeSocket() {
    if (listener_ < 0)
        return;
    ::close(listener_);
    listener_ = -1;
    ::unlink(socketPath_.c_str());
}

} // namespace calidra
