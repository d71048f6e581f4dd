#include "stream_server.h"

#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace calidra {
namespace {

using test::waitFor;

std::string temporarySocketPath(const char* name) {
    return "/tmp/vantrel-test-" + std::to_string(::getpid()) + "-" + name;
}

// One connection, one message, one close: what the station's feed does per frame.
bool sendMessage(const std::string& path, const std::vector<unsigned char>& message) {
    const int connection = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(connection);
        return false;
    }
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t count = ::send(connection, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            break;
        sent += std::size_t(count);
    }
    ::close(connection);
    return true;
}

class RunningServer {
public:
    RunningServer(const std::string& path, int width, int height) : server(width, height) {
        std::string error;
        listening = server.listen(path, error);
        if (listening)
            thread = std::thread([this] { server.run(stop, 20); });
    }
    ~RunningServer() {
        stop.store(true);
        if (thread.joinable())
            thread.join();
    }
    StreamServer server;
    bool listening = false;
    std::atomic<bool> stop{false};
    std::thread thread;
};

TEST(StreamServerTest, CountsWholePicturesAndRejectsOtherSizes) {
    const std::string path = temporarySocketPath("sizes");
    std::vector<std::vector<unsigned char>> received;
    RunningServer running(path, 384, 288);
    ASSERT_TRUE(running.listening);
    EXPECT_EQ(running.server.frameBytes(), 331776u);

    std::vector<unsigned char> picture(331776);
    for (std::size_t index = 0; index < picture.size(); ++index)
        picture[index] = static_cast<unsigned char>(index * 7);
    ASSERT_TRUE(sendMessage(path, picture));
    ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(331775)));
    ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(331777)));
    ASSERT_TRUE(sendMessage(path, {}));
    ASSERT_TRUE(sendMessage(path, picture));

    ASSERT_TRUE(waitFor([&] {
        const StreamStatistics statistics = running.server.statistics();
        return statistics.frames + statistics.badMessages == 5;
    }));
    EXPECT_EQ(running.server.statistics().frames, 2u);
    EXPECT_EQ(running.server.statistics().badMessages, 3u);
}

TEST(StreamServerTest, MessagesOfAnotherLengthAreReadToTheirEndToTellTheirLength) {
    const std::string path = temporarySocketPath("lengths");
    RunningServer running(path, 384, 288);
    ASSERT_TRUE(running.listening);
    ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(640 * 480 * 3)));
    ASSERT_TRUE(waitFor([&] { return running.server.statistics().otherSizeMessages == 1; }));
    EXPECT_EQ(running.server.statistics().lastOtherSizeBytes, 921600u);
    ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(160 * 120 * 3)));
    ASSERT_TRUE(waitFor([&] { return running.server.statistics().otherSizeMessages == 2; }));
    EXPECT_EQ(running.server.statistics().lastOtherSizeBytes, 57600u);
    EXPECT_EQ(running.server.statistics().badMessages, 2u);
    EXPECT_EQ(running.server.statistics().frames, 0u);
}

TEST(StreamServerTest, HandsEveryGoodPictureOverIntact) {
    const std::string path = temporarySocketPath("handler");
    StreamServer server(4, 2);
    std::vector<unsigned char> last;
    uint64_t lastNumber = 0;
    server.setFrameHandler([&](const std::vector<unsigned char>& pixels, uint64_t number) {
        last = pixels;
        lastNumber = number;
    });
    std::string error;
    ASSERT_TRUE(server.listen(path, error)) << error;
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.run(stop, 20); });

    const std::vector<unsigned char> picture{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                             13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    ASSERT_TRUE(sendMessage(path, picture));
    ASSERT_TRUE(waitFor([&] { return server.statistics().frames == 1; }));
    stop.store(true);
    serving.join();
    EXPECT_EQ(last, picture);
    EXPECT_EQ(lastNumber, 1u);
}

int connectIdle(const std::string& path) {
    const int connection = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return connection;
}

TEST(StreamServerTest, StalledSenderDoesNotHoldUpOthersAndIsDroppedAfterItsTimeOut) {
    const std::string path = temporarySocketPath("stall");
    RunningServer running(path, 2, 2);
    ASSERT_TRUE(running.listening);
    running.server.setStallTimeoutMs(1500);

    const int stalled = connectIdle(path);
    ASSERT_EQ(::send(stalled, "abc", 3, MSG_NOSIGNAL), 3);
    ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(12)));
    ASSERT_TRUE(waitFor([&] { return running.server.statistics().frames == 1; }));
    // Served while the stalled sender was still waiting out its time.
    EXPECT_EQ(running.server.statistics().badMessages, 0u);
    EXPECT_TRUE(waitFor([&] { return running.server.statistics().badMessages == 1; }));
    ::close(stalled);
}

TEST(StreamServerTest, AFloodOfIdleConnectionsCannotStarveThePictures) {
    const std::string path = temporarySocketPath("flood");
    RunningServer running(path, 2, 2);
    ASSERT_TRUE(running.listening);
    std::vector<int> idle;
    for (int count = 0; count < 100; ++count)
        idle.push_back(connectIdle(path));
    for (int count = 0; count < 10; ++count)
        ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(12)));
    EXPECT_TRUE(waitFor([&] { return running.server.statistics().frames == 10; }));
    // The quietest are pushed out to make room; the rest wait for their time-out.
    EXPECT_GE(running.server.statistics().badMessages, 100 - StreamServer::maximumOpenConnections);
    for (const int connection : idle)
        ::close(connection);
}

TEST(StreamServerTest, SocketFileOfAServerThatIsGoneIsReplacedButALiveServerIsNot) {
    const std::string path = temporarySocketPath("stale");
    {
        // A server that ends without cleaning up leaves its socket file behind.
        const int abandoned = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(abandoned, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(abandoned);
        ASSERT_EQ(::access(path.c_str(), F_OK), 0);
    }
    {
        RunningServer first(path, 2, 2);
        ASSERT_TRUE(first.listening);

        StreamServer second(2, 2);
        std::string error;
        EXPECT_FALSE(second.listen(path, error));
        EXPECT_NE(error.find("another stream server"), std::string::npos) << error;
        ASSERT_TRUE(sendMessage(path, std::vector<unsigned char>(12)));
        EXPECT_TRUE(waitFor([&] { return first.server.statistics().frames == 1; }));
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0); // removed on the way out
}

TEST(StreamServerTest, OrdinaryFileAtTheSocketPathIsLeftAlone) {
    const std::string path = temporarySocketPath("file");
    std::ofstream(path) << "keep me";
    StreamServer server(2, 2);
    std::string error;
    EXPECT_FALSE(server.listen(path, error));
    std::ifstream kept(path);
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "keep me");
    ::unlink(path.c_str());
}

} // namespace
} // namespace calidra
