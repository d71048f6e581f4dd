#include "viewer_auth.h"

#include <atomic>
#include <string>

namespace calidra {
namespace {

constexpr const char* viewerField = "calidra.viewer";

struct SessionMaker {
    guint64 connection = 0;
    std::string viewer;
};

GQuark connectionQuark() {
    static const GQuark quark = g_quark_from_static_string("calidra-connection");
    return quark;
}

GQuark makerQuark() {
    static const GQuark quark = g_quark_from_static_string("calidra-session-maker");
    return quark;
}

guint64 connectionOf(GstRTSPClient* client) {
    return GPOINTER_TO_SIZE(g_object_get_qdata(G_OBJECT(client), connectionQuark()));
}

std::string viewerOf(GstRTSPToken* token) {
    const gchar* viewer = token != nullptr ? gst_rtsp_token_get_string(token, viewerField) : nullptr;
    return viewer != nullptr ? viewer : "";
}

const SessionMaker* makerOf(GstRTSPSession* session) {
    return static_cast<const SessionMaker*>(g_object_get_qdata(G_OBJECT(session), makerQuark()));
}

void onNewSession(GstRTSPClient* client, GstRTSPSession* session, gpointer) {
    GstRTSPContext* context = gst_rtsp_context_get_current();
    auto* maker =
        new SessionMaker{connectionOf(client), viewerOf(context != nullptr ? context->token : nullptr)};
    g_object_set_qdata_full(G_OBJECT(session), makerQuark(), maker,
                            [](gpointer data) { delete static_cast<SessionMaker*>(data); });
}

GstRTSPFilterResult forgetThatSession(GstRTSPClient*, GstRTSPSession* session, gpointer foreign) {
    return session == foreign ? GST_RTSP_FILTER_REMOVE : GST_RTSP_FILTER_KEEP;
}

void refuse(GstRTSPAuth* auth, GstRTSPContext* context, GstRTSPStatusCode code) {
    gst_rtsp_message_init_response(context->response, code, gst_rtsp_status_as_text(code), context->request);
    if (code == GST_RTSP_STS_UNAUTHORIZED)
        GST_RTSP_AUTH_GET_CLASS(auth)->generate_authenticate_header(auth, context);
    gst_rtsp_client_send_message(context->client, nullptr, context->response);
}

} // namespace
} // namespace calidra

extern "C" {
struct CalidraViewerAuth {
    GstRTSPAuth parent;
};
struct CalidraViewerAuthClass {
    GstRTSPAuthClass parent;
};
}

G_DEFINE_TYPE(CalidraViewerAuth, calidra_viewer_auth, GST_TYPE_RTSP_AUTH)

namespace calidra {
namespace {

// The server looks a request's session up, and the connection starts watching it, before it asks
// whether the request is allowed; a connection that closes stops the media of every session it
// watched. So a session named on another connection is first let go, then refused.
gboolean checkViewer(GstRTSPAuth* auth, GstRTSPContext* context, const gchar* check) {
    if (g_str_equal(check, GST_RTSP_AUTH_CHECK_URL)) {
        const SessionMaker* maker = context->session != nullptr ? makerOf(context->session) : nullptr;
        const bool foreign = context->session != nullptr &&
                             (maker == nullptr || maker->connection != connectionOf(context->client));
        if (foreign)
            g_list_free(gst_rtsp_client_session_filter(context->client, forgetThatSession, context->session));
        const bool options = context->method == GST_RTSP_OPTIONS;
        if (!options && context->token == nullptr)
            GST_RTSP_AUTH_GET_CLASS(auth)->authenticate(auth, context);
        if (!options && context->token == nullptr) {
            refuse(auth, context, GST_RTSP_STS_UNAUTHORIZED);
            return FALSE;
        }
        if (foreign || (!options && maker != nullptr && maker->viewer != viewerOf(context->token))) {
            refuse(auth, context, GST_RTSP_STS_SESSION_NOT_FOUND);
            return FALSE;
        }
    }
    return GST_RTSP_AUTH_CLASS(calidra_viewer_auth_parent_class)->check(auth, context, check);
}

} // namespace

GstRTSPAuth* newViewerAuth(const std::vector<Credential>& credentials, const char* role) {
    GstRTSPAuth* auth = GST_RTSP_AUTH(g_object_new(calidra_viewer_auth_get_type(), nullptr));
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
    gst_rtsp_auth_set_realm(auth, "Calidra");
    for (const Credential& credential : credentials) {
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, role, viewerField,
                               G_TYPE_STRING, credential.user.c_str(), nullptr);
        gst_rtsp_auth_add_digest(auth, credential.user.c_str(), credential.password.c_str(), token);
        gst_rtsp_token_unref(token);
    }
    return auth;
}

void recordSessionsOf(GstRTSPClient* client) {
    static std::atomic<guint64> connections{0};
    g_object_set_qdata(G_OBJECT(client), connectionQuark(), GSIZE_TO_POINTER(connections.fetch_add(1) + 1));
    g_signal_connect(client, "new-session", G_CALLBACK(onNewSession), nullptr);
}

} // namespace calidra

static void calidra_viewer_auth_init(CalidraViewerAuth*) {}

static void calidra_viewer_auth_class_init(CalidraViewerAuthClass* klass) {
    GST_RTSP_AUTH_CLASS(klass)->check = calidra::checkViewer;
}
