// The C entry points of the camera library.
#include "camera_library.h"
#include "svk.h"

using calidra::sorvik::CameraLibrary;

namespace {

template <typename Operation> int onSession(SvkHandle handle, Operation operation) {
    auto session = CameraLibrary::instance().session(handle);
    if (!session) {
        return SVK_ERROR_INVALID_HANDLE;
    }
    return operation(*session);
}

} // namespace

extern "C" {

int svkInit(void) {
    return CameraLibrary::instance().init();
}
int svkUninit(void) {
    return CameraLibrary::instance().uninit();
}
int svkGetCameraCount(int* count) {
    return CameraLibrary::instance().cameraCount(count);
}
int svkGetCameraInfo(SvkCameraInfo* records, int count) {
    return CameraLibrary::instance().cameraInfo(records, count);
}
int svkOpen(const char* openKey, SvkHandle* handle, int) {
    return CameraLibrary::instance().open(openKey, handle);
}
int svkClose(SvkHandle handle) {
    return CameraLibrary::instance().close(handle);
}
int svkSetDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context) {
    return CameraLibrary::instance().setDeviceCheckCallback(callback, context);
}

int svkSetFrameCallback(SvkHandle handle, SvkFrameCallback callback, void* context) {
    return onSession(handle, [&](auto& s) { return s.setFrameCallback(callback, context); });
}
int svkSetUnplugCallback(SvkHandle handle, SvkUnplugCallback callback, void* context) {
    return onSession(handle, [&](auto& s) { return s.setUnplugCallback(callback, context); });
}
int svkSetAcquisition(SvkHandle handle, int enable) {
    return onSession(handle, [&](auto& s) { return s.setAcquisition(enable); });
}
int svkGetImageSize(SvkHandle handle, SvkImageSize* size) {
    return onSession(handle, [&](auto& s) { return s.imageSize(size); });
}
int svkSetPixelFormat(SvkHandle handle, int format) {
    return onSession(handle, [&](auto& s) { return s.setPixelFormat(format); });
}
int svkGetPixelFormat(SvkHandle handle, int* format) {
    return onSession(handle, [&](auto& s) { return s.pixelFormat(format); });
}
int svkGetRGBData(SvkHandle handle, unsigned char* buffer, int bytes) {
    return onSession(handle, [&](auto& s) { return s.rgbData(buffer, bytes); });
}
int svkGetNodeInfo(SvkHandle handle, const char* node, SvkNodeInfo* info) {
    return onSession(handle, [&](auto& s) { return s.nodeInfo(node, info); });
}
int svkGetNodeEnum(SvkHandle handle, const char* node, SvkEnumRecord* record) {
    return onSession(handle, [&](auto& s) { return s.nodeEnum(node, record); });
}
int svkGetNodeFloat(SvkHandle handle, const char* node, SvkFloatRecord* record) {
    return onSession(handle, [&](auto& s) { return s.nodeFloat(node, record); });
}
int svkSetNodeInt(SvkHandle handle, const char* node, int value) {
    return onSession(handle, [&](auto& s) { return s.setNodeInt(node, value); });
}
int svkSetNodeFloat(SvkHandle handle, const char* node, double value) {
    return onSession(handle, [&](auto& s) { return s.setNodeFloat(node, value); });
}
int svkSetNodeEnum(SvkHandle handle, const char* node, const char* entry) {
    return onSession(handle, [&](auto& s) { return s.setNodeEnum(node, entry); });
}
int svkSetNodeCommand(SvkHandle handle, const char* node) {
    return onSession(handle, [&](auto& s) { return s.setNodeCommand(node); });
}
int svkShowControlDialog(SvkHandle handle) {
    // There is no vendor dialog to show.
    return onSession(handle, [](auto&) { return SVK_OK; });
}

} // extern "C"
