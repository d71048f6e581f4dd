#pragma once
// Digest authentication for the RTSP server: every request but OPTIONS needs a known viewer's
// credentials, and a session answers only to the connection and the viewer that made it.

#include "server_options.h"

#include <gst/rtsp-server/rtsp-server.h>

#include <vector>

namespace calidra {

// An authenticator that lets these viewers act in the given media factory role. The caller owns
// the reference.
GstRTSPAuth* newViewerAuth(const std::vector<Credential>& credentials, const char* role);

// Gives a new connection its identity and records it as the maker of each session it sets up.
void recordSessionsOf(GstRTSPClient* client);

} // namespace calidra
