#pragma once
// The seam inside libSorvikC.so between the C contract and the kinds of
// camera behind it. A provider lists its cameras, opens them and reports
// device changes; the library in front of it (camera_library.h) owns handles,
// the device-check callback and the order of providers.
//
// A new kind of camera implements CameraProvider and CameraSession:
// - listCameras: its cameras as they are now, cheaply (no device traffic on
//   the caller's thread), each with an open key that starts with the
//   provider's own prefix;
// - open: a session for one of its keys, SVK_ERROR_NOT_FOUND for any other;
// - start / stop: its threads; stop closes what it still has open;
// - events.deviceChecked(0 / 1) from its own thread when a camera appears or
//   goes, after firing the unplug callbacks of that camera's sessions.
// A session's operations are those of the contract for one handle; close()
// returns only after the last frame callback has returned, except when it is
// called from that callback, where it must not wait for itself yet has to
// keep the session alive until its thread has left it.

#include "svk.h"

#include <memory>
#include <string>
#include <vector>

namespace calidra::sorvik {

// One camera as the library reports it (the camera information record).
struct CameraListing {
    std::string label;
    int kind = -1;
    std::string model;
    std::string identity;
    std::string openKey;
};

class CameraSession {
public:
    virtual ~CameraSession() = default;

    virtual void close() = 0;
    virtual int setFrameCallback(SvkFrameCallback callback, void* context) = 0;
    virtual int setUnplugCallback(SvkUnplugCallback callback, void* context) = 0;
    virtual int setAcquisition(int enable) = 0;
    virtual int imageSize(SvkImageSize* size) = 0;
    virtual int setPixelFormat(int format) = 0;
    virtual int pixelFormat(int* format) = 0;
    virtual int rgbData(unsigned char* buffer, int bytes) = 0;
    virtual int nodeInfo(const char* node, SvkNodeInfo* info) = 0;
    virtual int nodeEnum(const char* node, SvkEnumRecord* record) = 0;
    virtual int nodeFloat(const char* node, SvkFloatRecord* record) = 0;
    virtual int setNodeInt(const char* node, int value) = 0;
    virtual int setNodeFloat(const char* node, double value) = 0;
    virtual int setNodeEnum(const char* node, const char* entry) = 0;
    virtual int setNodeCommand(const char* node) = 0;
};

// What a provider tells the library, from the provider's own threads.
class ProviderEvents {
public:
    virtual ~ProviderEvents() = default;
    // state 0: a camera appeared; anything else: one went.
    virtual void deviceChecked(int state) = 0;
};

class CameraProvider {
public:
    virtual ~CameraProvider() = default;

    virtual int start(ProviderEvents& events) = 0;
    virtual void stop() = 0;
    // Appends its cameras; a non-zero result is a failure to report them
    // (the cameras appended still count).
    virtual int listCameras(std::vector<CameraListing>& cameras) = 0;
    virtual int open(const std::string& openKey, std::shared_ptr<CameraSession>& session) = 0;
};

} // namespace calidra::sorvik
