#pragma once
// The stand-in for the station's stream server: takes one picture per connection on a local
// stream socket and keeps statistics, so the station's feed can be watched and tested.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace calidra {

struct StreamStatistics {
    uint64_t frames = 0;      // messages of exactly one picture
    uint64_t badMessages = 0; // shorter or longer messages, or senders that stalled
};

class StreamServer {
public:
    using FrameHandler =
        std::function<void(const std::vector<unsigned char>& bgrPixels, uint64_t frameNumber)>;

    StreamServer(int width, int height);
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    // Creates the socket, replacing a file left by a server that is gone. Refuses (false, with a
    // reason) when another server answers on the path.
    bool listen(const std::string& socketPath, std::string& error);

    // Serves connections until stopRequested is set; checks it at least every pollIntervalMs.
    void run(const std::atomic<bool>& stopRequested, int pollIntervalMs = 100);

    // Called on the serving thread for every good frame.
    void setFrameHandler(FrameHandler handler) { frameHandler_ = std::move(handler); }

    // How long a connected sender may pause before its message counts as bad.
    void setStallTimeoutMs(int timeoutMs) { stallTimeoutMs_ = timeoutMs; }

    StreamStatistics statistics() const;
    std::size_t frameBytes() const { return frameBytes_; }

private:
    void serveConnection(int connection);
    void closeSocket();

    std::size_t frameBytes_;
    int listener_ = -1;
    std::string socketPath_;
    int stallTimeoutMs_ = 2000;
    FrameHandler frameHandler_;
    std::vector<unsigned char> buffer_;
    std::atomic<uint64_t> frames_{0};
    std::atomic<uint64_t> badMessages_{0};
};

} // namespace calidra
