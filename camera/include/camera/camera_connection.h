#pragma once
// The station's camera: discovery, automatic connection, acquisition, periodic NUC and the
// watchdog that restarts a stalled stream. Runs on the GUI thread; the camera library's
// notifications are handed over to it from the library's threads.

#include "camera/camera_library.h"
#include "camera/connection_clock.h"
#include "camera/connection_front_end.h"
#include "camera/frame_receiver.h"

#include "eventlog/log_sink.h"

#include <QObject>
#include <QStringList>

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
};

class CameraConnection : public QObject, private CameraEvents {
    Q_OBJECT
public:
    // The clock defaults to the system's.
    CameraConnection(CameraLibrary& library, ConnectionFrontEnd& frontEnd, FrameReceiver& receiver,
                     LogSink& log, ConnectionTimings timings = {}, ConnectionClock* clock = nullptr,
                     QObject* parent = nullptr);
    ~CameraConnection() override;

    // Library up, camera list filled, device notifications on, the connect and read-out timers started.
    // Safe to call again (the live view's second initial update).
    int initialise();
    // Camera closed, notifications off, library down. Also run by the destructor.
    void shutdown();

    void EnumerateCameras();
    int OpenCamera(const CameraRecord& record);
    void CloseCamera();
    // The library's result; 0 also when there is no camera to start or stop.
    int StartAcquisition();
    int StopAcquisition();
    // 0 or less switches periodic NUC off.
    void SetNucInterval(int intervalMs);

    // The open camera, for the station's own calls on the GUI thread; nullptr when none.
    Camera* camera() const { return camera_.get(); }
    bool libraryUp() const { return libraryUp_; }
    bool connected() const { return connected_; }
    bool userCompensationSupported() const { return userCompensationSupported_; }
    bool nucRunning() const { return nucRunning_; }
    const CameraRecord& cameraRecord() const { return cameraRecord_; }
    const std::vector<CameraRecord>& cameraList() const { return cameraList_; }
    QStringList cameraEntries() const;
    int imageWidth() const { return imageWidth_; }
    int imageHeight() const { return imageHeight_; }
    bool nucTimerActive() const { return nucTimer_->isActive(); }
    int nucTimerIntervalMs() const { return nucTimer_->intervalMs(); }

    // Whether automatic connection may open this camera: kind 2 and an identity that starts with
    // one of the prefixes.
    static bool qualifies(const CameraRecord& record, const QStringList& identityPrefixes);
    // The station's own cameras; an installer adds others through the settings.
    static QStringList defaultIdentityPrefixes();
    // Comma-separated, spaces around each ignored; a text without any prefix gives the default.
    static QStringList identityPrefixesFromText(const QString& text);
    void setIdentityPrefixes(const QStringList& prefixes) { identityPrefixes_ = prefixes; }
    const QStringList& identityPrefixes() const { return identityPrefixes_; }
    // "label: [identity] model".
    static QString entryText(const CameraRecord& record);
    // "label [identity] model": the camera as the operator is told about it.
    static QString cameraText(const CameraRecord& record);

private:
    void onConnectTimer();
    void tryNextQualifying();
    void onReadoutTimer();
    void onNucTimer();
    void onNucWindowEnd();
    void onDeviceCheck(bool added);
    void onUnplugged();
    void checkIncompleteFrames();
    bool succeeded(int result, const char* failureText);

    // CameraEvents, on the library's threads.
    void frameArrived(const CameraFrame& frame) override;
    void unplugged() override;

    CameraLibrary& library_;
    ConnectionFrontEnd& frontEnd_;
    FrameReceiver& receiver_;
    LogSink& log_;
    ConnectionTimings timings_;
    ConnectionClock& clock_;
    bool libraryUp_ = false;
    QStringList identityPrefixes_ = defaultIdentityPrefixes();

    std::unique_ptr<Camera> camera_;
    bool connected_ = false;
    bool cameraUnplugged_ = false; // the open camera was reported unplugged
    bool userCompensationSupported_ = false;
    bool nucRunning_ = false;
    CameraRecord cameraRecord_;
    std::vector<CameraRecord> cameraList_;
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    int lossBandTold_ = 0; // the highest band of incomplete frames logged since they last stopped

    std::vector<CameraRecord> pendingOpens_; // qualifying cameras still to try this round
    bool awaitingOpenResult_ = false;        // the front one was opened; its wait is running
    bool openedCameraLost_ = false;          // ...and was unplugged during that wait
    int lastOpenResult_ = 0;
    std::unique_ptr<ConnectionTimer> connectTimer_;
    std::unique_ptr<ConnectionTimer> openWaitTimer_;
    std::unique_ptr<ConnectionTimer> readoutTimer_;
    std::unique_ptr<ConnectionTimer> nucTimer_;
    std::unique_ptr<ConnectionTimer> nucWindowTimer_;
};

} // namespace calidra
