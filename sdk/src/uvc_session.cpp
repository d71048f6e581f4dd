#include "uvc_session.h"

#include "camera_records.h"

namespace calidra::sorvik {

// The palette and NUC settings are kept here; the offset is the capture session's.
UvcSession::UvcSession() : SessionCore(/*keepsNucSettings=*/true, /*keepsUserOffset=*/false) {}

std::shared_ptr<UvcSession> UvcSession::open(uvc::DeviceSystem& system, const uvc::DiscoveredCamera& camera,
                                             uvc::CaptureSession::ReportSink report, int& result) {
    std::shared_ptr<UvcSession> session(new UvcSession());
    // Sized before the capture thread starts; the capture session opens only a camera of this mode.
    session->frames().setFrameSize(camera.mode.countsWidth, camera.mode.countsHeight);
    session->capture_ = uvc::CaptureSession::open(system, camera, *session, std::move(report), result);
    return session->capture_ ? session : nullptr;
}

UvcSession::~UvcSession() {
    close();
}

void UvcSession::close() {
    closed_.store(true);
    if (capture_) {
        capture_->close();
    }
}

void UvcSession::deviceRemoved(int timeoutMs) {
    capture_->deviceRemoved();
    capture_->waitForUnplugDelivered(timeoutMs);
}

int UvcSession::usable() const {
    if (closed_.load()) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    return capture_->unplugged() ? SVK_ERROR_DEVICE_GONE : SVK_OK;
}

int UvcSession::setAcquisition(int enable) {
    if (closed_.load()) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    return capture_->setAcquisition(enable != 0);
}

int UvcSession::frameSize(int& width, int& height) {
    width = int(capture_->width());
    height = int(capture_->height());
    return SVK_OK;
}

int UvcSession::cameraNodeInfo(const char* node, SvkNodeInfo& info) {
    // The offset lives in the capture session's conversion.
    const bool known = nodeIs(node, "UserCompensationParaB") ||
                       (nodeIs(node, "NUCManualRun") && capture_->hasFlatFieldCorrection());
    if (!known) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    describeLibraryNode(info);
    return SVK_OK;
}

int UvcSession::cameraNodeFloat(const char* node, SvkFloatRecord& record) {
    if (!nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    record.value = capture_->userOffset();
    return SVK_OK;
}

int UvcSession::setCameraNodeFloat(const char* node, double value) {
    if (!nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return capture_->setUserOffset(value); // applied in the conversion of every following frame
}

int UvcSession::runCameraCommand(const char* node) {
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return capture_->runFlatFieldCorrection(); // unknown node for a camera without a known command
}

} // namespace calidra::sorvik
