#pragma once
// The station's camera: discovery, automatic connection, acquisition, periodic NUC, the
// read-outs and the watchdog that restarts a stalled stream. Runs on the GUI thread; the camera
// library's device notifications are handed over to it from the library's threads.

#include "camera/connection_front_end.h"
#include "camera/frame_receiver.h"

#include "eventlog/log_sink.h"

#include "svk.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

namespace calidra {

struct ConnectionTimings {
    int connectFirstMs = 1000;
    int connectRepeatMs = 5000;
    int openWaitMs = 1000;
    int readoutMs = 500;
    uint32_t watchdogSilenceMs = 3000;
    int nucWindowMs = 2000;
    int millisecondsPerSecond = 1000; // of the NUC interval field; tests shrink the second
};

struct CallbackRelay;

class CameraConnection : public QObject {
    Q_OBJECT
public:
    static constexpr int connectTimerId = 102;
    static constexpr int readoutTimerId = 103;
    static constexpr int nucTimerId = 104;
    static constexpr int nucWindowTimerId = 105;

    // Tick of the watchdog; the pipeline's frame tick uses the same clock.
    using TickSource = uint32_t (*)();

    CameraConnection(ConnectionFrontEnd& frontEnd, FrameReceiver& receiver, LogSink& log,
                     ConnectionTimings timings = {}, TickSource tick = nullptr, QObject* parent = nullptr);
    ~CameraConnection() override;

    // Library up, camera list filled, device notifications on, timers 102 and 103 started.
    // Safe to call again (the live view's second initial update).
    int initialise();
    // Camera closed, notifications off, library down. Also run by the destructor.
    void shutdown();

    void EnumerateCameras();
    int OpenCamera(const SvkCameraInfo& record);
    void CloseCamera();
    int StartAcquisition();
    int StopAcquisition();
    // 0 switches periodic NUC off.
    void SetNucInterval(int intervalMs);

    SvkHandle handle() const { return handle_; }
    bool connected() const { return connected_; }
    bool userCompensationSupported() const { return userCompensationSupported_; }
    bool nucRunning() const { return nucRunning_; }
    const SvkCameraInfo& cameraRecord() const { return cameraRecord_; }
    const std::vector<SvkCameraInfo>& cameraList() const { return cameraList_; }
    QStringList cameraEntries() const;
    int imageWidth() const { return imageWidth_; }
    int imageHeight() const { return imageHeight_; }
    bool nucTimerActive() const { return nucTimer_.isActive(); }
    int nucTimerIntervalMs() const { return nucTimer_.interval(); }

    // Whether automatic connection may open this camera.
    static bool qualifies(const SvkCameraInfo& record);
    static QString entryText(const SvkCameraInfo& record);

private:
    void onConnectTimer();
    void tryNextQualifying();
    void onReadoutTimer();
    void onNucTimer();
    void onNucWindowEnd();
    void onDeviceCheck(int state);
    void onUnplugged();
    uint32_t now() const;

    static void frameCallback(const SvkFrameRecord* frame, void* context);
    static void unplugCallback(void* context);
    static void deviceCheckCallback(int state, void* context);

    ConnectionFrontEnd& frontEnd_;
    FrameReceiver& receiver_;
    LogSink& log_;
    ConnectionTimings timings_;
    TickSource tick_;
    // Outlives this object: a notification already inside the library finds no receiver.
    CallbackRelay* relay_;
    bool libraryUp_ = false;

    SvkHandle handle_ = nullptr;
    bool connected_ = false;
    bool userCompensationSupported_ = false;
    bool nucRunning_ = false;
    SvkCameraInfo cameraRecord_;
    std::vector<SvkCameraInfo> cameraList_;
    int imageWidth_ = 0;
    int imageHeight_ = 0;

    std::vector<SvkCameraInfo> pendingOpens_; // qualifying cameras still to try this round
    bool awaitingOpenResult_ = false;         // the front one was opened; its wait is running
    bool openedCameraLost_ = false;           // ...and was unplugged during that wait
    int lastOpenResult_ = 0;
    QTimer connectTimer_;
    QTimer openWaitTimer_;
    QTimer readoutTimer_;
    QTimer nucTimer_;
    QTimer nucWindowTimer_;
};

} // namespace calidra
