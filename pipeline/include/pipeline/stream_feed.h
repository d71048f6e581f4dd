#pragma once
// The annotated picture for the stream server: one connection, one picture, one close per
// frame over a local socket. A server that stops reading may cost a frame at most 50 ms, and
// then the feed rests for a second, so fever detection never waits on the stream.

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

namespace calidra {

// $XDG_RUNTIME_DIR/SorvikRTSPServer_0, or /tmp/SorvikRTSPServer_0-<uid> without a runtime folder.
std::string streamSocketPath();

enum class StreamOutcome {
    Sent,
    NoServer,   // nobody listening, or every connection slot busy
    Failed,     // the write broke off or timed out; the feed rests
    Resting,    // within the rest after a failure: not tried
    NotSendable // an empty or non-contiguous picture
};

class StreamFeed {
public:
    static constexpr int sendTimeoutMs = 50;
    static constexpr uint32_t restAfterFailureMs = 1000;

    explicit StreamFeed(std::string socketPath = streamSocketPath());

    // Sends the whole picture, exactly width × height × 3 bytes. tickMs is the frame's tick and
    // only decides the rest after a failure.
    StreamOutcome streamFrame(const cv::Mat& bgrPicture, uint32_t tickMs);

    const std::string& socketPath() const { return socketPath_; }

private:
    std::string socketPath_;
    bool resting_ = false;
    uint32_t restStartTick_ = 0;
};

} // namespace calidra
