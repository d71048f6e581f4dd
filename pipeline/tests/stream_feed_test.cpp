#include "pipeline/stream_feed.h"

#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace calidra {
namespace {

using Clock = std::chrono::steady_clock;
using test::waitFor;

// A listening socket; reads every connection to its end when asked to, or never.
class SocketServer {
public:
    SocketServer(const std::string& path, bool reads) : path_(path) {
        ::unlink(path.c_str());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 16), 0);
        if (reads)
            thread_ = std::thread([this] { serve(); });
    }
    ~SocketServer() {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
        ::unlink(path_.c_str());
    }
    std::vector<std::size_t> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sizes_;
    }
    std::vector<unsigned char> lastMessage() {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }

private:
    void serve() {
        while (!stop_.load()) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 20) <= 0)
                continue;
            const int connection = ::accept(listener_, nullptr, nullptr);
            std::vector<unsigned char> message;
            unsigned char buffer[65536];
            ssize_t count;
            while ((count = ::recv(connection, buffer, sizeof buffer, 0)) > 0)
                message.insert(message.end(), buffer, buffer + count);
            ::close(connection);
            std::lock_guard<std::mutex> lock(mutex_);
            sizes_.push_back(message.size());
            last_ = std::move(message);
        }
    }

    std::string path_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::size_t> sizes_;
    std::vector<unsigned char> last_;
};

std::string socketPath(const char* name) {
    return "/tmp/stream-feed-test-" + std::to_string(::getpid()) + "-" + name;
}

TEST(StreamFeedTest, EachFrameIsOneWholeMessage) {
    const std::string path = socketPath("whole");
    SocketServer server(path, true);
    StreamFeed feed(path);
    cv::Mat picture(288, 384, CV_8UC3);
    cv::randu(picture, 0, 256);
    EXPECT_EQ(feed.streamFrame(picture, 0), StreamOutcome::Sent);
    EXPECT_EQ(feed.streamFrame(picture, 33), StreamOutcome::Sent);
    ASSERT_TRUE(waitFor([&] { return server.messages().size() == 2; }));
    EXPECT_EQ(server.messages(), (std::vector<std::size_t>{331776, 331776}));
    const std::vector<unsigned char> last = server.lastMessage();
    ASSERT_EQ(last.size(), 331776u);
    EXPECT_EQ(std::memcmp(last.data(), picture.data, last.size()), 0);
}

TEST(StreamFeedTest, NoServerMeansNothingHappens) {
    StreamFeed feed(socketPath("absent"));
    const cv::Mat picture(4, 4, CV_8UC3, cv::Scalar::all(1));
    EXPECT_EQ(feed.streamFrame(picture, 0), StreamOutcome::NoServer);
    EXPECT_EQ(feed.streamFrame(picture, 1), StreamOutcome::NoServer); // tried again, no rest
    EXPECT_EQ(feed.streamFrame(cv::Mat(), 2), StreamOutcome::NotSendable);
}

TEST(StreamFeedTest, ServerThatNeverReadsCostsOneFramePerSecondAtMost50Ms) {
    const std::string path = socketPath("stalled");
    SocketServer server(path, false);
    StreamFeed feed(path);
    cv::Mat picture(1024, 1280, CV_8UC3, cv::Scalar::all(3)); // far more than a socket buffer holds

    // Three seconds of frames at 30 a second, by the frames' own ticks.
    std::vector<uint32_t> failures;
    int resting = 0;
    double longestMs = 0.0;
    for (uint32_t tick = 0; tick < 3000; tick += 33) {
        const auto started = Clock::now();
        const StreamOutcome outcome = feed.streamFrame(picture, tick);
        longestMs =
            std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        if (outcome == StreamOutcome::Failed)
            failures.push_back(tick);
        resting += outcome == StreamOutcome::Resting ? 1 : 0;
    }
    // One attempt at the start and one after every second of rest.
    EXPECT_EQ(failures, (std::vector<uint32_t>{0, 1023, 2046}));
    EXPECT_EQ(resting, 91 - 3);
    EXPECT_LT(longestMs, 500.0); // the 50 ms bound, with room for a loaded machine
}

TEST(StreamFeedTest, RestingCountsAcrossTheTickWrap) {
    const std::string path = socketPath("wrap");
    SocketServer server(path, false);
    StreamFeed feed(path);
    cv::Mat picture(1024, 1280, CV_8UC3, cv::Scalar::all(3));
    EXPECT_EQ(feed.streamFrame(picture, 0xFFFFFF00u), StreamOutcome::Failed);
    EXPECT_EQ(feed.streamFrame(picture, 0x00000100u), StreamOutcome::Resting);
}

TEST(StreamFeedTest, RestartedServerGetsFramesAgain) {
    const std::string path = socketPath("restart");
    StreamFeed feed(path);
    const cv::Mat picture(2, 2, CV_8UC3, cv::Scalar::all(5));
    {
        SocketServer first(path, true);
        EXPECT_EQ(feed.streamFrame(picture, 0), StreamOutcome::Sent);
        ASSERT_TRUE(waitFor([&] { return first.messages().size() == 1; }));
    }
    EXPECT_EQ(feed.streamFrame(picture, 33), StreamOutcome::NoServer);
    SocketServer second(path, true);
    EXPECT_EQ(feed.streamFrame(picture, 66), StreamOutcome::Sent);
    ASSERT_TRUE(waitFor([&] { return second.messages().size() == 1; }));
    EXPECT_EQ(second.messages().front(), 12u);
}

TEST(StreamFeedTest, SocketPathFollowsTheRuntimeFolder) {
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(streamSocketPath(), "/run/user/4242/SorvikRTSPServer_0");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(streamSocketPath(), "/tmp/SorvikRTSPServer_0-" + std::to_string(::getuid()));
}

} // namespace
} // namespace calidra
