// The real VantrelServer watched by real RTSP clients (ffprobe, ffmpeg) on 127.0.0.1: what they
// decode, several clients at once, a late and a stalled one, credentials and the refusal to
// publish beyond this machine.

#include "pipeline/stream_feed.h"
#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

using calidra::test::waitFor;

constexpr int width = 384;
constexpr int height = 288;
constexpr int frameBytes = width * height * 3;

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "rtsp_end_to_end_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Pixels the overlays leave after encoding: clearly red or clearly green, unlike any palette
// colour of the scene.
struct OverlayPixels {
    int red = 0;
    int green = 0;
};

OverlayPixels countOverlayPixels(const char* bgr) {
    OverlayPixels counted;
    for (int index = 0; index < width * height; ++index) {
        const int blue = uchar(bgr[3 * index]);
        const int green = uchar(bgr[3 * index + 1]);
        const int red = uchar(bgr[3 * index + 2]);
        counted.red += red > 100 && red > green + 60 && red > blue + 30;
        counted.green += green > 150 && green > red + 60 && green > blue + 60;
    }
    return counted;
}

// Sends a grey picture with a red and a green block through the station's own feed, at 25 a
// second, until stopped or for at most a minute. A patch of fresh noise in the lower left corner
// of every picture gives the encoder enough to send that a stopped client soon fills its socket.
class Feeder {
public:
    explicit Feeder(const std::string& socketPath) : feed_(socketPath) {
        picture_ = cv::Mat(height, width, CV_8UC3, cv::Scalar(80, 80, 80));
        cv::rectangle(picture_, cv::Rect(40, 40, 80, 100), cv::Scalar(0, 0, 255), cv::FILLED);
        cv::rectangle(picture_, cv::Rect(200, 40, 80, 100), cv::Scalar(0, 255, 0), cv::FILLED);
        thread_ = std::thread([this] {
            const cv::Rect noise(0, 192, 192, 96);
            const auto start = std::chrono::steady_clock::now();
            for (int number = 1; number <= 1500 && !stop_.load(); ++number) {
                const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start);
                cv::randu(picture_(noise), 0, 256);
                const calidra::StreamOutcome outcome = feed_.streamFrame(picture_, uint32_t(tick.count()));
                sent_.fetch_add(outcome == calidra::StreamOutcome::Sent ? 1 : 0);
                failed_.fetch_add(outcome == calidra::StreamOutcome::Failed ? 1 : 0);
                std::this_thread::sleep_until(start + number * std::chrono::milliseconds(40));
            }
        });
    }
    ~Feeder() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
    }
    int sent() const { return sent_.load(); }
    // Pictures not sent whole: the feed gives up a write after its time limit, which a loaded
    // machine can exceed; the server counts each as a bad message.
    int failed() const { return failed_.load(); }

private:
    calidra::StreamFeed feed_;
    cv::Mat picture_;
    std::atomic<bool> stop_{false};
    std::atomic<int> sent_{0};
    std::atomic<int> failed_{0};
    std::thread thread_;
};

// An ffmpeg client that decodes everything it receives and reports how many frames it has.
class CountingClient {
public:
    CountingClient(const QString& url, const QString& transport) {
        process_.start("ffmpeg",
                       {"-nostdin", "-v", "error", "-rtsp_transport", transport, "-i", url, "-fps_mode",
                        "passthrough", "-f", "null", "-stats_period", "0.2", "-progress", "pipe:1", "-"});
    }
    ~CountingClient() { finish(); }
    int frames() {
        process_.waitForReadyRead(50); // without an event loop, output arrives only when asked for
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        int frames = 0;
        auto found = QRegularExpression("frame=(\\d+)").globalMatch(output_);
        while (found.hasNext())
            frames = found.next().captured(1).toInt();
        return frames;
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    QString finish() {
        if (process_.state() != QProcess::NotRunning) {
            signal(SIGINT);
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished(5000);
        }
        // The null muxer's complaint about timestamps that ffmpeg's RTSP receiver re-bases when the
        // first RTCP sender report arrives (seen on a loaded machine) says nothing about the pictures;
        // nor does ffmpeg's "Last message repeated" line, which follows a message already kept.
        QStringList errors =
            QString::fromUtf8(process_.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        errors.erase(std::remove_if(errors.begin(), errors.end(),
                                    [](const QString& line) {
                                        return line.contains("non monotonically increasing dts to muxer") ||
                                               line.contains("Last message repeated");
                                    }),
                     errors.end());
        return errors.join('\n');
    }

private:
    QProcess process_;
    QString output_;
};

// Whether the server holds data for a client that has stopped reading: with the client's receive
// window shut, the kernel probes it (timer 4 in /proc/net/tcp) on the server's side.
bool clientWindowShut(const QString& url) {
    const int port = QRegularExpression(":(\\d+)/").match(url).captured(1).toInt();
    const QByteArray local = ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    QFile table("/proc/net/tcp");
    if (!table.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' '); // sl local remote st queues timer
        if (fields.size() > 5 && fields[1].endsWith(local) && fields[5].startsWith("04:"))
            return true;
    }
    return false;
}

// A bare RTSP client over one TCP connection with interleaved transport: enough to watch with
// digest credentials, and to send the requests ordinary clients never send.
class RawRtspClient {
public:
    explicit RawRtspClient(int port) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{1, 0}; // one read; every wait below is bounded by its own deadline
        ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawRtspClient() { ::close(socket_); }

    void login(const QString& user, const QString& password) {
        user_ = user;
        password_ = password;
    }
    // Sends a request, answering a digest challenge once when logged in, and returns the head of
    // the response ("RTSP/1.0 200 OK\r\n..."); empty when none came.
    QString request(const QString& method, const QString& uri, const QString& headers = {}) {
        QString response = exchange(method, uri, headers + authorization(method, uri));
        const QString challenge = header(response, "WWW-Authenticate");
        if (status(response) == 401 && !user_.isEmpty() && challenge.startsWith("Digest")) {
            realm_ = QRegularExpression("realm=\"([^\"]*)\"").match(challenge).captured(1);
            nonce_ = QRegularExpression("nonce=\"([^\"]*)\"").match(challenge).captured(1);
            response = exchange(method, uri, headers + authorization(method, uri));
        }
        return response;
    }
    // DESCRIBE, SETUP over this connection and PLAY; the session's id, empty on failure.
    QString play(const QString& url) {
        if (status(request("DESCRIBE", url, "Accept: application/sdp\r\n")) != 200)
            return {};
        const QString setup =
            request("SETUP", url + "/stream=0", "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
        const QString session = header(setup, "Session").section(';', 0, 0);
        if (status(setup) != 200 || status(request("PLAY", url, "Session: " + session + "\r\n")) != 200)
            return {};
        return session;
    }
    // Whether media data arrives after what is already here has been read.
    bool receivesMedia() {
        pending_.clear();
        while (received(0x10000, false) > 0) {
        }
        pending_.clear();
        return waitFor([&] { return received(0x10000, false) > 0 && pending_.contains('$'); });
    }

    static int status(const QString& response) { return response.section(' ', 1, 1).toInt(); }
    static QString header(const QString& response, const QString& name) {
        return QRegularExpression("\r\n" + name + ": ([^\r\n]*)", QRegularExpression::CaseInsensitiveOption)
            .match(response)
            .captured(1);
    }

private:
    QString authorization(const QString& method, const QString& uri) const {
        if (nonce_.isEmpty())
            return {};
        const auto md5 = [](const QString& text) {
            return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
        };
        const QByteArray known = md5(user_ + ":" + realm_ + ":" + password_);
        const QByteArray response = md5(known + ":" + nonce_ + ":" + md5(method + ":" + uri));
        return QString("Authorization: Digest username=\"%1\", realm=\"%2\", nonce=\"%3\", uri=\"%4\", "
                       "response=\"%5\"\r\n")
            .arg(user_, realm_, nonce_, uri, QString::fromLatin1(response));
    }
    QString exchange(const QString& method, const QString& uri, const QString& headers) {
        const QByteArray message = QString("%1 %2 RTSP/1.0\r\nCSeq: %3\r\n%4\r\n")
                                       .arg(method, uri)
                                       .arg(++sequence_)
                                       .arg(headers)
                                       .toUtf8();
        if (!connected_ || ::send(socket_, message.constData(), size_t(message.size()), MSG_NOSIGNAL) < 0)
            return {};
        QString head;
        waitFor([&] {
            while (pending_.startsWith('$') && pending_.size() >= 4) { // interleaved media
                const int length = 4 + (uchar(pending_[2]) << 8 | uchar(pending_[3]));
                if (pending_.size() < length)
                    break;
                pending_.remove(0, length);
            }
            const int end = pending_.indexOf("\r\n\r\n");
            if (!pending_.startsWith('$') && end >= 0) {
                head = QString::fromUtf8(pending_.left(end + 4));
                const int body = header(head, "Content-Length").toInt();
                if (pending_.size() >= end + 4 + body) {
                    pending_.remove(0, end + 4 + body);
                    return true;
                }
                head.clear();
            }
            return received(0x10000, true) < 0;
        });
        return head;
    }
    // Appends what the server sent; 0 when nothing is waiting, -1 when the connection ended.
    int received(int most, bool wait) {
        QByteArray chunk(most, 0);
        const ssize_t count = ::recv(socket_, chunk.data(), size_t(most), wait ? 0 : MSG_DONTWAIT);
        if (count > 0)
            pending_ += chunk.left(int(count));
        return count > 0 ? int(count) : count == 0 ? -1 : 0;
    }

    int socket_ = -1;
    bool connected_ = false;
    int sequence_ = 0;
    QByteArray pending_;
    QString user_, password_, realm_, nonce_;
};

// The server's resident memory in kB, from the kernel's account of the process.
long residentKilobytes(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class RtspEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { application(); }

    void SetUp() override {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty() ||
            QStandardPaths::findExecutable("ffprobe").isEmpty())
            GTEST_SKIP() << "ffmpeg and ffprobe are needed to watch the stream";
        const QString built = qEnvironmentVariable("CALIDRA_RUNTIME_DIR");
        QDir(folder.path()).mkpath("Vantrel");
        QDir(folder.path()).mkpath("runtime");
        for (const char* name : {"calidra-headless", "libSorvikC.so", "Vantrel/VantrelServer"})
            ASSERT_TRUE(QFile::copy(built + "/" + name, folder.filePath(name))) << name;
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", folder.filePath("runtime"));
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        server.setProcessEnvironment(environment);
    }
    void TearDown() override {
        for (QProcess* process : {&server, &station}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(10000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    int port() const { return QRegularExpression(":(\\d+)/").match(url).captured(1).toInt(); }
    std::string socketPath() const { return folder.filePath("runtime/SorvikRTSPServer_0").toStdString(); }

    // Starts the server on a port the system chooses and waits for its address.
    void startServer(const QStringList& options = {}) {
        server.start(folder.filePath("Vantrel/VantrelServer"),
                     QStringList{QString::number(width), QString::number(height), "--port", "0"} + options);
        ASSERT_TRUE(server.waitForStarted());
        const QRegularExpression serving("serving (rtsp://\\S+)");
        for (int attempt = 0; attempt < 300 && url.isEmpty(); ++attempt) { // a first run scans the plugins
            server.waitForReadyRead(100);
            serverOutput += QString::fromUtf8(server.readAllStandardOutput());
            url = serving.match(serverOutput).captured(1);
        }
        ASSERT_TRUE(url.startsWith("rtsp://127.0.0.1:")) << serverOutput.toStdString();
    }
    QString readServer() {
        server.waitForReadyRead(50);
        serverOutput += QString::fromUtf8(server.readAllStandardOutput());
        return serverOutput;
    }

    // Runs a client to its end; false when it fails or does not end in time. The clients take the
    // stream over their RTSP connection, where nothing is lost: by default they try UDP first and
    // wait ten seconds for a first packet before they try TCP. A stalled read ends with the
    // client's own message.
    bool run(const QString& program, const QStringList& arguments, QByteArray& output, QByteArray& errors) {
        QProcess client;
        client.start(program, QStringList{"-rtsp_transport", "tcp", "-timeout", "20000000"} + arguments);
        const bool ended = client.waitForFinished(int(calidra::test::kEventDeadline.count()));
        if (!ended)
            client.kill();
        client.waitForFinished();
        output = client.readAllStandardOutput();
        errors = client.readAllStandardError();
        return ended && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    }
    bool decode(const QString& from, int frames, QByteArray& output, QByteArray& errors) {
        return run("ffmpeg",
                   {"-nostdin", "-v", "error", "-i", from, "-frames:v", QString::number(frames), "-f",
                    "rawvideo", "-pix_fmt", "bgr24", "-"},
                   output, errors) &&
               output.size() == frames * frameBytes;
    }
    void write(const QString& name, const QByteArray& content) {
        QDir(folder.path()).mkpath(QFileInfo(folder.filePath(name)).path());
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir folder;
    QProcessEnvironment environment;
    QProcess server;
    QProcess station;
    QString serverOutput;
    QString url;
};

TEST_F(RtspEndToEndTest, StationPictureIsServedAsH264WithItsRedAndGreenOverlays) {
    write("scenario.json", R"({ "cameras": [ { "width": 384, "height": 288, "fps": 15, "people": [
        { "enter": 0, "leave": 600, "temperature": 38.4, "from": [0.3, 0.55], "to": [0.3, 0.55], "height": 0.7 },
        { "enter": 0, "leave": 600, "temperature": 36.4, "from": [0.72, 0.55], "to": [0.72, 0.55], "height": 0.7 }
        ] } ] })");
    write("config/Quro-Duzu/Calidra/Calidra.conf", "[Settings]\nAlarmEvent=0\nAlarmTemperature=37.5\n");
    startServer();
    QProcessEnvironment stationEnvironment = environment;
    stationEnvironment.insert("SORVIK_SIM_SCENARIO", folder.filePath("scenario.json"));
    station.setProcessEnvironment(stationEnvironment);
    station.start(folder.filePath("calidra-headless"), {"--seconds", "30"});
    ASSERT_TRUE(station.waitForStarted()) << station.errorString().toStdString();
    // Watched once the server reports the station's pictures, not its own "No signal" picture.
    ASSERT_TRUE(waitFor([&] { return readServer().contains(QRegularExpression("frames [1-9]")); }))
        << serverOutput.toStdString();

    QByteArray output;
    QByteArray errors;
    ASSERT_TRUE(run("ffprobe",
                    {"-v", "error", "-select_streams", "v:0", "-show_entries",
                     "stream=codec_name,width,height", "-of", "default=noprint_wrappers=1", url},
                    output, errors))
        << errors.toStdString();
    EXPECT_EQ(output, "codec_name=h264\nwidth=384\nheight=288\n");

    ASSERT_TRUE(decode(url, 30, output, errors)) << errors.toStdString();
    EXPECT_EQ(errors, "");
    for (int frame = 0; frame < 30; ++frame) {
        // The feverish person's red frame, the other's green frame and the green labels.
        const OverlayPixels overlays = countOverlayPixels(output.constData() + frame * frameBytes);
        EXPECT_GT(overlays.red, 100) << "frame " << frame;
        EXPECT_GT(overlays.green, 300) << "frame " << frame;
    }
}

TEST_F(RtspEndToEndTest, ClientsShareTheStreamAndNeitherALateNorAStalledOneDisturbsTheOthers) {
    startServer();
    Feeder feeder(socketPath());
    CountingClient steady(url, "udp");
    CountingClient stalled(url, "tcp"); // over TCP a stalled reader pushes back on the server
    // Both receive frames at once.
    ASSERT_TRUE(waitFor([&] { return steady.frames() >= 10 && stalled.frames() >= 10; }));
    const int stalledBefore = stalled.frames();

    stalled.signal(SIGSTOP);
    const int steadyBefore = steady.frames();
    const int sentBefore = feeder.sent();
    ASSERT_TRUE(waitFor([&] { return clientWindowShut(url); }));
    const int sentAtPushBack = feeder.sent();

    // A late client starts at a key frame: its first frames decode without a complaint and show
    // the picture as sent.
    QByteArray output;
    QByteArray errors;
    ASSERT_TRUE(decode(url, 5, output, errors)) << errors.toStdString();
    EXPECT_EQ(errors, "");
    const cv::Mat first(height, width, CV_8UC3, output.data());
    const auto distance = [&](int x, int y, cv::Vec3d expected) {
        return cv::norm(cv::Vec3d(first.at<cv::Vec3b>(y, x)) - expected);
    };
    EXPECT_LT(distance(80, 90, {0, 0, 255}), 40.0);
    EXPECT_LT(distance(240, 90, {0, 255, 0}), 40.0);
    EXPECT_LT(distance(340, 250, {80, 80, 80}), 20.0);

    // While the stopped client pushes back, its pictures queue up in the server; the socket side
    // takes two more seconds of pictures and the steady client gets them.
    ASSERT_TRUE(waitFor([&] { return feeder.sent() >= std::max(sentAtPushBack + 50, sentBefore + 80); }));
    const int sentDuring = feeder.sent() - sentBefore;
    waitFor([&] { return steady.frames() - steadyBefore >= sentDuring * 8 / 10; });
    const int steadyDuring = steady.frames() - steadyBefore;
    stalled.signal(SIGCONT);
    EXPECT_GE(sentDuring, 80);
    EXPECT_GE(steadyDuring, sentDuring * 8 / 10) << steadyDuring << " of " << sentDuring;
    EXPECT_TRUE(waitFor([&] { return readServer().contains(QRegularExpression("clients [2-9]")); }))
        << serverOutput.toStdString();

    EXPECT_TRUE(waitFor([&] { return stalled.frames() > stalledBefore; }));
    EXPECT_EQ(steady.finish(), "");
    feeder.stop();
    // A report after both ended: the one client left, and no bad message but the feed's own.
    const auto reports = [&] { return readServer().split('\n', Qt::SkipEmptyParts); };
    const int reportsBefore = reports().size();
    waitFor([&] { return reports().size() > reportsBefore && reports().last().endsWith("clients 1"); });
    const QString last = reports().last();
    const QString bad = QString(" bad %1 ").arg(feeder.failed());
    EXPECT_TRUE(last.contains(bad) && last.endsWith("clients 1"))
        << last.toStdString() << " not" << bad.toStdString();

    // Ended with a client still watching: a clean exit that removes the socket.
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(socketPath())));
}

TEST_F(RtspEndToEndTest, CredentialsAreAskedForAndANoSignalPictureShowsWithoutTheStation) {
    write("users", "guard:door-42\n");
    QFile::setPermissions(folder.filePath("users"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    startServer({"--auth", folder.filePath("users")});

    QByteArray output;
    QByteArray errors;
    EXPECT_FALSE(run("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", url}, output, errors));
    EXPECT_TRUE(errors.contains("401")) << errors.toStdString();
    QString wrong = url;
    wrong.replace("rtsp://", "rtsp://guard:door-41@");
    EXPECT_FALSE(
        run("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", wrong}, output, errors));

    QString right = url;
    right.replace("rtsp://", "rtsp://guard:door-42@");
    ASSERT_TRUE(decode(right, 1, output, errors)) << errors.toStdString();
    // Dark grey with light letters in the middle.
    const cv::Mat picture(height, width, CV_8UC3, output.data());
    EXPECT_LT(cv::mean(picture)[1], 60.0);
    double brightest = 0;
    cv::Mat grey;
    cv::cvtColor(picture(cv::Rect(width / 4, height / 3, width / 2, height / 3)), grey, cv::COLOR_BGR2GRAY);
    cv::minMaxLoc(grey, nullptr, &brightest);
    EXPECT_GT(brightest, 150.0);
}

TEST_F(RtspEndToEndTest, EveryRequestButOptionsNeedsCredentialsAndASessionAnswersOnlyToItsConnection) {
    write("users", "guard:door-42\n");
    QFile::setPermissions(folder.filePath("users"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    startServer({"--auth", folder.filePath("users")});
    RawRtspClient viewer(port());
    viewer.login("guard", "door-42");
    const QString session = viewer.play(url);
    ASSERT_FALSE(session.isEmpty());
    ASSERT_TRUE(viewer.receivesMedia());

    {
        RawRtspClient stranger(port());
        EXPECT_EQ(RawRtspClient::status(stranger.request("OPTIONS", url)), 200);
        for (const char* method : {"PAUSE", "PLAY", "GET_PARAMETER", "SET_PARAMETER", "TEARDOWN", "DESCRIBE"})
            EXPECT_EQ(RawRtspClient::status(stranger.request(method, url, "Session: " + session + "\r\n")),
                      401)
                << method;
        EXPECT_EQ(RawRtspClient::status(stranger.request("GET_PARAMETER", url)), 401);
        // The same credentials on another connection do not reach the session either.
        RawRtspClient sameViewerElsewhere(port());
        sameViewerElsewhere.login("guard", "door-42");
        EXPECT_EQ(
            RawRtspClient::status(sameViewerElsewhere.request("PAUSE", url, "Session: " + session + "\r\n")),
            454);
    } // both connections close: neither takes the session's stream with it
    EXPECT_TRUE(viewer.receivesMedia());
    EXPECT_EQ(RawRtspClient::status(viewer.request("GET_PARAMETER", url, "Session: " + session + "\r\n")),
              200);
    EXPECT_TRUE(viewer.receivesMedia());
}

TEST_F(RtspEndToEndTest, MemoryStaysBoundedWhileClientsComeAndGo) {
    startServer();
    const qint64 pid = server.processId();
    // Clients that end with TEARDOWN, that drop the connection while playing and that drop it
    // after SETUP: each takes a different path through the server.
    const auto cycle = [&](int number) {
        RawRtspClient client(port());
        const QString session = client.play(url);
        if (session.isEmpty())
            return false;
        if (number % 3 == 0)
            return RawRtspClient::status(client.request("TEARDOWN", url, "Session: " + session + "\r\n")) ==
                   200;
        return true;
    };
    for (int number = 0; number < 10; ++number) // the first encodings load the plugins
        ASSERT_TRUE(cycle(number)) << number;
    const long warm = residentKilobytes(pid);
    for (int number = 0; number < 100; ++number)
        ASSERT_TRUE(cycle(number)) << number;
    // What the clients' threads freed goes back to the system once they have left; a leak of a
    // mere 80 kB a client would exceed the margin.
    long now = 0;
    EXPECT_TRUE(waitFor([&] { return (now = residentKilobytes(pid)) < warm + 8192; }))
        << "resident " << now << " kB, " << warm << " kB after the first clients";
}

TEST_F(RtspEndToEndTest, RefusesToPublishBeyondThisMachineWithoutCredentials) {
    server.start(folder.filePath("Vantrel/VantrelServer"),
                 {"384", "288", "--bind", "0.0.0.0", "--port", "0"});
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 1);
    EXPECT_TRUE(server.readAllStandardError().contains("--auth"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(socketPath())));
}

} // namespace
