#include "rtsp_publisher.h"

#include "no_signal_picture.h"
#include "viewer_auth.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <gst/video/video.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace calidra {
namespace {

int64_t monotonicMs() {
    return g_get_monotonic_time() / 1000;
}

// The source holds at most two pictures and drops the oldest, so an encoder that falls behind
// never pushes back on the socket side; do-timestamp stamps each picture as it arrives. The rate
// in the caps is nominal: without one the encoder holds every picture until the next arrives. The
// encoder gives one frame out for each frame in (no B-frames, no look-ahead); the payloader repeats
// the parameter sets before every key frame so a client can start at any of them.
std::string launchLine(int width, int height) {
    char line[1024];
    std::snprintf(line, sizeof line,
                  "( appsrc name=source is-live=true do-timestamp=true format=time leaky-type=downstream "
                  "max-buffers=2 caps=video/x-raw,format=BGR,width=%d,height=%d,framerate=30/1 "
                  "! videoconvert n-threads=1 ! video/x-raw,format=I420 "
                  "! x264enc tune=zerolatency speed-preset=superfast threads=1 key-int-max=60 "
                  "pass=qual quantizer=23 bitrate=4000 vbv-buf-capacity=500 "
                  "! video/x-h264,profile=constrained-baseline "
                  "! rtph264pay name=pay0 pt=96 config-interval=-1 )",
                  width, height);
    return line;
}

bool isWildcardAddress(const std::string& address) {
    return address == "0.0.0.0" || address == "::";
}

} // namespace

struct RtspPublisher::State {
    int width = 0;
    int height = 0;
    std::size_t frameBytes = 0;
    std::vector<unsigned char> noSignal;

    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GstRTSPServer* server = nullptr;
    GSource* cleanupSource = nullptr;
    guint serverSourceId = 0;
    std::thread loopThread;
    int boundPort = 0;
    std::atomic<int> clients{0};
    bool viewersNamed = false; // with credentials: each session answers only to its maker
    // Cleanup ticks left that hand freed memory back to the system.
    std::atomic<int> trimTicks{0};

    std::mutex sourceMutex;
    GstElement* source = nullptr; // the shared media's appsrc while it is prepared
    GstRTSPMedia* sourceMedia = nullptr;

    std::atomic<int64_t> lastFrameMs{INT64_MIN / 2};
    std::mutex idleMutex;
    std::condition_variable idleWake;
    bool stopping = false;
    std::thread idleThread;

    void push(const unsigned char* bgrPixels) {
        GstElement* target = nullptr;
        {
            std::lock_guard<std::mutex> lock(sourceMutex);
            if (source == nullptr)
                return;
            target = GST_ELEMENT(gst_object_ref(source));
        }
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frameBytes, nullptr);
        gst_buffer_fill(buffer, 0, bgrPixels, frameBytes);
        gst_app_src_push_buffer(GST_APP_SRC(target), buffer); // takes the buffer
        gst_object_unref(target);
    }

    void repeatNoSignal() {
        std::unique_lock<std::mutex> lock(idleMutex);
        while (!idleWake.wait_for(lock, std::chrono::milliseconds(noSignalIntervalMs),
                                  [this] { return stopping; })) {
            if (monotonicMs() - lastFrameMs.load() < noSignalAfterMs)
                continue;
            lock.unlock();
            push(noSignal.data());
            lock.lock();
        }
    }
};

namespace {

using State = RtspPublisher::State;

// Client and media signals come from GStreamer's own threads, possibly after the publisher has
// gone: every handler holds a share of the state, released when its connection is.
using SharedState = std::shared_ptr<State>;

State& stateOf(gpointer data) {
    return **static_cast<SharedState*>(data);
}

void connectSharing(gpointer instance, const char* signal, GCallback handler, const SharedState& state) {
    g_signal_connect_data(
        instance, signal, handler, new SharedState(state),
        [](gpointer data, GClosure*) { delete static_cast<SharedState*>(data); }, GConnectFlags(0));
}

void onMediaUnprepared(GstRTSPMedia* media, gpointer data) {
    State& state = stateOf(data);
    state.trimTicks.store(2);
    std::lock_guard<std::mutex> lock(state.sourceMutex);
    if (state.sourceMedia != media)
        return;
    gst_object_unref(state.source);
    state.source = nullptr;
    state.sourceMedia = nullptr;
}

void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer data) {
    State& state = stateOf(data);
    GstElement* bin = gst_rtsp_media_get_element(media);
    GstElement* source = gst_bin_get_by_name(GST_BIN(bin), "source");
    gst_object_unref(bin);
    connectSharing(media, "unprepared", G_CALLBACK(onMediaUnprepared), *static_cast<SharedState*>(data));
    std::lock_guard<std::mutex> lock(state.sourceMutex);
    if (state.source != nullptr)
        gst_object_unref(state.source);
    state.source = source;
    state.sourceMedia = media;
}

// A client that joins a running encoding would otherwise wait for the next key frame.
void onPlayRequest(GstRTSPClient*, GstRTSPContext* context, gpointer) {
    if (context->media == nullptr)
        return;
    GstElement* bin = gst_rtsp_media_get_element(context->media);
    GstElement* payloader = gst_bin_get_by_name(GST_BIN(bin), "pay0");
    gst_object_unref(bin);
    if (payloader == nullptr)
        return;
    GstPad* pad = gst_element_get_static_pad(payloader, "sink");
    gst_pad_push_event(pad, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    gst_object_unref(pad);
    gst_object_unref(payloader);
}

void onClientClosed(GstRTSPClient*, gpointer data) {
    stateOf(data).clients.fetch_sub(1);
    stateOf(data).trimTicks.store(2);
}

void onClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer data) {
    stateOf(data).clients.fetch_add(1);
    if (stateOf(data).viewersNamed)
        recordSessionsOf(client);
    connectSharing(client, "closed", G_CALLBACK(onClientClosed), *static_cast<SharedState*>(data));
    g_signal_connect(client, "play-request", G_CALLBACK(onPlayRequest), nullptr);
}

// Each encoding, client and session is built and freed by whichever of GStreamer's threads runs it,
// and malloc keeps what they free in per-thread arenas: without handing it back after clients
// leave, the resident size creeps up with every viewer that comes and goes. Two ticks, so what the
// media's own threads free after the first is returned too.
gboolean tidyUp(gpointer data) {
    auto* state = static_cast<State*>(data);
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(state->server);
    gst_rtsp_session_pool_cleanup(pool); // sessions that timed out
    g_object_unref(pool);
    int ticks = state->trimTicks.load();
    while (ticks > 0 && !state->trimTicks.compare_exchange_weak(ticks, ticks - 1)) {
    }
    if (ticks > 0)
        malloc_trim(0);
    return G_SOURCE_CONTINUE;
}

GstRTSPFilterResult removeEvery(GstRTSPServer*, GstRTSPClient*, gpointer) {
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult removeEverySession(GstRTSPSessionPool*, GstRTSPSession*, gpointer) {
    return GST_RTSP_FILTER_REMOVE;
}

gboolean closeEverythingAndQuit(gpointer data) {
    auto* state = static_cast<State*>(data);
    gst_rtsp_server_client_filter(state->server, removeEvery, nullptr);
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(state->server);
    gst_rtsp_session_pool_filter(pool, removeEverySession, nullptr);
    g_object_unref(pool);
    g_main_loop_quit(state->loop);
    return G_SOURCE_REMOVE;
}

void allowOnly(GstRTSPServer* server, GstRTSPMediaFactory* factory,
               const std::vector<Credential>& credentials) {
    const char* role = "viewer";
    GstRTSPAuth* auth = newViewerAuth(credentials, role);
    gst_rtsp_media_factory_add_role(factory, role, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                    GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
    gst_rtsp_server_set_auth(server, auth);
    g_object_unref(auth);
}

} // namespace

RtspPublisher::RtspPublisher(int width, int height) : state_(std::make_shared<State>()) {
    state_->width = width;
    state_->height = height;
    state_->frameBytes = std::size_t(width) * std::size_t(height) * 3u;
    state_->noSignal = noSignalPicture(width, height);
}

bool RtspPublisher::start(const RtspSettings& settings, std::string& error) {
    State& state = *state_;
    state.context = g_main_context_new();
    state.loop = g_main_loop_new(state.context, FALSE);
    state.server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(state.server, settings.bindAddress.c_str());
    gst_rtsp_server_set_service(state.server, std::to_string(settings.port).c_str());

    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launchLine(state.width, state.height).c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    if (!isWildcardAddress(settings.bindAddress)) {
        // Without a pool the RTP sockets of UDP clients would listen on every address.
        GstRTSPAddressPool* pool = gst_rtsp_address_pool_new();
        if (gst_rtsp_address_pool_add_range(pool, settings.bindAddress.c_str(), settings.bindAddress.c_str(),
                                            32768, 60998, 0))
            gst_rtsp_media_factory_set_address_pool(factory, pool);
        g_object_unref(pool);
    }
    connectSharing(factory, "media-configure", G_CALLBACK(onMediaConfigure), state_);
    state.viewersNamed = !settings.credentials.empty();
    if (state.viewersNamed)
        allowOnly(state.server, factory, settings.credentials);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(state.server);
    gst_rtsp_mount_points_add_factory(mounts, mountPath, factory); // takes the factory
    g_object_unref(mounts);
    connectSharing(state.server, "client-connected", G_CALLBACK(onClientConnected), state_);

    GError* failure = nullptr;
    GSource* serverSource = gst_rtsp_server_create_source(state.server, nullptr, &failure);
    if (serverSource == nullptr) {
        error = "cannot serve RTSP on " + settings.bindAddress + " port " + std::to_string(settings.port) +
                ": " + (failure != nullptr ? failure->message : "unknown error");
        g_clear_error(&failure);
        return false;
    }
    state.serverSourceId = g_source_attach(serverSource, state.context);
    g_source_unref(serverSource);
    state.boundPort = gst_rtsp_server_get_bound_port(state.server);

    state.cleanupSource = g_timeout_source_new_seconds(2);
    g_source_set_callback(state.cleanupSource, tidyUp, &state, nullptr);
    g_source_attach(state.cleanupSource, state.context);

    state.loopThread = std::thread([&state] {
        g_main_context_push_thread_default(state.context);
        g_main_loop_run(state.loop);
        g_main_context_pop_thread_default(state.context);
    });
    state.idleThread = std::thread([&state] { state.repeatNoSignal(); });
    return true;
}

RtspPublisher::~RtspPublisher() {
    State& state = *state_;
    {
        std::lock_guard<std::mutex> lock(state.idleMutex);
        state.stopping = true;
    }
    state.idleWake.notify_all();
    if (state.idleThread.joinable())
        state.idleThread.join();
    if (state.loopThread.joinable()) {
        g_main_context_invoke(state.context, closeEverythingAndQuit, &state);
        state.loopThread.join();
    }
    if (state.cleanupSource != nullptr) {
        g_source_destroy(state.cleanupSource);
        g_source_unref(state.cleanupSource);
    }
    if (state.serverSourceId != 0)
        g_source_destroy(g_main_context_find_source_by_id(state.context, state.serverSourceId));
    if (state.server != nullptr)
        g_object_unref(state.server);
    {
        std::lock_guard<std::mutex> lock(state.sourceMutex);
        if (state.source != nullptr)
            gst_object_unref(state.source);
        state.source = nullptr;
    }
    if (state.loop != nullptr)
        g_main_loop_unref(state.loop);
    if (state.context != nullptr)
        g_main_context_unref(state.context);
}

int RtspPublisher::boundPort() const {
    return state_->boundPort;
}

void RtspPublisher::pushFrame(const unsigned char* bgrPixels) {
    state_->lastFrameMs.store(monotonicMs());
    state_->push(bgrPixels);
}

int RtspPublisher::clientCount() const {
    return state_->clients.load();
}

} // namespace calidra
