// VantrelServer WIDTH HEIGHT [--port N] [--http N] [--bind ADDRESS] [--auth FILE] [--anonymous]
//               [--jpeg-dir DIR] [--every N]
// Takes the station's annotated pictures from the local socket and serves them as H.264 over
// RTSP; with --http also as multipart JPEG for browsers; with --jpeg-dir it also keeps every Nth
// picture as a JPEG for a person to look at.

#include "arriving_size.h"
#include "mjpeg_http_server.h"
#include "rtsp_publisher.h"
#include "server_options.h"
#include "stream_server.h"

#include "pipeline/snapshot_writer.h"
#include "pipeline/stream_feed.h"

#include <gst/gst.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// GLib is built without frame pointers: only the slow unwinder sees past g_malloc, which the
// narrow leak suppressions need.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
#endif

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int) {
    stopRequested.store(true);
}

int usage() {
    std::fprintf(stderr,
                 "usage: VantrelServer WIDTH HEIGHT [--port N] [--http N] [--bind ADDRESS] [--auth FILE] "
                 "[--anonymous] [--jpeg-dir DIR] [--every N]\n");
    return 2;
}

std::string urlOf(const char* scheme, const std::string& address, int port, const char* path) {
    const std::string host = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    return std::string(scheme) + "://" + host + ":" + std::to_string(port) + path;
}

void warnWhenOthersCanRead(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        std::fprintf(stderr, "VantrelServer: warning: other users can read %s\n", path.c_str());
}

} // namespace

int main(int argc, char** argv) {
    calidra::ServerOptions options;
    std::string error;
    switch (calidra::parseServerOptions(argc, argv, options, error)) {
    case calidra::OptionsOutcome::Usage:
        return usage();
    case calidra::OptionsOutcome::Refused:
        std::fprintf(stderr, "VantrelServer: %s\n", error.c_str());
        return 1;
    case calidra::OptionsOutcome::Ready:
        break;
    }
    calidra::RtspSettings rtsp;
    rtsp.bindAddress = options.bindAddress;
    rtsp.port = options.rtspPort;
    if (!options.authFile.empty()) {
        if (!calidra::readCredentials(options.authFile, rtsp.credentials, error)) {
            std::fprintf(stderr, "VantrelServer: %s\n", error.c_str());
            return 1;
        }
        warnWhenOthersCanRead(options.authFile);
    }

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = requestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    gst_init(nullptr, nullptr);

    const int width = options.width;
    const int height = options.height;
    int exitCode = 0;
    {
        calidra::StreamServer server(width, height);
        calidra::RtspPublisher publisher(width, height);
        std::unique_ptr<calidra::MjpegHttpServer> http;
        if (options.httpPort >= 0)
            http = std::make_unique<calidra::MjpegHttpServer>(width, height);
        server.setFrameHandler([&](const std::vector<unsigned char>& pixels, uint64_t number) {
            publisher.pushFrame(pixels.data());
            if (http)
                http->pushFrame(pixels.data());
            if (options.jpegFolder.empty() ||
                number % uint64_t(options.jpegEvery) != 1 % uint64_t(options.jpegEvery))
                return;
            const cv::Mat picture(height, width, CV_8UC3, const_cast<unsigned char*>(pixels.data()));
            char name[64];
            std::snprintf(name, sizeof name, "/frame_%08llu.jpg", static_cast<unsigned long long>(number));
            calidra::writeJpegAtomically(options.jpegFolder + name, picture, calidra::snapshotJpegQuality);
        });
        const std::string path = calidra::streamSocketPath();
        calidra::HttpSettings httpSettings{rtsp.bindAddress, options.httpPort, rtsp.credentials};
        if (!server.listen(path, error) || !publisher.start(rtsp, error) ||
            (http && !http->start(httpSettings, error))) {
            std::fprintf(stderr, "VantrelServer: %s\n", error.c_str());
            exitCode = 1;
        } else {
            std::printf("listening on %s for %dx%d pictures (%zu bytes each)\n", path.c_str(), width, height,
                        server.frameBytes());
            const char* authentication = rtsp.credentials.empty() ? "" : " (digest authentication)";
            std::printf(
                "serving %s%s\n",
                urlOf("rtsp", options.bindAddress, publisher.boundPort(), calidra::RtspPublisher::mountPath)
                    .c_str(),
                authentication);
            if (http)
                std::printf("serving %s%s\n",
                            urlOf("http", options.bindAddress, http->boundPort(),
                                  calidra::MjpegHttpServer::streamPath)
                                .c_str(),
                            authentication);
            std::fflush(stdout);

            std::thread serving([&] { server.run(stopRequested); });
            uint64_t framesBefore = 0;
            uint64_t otherSizesBefore = 0;
            std::string sizeLogged;
            auto lastReport = std::chrono::steady_clock::now();
            while (!stopRequested.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const auto now = std::chrono::steady_clock::now();
                const double seconds = std::chrono::duration<double>(now - lastReport).count();
                if (seconds < 1.0)
                    continue;
                const calidra::StreamStatistics statistics = server.statistics();
                std::printf("frames %llu  bad %llu  fps %.1f  clients %d",
                            static_cast<unsigned long long>(statistics.frames),
                            static_cast<unsigned long long>(statistics.badMessages),
                            double(statistics.frames - framesBefore) / seconds, publisher.clientCount());
                if (http)
                    std::printf("  http viewers %d  dropped %d", http->viewerCount(),
                                http->droppedViewerCount());
                // Pictures of another size are dropped: the line says which size came while they
                // come, the log once for each size.
                if (statistics.otherSizeMessages > otherSizesBefore) {
                    const std::string sizes =
                        calidra::arrivingSizeText(statistics.lastOtherSizeBytes, width, height);
                    std::printf("  %s", sizes.c_str());
                    if (sizes != sizeLogged) {
                        std::fprintf(stderr, "VantrelServer: %s\n", sizes.c_str());
                        sizeLogged = sizes;
                    }
                }
                std::printf("\n");
                std::fflush(stdout);
                framesBefore = statistics.frames;
                otherSizesBefore = statistics.otherSizeMessages;
                lastReport = now;
            }
            serving.join();
        }
    } // the publisher closes its clients, the server removes the socket
    gst_deinit();
    return exitCode;
}
