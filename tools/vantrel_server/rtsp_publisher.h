#pragma once
// Serves the station's pictures over RTSP with GStreamer's RTSP server: one shared H.264
// encoding for every client, made only while someone watches.

#include "server_options.h"

#include <memory>
#include <string>
#include <vector>

namespace calidra {

struct RtspSettings {
    std::string bindAddress;
    int port = 8554;                     // 0: the system chooses a free one
    std::vector<Credential> credentials; // empty: anyone who reaches the address may watch
};

class RtspPublisher {
public:
    static constexpr const char* mountPath = "/calidra";
    // Without pictures from the station, clients see the "No signal" picture after this long,
    // repeated at the interval so their sessions stay alive and new clients can start.
    static constexpr int noSignalAfterMs = 2000;
    static constexpr int noSignalIntervalMs = 100;

    RtspPublisher(int width, int height);
    ~RtspPublisher(); // closes every client
    RtspPublisher(const RtspPublisher&) = delete;
    RtspPublisher& operator=(const RtspPublisher&) = delete;

    // Listens and serves on a thread of its own. False with a reason when the address or port
    // cannot be used.
    bool start(const RtspSettings& settings, std::string& error);
    int boundPort() const;

    // Hands a W x H x 3 blue-green-red picture to the encoder, stamped with the time it arrived.
    // Costs only a check when nobody watches and never waits for the encoder or a client.
    void pushFrame(const unsigned char* bgrPixels);

    // RTSP connections open right now.
    int clientCount() const;

    struct State; // GStreamer's side, kept out of this header

private:
    std::shared_ptr<State> state_;
};

} // namespace calidra
