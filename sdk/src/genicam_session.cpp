#include "genicam_session.h"

#include "camera_records.h"
#include "genicam_provider.h"

#include <cstdlib>
#include <utility>

namespace calidra::sorvik {

GenicamSession::GenicamSession(GenicamProvider& provider, std::string address, std::string serial,
                               uint64_t generation, GenicamProfile profile,
                               std::chrono::milliseconds answerWait)
    : SessionCore(/*keepsNucSettings=*/false, /*keepsUserOffset=*/true), provider_(provider),
      address_(std::move(address)), generation_(generation), profile_(std::move(profile)),
      stream_(frames(), nodes(), profile_.kelvinPerCount, serial + " at " + address_),
      control_(provider_, serial + " at " + address_, profile_, answerWait) {}

GenicamSession::~GenicamSession() {
    control_.markClosed();
    control_.post([this] { releaseCamera(); });
    control_.finish();
}

void GenicamSession::markGone() {
    control_.markGone();
    stream_.stop(/*forGood=*/true);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (unplugFired_ || control_.closed()) {
            return;
        }
        unplugFired_ = true;
    }
    // Nothing more can be asked of it: let go of it now rather than at the close.
    control_.post([this] { releaseCamera(); });
    frames().deliverUnplug();
}

void GenicamSession::close() {
    if (control_.markClosed()) {
        return;
    }
    // A callback running now returns before this does; a later frame sees the stream stopped.
    stream_.stop(/*forGood=*/true);
    stream_.waitForDelivery();
    if (control_.connected() && std::getenv("SORVIK_STREAM_STATS") != nullptr) {
        stream_.printStatistics();
    }
    // A camera that answers is free for the next session when this returns; one that does not
    // is let go of in the background. From the stream thread it cannot wait: letting go of the
    // stream joins that thread.
    const std::function<void()> release = [this] { releaseCamera(); };
    if (stream_.onStreamThread() || !control_.runWhileAnswering(release)) {
        control_.post(release);
    }
    if (auto self = weak_from_this().lock()) {
        provider_.retire(std::move(self)); // kept until its exchange thread is done with it
    }
}

void GenicamSession::releaseCamera() {
    control_.release(stream_.take());
}

int GenicamSession::setAcquisition(int enable) {
    if (enable == 0) {
        return stopStream(); // the local stream stops even when the camera has gone
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return startStream();
}

int GenicamSession::startStream() {
    return control_.ask([this]() -> int { return startOnCamera(); },
                        [this](int result) {
                            if (result == SVK_OK) {
                                // Its caller was told it failed: so it does.
                                stream_.setAcquiring(false);
                                control_.haltCamera();
                                stream_.drop();
                            }
                        });
}

int GenicamSession::startOnCamera() {
    if (stream_.acquiring()) {
        return SVK_OK;
    }
    ArvCamera* camera = control_.camera();
    if (camera == nullptr) {
        return control_.noCamera();
    }
    stream_.drop(); // its end resets the stream channel: before the new stream is set up
    int width = 0, height = 0;
    guint payload = 0;
    if (const int result = control_.frameLayout(width, height, payload); result != SVK_OK) {
        return result;
    }
    // The frames the callback gets are sized here.
    frames().setFrameSize(std::size_t(width), std::size_t(height));
    if (!stream_.open(camera, width, height, payload)) {
        return SVK_ERROR_ACCESS;
    }
    stream_.setAcquiring(true);
    if (const int result = control_.startAcquisition(); result != SVK_OK) {
        stream_.setAcquiring(false);
        stream_.drop();
        return result;
    }
    return SVK_OK;
}

int GenicamSession::stopStream() {
    stream_.stop();
    stream_.waitForDelivery(); // no frame after this returns
    int result = usable();
    if (result == SVK_OK) {
        result = control_.ask([this]() -> int { return control_.haltCamera(); });
    }
    // Not waited for: letting go of the stream joins the stream thread, which may be the caller's.
    control_.post([this] { stream_.drop(); });
    return result;
}

int GenicamSession::cameraNodeInfo(const char* node, SvkNodeInfo& info) {
    if (nodeIs(node, kIncompleteFramesNode)) {
        describeLibraryNode(info);
        info.accessMode = 3; // read-only: counted by the library
        return SVK_OK;
    }
    return control_.featureInfo(nodeIs(node, "NUCManualRun") ? profile_.nucCommand : std::string(node), info);
}

int GenicamSession::cameraNodeEnum(const char* node, SvkEnumRecord& record) {
    return control_.enumeration(node, record);
}

int GenicamSession::cameraNodeFloat(const char* node, SvkFloatRecord& record) {
    if (nodeIs(node, kIncompleteFramesNode)) {
        record.value = stream_.droppedInLastMinute();
        record.minimum = 0.0;
        return SVK_OK;
    }
    return control_.floatValue(node, record);
}

int GenicamSession::setCameraNodeInt(const char* node, int value) {
    return control_.setInt(node, value);
}

int GenicamSession::setCameraNodeFloat(const char* node, double value) {
    return nodeIs(node, kIncompleteFramesNode) ? SVK_ERROR_ACCESS : control_.setFloat(node, value);
}

int GenicamSession::setCameraNodeEnum(const char* node, const char* entry) {
    return control_.setEnum(node, entry);
}

int GenicamSession::runCameraCommand(const char* node) {
    if (!nodeIs(node, "NUCManualRun")) {
        return control_.command(node);
    }
    if (profile_.nucCommand.empty()) {
        return SVK_ERROR_UNKNOWN_NODE; // this camera's profile names no NUC command
    }
    return control_.command(profile_.nucCommand);
}

} // namespace calidra::sorvik
