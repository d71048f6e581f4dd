#pragma once
// Everything one camera frame goes through, from the camera's pixels to the finished picture.
// Runs on the camera's frame thread; the GUI thread reads the frame results through atomics.

#include "pipeline/alarm_baseline.h"
#include "pipeline/alarm_state.h"
#include "pipeline/compensation_measurement.h"
#include "pipeline/detection.h"
#include "pipeline/frame_buffers.h"
#include "pipeline/frame_pipeline_host.h"
#include "pipeline/human_detection.h"
#include "pipeline/reference_stage.h"
#include "pipeline/people_tracker.h"
#include "pipeline/snapshot_caption.h"
#include "pipeline/stream_feed.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace calidra {

class FramePipeline {
public:
    explicit FramePipeline(FramePipelineHost& host);
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // Acquisition start, before the camera delivers frames: buffers for the camera's image size.
    void allocateBuffers(int width, int height);

    // The whole per-frame procedure; the frame's pixels are read only during the call. Never
    // entered twice at once (the camera delivers one frame after the other).
    void processFrame(const CameraFrame& frame);

    // While the camera corrects its non-uniformity, frames are measured but not shown.
    void setNucRunning(bool running) { nucRunning_.store(running); }
    bool nucRunning() const { return nucRunning_.load(); }

    // Frame results for the read-outs and the watchdog; values of two frames may be mixed.
    uint32_t lastFrameTick() const { return lastFrameTick_.load(); }
    // Acquisition start and the watchdog count the silence from the moment they act.
    void setLastFrameTick(uint32_t tick) { lastFrameTick_.store(tick); }
    double frameMaxTemperature() const { return frameMaxTemperature_.load(); }
    double frameMinTemperature() const { return frameMinTemperature_.load(); }
    double trackingTemperature() const { return trackingTemperature_.load(); }
    bool personPresent() const { return personPresent_.load(); }
    // Temperature mode Reference without a lock: no reading is a measurement, no alarm goes on.
    bool screeningPaused() const { return screeningPaused_.load(); }
    uint32_t skippedFrameCount() const { return buffers_.skippedFrameCount(); }
    // Frames that went through the whole procedure up to showing, since construction.
    uint64_t shownFrameCount() const { return shownFrames_.load(std::memory_order_relaxed); }

    // Any thread: the threshold the last frame's regions were compared with (the fixed alarm
    // temperature, or in mode Baseline the baseline plus its margin once learned).
    double alarmThresholdCelsius() const { return alarmThreshold_.load(); }
    // Any thread: the baseline as it stands; resetBaseline learns it afresh. The operator's new
    // values are taken by the next frame; setBaselineValues tells the host at once what they put
    // in force, for a station whose frames have not come yet. baselineChanged follows both.
    BaselineStatus baselineStatus();
    void resetBaseline();
    void setBaselineValues(const BaselineSettings& settings, double fixedAlarmCelsius);

    // Any thread: the camera is gone, silent or closed. An alarm on ends at once (sound off,
    // alarmChanged, alarmSwitchedOff) and no alarm or snapshot comes until the next acquisition
    // start allocates the buffers.
    void signalLost();

    // The offset calibration: started by the operator, ended by its time-out or a mode change.
    void startMeasurement() { measurement_.start(); }
    void stopMeasurement() { measurement_.stop(); }
    bool measuring() const { return measurement_.measuring(); }

    // The stream server's socket; tests point it elsewhere before the first frame.
    void setStreamSocketPath(const std::string& path) { streamFeed_ = StreamFeed(path); }

    // The picture as it was before any overlay, read under the frame lock (the mask editor's
    // snapshot). The image is valid only during the call.
    void withCleanCopy(const std::function<void(const cv::Mat&)>& reader);

    // For the frame thread's own later stages and for tests; not for other threads.
    const FrameBuffers& buffers() const { return buffers_; }
    const DetectionResults& detectionResults() const { return detection_; }
    const OperatorSettings& frameOperatorSettings() const { return operatorSettings_; }
    // alarmCelsius is the threshold in force for the frame, whatever the mode.
    const FrameSettings& frameSettings() const { return operatorSettings_.frame; }
    bool alarmOn() {
        std::lock_guard<std::mutex> lock(alarmLock_);
        return alarm_.alarmOn();
    }
    const CompensationMeasurement& measurement() const { return measurement_; }

private:
    void renderFrame(const CameraFrame& frame);
    // Marks the render image as being drawn, under the frame lock; withCleanCopy waits for the end.
    void setDrawing(bool drawing);
    void keepPixelsUnderOverlays();
    void updateAlarm();
    void saveSnapshotIfDue();
    SnapshotCaption snapshotCaption(const std::tm& localTime);
    // Under the alarm lock, once the frame's alarm and snapshot are settled.
    void reportAlarmFrame();
    maskfile::MaskRecords readMasks();
    // Under the alarm lock: the frame measures nothing and an alarm that is on ends.
    void pauseScreening();
    // After detection: the regions matched to the people in view; finished people go to the host.
    void followPeople(bool screening);
    void finishPeopleInView();
    // Before detection: the frame's threshold in force, from the operator's values and the baseline.
    void applyAlarmThreshold(uint32_t tick);
    // Under the people lock: each finished person offered to the baseline, then to the host.
    void handOnFinishedPeople();
    // Under the baseline lock: tells the host when the status differs from the last one told.
    void reportBaseline(const BaselineStatus& status);

    FramePipelineHost& host_;
    FrameBuffers buffers_;
    HumanDetector detector_;
    DetectionResults detection_;
    OperatorSettings operatorSettings_;
    // Guards buffers_.cleanCopy, drawing_ and the patches' count. The clean picture is made only
    // when asked for (the mask editor's rare snapshot), from the render image and the pixels the
    // overlays cover, instead of copying the whole picture every frame; the frame thread writes
    // the render image and the patches only while drawing_ is set.
    std::mutex frameLock_;
    std::condition_variable drawingDone_;
    bool drawing_ = false;
    struct CleanPatch {
        cv::Rect area;
        cv::Mat pixels;
    };
    std::vector<CleanPatch> cleanPatches_; // reused; the first cleanPatchCount_ are this frame's
    std::size_t cleanPatchCount_ = 0;
    std::vector<cv::Rect> footprint_;
    cv::Mat snapshot_; // the picture with its caption band, reused from snapshot to snapshot
    // Guards alarm_ and alarmHeldOff_ (the frame thread and signalLost), and is held through the
    // host's alarm calls so they come in the alarm's order.
    std::mutex alarmLock_;
    AlarmState alarm_;
    bool alarmHeldOff_ = false;
    std::vector<cv::Rect> maskRegions_;
    std::mutex peopleLock_; // guards the tracker: the frame thread and signalLost
    PeopleTracker tracker_;
    std::vector<PersonResult> finishedPeople_;
    // Guards the learner, the values it was last run with and the last status told (the frame
    // thread, signalLost and resetBaseline); taken after the people lock where both are held.
    std::mutex baselineLock_;
    BaselineLearner baseline_;
    BaselineSettings baselineSettings_;
    double fixedAlarmCelsius_ = FrameSettings{}.alarmCelsius;
    std::optional<BaselineStatus> reportedBaseline_;
    CompensationMeasurement measurement_;
    ReferenceStage reference_;
    StreamFeed streamFeed_;
    std::string programFolder_;
    std::optional<maskfile::MaskFileState> maskFileState_; // none before the first read

    std::atomic<uint32_t> lastFrameTick_{0};
    // Shown before the first frame arrives.
    std::atomic<double> frameMaxTemperature_{temperatureCeilingCelsius};
    std::atomic<double> frameMinTemperature_{-10.0};
    std::atomic<double> trackingTemperature_{0.0};
    std::atomic<bool> personPresent_{false};
    std::atomic<double> alarmThreshold_{FrameSettings{}.alarmCelsius};
    std::atomic<bool> screeningPaused_{false};
    std::atomic<bool> nucRunning_{false};
    std::atomic<uint64_t> shownFrames_{0};
};

} // namespace calidra
