#include "pipeline/stream_feed.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace calidra {
namespace {

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class Socket {
public:
    explicit Socket(int descriptor) : descriptor_(descriptor) {}
    ~Socket() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace

std::string streamSocketPath() {
    const char* runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeFolder != nullptr && runtimeFolder[0] != '\0')
        return std::string(runtimeFolder) + "/SorvikRTSPServer_0";
    return "/tmp/SorvikRTSPServer_0-" + std::to_string(::getuid());
}

StreamFeed::StreamFeed(std::string socketPath) : socketPath_(std::move(socketPath)) {}

StreamOutcome StreamFeed::streamFrame(const cv::Mat& bgrPicture, uint32_t tickMs) {
    if (resting_) {
        if (uint32_t(tickMs - restStartTick_) < restAfterFailureMs)
            return StreamOutcome::Resting;
        resting_ = false;
    }
    if (bgrPicture.empty() || bgrPicture.type() != CV_8UC3 || !bgrPicture.isContinuous())
        return StreamOutcome::NotSendable;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.empty() || socketPath_.size() >= sizeof address.sun_path)
        return StreamOutcome::NoServer;
    std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    // Most frames of a station without a stream server end here, without making a socket.
    struct stat entry {};
    if (::stat(socketPath_.c_str(), &entry) != 0 || !S_ISSOCK(entry.st_mode))
        return StreamOutcome::NoServer;

    // Non-blocking throughout: a full backlog or a full socket buffer never holds the frame.
    Socket connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (connection.get() < 0)
        return StreamOutcome::NoServer;
    if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return StreamOutcome::NoServer;

    const auto* bytes = bgrPicture.data;
    std::size_t remaining = bgrPicture.total() * 3u;
    const int64_t deadline = monotonicMs() + sendTimeoutMs;
    while (remaining > 0) {
        const ssize_t sent = ::send(connection.get(), bytes, remaining, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes += sent;
            remaining -= std::size_t(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        const int64_t left = deadline - monotonicMs();
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && left > 0) {
            pollfd writable{connection.get(), POLLOUT, 0};
            ::poll(&writable, 1, int(left));
            continue;
        }
        resting_ = true;
        restStartTick_ = tickMs;
        return StreamOutcome::Failed;
    }
    return StreamOutcome::Sent;
}

} // namespace calidra
