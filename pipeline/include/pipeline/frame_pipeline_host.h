#pragma once
// Everything the frame pipeline needs from the program around it. The station implements it with
// the open camera and the operator's published values; tests give it a fake.
//
// Every call is made on the frame thread, inside the camera's frame callback; an implementation
// copies what it keeps and hands work for the GUI thread over through queued calls.

#include "pipeline/alarm_baseline.h"
#include "pipeline/frame_settings.h"
#include "pipeline/reference_region.h"
#include "pipeline/person_result.h"
#include "pipeline/temperature_scale.h"

#include "maskfile/maskinfo.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace calidra {

// The operator's values as the frame thread may read them: the edit boxes' texts as parsed when
// they were published, and the positions selected in the lists, copied under the host's own lock.
struct OperatorSettings {
    FrameSettings frame;
    TemperatureUnit unit = TemperatureUnit::Celsius;
    int paletteNumber = -1; // -1: nothing selected
    int fontSize = 1;       // overlay label size, 0..3
    int alarmType = 0;      // sound file alarm<alarmType + 1>.wav
    int alarmEvent = 0;     // 1: save a snapshot of every alarm
    ReferenceSettings reference;
    // The fixed threshold is frame.alarmCelsius; mode Baseline may put another in force.
    BaselineSettings baseline;
};

class FramePipelineHost {
public:
    virtual ~FramePipelineHost() = default;

    // Millisecond tick counter; wraps after 2^32 ms.
    virtual uint32_t tickMs() = 0;
    // The wall clock that names the snapshots; it may be set back or repeat an hour.
    virtual std::time_t wallClockSeconds() { return std::time(nullptr); }

    // The open camera's calls; the camera handle stays with the host.
    virtual int cameraRgbData(unsigned char* buffer, int bytes) = 0;
    // The camera's own offset in degrees Celsius; false when it cannot be read.
    virtual bool cameraUserOffset(double& celsius) = 0;

    virtual OperatorSettings operatorSettings() = 0;

    // The alarm went on or off; sent once per change.
    virtual void alarmChanged(bool alarmOn) = 0;

    // The alarm's course, for whoever keeps its episodes: on (highestCelsius: the highest accepted
    // region temperature of the frame that switched it on; thresholdCelsius: what that frame was
    // compared with); each frame while it is on, after the frame's snapshot stage
    // (alarmedReadingCelsius: the frame's highest accepted region temperature when the frame itself
    // is alarmed); off, by a frame or by signalLost. These,
    // snapshotSaved and snapshotFailed are made under the pipeline's alarm lock, so they come one
    // at a time in the alarm's own order whichever thread switched it: an implementation only
    // hands them on (queued calls, no lock of its own) and never calls back into the pipeline.
    virtual void alarmSwitchedOn(double highestCelsius, double thresholdCelsius) {
        (void)highestCelsius;
        (void)thresholdCelsius;
    }
    virtual void alarmFrameDone(std::optional<double> alarmedReadingCelsius) { (void)alarmedReadingCelsius; }
    virtual void alarmSwitchedOff() {}

    // Loops the sound file until stopAlarmSound; only asked for files that exist.
    virtual void startAlarmSound(const std::string& soundFilePath) = 0;
    virtual void stopAlarmSound() = 0;

    // The live view's window: whether it still exists, and the finished picture for it. The image
    // is valid only during the call.
    virtual bool viewWindowExists() = 0;
    virtual void showFrame(const cv::Mat& renderImage, bool measuring, const std::string& statusText) = 0;

    // The mask regions blanked out of this frame's detection, in picture pixels, called just
    // before showFrame: for outlines on the operator's screen, never in the picture itself.
    virtual void maskRegionsShown(const std::vector<cv::Rect>& regions) { (void)regions; }

    // A finished compensation measurement: the new offset for the options pane, "%.1f".
    virtual void offsetMeasured(const std::string& offsetText) = 0;

    // An alarm snapshot was written to this path; the highest accepted region temperature of the
    // frame it shows, in degrees Celsius.
    virtual void snapshotSaved(const std::string& path, double highestCelsius) {
        (void)path;
        (void)highestCelsius;
    }

    // A due snapshot with pictures wanted: whether the disk has room for it. Asked once per
    // due snapshot, so a file-system query is affordable.
    virtual bool roomForSnapshot() { return true; }
    // A due snapshot could not be written; errorNumber is the errno of the step that failed.
    virtual void snapshotFailed(int errorNumber) { (void)errorNumber; }

    // The mask file could be used again, or no longer (missing after it was read, not a regular
    // file, of another size, unreadable): once per change, so that a masked heater that starts to
    // alarm can be explained. A file missing from the start is no news.
    virtual void maskFileChanged(const maskfile::MaskFileReading& reading, const std::string& path) {
        (void)reading;
        (void)path;
    }

    // Temperature mode Reference: the tracker's state, its reason and the correction in force
    // changed; and the correction to write to the camera's offset node (at most once a second).
    virtual void referenceChanged(const ReferenceReport& report) { (void)report; }
    virtual void writeReferenceCorrection(double celsius) { (void)celsius; }
    // A person left the picture, was unseen too long, or was in view when the camera was lost: their
    // one result. Also made from the thread that calls signalLost.
    virtual void personFinished(const PersonResult& result) { (void)result; }

    // The station's name for the snapshot caption (UTF-8, the one its site events carry); asked
    // once per due snapshot. Empty: the caption names no station.
    virtual std::string stationName() { return std::string(); }

    // The alarm threshold in force, the baseline or how far its learning is: at every change. Made
    // under the pipeline's baseline lock, also from the threads that call signalLost and
    // resetBaseline, so the changes come in order: an implementation only hands them on.
    virtual void baselineChanged(const BaselineStatus& status) { (void)status; }

    // Where the program lives: sound files, the alarm folder and the mask editor's folder.
    virtual std::string programFolder() = 0;
};

} // namespace calidra
