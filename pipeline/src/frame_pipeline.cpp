#include "pipeline/frame_pipeline.h"

#include "pipeline/frame_settings.h"
#include "pipeline/overlays.h"
#include "pipeline/palette_rendering.h"
#include "pipeline/palettes.h"
#include "pipeline/paused_overlays.h"

#include "pipeline/snapshot_caption.h"
#include "pipeline/snapshot_writer.h"

#include "files/station_layout.h"
#include "maskfile/maskinfo.h"

#include <sys/stat.h>

#include <ctime>

namespace calidra {

FramePipeline::FramePipeline(FramePipelineHost& host) : host_(host) {}

void FramePipeline::allocateBuffers(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        buffers_.allocate(width, height);
        cleanPatchCount_ = 0;
    }
    detection_ = DetectionResults{};
    reference_.restart();
    finishPeopleInView();
    std::lock_guard<std::mutex> lock(alarmLock_);
    alarmHeldOff_ = false; // a new start: frames may raise the alarm again
}

void FramePipeline::signalLost() {
    finishPeopleInView();
    std::lock_guard<std::mutex> lock(alarmLock_);
    alarmHeldOff_ = true;
    if (!alarm_.switchOff())
        return;
    host_.stopAlarmSound();
    host_.alarmChanged(false);
    host_.alarmSwitchedOff();
}

void FramePipeline::processFrame(const CameraFrame& frame) {
    lastFrameTick_.store(host_.tickMs());

    const IntakeResult intake = intakeFrame(frame, buffers_);
    frameMaxTemperature_.store(intake.extremes.maximumCelsius);
    frameMinTemperature_.store(intake.extremes.minimumCelsius);

    // No acquisition started yet: nothing to measure or draw into.
    if (buffers_.width() == 0 || buffers_.height() == 0) {
        detection_ = DetectionResults{};
        trackingTemperature_.store(0.0);
        personPresent_.store(false);
        return;
    }

    operatorSettings_ = host_.operatorSettings();
    applyAlarmThreshold(lastFrameTick_.load());

    programFolder_ = host_.programFolder();
    const maskfile::MaskRecords masks = readMasks();
    maskRegions_.clear();
    for (const MaskInfo& record : masks)
        if (maskfile::recordApplies(record, buffers_.width(), buffers_.height()))
            maskRegions_.emplace_back(record.nX, record.nY, record.nWidth, record.nHeight);
    reference_.keepOutOfDetection(buffers_, frame.format, operatorSettings_.reference,
                                  operatorSettings_.frame.detectionCelsius);
    detector_.detectAndMeasure(
        buffers_, frame.format, operatorSettings_.frame, masks, [this] { return host_.tickMs(); },
        detection_);
    const bool paused =
        reference_.track(buffers_, frame.format, operatorSettings_.reference, host_.tickMs(), host_);
    screeningPaused_.store(paused);
    trackingTemperature_.store(paused ? 0.0 : detection_.trackingTemperature);
    personPresent_.store(detection_.personPresent);
    followPeople(!paused);

    std::unique_lock<std::mutex> alarmLock(alarmLock_);
    if (paused)
        pauseScreening();
    updateAlarm();
    if (nucRunning_.load()) {
        reportAlarmFrame();
        return;
    }
    alarmLock.unlock();

    {
        // Ends the drawing however this block is left, so a clean-copy reader never waits for good.
        struct Drawing {
            explicit Drawing(FramePipeline& pipeline) : pipeline(pipeline) { pipeline.setDrawing(true); }
            ~Drawing() { pipeline.setDrawing(false); }
            FramePipeline& pipeline;
        } drawing(*this);
        renderFrame(frame);

        if (measurement_.measuring()) {
            const std::optional<std::string> offset = measurement_.step(detection_.detections, [this] {
                double value = 0.0;
                return host_.cameraUserOffset(value) ? std::optional<double>(value) : std::nullopt;
            });
            if (offset)
                host_.offsetMeasured(*offset);
        }

        // The footprint of the full overlays covers the paused ones (boxes without labels) too.
        keepPixelsUnderOverlays();
        if (paused)
            drawPausedOverlays(buffers_.renderImage, detection_.detections);
        else
            drawOverlays(buffers_.renderImage, detection_.detections, operatorSettings_.fontSize,
                         operatorSettings_.unit);
    }
    alarmLock.lock();
    saveSnapshotIfDue();
    reportAlarmFrame();
    alarmLock.unlock();

    if (host_.viewWindowExists()) {
        shownFrames_.fetch_add(1, std::memory_order_relaxed);
        host_.maskRegionsShown(maskRegions_);
        host_.showFrame(buffers_.renderImage, measurement_.measuring(), measurement_.statusText());
        streamFeed_.streamFrame(buffers_.renderImage, detection_.regionPassTick);
    }
}

maskfile::MaskRecords FramePipeline::readMasks() {
    // Read afresh every frame: the mask editor may have rewritten the file a moment ago.
    const std::string path = files::stationMaskFilePath(programFolder_);
    maskfile::FileBytes bytes{};
    const maskfile::MaskFileReading reading = maskfile::readMaskRegions(path, bytes);
    const bool changed = maskFileState_ ? *maskFileState_ != reading.state
                                        : reading.state != maskfile::MaskFileState::Read &&
                                              reading.state != maskfile::MaskFileState::Missing;
    maskFileState_ = reading.state;
    if (changed)
        host_.maskFileChanged(reading, path);
    return maskfile::decodeRecords(bytes);
}

void FramePipeline::pauseScreening() {
    detection_.frameAlarm = false;
    detection_.trackingTemperature = 0.0;
    for (Detection& detection : detection_.detections)
        detection.alarm = false;
    if (!alarm_.switchOff())
        return;
    host_.stopAlarmSound();
    if (host_.viewWindowExists())
        host_.alarmChanged(false);
    host_.alarmSwitchedOff();
}

void FramePipeline::updateAlarm() {
    if (alarmHeldOff_)
        return;
    const AlarmChange change = alarm_.update(detection_.frameAlarm, detection_.regionPassTick);
    if (change == AlarmChange::None)
        return;
    if (change == AlarmChange::SwitchedOn) {
        const std::string sound = alarmSoundPath(programFolder_, operatorSettings_.alarmType);
        struct stat file;
        if (::stat(sound.c_str(), &file) == 0 && S_ISREG(file.st_mode))
            host_.startAlarmSound(sound);
        host_.alarmSwitchedOn(highestTemperature(detection_.detections), detection_.alarmThresholdCelsius);
    } else {
        host_.stopAlarmSound();
        host_.alarmSwitchedOff();
    }
    if (host_.viewWindowExists())
        host_.alarmChanged(change == AlarmChange::SwitchedOn);
}

void FramePipeline::saveSnapshotIfDue() {
    if (alarmHeldOff_ || !alarm_.snapshotDue(detection_.frameAlarm, detection_.regionPassTick,
                                             operatorSettings_.frame.alarmSavePeriodMs))
        return;
    const std::time_t now = host_.wallClockSeconds();
    std::tm localTime{};
    localtime_r(&now, &localTime);
    // A disk short of room gets no picture; the folder is still made, as with "Only Sound".
    const bool writePicture = operatorSettings_.alarmEvent == 1 && host_.roomForSnapshot();
    if (writePicture)
        captionedSnapshot(buffers_.renderImage, snapshotCaption(localTime), snapshot_);
    const AlarmSnapshotResult saved = saveAlarmSnapshot(
        programFolder_, writePicture ? snapshot_ : buffers_.renderImage, writePicture, localTime);
    if (saved.path)
        host_.snapshotSaved(*saved.path, highestTemperature(detection_.detections));
    else if (saved.errorNumber != 0)
        host_.snapshotFailed(saved.errorNumber);
}

SnapshotCaption FramePipeline::snapshotCaption(const std::tm& localTime) {
    SnapshotCaption caption;
    caption.localTime = localTime;
    caption.stationName = host_.stationName();
    caption.highestCelsius = highestTemperature(detection_.detections);
    caption.thresholdCelsius = detection_.alarmThresholdCelsius;
    caption.unit = operatorSettings_.unit;
    // Screening (and so an alarm) in mode Reference runs only with the source locked or held.
    const ReferenceReport& reference = reference_.report();
    if (operatorSettings_.reference.correcting &&
        (reference.state == ReferenceState::Locked || reference.state == ReferenceState::Holding)) {
        caption.correction = CaptionCorrection::Reference;
        caption.correctionCelsius = reference.correctionCelsius;
    } else if (host_.cameraUserOffset(caption.correctionCelsius)) {
        caption.correction = CaptionCorrection::CameraOffset;
    } else {
        caption.correction = CaptionCorrection::OffsetUnknown;
        caption.correctionCelsius = 0.0;
    }
    return caption;
}

void FramePipeline::reportAlarmFrame() {
    if (!alarm_.alarmOn())
        return;
    host_.alarmFrameDone(detection_.frameAlarm
                             ? std::optional<double>(highestTemperature(detection_.detections))
                             : std::nullopt);
}

void FramePipeline::renderFrame(const CameraFrame& frame) {
    if (!frame.format)
        return;
    cv::Mat& render = buffers_.renderImage;
    if (*frame.format == PixelFormat::RgbCode32) {
        // The camera draws its own palette; whatever it does not write keeps the last picture.
        host_.cameraRgbData(render.data, static_cast<int>(render.total() * render.elemSize()));
        flipCameraPicture(render);
        return;
    }
    renderOwnPalette(frame, paletteTable(operatorSettings_.paletteNumber), render);
}

void FramePipeline::setDrawing(bool drawing) {
    {
        std::lock_guard<std::mutex> lock(frameLock_);
        drawing_ = drawing;
    }
    if (!drawing)
        drawingDone_.notify_all();
}

void FramePipeline::keepPixelsUnderOverlays() {
    overlayFootprint(detection_.detections, operatorSettings_.fontSize, operatorSettings_.unit,
                     buffers_.renderImage.size(), footprint_);
    if (cleanPatches_.size() < footprint_.size())
        cleanPatches_.resize(footprint_.size());
    for (std::size_t index = 0; index < footprint_.size(); ++index) {
        cleanPatches_[index].area = footprint_[index];
        buffers_.renderImage(footprint_[index]).copyTo(cleanPatches_[index].pixels);
    }
    cleanPatchCount_ = footprint_.size();
}

void FramePipeline::withCleanCopy(const std::function<void(const cv::Mat&)>& reader) {
    std::unique_lock<std::mutex> lock(frameLock_);
    drawingDone_.wait(lock, [this] { return !drawing_; });
    buffers_.renderImage.copyTo(buffers_.cleanCopy);
    for (std::size_t index = 0; index < cleanPatchCount_; ++index)
        cleanPatches_[index].pixels.copyTo(buffers_.cleanCopy(cleanPatches_[index].area));
    reader(buffers_.cleanCopy);
}

} // namespace calidra
