#include "mjpeg_http_server.h"

#include "shared_jpeg_encoder.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <list>
#include <thread>

namespace calidra {
namespace {

using Clock = std::chrono::steady_clock;

struct Viewer {
    SoupServerMessage* message = nullptr;
    int queued = 0;              // parts appended and not yet written to the socket
    Clock::time_point lastTaken; // when the viewer last took a part, or joined
    bool dropping = false;
};

} // namespace

struct MjpegHttpServer::State {
    int width = 0;
    int height = 0;
    std::vector<Credential> credentials;

    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    SoupServer* server = nullptr;
    GSource* stallSource = nullptr;
    std::thread loopThread;
    int boundPort = 0;
    std::unique_ptr<SharedJpegEncoder> encoder;

    std::list<Viewer> viewers; // the loop thread's only
    std::atomic<int> viewerCount{0};
    std::atomic<int> droppedViewers{0};

    std::list<Viewer>::iterator find(SoupServerMessage* message) {
        return std::find_if(viewers.begin(), viewers.end(),
                            [message](const Viewer& viewer) { return viewer.message == message; });
    }
    void countViewers() {
        viewerCount.store(int(viewers.size()));
        encoder->setWatched(!viewers.empty());
    }
};

namespace {

using State = MjpegHttpServer::State;

// One part of the multipart answer, made once per picture and shared by every viewer.
GBytes* partOf(const JpegBytes& jpeg) {
    const std::string head =
        std::string("--") + MjpegHttpServer::boundary +
        "\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpeg->size()) + "\r\n\r\n";
    std::vector<unsigned char> part;
    part.reserve(head.size() + jpeg->size() + 2);
    part.insert(part.end(), head.begin(), head.end());
    part.insert(part.end(), jpeg->begin(), jpeg->end());
    part.push_back('\r');
    part.push_back('\n');
    return g_bytes_new(part.data(), part.size());
}

void send(Viewer& viewer, GBytes* part) {
    if (viewer.queued >= MjpegHttpServer::queuedFramesPerViewer || viewer.dropping)
        return; // this viewer skips the picture
    if (viewer.queued == 0)
        viewer.lastTaken = Clock::now();
    ++viewer.queued;
    soup_message_body_append_bytes(soup_server_message_get_response_body(viewer.message), part);
    soup_server_message_unpause(viewer.message);
}

struct Delivery {
    std::weak_ptr<State> state;
    GBytes* part;
};

gboolean deliverOnLoop(gpointer data) {
    auto* delivery = static_cast<Delivery*>(data);
    if (std::shared_ptr<State> state = delivery->state.lock())
        for (Viewer& viewer : state->viewers)
            send(viewer, delivery->part);
    return G_SOURCE_REMOVE;
}

void onWroteChunk(SoupServerMessage* message, gpointer data) {
    State& state = *static_cast<State*>(data);
    const auto viewer = state.find(message);
    if (viewer == state.viewers.end())
        return;
    viewer->queued = std::max(0, viewer->queued - 1);
    viewer->lastTaken = Clock::now();
}

void onFinished(SoupServerMessage* message, gpointer data) {
    State& state = *static_cast<State*>(data);
    const auto viewer = state.find(message);
    if (viewer == state.viewers.end())
        return;
    g_signal_handlers_disconnect_by_data(message, data);
    g_object_unref(message);
    state.viewers.erase(viewer);
    state.countViewers();
}

// A viewer that has taken nothing for a while is closed; its unsent parts go with its connection.
gboolean dropStalledViewers(gpointer data) {
    State& state = *static_cast<State*>(data);
    const Clock::time_point now = Clock::now();
    for (Viewer& viewer : state.viewers) {
        if (viewer.dropping || viewer.queued == 0 ||
            now - viewer.lastTaken < std::chrono::milliseconds(MjpegHttpServer::stalledViewerMs))
            continue;
        viewer.dropping = true;
        state.droppedViewers.fetch_add(1);
        if (GSocket* socket = soup_server_message_get_socket(viewer.message))
            g_socket_shutdown(socket, TRUE, TRUE, nullptr);
    }
    return G_SOURCE_CONTINUE;
}

void refuseMethod(SoupServerMessage* message) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Allow", "GET, HEAD");
    soup_server_message_set_status(message, SOUP_STATUS_METHOD_NOT_ALLOWED, nullptr);
}

bool isGetOrHead(SoupServerMessage* message) {
    const char* method = soup_server_message_get_method(message);
    return method == SOUP_METHOD_GET || method == SOUP_METHOD_HEAD;
}

void noStore(SoupServerMessage* message) {
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_replace(headers, "Cache-Control", "no-cache, no-store, must-revalidate");
    soup_message_headers_replace(headers, "Pragma", "no-cache");
}

void handleStream(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer data) {
    State& state = *static_cast<State*>(data);
    if (!isGetOrHead(message)) {
        refuseMethod(message);
        return;
    }
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    const std::string type = std::string("multipart/x-mixed-replace;boundary=") + MjpegHttpServer::boundary;
    soup_message_headers_set_content_type(headers, type.c_str(), nullptr);
    noStore(message);
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    if (soup_server_message_get_method(message) == SOUP_METHOD_HEAD)
        return;
    soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
    soup_message_body_set_accumulate(soup_server_message_get_response_body(message), FALSE);
    g_signal_connect(message, "wrote-chunk", G_CALLBACK(onWroteChunk), &state);
    g_signal_connect(message, "finished", G_CALLBACK(onFinished), &state);
    state.viewers.push_back({SOUP_SERVER_MESSAGE(g_object_ref(message)), 0, Clock::now(), false});
    state.countViewers();
    // The newest picture at once, so a viewer never starts on an empty frame.
    if (const JpegBytes jpeg = state.encoder->latest()) {
        GBytes* part = partOf(jpeg);
        send(state.viewers.back(), part);
        g_bytes_unref(part);
    }
}

void handleSnapshot(SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer data) {
    State& state = *static_cast<State*>(data);
    if (!isGetOrHead(message)) {
        refuseMethod(message);
        return;
    }
    noStore(message);
    const JpegBytes jpeg = state.encoder->latest();
    if (!jpeg) {
        static const char text[] = "No picture from the station yet.\n";
        soup_server_message_set_status(message, SOUP_STATUS_SERVICE_UNAVAILABLE, nullptr);
        soup_server_message_set_response(message, "text/plain; charset=utf-8", SOUP_MEMORY_STATIC, text,
                                         sizeof text - 1);
        return;
    }
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(message, "image/jpeg", SOUP_MEMORY_COPY,
                                     reinterpret_cast<const char*>(jpeg->data()), jpeg->size());
}

char* digestOf(SoupAuthDomain* domain, SoupServerMessage*, const char* user, gpointer data) {
    const State& state = *static_cast<const State*>(data);
    for (const Credential& credential : state.credentials)
        if (credential.user == user)
            return soup_auth_domain_digest_encode_password(user, soup_auth_domain_get_realm(domain),
                                                           credential.password.c_str());
    return nullptr;
}

gboolean closeEverythingAndQuit(gpointer data) {
    State& state = *static_cast<State*>(data);
    soup_server_disconnect(state.server); // finishes every message
    for (Viewer& viewer : state.viewers) {
        g_signal_handlers_disconnect_by_data(viewer.message, &state);
        g_object_unref(viewer.message);
    }
    state.viewers.clear();
    state.viewerCount.store(0);
    g_main_loop_quit(state.loop);
    return G_SOURCE_REMOVE;
}

bool listenOn(State& state, const HttpSettings& settings, std::string& error) {
    const std::string where = settings.bindAddress + " port " + std::to_string(settings.port);
    GError* failure = nullptr;
    GResolver* resolver = g_resolver_get_default();
    GList* addresses = g_resolver_lookup_by_name(resolver, settings.bindAddress.c_str(), nullptr, &failure);
    g_object_unref(resolver);
    int port = settings.port;
    for (GList* entry = addresses; entry != nullptr && failure == nullptr; entry = entry->next) {
        GSocketAddress* address = g_inet_socket_address_new(G_INET_ADDRESS(entry->data), guint16(port));
        soup_server_listen(state.server, address, SoupServerListenOptions(0), &failure);
        g_object_unref(address);
        GSList* uris = soup_server_get_uris(state.server);
        if (uris != nullptr) // every address on the port the first one got
            port = g_uri_get_port(static_cast<GUri*>(uris->data));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    g_resolver_free_addresses(addresses);
    if (failure != nullptr) {
        error = "cannot serve HTTP on " + where + ": " + failure->message;
        g_clear_error(&failure);
        return false;
    }
    state.boundPort = port;
    return true;
}

} // namespace

MjpegHttpServer::MjpegHttpServer(int width, int height) : state_(std::make_shared<State>()) {
    state_->width = width;
    state_->height = height;
    std::weak_ptr<State> weak = state_;
    state_->encoder = std::make_unique<SharedJpegEncoder>(width, height, [weak](const JpegBytes& jpeg) {
        std::shared_ptr<State> state = weak.lock();
        if (!state || state->context == nullptr)
            return;
        g_main_context_invoke_full(state->context, G_PRIORITY_DEFAULT, deliverOnLoop,
                                   new Delivery{weak, partOf(jpeg)}, [](gpointer data) {
                                       auto* delivery = static_cast<Delivery*>(data);
                                       g_bytes_unref(delivery->part);
                                       delete delivery;
                                   });
    });
}

bool MjpegHttpServer::start(const HttpSettings& settings, std::string& error) {
    State& state = *state_;
    state.credentials = settings.credentials;
    state.context = g_main_context_new();
    state.loop = g_main_loop_new(state.context, FALSE);
    // The server's sockets and messages belong to the context that is the thread's default here.
    g_main_context_push_thread_default(state.context);
    state.server = SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, nullptr));
    soup_server_add_handler(state.server, streamPath, handleStream, &state, nullptr);
    soup_server_add_handler(state.server, snapshotPath, handleSnapshot, &state, nullptr);
    if (!settings.credentials.empty()) {
        SoupAuthDomain* domain = soup_auth_domain_digest_new("realm", "Calidra", nullptr);
        soup_auth_domain_digest_set_auth_callback(domain, digestOf, &state, nullptr);
        soup_auth_domain_add_path(domain, "/");
        soup_server_add_auth_domain(state.server, domain);
        g_object_unref(domain);
    }
    const bool listening = listenOn(state, settings, error);
    g_main_context_pop_thread_default(state.context);
    if (!listening)
        return false;

    state.stallSource = g_timeout_source_new(500);
    g_source_set_callback(state.stallSource, dropStalledViewers, &state, nullptr);
    g_source_attach(state.stallSource, state.context);
    state.loopThread = std::thread([&state] {
        g_main_context_push_thread_default(state.context);
        g_main_loop_run(state.loop);
        g_main_context_pop_thread_default(state.context);
    });
    return true;
}

MjpegHttpServer::~MjpegHttpServer() {
    State& state = *state_;
    state.encoder.reset(); // no more deliveries
    if (state.loopThread.joinable()) {
        g_main_context_invoke(state.context, closeEverythingAndQuit, &state);
        state.loopThread.join();
    }
    if (state.stallSource != nullptr) {
        g_source_destroy(state.stallSource);
        g_source_unref(state.stallSource);
    }
    if (state.server != nullptr) {
        g_main_context_push_thread_default(state.context);
        g_object_unref(state.server);
        g_main_context_pop_thread_default(state.context);
    }
    if (state.loop != nullptr)
        g_main_loop_unref(state.loop);
    if (state.context != nullptr)
        g_main_context_unref(state.context);
}

int MjpegHttpServer::boundPort() const {
    return state_->boundPort;
}

void MjpegHttpServer::pushFrame(const unsigned char* bgrPixels) {
    state_->encoder->pushFrame(bgrPixels);
}

int MjpegHttpServer::viewerCount() const {
    return state_->viewerCount.load();
}

int MjpegHttpServer::droppedViewerCount() const {
    return state_->droppedViewers.load();
}

} // namespace calidra
