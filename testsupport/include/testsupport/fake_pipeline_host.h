#pragma once
// A host that records what the pipeline asks of it; frames are built from temperature codes.

#include "pipeline/frame_pipeline_host.h"
#include "pipeline/frame_settings.h"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace calidra {

class FakePipelineHost : public FramePipelineHost {
public:
    uint32_t tickMs() override { return tick += tickStepMs; }
    std::time_t wallClockSeconds() override { return wallClock != 0 ? wallClock : std::time(nullptr); }
    int cameraRgbData(unsigned char* buffer, int bytes) override {
        ++rgbDataCalls;
        const int count = std::min<int>(bytes, static_cast<int>(cameraPicture.size()));
        if (count > 0)
            std::memcpy(buffer, cameraPicture.data(), std::size_t(count));
        return 0;
    }
    bool cameraUserOffset(double& celsius) override {
        celsius = nodeValue;
        return nodeReadable;
    }
    OperatorSettings operatorSettings() override {
        ++settingsReads;
        return settings;
    }
    void alarmChanged(bool alarmOn) override { alarmChanges.push_back(alarmOn); }
    void alarmSwitchedOn(double highestCelsius, double) override {
        alarmCourse += '+';
        switchOnReadings.push_back(highestCelsius);
    }
    void alarmFrameDone(std::optional<double> reading) override { alarmCourse += reading ? 'R' : '.'; }
    void alarmSwitchedOff() override { alarmCourse += '-'; }
    void startAlarmSound(const std::string& path) override { soundStarts.push_back(path); }
    void stopAlarmSound() override { ++soundStops; }
    bool viewWindowExists() override { return windowExists; }
    void showFrame(const cv::Mat& image, bool isMeasuring, const std::string& status) override {
        shownFrames.push_back(image.clone());
        measuring.push_back(isMeasuring);
        statusTexts.push_back(status);
    }
    void offsetMeasured(const std::string& text) override { offsetTexts.push_back(text); }
    void snapshotSaved(const std::string& path, double highestCelsius) override {
        snapshots.push_back({path, highestCelsius});
        alarmCourse += 'S';
    }
    bool roomForSnapshot() override {
        ++roomQuestions;
        return room;
    }
    void snapshotFailed(int errorNumber) override {
        snapshotFailures.push_back(errorNumber);
        alarmCourse += 'F';
    }
    void maskFileChanged(const maskfile::MaskFileReading& reading, const std::string&) override {
        maskFileChanges.push_back(reading.state);
    }
    void referenceChanged(const ReferenceReport& report) override { referenceReports.push_back(report); }
    // As the camera does: the offset node takes the correction, the next frames carry it; held
    // back while holdCorrections (a camera slow to answer, or refusing).
    void writeReferenceCorrection(double celsius) override {
        if (holdCorrections)
            heldCorrection = celsius;
        else
            nodeValue = celsius;
        correctionWrites.push_back(celsius);
    }
    void baselineChanged(const BaselineStatus& status) override { baselineReports.push_back(status); }
    void personFinished(const PersonResult& result) override { finishedPeople.push_back(result); }
    std::string programFolder() override { return folder; }

    uint32_t tick = 0;
    uint32_t tickStepMs = 1;
    std::time_t wallClock = 0; // 0: the system's
    std::vector<unsigned char> cameraPicture;
    double nodeValue = 0.0;
    bool holdCorrections = false;
    std::optional<double> heldCorrection;
    bool nodeReadable = true;
    OperatorSettings settings = withEmptyFields();
    bool windowExists = true;
    std::string folder = "/nonexistent-program-folder";
    bool room = true;

    int rgbDataCalls = 0;
    int settingsReads = 0;
    std::vector<bool> alarmChanges;
    // The episode's calls in order: + on, S snapshot, F failed snapshot, R frame with its reading,
    // . frame without one, - off.
    std::string alarmCourse;
    std::vector<double> switchOnReadings;
    std::vector<std::string> soundStarts;
    int soundStops = 0;
    std::vector<cv::Mat> shownFrames;
    std::vector<bool> measuring;
    std::vector<std::string> statusTexts;
    std::vector<std::string> offsetTexts;
    std::vector<std::pair<std::string, double>> snapshots;
    int roomQuestions = 0;
    std::vector<int> snapshotFailures;
    std::vector<maskfile::MaskFileState> maskFileChanges;
    std::vector<ReferenceReport> referenceReports;
    std::vector<double> correctionWrites;
    std::vector<BaselineStatus> baselineReports;
    std::vector<PersonResult> finishedPeople;

private:
    // As the pane's boxes are before anyone typed: every value its fallback.
    static OperatorSettings withEmptyFields() {
        OperatorSettings empty;
        empty.frame = emptyFieldFallbacks();
        return empty;
    }
};

// Pixels of one frame in the camera's layout, and the frame the camera seam hands over for them.
class PixelFrame {
public:
    PixelFrame(int width, int height, PixelFormat format, uint16_t background)
        : width_(width), height_(height), format_(format), bytesPerPixel_(int(bytesPerPixel(format))),
          pixels_(std::size_t(width) * std::size_t(height) * std::size_t(bytesPerPixel_)) {
        fill(0, 0, width, height, background);
    }

    PixelFrame& fill(int x, int y, int w, int h, uint16_t code) {
        for (int row = y; row < y + h; ++row)
            for (int column = x; column < x + w; ++column) {
                unsigned char* pixel = &pixels_[(std::size_t(row) * width_ + column) * bytesPerPixel_];
                unsigned char* word = bytesPerPixel_ == 4 ? pixel + 2 : pixel;
                word[0] = uint8_t(code & 0xFF);
                word[1] = uint8_t(code >> 8);
            }
        return *this;
    }

    // A view over the pixels, as the seam decodes a frame: nothing copied.
    CameraFrame view() const {
        return CameraFrame{uint32_t(width_), uint32_t(height_), format_, pixels_.data()};
    }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    PixelFormat format_;
    int bytesPerPixel_;
    std::vector<unsigned char> pixels_;
};

} // namespace calidra
