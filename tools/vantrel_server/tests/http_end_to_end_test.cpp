// The real VantrelServer's pictures over HTTP on 127.0.0.1, read by ffprobe and ffmpeg: digest
// credentials, the picture as sent, and a viewer that never reads, which must neither hold up
// another viewer nor stay connected.

#include "pipeline/stream_feed.h"
#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using calidra::test::waitFor;
using Clock = std::chrono::steady_clock;

constexpr int width = 384;
constexpr int height = 288;
constexpr int frameBytes = width * height * 3;

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "http_end_to_end_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// A grey picture with a red block on the left, at 25 a second through the station's own feed, for
// at most a minute. Noisy pictures make large JPEGs, so a viewer that never reads soon fills its
// socket.
class Feeder {
public:
    Feeder(const std::string& socketPath, bool noisy) : feed_(socketPath) {
        thread_ = std::thread([this, noisy] {
            cv::Mat picture(height, width, CV_8UC3, cv::Scalar(80, 80, 80));
            const auto start = Clock::now();
            for (int number = 1; number <= 1500 && !stop_.load(); ++number) {
                if (noisy)
                    cv::randu(picture, 0, 256);
                cv::rectangle(picture, cv::Rect(40, 40, 80, 100), cv::Scalar(0, 0, 255), cv::FILLED);
                feed_.streamFrame(picture, uint32_t(number * 40));
                std::this_thread::sleep_until(start + number * std::chrono::milliseconds(40));
            }
        });
    }
    ~Feeder() {
        stop_.store(true);
        thread_.join();
    }

private:
    calidra::StreamFeed feed_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class HttpEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { application(); }

    void SetUp() override {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
            QStandardPaths::findExecutable("ffprobe").isEmpty())
            GTEST_SKIP() << "ffmpeg and ffprobe are needed to watch the pictures";
        QDir(folder.path()).mkpath("runtime");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", folder.filePath("runtime"));
        server.setProcessEnvironment(environment);
    }
    void TearDown() override {
        if (server.state() == QProcess::NotRunning)
            return;
        server.terminate();
        if (!server.waitForFinished(10000))
            server.kill();
        server.waitForFinished(5000);
    }

    std::string socketPath() const { return folder.filePath("runtime/SorvikRTSPServer_0").toStdString(); }

    void startServer(const QStringList& options = {}) {
        server.start(
            qEnvironmentVariable("CALIDRA_RUNTIME_DIR") + "/Vantrel/VantrelServer",
            QStringList{QString::number(width), QString::number(height), "--port", "0", "--http", "0"} +
                options);
        ASSERT_TRUE(server.waitForStarted());
        const QRegularExpression serving("serving (http://\\S+)");
        waitFor([&] { return !(url = serving.match(readServer()).captured(1)).isEmpty(); });
        ASSERT_TRUE(url.startsWith("http://127.0.0.1:")) << serverOutput.toStdString();
    }
    QString readServer() {
        server.waitForReadyRead(50);
        serverOutput += QString::fromUtf8(server.readAllStandardOutput());
        return serverOutput;
    }
    int port() const { return QRegularExpression(":(\\d+)/").match(url).captured(1).toInt(); }

    // Runs a client to its end; false when it fails or does not end in time.
    static bool run(const QString& program, const QStringList& arguments, QByteArray& output,
                    QByteArray& errors) {
        QProcess client;
        client.start(program, QStringList{"-v", "error", "-rw_timeout", "10000000"} + arguments);
        const bool ended = client.waitForFinished(int(calidra::test::kEventDeadline.count()));
        if (!ended)
            client.kill();
        client.waitForFinished();
        output = client.readAllStandardOutput();
        errors = client.readAllStandardError();
        return ended && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    }
    static bool decodeOne(const QString& from, cv::Mat& picture, QByteArray& errors) {
        QByteArray output;
        if (!run("ffmpeg",
                 {"-nostdin", "-i", from, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"},
                 output, errors) ||
            output.size() != frameBytes)
            return false;
        picture = cv::Mat(height, width, CV_8UC3, output.data()).clone();
        return true;
    }

    QTemporaryDir folder;
    QProcess server;
    QString serverOutput;
    QString url;
};

TEST_F(HttpEndToEndTest, CredentialsAreAskedForAndBothAddressesShowThePictureAsSent) {
    QFile users(folder.filePath("users"));
    ASSERT_TRUE(users.open(QIODevice::WriteOnly));
    users.write("guard:door-42\n");
    users.close();
    startServer({"--auth", users.fileName()});
    Feeder feeder(socketPath(), false);
    ASSERT_TRUE(waitFor([&] { return readServer().contains(QRegularExpression("frames [1-9]")); }));

    QByteArray output;
    QByteArray errors;
    EXPECT_FALSE(run("ffprobe", {url}, output, errors));
    EXPECT_TRUE(errors.contains("401")) << errors.toStdString();
    EXPECT_FALSE(run("ffprobe", {QString(url).replace("http://", "http://guard:door-41@")}, output, errors));

    const QString right = QString(url).replace("http://", "http://guard:door-42@");
    ASSERT_TRUE(run("ffprobe",
                    {"-select_streams", "v:0", "-show_entries", "stream=codec_name,width,height", "-of",
                     "default=noprint_wrappers=1", right},
                    output, errors))
        << errors.toStdString();
    EXPECT_EQ(output, "codec_name=mjpeg\nwidth=384\nheight=288\n");

    for (const QString& address : {right, QString(right).replace("/calidra.mjpg", "/snapshot.jpg")}) {
        cv::Mat picture;
        ASSERT_TRUE(decodeOne(address, picture, errors)) << address.toStdString() << errors.toStdString();
        const auto distance = [&](int x, int y, cv::Vec3d expected) {
            return cv::norm(cv::Vec3d(picture.at<cv::Vec3b>(y, x)) - expected);
        };
        EXPECT_LT(distance(80, 90, {0, 0, 255}), 40.0) << address.toStdString();
        EXPECT_LT(distance(300, 200, {80, 80, 80}), 20.0) << address.toStdString();
    }
}

TEST_F(HttpEndToEndTest, AViewerThatNeverReadsNeitherHoldsUpAnotherNorStays) {
    startServer();
    Feeder feeder(socketPath(), true);

    // Asks for the pictures and never reads; a small receive buffer fills at once.
    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    const int smallBuffer = 4096;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray request = "GET /calidra.mjpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::send(stalled, request.constData(), size_t(request.size()), MSG_NOSIGNAL), request.size());

    QProcess steady;
    steady.start("ffmpeg", {"-nostdin", "-v", "error", "-i", url, "-f", "null", "-stats_period", "0.2",
                            "-progress", "pipe:1", "-"});
    QString progress;
    const auto steadyFrames = [&] {
        steady.waitForReadyRead(50);
        progress += QString::fromUtf8(steady.readAllStandardOutput());
        int frames = 0;
        auto found = QRegularExpression("frame=(\\d+)").globalMatch(progress);
        while (found.hasNext())
            frames = found.next().captured(1).toInt();
        return frames;
    };
    ASSERT_TRUE(waitFor([&] { return readServer().contains("http viewers 2"); }))
        << serverOutput.toStdString();
    ASSERT_TRUE(waitFor([&] { return steadyFrames() >= 5; }));
    const int framesBefore = steadyFrames();
    const auto before = Clock::now();

    // The stalled viewer is dropped; until then the other took pictures at the full rate.
    ASSERT_TRUE(
        waitFor([&] { return readServer().contains("http viewers 1  dropped 1"); }, std::chrono::seconds(20)))
        << serverOutput.toStdString();
    const int frames = steadyFrames() - framesBefore;
    const double seconds = std::chrono::duration<double>(Clock::now() - before).count();
    EXPECT_GE(seconds, 4.0) << "dropped before it had a chance";
    EXPECT_GE(frames, seconds * 8.0) << frames << " pictures in " << seconds << " s";
    EXPECT_LE(frames, seconds * 15.0 + 4) << "more than 15 pictures a second";
    ::close(stalled);
    ::kill(pid_t(steady.processId()), SIGINT);
    steady.waitForFinished(5000);
}

} // namespace
