// VantrelServer WIDTH HEIGHT [--jpeg-dir DIR] [--every N]
// Stand-in stream server: receives the station's annotated pictures and reports what arrives;
// with --jpeg-dir it keeps every Nth picture as a JPEG for a person to look at.

#include "stream_server.h"

#include "pipeline/snapshot_writer.h"
#include "pipeline/stream_feed.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int) {
    stopRequested.store(true);
}

int usage() {
    std::fprintf(stderr, "usage: VantrelServer WIDTH HEIGHT [--jpeg-dir DIR] [--every N]\n");
    return 2;
}

bool parsePositive(const char* text, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 1 || parsed > 65535)
        return false;
    value = int(parsed);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int width = 0;
    int height = 0;
    if (argc < 3 || !parsePositive(argv[1], width) || !parsePositive(argv[2], height))
        return usage();
    std::string jpegFolder;
    int every = 30;
    for (int index = 3; index < argc; ++index) {
        const std::string option = argv[index];
        if (option == "--jpeg-dir" && index + 1 < argc)
            jpegFolder = argv[++index];
        else if (option == "--every" && index + 1 < argc && parsePositive(argv[index + 1], every))
            ++index;
        else
            return usage();
    }

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = requestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    calidra::StreamServer server(width, height);
    if (!jpegFolder.empty()) {
        server.setFrameHandler([&](const std::vector<unsigned char>& pixels, uint64_t number) {
            if (number % uint64_t(every) != 1 % uint64_t(every))
                return;
            const cv::Mat picture(height, width, CV_8UC3, const_cast<unsigned char*>(pixels.data()));
            char name[64];
            std::snprintf(name, sizeof name, "/frame_%08llu.jpg", static_cast<unsigned long long>(number));
            calidra::writeJpegAtomically(jpegFolder + name, picture, calidra::snapshotJpegQuality);
        });
    }
    std::string error;
    const std::string path = calidra::streamSocketPath();
    if (!server.listen(path, error)) {
        std::fprintf(stderr, "VantrelServer: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s for %dx%d pictures (%zu bytes each)\n", path.c_str(), width, height,
                server.frameBytes());
    std::fflush(stdout);

    std::thread serving([&] { server.run(stopRequested); });
    uint64_t framesBefore = 0;
    auto lastReport = std::chrono::steady_clock::now();
    while (!stopRequested.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - lastReport).count();
        if (seconds < 1.0)
            continue;
        const calidra::StreamStatistics statistics = server.statistics();
        std::printf("frames %llu\tbad %llu\tfps %.1f\n", static_cast<unsigned long long>(statistics.frames),
                    static_cast<unsigned long long>(statistics.badMessages),
                    double(statistics.frames - framesBefore) / seconds);
        std::fflush(stdout);
        framesBefore = statistics.frames;
        lastReport = now;
    }
    serving.join();
    return 0; // the server's destructor removes the socket
}
