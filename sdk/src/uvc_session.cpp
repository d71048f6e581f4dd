#include "uvc_session.h"

#include "camera_picture.h"
#include "camera_records.h"

namespace calidra::sorvik {

UvcSession::UvcSession(std::shared_ptr<uvc::CaptureSession> capture)
    : capture_(std::move(capture)), nodes_(/*keepsNucSettings=*/true, /*keepsUserOffset=*/false) {}

UvcSession::~UvcSession() {
    close();
}

void UvcSession::close() {
    closed_.store(true);
    capture_->close();
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

int UvcSession::setFrameCallback(SvkFrameCallback callback, void* context) {
    return capture_->setFrameCallback(callback, context);
}

int UvcSession::setUnplugCallback(SvkUnplugCallback callback, void* context) {
    return capture_->setUnplugCallback(callback, context);
}

int UvcSession::setAcquisition(int enable) {
    if (closed_.load()) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    return capture_->setAcquisition(enable != 0);
}

int UvcSession::imageSize(SvkImageSize* size) {
    if (size == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    size->offsetX = 0;
    size->offsetY = 0;
    size->width = int(capture_->width());
    size->height = int(capture_->height());
    return SVK_OK;
}

int UvcSession::setPixelFormat(int format) {
    return closed_.load() ? SVK_ERROR_INVALID_HANDLE : capture_->setPixelFormat(format);
}

int UvcSession::pixelFormat(int* format) {
    if (format == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    *format = capture_->pixelFormat();
    return SVK_OK;
}

int UvcSession::rgbData(unsigned char* buffer, int bytes) {
    const std::size_t width = capture_->width(), height = capture_->height();
    if (buffer == nullptr || bytes < 0 || std::size_t(bytes) < width * height * 3) {
        return SVK_ERROR_BUFFER_TOO_SMALL;
    }
    std::lock_guard<std::mutex> lock(pictureMutex_);
    if (!capture_->latestCodes(pictureCodes_)) {
        return SVK_ERROR_NOT_FOUND; // no frame yet: nothing written
    }
    simulator::CodePlane plane;
    plane.codes = pictureCodes_.data(); // offset scale, whatever the delivered format
    simulator::renderCameraPicture(plane, width, height, nodes_.palette(), buffer);
    return SVK_OK;
}

int UvcSession::nodeInfo(const char* node, SvkNodeInfo* info) {
    if (info == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = nodes_.info(node, *info); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    // The offset lives in the capture session's conversion.
    const bool known = nodeIs(node, "UserCompensationParaB") ||
                       (nodeIs(node, "NUCManualRun") && capture_->hasFlatFieldCorrection());
    if (!known) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    describeLibraryNode(*info);
    return SVK_OK;
}

int UvcSession::nodeEnum(const char* node, SvkEnumRecord* record) {
    if (record == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return nodes_.enumeration(node, *record);
}

int UvcSession::nodeFloat(const char* node, SvkFloatRecord* record) {
    if (record == nullptr || node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (!nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    record->value = capture_->userOffset();
    return SVK_OK;
}

int UvcSession::setNodeInt(const char* node, int value) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return nodes_.setInt(node, value);
}

int UvcSession::setNodeFloat(const char* node, double value) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (!nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return capture_->setUserOffset(value); // applied in the conversion of every following frame
}

int UvcSession::setNodeEnum(const char* node, const char* entry) {
    if (node == nullptr || entry == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    return nodes_.setEnum(node, entry);
}

int UvcSession::setNodeCommand(const char* node) {
    if (node == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (!nodeIs(node, "NUCManualRun")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return capture_->runFlatFieldCorrection(); // unknown node for a camera without a known command
}

} // namespace calidra::sorvik
