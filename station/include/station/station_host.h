#pragma once
// The frame pipeline's host in a running station: the open camera, the operator's published
// values, the alarm sound, and the hand-over of alarm changes and pictures to the owner thread.

#include "station/alarm_episodes.h"
#include "station/alarm_sound_player.h"
#include "station/picture_source.h"
#include "station/shrinking_conversion.h"

#include "camera/camera_library.h"
#include "camera/connection_clock.h"

#include "pipeline/frame_pipeline_host.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

namespace calidra {

class StationHost : public PictureSource, public FramePipelineHost {
    Q_OBJECT
public:
    // What cameraRgbData gives without a camera.
    static constexpr int noCameraResult = -1;

    // The clock is the camera connection's, so the frame tick and the watchdog agree.
    StationHost(AlarmSoundPlayer& sound, QString programFolder,
                ConnectionClock& clock = systemConnectionClock(), QObject* parent = nullptr);

    // Owner thread. The camera is only used inside its frame callbacks, which end before it closes.
    void setCamera(Camera* camera) { camera_.store(camera); }
    void publishOperatorSettings(const OperatorSettings& settings);
    // The name the snapshot captions carry (UTF-8).
    void setStationName(const std::string& name);
    void setViewWindowExists(bool exists) { viewWindowExists_.store(exists); }
    // Without anyone to take the live pictures, showFrame hands none over: no pass over the picture.
    void setPicturesWanted(bool wanted) { picturesWanted_.store(wanted); }
    // Owner thread, before frames arrive: who keeps the alarm episodes, told in the pipeline's
    // alarm calls.
    void setAlarmEpisodes(AlarmEpisodes* episodes) { episodes_.store(episodes); }
    // Below this many MiB free for ThermalAlarm/ no picture is attempted; 0 or less: no check.
    void setMinimumFreeMegabytes(int megabytes) { minimumFreeMegabytes_.store(megabytes); }

    bool takeLatestPicture(cv::Mat& picture, bool& measuring, std::string& statusText,
                           std::vector<cv::Rect>* maskRegions = nullptr,
                           cv::Size* frameSize = nullptr) override;
    void setPaintedSize(const cv::Size& deviceSize) override { paintedSize_.store(deviceSize); }

    // FramePipelineHost, called on the frame thread.
    uint32_t tickMs() override { return clock_.nowMs(); }
    int cameraRgbData(unsigned char* buffer, int bytes) override;
    bool cameraUserOffset(double& celsius) override;
    OperatorSettings operatorSettings() override;
    void alarmChanged(bool alarmOn) override;
    void alarmSwitchedOn(double highestCelsius, double thresholdCelsius) override;
    void alarmFrameDone(std::optional<double> alarmedReadingCelsius) override;
    void alarmSwitchedOff() override;
    void startAlarmSound(const std::string& soundFilePath) override;
    void stopAlarmSound() override;
    bool viewWindowExists() override { return viewWindowExists_.load(); }
    void showFrame(const cv::Mat& renderImage, bool measuring, const std::string& statusText) override;
    void maskRegionsShown(const std::vector<cv::Rect>& regions) override;
    void offsetMeasured(const std::string& offsetText) override;
    void snapshotSaved(const std::string& path, double highestCelsius) override;
    void maskFileChanged(const maskfile::MaskFileReading& reading, const std::string& path) override;
    bool roomForSnapshot() override;
    void snapshotFailed(int errorNumber) override;
    void referenceChanged(const ReferenceReport& report) override;
    void writeReferenceCorrection(double celsius) override { emit referenceCorrectionWanted(celsius); }
    std::string stationName() override;
    std::string programFolder() override { return programFolder_; }
    void personFinished(const PersonResult& result) override;
    void baselineChanged(const BaselineStatus& status) override { emit baselineReported(status); }
    // Owner thread: the finished people handed over since the last call, in order.
    std::vector<PersonResult> takeFinishedPeople();

signals:
    // Emitted on the frame thread: connect with queued connections.
    void alarmStateChanged(bool alarmOn);
    void offsetMeasuredText(const QString& offsetText);
    void snapshotWritten(const QString& path, double highestCelsius);
    // An entry for the event log (type as LogType), which accepts entries only on its own thread.
    void logEntryWanted(int type, const QString& message, int code);
    // The alarm went on (with the highest reading of its first frame) or off, whether or not a
    // view window exists: the log's entry is worded on the owner thread, in the operator's unit.
    void alarmEntryWanted(bool alarmOn, double highestCelsius);
    // A picture was due but the disk is short of room: none was attempted.
    void snapshotSkippedForRoom();
    // Temperature mode Reference: the tracker's news, and the offset the camera should take.
    void referenceReported(const calidra::ReferenceReport& report);
    void referenceCorrectionWanted(double celsius);
    // The alarm threshold in force and the baseline's learning changed.
    void baselineReported(const calidra::BaselineStatus& status);
    // Finished people wait for takeFinishedPeople; sent once per batch.
    void peopleFinished();

private:
    AlarmSoundPlayer& sound_;
    const std::string programFolder_;
    ConnectionClock& clock_;
    std::atomic<Camera*> camera_{nullptr};
    std::atomic<bool> viewWindowExists_{true};
    std::atomic<bool> picturesWanted_{true};
    std::atomic<AlarmEpisodes*> episodes_{nullptr};
    // Frame thread: the reference's correction in force, NaN outside temperature mode Reference;
    // an alarm episode keeps the one of its start.
    std::atomic<double> referenceCorrection_{std::numeric_limits<double>::quiet_NaN()};
    std::atomic<int> minimumFreeMegabytes_{0};

    std::mutex settingsLock_;
    OperatorSettings settings_;
    std::string stationName_;

    std::atomic<cv::Size> paintedSize_{cv::Size()};
    ShrinkingConversion shrinking_; // frame thread only

    std::mutex pictureLock_;
    cv::Mat picture_;
    cv::Size pictureFrameSize_;
    bool pictureMeasuring_ = false;
    std::string pictureStatus_;
    std::vector<cv::Rect> pictureMasks_;
    std::vector<cv::Rect> nextPictureMasks_; // frame thread only, until its picture is shown
    cv::Mat convertedPicture_;               // frame thread only: the next picture, then a spare
    bool pictureWaiting_ = false;

    std::mutex peopleLock_;
    std::vector<PersonResult> finishedPeople_;
};

} // namespace calidra
