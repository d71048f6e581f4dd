#pragma once
// The live view: the thermal picture beside the options pane. It owns the frame pipeline, its
// host, the pane and the camera connection, and switches the picture to the whole screen.

#include "liveview/live_viewer_ctrl.h"
#include "liveview/picture_area.h"

#include "camera/camera_connection.h"
#include "pipeline/frame_pipeline.h"
#include "settings/settings_store.h"
#include "shell/calidra_view.h"
#include "station/alarm_sound_player.h"
#include "station/auxiliary_programs.h"
#include "station/pipeline_receiver.h"
#include "station/station_host.h"

#include <QPointer>
#include <QScrollArea>
#include <QTimer>

#include <memory>

namespace calidra {

class EventLog;

class CLiveViewer : public CCalidraView, public OptionsPaneOwner, public ConnectionFrontEnd {
    Q_OBJECT
public:
    static constexpr int liveViewerTemplateId = 141;
    static constexpr int measurementTimerId = 106;
    static constexpr int measurementTimeoutMs = 60000;
    static constexpr int alarmFrameIntervalMs = 300;
    static constexpr int paneTop = 7;
    static constexpr int pictureMargin = 7;
    static constexpr int paneScrollBarAllowance = 16;

    struct Environment {
        EventLog* log = nullptr;
        SettingsSection* settings = nullptr; // the application's settings; outlives the view
        QString programFolder;               // sounds, pictures, alarm snapshots, the mask editor
        ConnectionTimings timings;           // shortened by tests
    };

    explicit CLiveViewer(Environment environment, QWidget* parent = nullptr);
    ~CLiveViewer() override;

    void OnInitialUpdate() override;

    // The picture alone on the whole screen, above other windows, and back.
    void toggleFullView();
    void leaveFullView();
    bool fullView() const { return fullView_; }

    CLiveViewerCtrl* pane() const { return pane_; }
    // The column the pane lives in; it scrolls when the view is lower than the pane.
    QWidget* paneArea() const { return paneArea_; }
    PictureArea* pictureArea() const { return picture_; }
    FramePipeline& pipeline() { return *pipeline_; }
    StationHost& host() { return *host_; }
    CameraConnection* connection() const { return connection_.get(); }
    AuxiliaryPrograms& auxiliaryPrograms() { return programs_; }
    int fontSize() const { return fontSize_; }
    bool measurementTimerActive() const { return measurementTimer_.isActive(); }

    // OptionsPaneOwner
    bool cameraOpen() override;
    bool userCompensationSupported() override;
    void setCameraNodeFloat(const QString& node, double value) override;
    void setCameraNodeEnum(const QString& node, const QString& entry) override;
    void setMeasuring(bool measuring) override;
    void startMeasurement() override;
    void SetNucInterval(int intervalMs) override;
    void setFontSize(int position) override;
    void setAlarmEvent(int position) override;
    void setAlarmType(int position) override;
    void showCameraDialog() override;
    void LaunchMaskEditor() override;
    void LaunchIpTool() override;
    void StartStreamingServer() override;
    void StopStreamingServer() override;
    void operatorValuesChanged() override;

    // ConnectionFrontEnd
    void setReadouts(const QString& large, const QString& maximum, const QString& minimum) override;
    bool showsFahrenheit() override;
    QString unitLabelText() override;
    QString offsetFieldText() override;
    QString nucIntervalText() override;
    void selectPalette(int index) override;
    void forceNormalMode() override;
    void setCameraEntries(const QStringList& entries) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutChildren();
    void onAlarmStateChanged(bool alarmOn);
    void onOffsetMeasured(const QString& offsetText);

    Environment environment_;
    AlarmSoundPlayer sound_;
    std::unique_ptr<StationHost> host_;
    std::unique_ptr<FramePipeline> pipeline_;
    AuxiliaryPrograms programs_;
    std::unique_ptr<PipelineReceiver> receiver_;
    std::unique_ptr<CameraConnection> connection_;
    CLiveViewerCtrl* pane_ = nullptr;
    QScrollArea* paneArea_ = nullptr;
    PictureArea* picture_ = nullptr;
    QTimer measurementTimer_;
    int fontSize_ = 1;
    int alarmEvent_ = 0;
    int alarmType_ = 0;
    bool fullView_ = false;
    QPointer<QWidget> savedParent_;
    int savedStackIndex_ = -1;
};

} // namespace calidra
