#include "session_core.h"

namespace calidra::sorvik {

SessionCore::SessionCore(bool keepsNucSettings, bool keepsUserOffset, double userOffset)
    : nodes_(keepsNucSettings, keepsUserOffset, userOffset) {}

int SessionCore::setFrameCallback(SvkFrameCallback callback, void* context) {
    frames_.setFrameCallback(callback, context);
    return SVK_OK;
}

int SessionCore::setUnplugCallback(SvkUnplugCallback callback, void* context) {
    frames_.setUnplugCallback(callback, context);
    return SVK_OK;
}

int SessionCore::imageSize(SvkImageSize* size) {
    if (size == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    int width = 0, height = 0;
    const int result = frameSize(width, height);
    if (result == SVK_OK) {
        size->offsetX = 0;
        size->offsetY = 0;
        size->width = width;
        size->height = height;
    }
    return result;
}

int SessionCore::setPixelFormat(int format) {
    if (!FrameOutlet::knownFormat(format)) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    frames_.setFormat(format);
    return SVK_OK;
}

int SessionCore::pixelFormat(int* format) {
    if (format == nullptr) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    *format = frames_.format();
    return SVK_OK;
}

int SessionCore::rgbData(unsigned char* buffer, int bytes) {
    return frames_.drawPicture(
        buffer, bytes, nodes_.palette(),
        [this](std::size_t width, std::size_t height, int palette, unsigned char* bgr) {
            return drawPictureShortcut(width, height, palette, bgr);
        });
}

template <typename Kept, typename Own>
int SessionCore::nodeCall(const char* node, bool argumentsGiven, Kept kept, Own own) {
    if (node == nullptr || !argumentsGiven) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    if (const int result = usable(); result != SVK_OK) {
        return result;
    }
    if (const int result = kept(); result != SVK_ERROR_UNKNOWN_NODE) {
        return result;
    }
    return own();
}

int SessionCore::nodeInfo(const char* node, SvkNodeInfo* info) {
    return nodeCall(
        node, info != nullptr, [&] { return nodes_.info(node, *info); },
        [&] { return cameraNodeInfo(node, *info); });
}

int SessionCore::nodeEnum(const char* node, SvkEnumRecord* record) {
    return nodeCall(
        node, record != nullptr, [&] { return nodes_.enumeration(node, *record); },
        [&] { return cameraNodeEnum(node, *record); });
}

int SessionCore::nodeFloat(const char* node, SvkFloatRecord* record) {
    return nodeCall(
        node, record != nullptr, [&] { return nodes_.floatValue(node, *record); },
        [&] { return cameraNodeFloat(node, *record); });
}

int SessionCore::setNodeInt(const char* node, int value) {
    return nodeCall(
        node, true, [&] { return nodes_.setInt(node, value); },
        [&] { return setCameraNodeInt(node, value); });
}

int SessionCore::setNodeFloat(const char* node, double value) {
    return nodeCall(
        node, true, [&] { return nodes_.setFloat(node, value); },
        [&] { return setCameraNodeFloat(node, value); });
}

int SessionCore::setNodeEnum(const char* node, const char* entry) {
    return nodeCall(
        node, entry != nullptr, [&] { return nodes_.setEnum(node, entry); },
        [&] { return setCameraNodeEnum(node, entry); });
}

int SessionCore::setNodeCommand(const char* node) {
    return nodeCall(
        node, true, [] { return SVK_ERROR_UNKNOWN_NODE; }, [&] { return runCameraCommand(node); });
}

int SessionCore::cameraNodeInfo(const char*, SvkNodeInfo&) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::cameraNodeEnum(const char*, SvkEnumRecord&) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::cameraNodeFloat(const char*, SvkFloatRecord&) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::setCameraNodeInt(const char*, int) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::setCameraNodeFloat(const char*, double) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::setCameraNodeEnum(const char*, const char*) {
    return SVK_ERROR_UNKNOWN_NODE;
}

int SessionCore::runCameraCommand(const char*) {
    return SVK_ERROR_UNKNOWN_NODE;
}

bool SessionCore::drawPictureShortcut(std::size_t, std::size_t, int, unsigned char*) {
    return false;
}

} // namespace calidra::sorvik
