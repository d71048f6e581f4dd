#pragma once
// The station's side of the stream server: takes one picture per connection on a local stream
// socket and keeps statistics. Connections are served side by side, so a sender that connects and
// then idles never holds up the station's next picture.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace calidra {

struct StreamStatistics {
    uint64_t frames = 0;      // messages of exactly one picture
    uint64_t badMessages = 0; // shorter or longer messages, or senders that stalled
    // Of the bad ones, whole messages of another length (the sender closed), and the latest length.
    uint64_t otherSizeMessages = 0;
    std::size_t lastOtherSizeBytes = 0;
};

class StreamServer {
public:
    using FrameHandler =
        std::function<void(const std::vector<unsigned char>& bgrPixels, uint64_t frameNumber)>;

    // Senders beyond this many open at once push out the one that has been quiet longest.
    static constexpr std::size_t maximumOpenConnections = 32;
    // A longer message is read to its end, only counted, to tell its length; up to this many bytes.
    static constexpr std::size_t largestCountedMessageBytes = 64u << 20;

    StreamServer(int width, int height);
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    // Creates the socket, replacing a file left by a server that is gone. Refuses (false, with a
    // reason) when another server answers on the path.
    bool listen(const std::string& socketPath, std::string& error);

    // Serves connections until stopRequested is set; checks it at least every pollIntervalMs.
    void run(const std::atomic<bool>& stopRequested, int pollIntervalMs = 100);

    // Called on the serving thread for every good frame, as soon as its sender has closed.
    void setFrameHandler(FrameHandler handler) { frameHandler_ = std::move(handler); }

    // How long a connected sender may pause before its message counts as bad.
    void setStallTimeoutMs(int timeoutMs) { stallTimeoutMs_ = timeoutMs; }

    StreamStatistics statistics() const;
    std::size_t frameBytes() const { return frameBytes_; }

private:
    struct Connection;

    void acceptWaiting(int64_t nowMs);
    // False when the connection is finished (whole message, bad message or error).
    bool readFrom(Connection& connection, int64_t nowMs);
    void finish(Connection& connection, bool good);
    void noteOtherSize(std::size_t messageBytes);
    void closeSocket();

    std::size_t frameBytes_;
    int listener_ = -1;
    std::string socketPath_;
    int stallTimeoutMs_ = 2000;
    FrameHandler frameHandler_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<std::vector<unsigned char>> spareBuffers_; // reused so a frame allocates nothing
    std::atomic<uint64_t> frames_{0};
    std::atomic<uint64_t> badMessages_{0};
    std::atomic<uint64_t> otherSizeMessages_{0};
    std::atomic<std::size_t> lastOtherSizeBytes_{0};
};

} // namespace calidra
