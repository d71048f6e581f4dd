#pragma once
// Serves the station's pictures over HTTP for browsers: /calidra.mjpg (multipart JPEG at up to
// SharedJpegEncoder::maximumRate pictures a second) and /snapshot.jpg (the newest picture), with
// libsoup's server on a GLib main loop of its own. Every viewer shares one encoding; each holds at
// most queuedFramesPerViewer pictures on their way, so a slow viewer skips pictures, and one that
// takes nothing for stalledViewerMs is dropped, without slowing anyone else.

#include "server_options.h"

#include <memory>
#include <string>
#include <vector>

namespace calidra {

struct HttpSettings {
    std::string bindAddress;
    int port = 0;                        // 0: the system chooses a free one
    std::vector<Credential> credentials; // empty: anyone who reaches the address may watch
};

class MjpegHttpServer {
public:
    static constexpr const char* streamPath = "/calidra.mjpg";
    static constexpr const char* snapshotPath = "/snapshot.jpg";
    static constexpr const char* boundary = "calidraframe";
    static constexpr int queuedFramesPerViewer = 2;
    static constexpr int stalledViewerMs = 5000;

    MjpegHttpServer(int width, int height);
    ~MjpegHttpServer(); // closes every viewer
    MjpegHttpServer(const MjpegHttpServer&) = delete;
    MjpegHttpServer& operator=(const MjpegHttpServer&) = delete;

    // Listens on every address the bind address resolves to. False with a reason when it cannot.
    bool start(const HttpSettings& settings, std::string& error);
    int boundPort() const;

    // Hands a W x H x 3 blue-green-red picture to the shared encoder; never waits for a viewer.
    void pushFrame(const unsigned char* bgrPixels);

    int viewerCount() const;
    // Viewers dropped because they stopped taking pictures, since the start.
    int droppedViewerCount() const;

    struct State; // libsoup's side, kept out of this header

private:
    std::shared_ptr<State> state_;
};

} // namespace calidra
