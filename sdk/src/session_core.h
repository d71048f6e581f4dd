#pragma once
// What every kind of open camera does alike, written once: the callbacks, the
// pixel format and the picture (through its frame outlet), the nodes the
// library keeps, and the checks at the start of each call. A kind of camera
// adds whether its camera can be used, its frame size, acquisition, closing
// and the nodes it answers itself.

#include "camera_provider.h"
#include "frame_outlet.h"
#include "kept_nodes.h"

namespace calidra::sorvik {

class SessionCore : public CameraSession {
public:
    int setFrameCallback(SvkFrameCallback callback, void* context) final;
    int setUnplugCallback(SvkUnplugCallback callback, void* context) final;
    int imageSize(SvkImageSize* size) final;
    int setPixelFormat(int format) final;
    int pixelFormat(int* format) final;
    int rgbData(unsigned char* buffer, int bytes) final;
    int nodeInfo(const char* node, SvkNodeInfo* info) final;
    int nodeEnum(const char* node, SvkEnumRecord* record) final;
    int nodeFloat(const char* node, SvkFloatRecord* record) final;
    int setNodeInt(const char* node, int value) final;
    int setNodeFloat(const char* node, double value) final;
    int setNodeEnum(const char* node, const char* entry) final;
    int setNodeCommand(const char* node) final;

protected:
    SessionCore(bool keepsNucSettings, bool keepsUserOffset, double userOffset = 0.0);

    FrameOutlet& frames() { return frames_; }
    const FrameOutlet& frames() const { return frames_; }
    KeptNodes& nodes() { return nodes_; }

    // SVK_OK while the camera can be used, else why not.
    virtual int usable() const = 0;
    // Called once the camera is usable.
    virtual int frameSize(int& width, int& height) = 0;
    // The nodes the camera answers itself: asked once the arguments are checked, the camera is
    // usable and the node is none the library keeps. Unknown unless overridden.
    virtual int cameraNodeInfo(const char* node, SvkNodeInfo& info);
    virtual int cameraNodeEnum(const char* node, SvkEnumRecord& record);
    virtual int cameraNodeFloat(const char* node, SvkFloatRecord& record);
    virtual int setCameraNodeInt(const char* node, int value);
    virtual int setCameraNodeFloat(const char* node, double value);
    virtual int setCameraNodeEnum(const char* node, const char* entry);
    virtual int runCameraCommand(const char* node);
    // See FrameOutlet::PictureShortcut; none unless overridden.
    virtual bool drawPictureShortcut(std::size_t width, std::size_t height, int palette, unsigned char* bgr);

private:
    // Arguments, then whether the camera can be used, then the nodes kept here, then the camera's own.
    template <typename Kept, typename Own>
    int nodeCall(const char* node, bool argumentsGiven, Kept kept, Own own);

    KeptNodes nodes_;
    FrameOutlet frames_;
};

} // namespace calidra::sorvik
