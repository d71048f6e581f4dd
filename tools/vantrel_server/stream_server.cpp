#include "stream_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace calidra {
namespace {

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

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

struct StreamServer::Connection {
    int descriptor = -1;
    std::vector<unsigned char> buffer; // taken from the spares on the first byte
    std::size_t received = 0;
    std::size_t skipped = 0; // bytes beyond the buffer of a message too long, counted and not kept
    int64_t lastActivityMs = 0;
};

StreamServer::StreamServer(int width, int height)
    : frameBytes_(std::size_t(width > 0 ? width : 0) * std::size_t(height > 0 ? height : 0) * 3u) {}

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
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0) {
        error = socketPath + ": " + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    socketPath_ = socketPath;
    return true;
}

void StreamServer::run(const std::atomic<bool>& stopRequested, int pollIntervalMs) {
    std::vector<pollfd> waiting;
    while (!stopRequested.load() && listener_ >= 0) {
        waiting.clear();
        waiting.push_back({listener_, POLLIN, 0});
        for (const auto& connection : connections_)
            waiting.push_back({connection->descriptor, POLLIN, 0});
        int timeoutMs = pollIntervalMs;
        const int64_t beforeMs = monotonicMs();
        for (const auto& connection : connections_)
            timeoutMs = int(std::max<int64_t>(
                0, std::min<int64_t>(timeoutMs, connection->lastActivityMs + stallTimeoutMs_ - beforeMs)));
        if (::poll(waiting.data(), waiting.size(), timeoutMs) < 0 && errno != EINTR)
            break;

        const int64_t nowMs = monotonicMs();
        // Only the connections that were polled: accepting below appends new ones.
        std::size_t kept = 0;
        const std::size_t polled = waiting.size() - 1;
        for (std::size_t index = 0; index < connections_.size(); ++index) {
            Connection& connection = *connections_[index];
            bool open = true;
            if (index < polled && waiting[index + 1].revents != 0)
                open = readFrom(connection, nowMs);
            if (open && nowMs - connection.lastActivityMs >= stallTimeoutMs_) {
                finish(connection, false);
                open = false;
            }
            if (open)
                connections_[kept++] = std::move(connections_[index]);
        }
        connections_.resize(kept);
        if (waiting[0].revents != 0)
            acceptWaiting(nowMs);
    }
    for (const auto& connection : connections_)
        ::close(connection->descriptor);
    connections_.clear();
}

void StreamServer::acceptWaiting(int64_t nowMs) {
    // Bounded, so a flood of connections cannot keep the loop from reading.
    for (std::size_t accepted = 0; accepted < maximumOpenConnections; ++accepted) {
        const int descriptor = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor < 0)
            return;
        if (connections_.size() >= maximumOpenConnections) {
            auto quietest = std::min_element(connections_.begin(), connections_.end(),
                                             [](const auto& first, const auto& second) {
                                                 return first->lastActivityMs < second->lastActivityMs;
                                             });
            finish(**quietest, false);
            connections_.erase(quietest);
        }
        auto connection = std::make_unique<Connection>();
        connection->descriptor = descriptor;
        connection->lastActivityMs = nowMs;
        connections_.push_back(std::move(connection));
    }
}

bool StreamServer::readFrom(Connection& connection, int64_t nowMs) {
    for (;;) {
        if (connection.buffer.empty()) {
            if (spareBuffers_.empty()) {
                connection.buffer.resize(frameBytes_ + 1); // one byte more shows a message that is too long
            } else {
                connection.buffer = std::move(spareBuffers_.back());
                spareBuffers_.pop_back();
            }
        }
        // Longer than one picture: the rest is read over the buffer's start, only to learn the length.
        const bool full = connection.received == connection.buffer.size();
        const ssize_t count =
            full ? ::recv(connection.descriptor, connection.buffer.data(), connection.buffer.size(),
                          MSG_DONTWAIT)
                 : ::recv(connection.descriptor, connection.buffer.data() + connection.received,
                          connection.buffer.size() - connection.received, MSG_DONTWAIT);
        if (count > 0) {
            (full ? connection.skipped : connection.received) += std::size_t(count);
            connection.lastActivityMs = nowMs;
            if (connection.received + connection.skipped > largestCountedMessageBytes) {
                finish(connection, false); // far too long to be anybody's picture
                return false;
            }
            if (full)
                return true; // one skipped read per round, so the other senders keep their turn
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        // The sender closed (or failed): the message is complete.
        const std::size_t length = connection.received + connection.skipped;
        const bool good = count == 0 && length == frameBytes_ && frameBytes_ > 0;
        if (count == 0 && !good && length > 0)
            noteOtherSize(length);
        finish(connection, good);
        return false;
    }
}

void StreamServer::finish(Connection& connection, bool good) {
    ::close(connection.descriptor);
    connection.descriptor = -1;
    if (!good) {
        badMessages_.fetch_add(1);
    } else {
        const uint64_t number = frames_.fetch_add(1) + 1;
        if (frameHandler_) {
            connection.buffer.resize(frameBytes_);
            frameHandler_(connection.buffer, number);
            connection.buffer.resize(frameBytes_ + 1);
        }
    }
    if (!connection.buffer.empty() && spareBuffers_.size() < 4)
        spareBuffers_.push_back(std::move(connection.buffer));
    connection.buffer.clear();
    connection.received = 0;
    connection.skipped = 0;
}

void StreamServer::noteOtherSize(std::size_t messageBytes) {
    lastOtherSizeBytes_.store(messageBytes);
    otherSizeMessages_.fetch_add(1);
}

StreamStatistics StreamServer::statistics() const {
    StreamStatistics statistics;
    statistics.frames = frames_.load();
    statistics.badMessages = badMessages_.load();
    statistics.otherSizeMessages = otherSizeMessages_.load();
    statistics.lastOtherSizeBytes = lastOtherSizeBytes_.load();
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
