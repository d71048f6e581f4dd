#pragma once
// The camera library as the station uses it: a C++ seam over the C contract of svk.h. The
// station's own code reaches cameras only through these classes; tests put a scripted fake here.

#include "cameraframe/camera_frame.h"
#include "eventlog/log_sink.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace calidra {

// The library's result for a node the camera does not have (SVK_ERROR_UNKNOWN_NODE).
inline constexpr int unknownNodeResult = -5;

// A camera the library reports.
struct CameraRecord {
    QString label;
    int kind = -1; // see kindConnectsAutomatically
    QString model;
    QString identity;
    QByteArray openKey;
};

// What an open camera reports, on the library's threads.
class CameraEvents {
public:
    virtual ~CameraEvents() = default;
    // The frame's pixels are valid during the call only.
    virtual void frameArrived(const CameraFrame& frame) = 0;
    virtual void unplugged() = 0;
};

// One open camera. Destroying it closes the camera; that returns only after the camera's last
// callback has returned. Every call returns the library's result, 0 on success.
class Camera {
public:
    virtual ~Camera() = default;

    virtual int setAcquisition(bool running) = 0;
    virtual int imageSize(int& width, int& height) = 0;
    // Each frame arrives in the format the camera reports for it then.
    virtual int setPixelFormat(PixelFormat format) = 0;
    // The camera's own false-colour picture, bottom row first.
    virtual int rgbData(unsigned char* buffer, int bytes) = 0;

    // The offset the camera adds to every temperature, in degrees Celsius, when it offers one.
    virtual bool offersUserOffset() = 0;
    virtual int userOffset(double& celsius) = 0;
    virtual int setUserOffset(double celsius) = 0;

    // The camera's palette, by its position in the camera's list and by name.
    virtual int paletteIndex(int& index) = 0;
    virtual int setPalette(const QString& name) = 0;

    // Non-uniformity correction: the automatic one's settings and one manual run.
    virtual int setNucMode(const QString& mode) = 0;
    virtual int setNucAutoPeriodicTime(int value) = 0;
    virtual int setNucAutoTemperature(int value) = 0;
    virtual int runNuc() = 0;

    // Frames the library dropped incomplete in the last minute (lost packets); unknownNodeResult
    // from a camera that does not count them (only GigE Vision cameras do).
    virtual int incompleteFramesLastMinute(double& count) = 0;

    // The library's own modal camera dialog.
    virtual int showControlDialog() = 0;
};

class CameraLibrary {
public:
    virtual ~CameraLibrary() = default;

    // First and last call; shutting down stops the add/remove notifications first.
    virtual int initialise() = 0;
    virtual void shutdown() = 0;

    // Cameras added (true) or removed, on the library's threads. An empty handler stops them; the
    // call returns after a notification already running has ended.
    virtual void setDeviceCheckHandler(std::function<void(bool added)> handler) = 0;

    virtual int cameraCount(int& count) = 0;
    virtual int cameraInfo(int count, std::vector<CameraRecord>& records) = 0;
    // The camera's callbacks go to events until the camera is destroyed.
    virtual int open(const CameraRecord& record, CameraEvents& events, std::unique_ptr<Camera>& camera) = 0;
};

// The one way a failing camera-library result is reported: an "Error" entry with the result as
// its code. True when the call succeeded.
bool cameraCallSucceeded(LogSink& log, int result, const QString& failureText);

} // namespace calidra
