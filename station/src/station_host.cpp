#include "station/station_host.h"

#include "alarmrecord/free_space.h"
#include "alarmrecord/snapshot_names.h"

#include "eventlog/log_sink.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace calidra {

StationHost::StationHost(AlarmSoundPlayer& sound, QString programFolder, ConnectionClock& clock,
                         QObject* parent)
    : PictureSource(parent), sound_(sound), programFolder_(programFolder.toStdString()), clock_(clock) {}

void StationHost::publishOperatorSettings(const OperatorSettings& settings) {
    std::lock_guard<std::mutex> lock(settingsLock_);
    settings_ = settings;
}

void StationHost::setStationName(const std::string& name) {
    std::lock_guard<std::mutex> lock(settingsLock_);
    stationName_ = name;
}

std::string StationHost::stationName() {
    std::lock_guard<std::mutex> lock(settingsLock_);
    return stationName_;
}

OperatorSettings StationHost::operatorSettings() {
    std::lock_guard<std::mutex> lock(settingsLock_);
    return settings_;
}

int StationHost::cameraRgbData(unsigned char* buffer, int bytes) {
    Camera* camera = camera_.load();
    if (camera == nullptr || buffer == nullptr || bytes <= 0)
        return noCameraResult;
    return camera->rgbData(buffer, bytes);
}

bool StationHost::cameraUserOffset(double& celsius) {
    Camera* camera = camera_.load();
    return camera != nullptr && camera->userOffset(celsius) == 0;
}

void StationHost::alarmChanged(bool alarmOn) {
    emit alarmStateChanged(alarmOn);
}

void StationHost::alarmSwitchedOn(double highestCelsius, double thresholdCelsius) {
    const double correction = referenceCorrection_.load();
    if (AlarmEpisodes* episodes = episodes_.load())
        episodes->switchedOn(thresholdCelsius,
                             std::isnan(correction) ? std::nullopt : std::optional<double>(correction));
    emit alarmEntryWanted(true, highestCelsius);
}

void StationHost::referenceChanged(const ReferenceReport& report) {
    referenceCorrection_.store(report.state == ReferenceState::Off ? std::numeric_limits<double>::quiet_NaN()
                                                                   : report.correctionCelsius);
    emit referenceReported(report);
}

void StationHost::alarmFrameDone(std::optional<double> alarmedReadingCelsius) {
    if (AlarmEpisodes* episodes = episodes_.load())
        episodes->frameDone(alarmedReadingCelsius);
}

void StationHost::alarmSwitchedOff() {
    if (AlarmEpisodes* episodes = episodes_.load())
        episodes->switchedOff();
    emit alarmEntryWanted(false, std::numeric_limits<double>::quiet_NaN());
}

void StationHost::startAlarmSound(const std::string& soundFilePath) {
    sound_.requestPlay(QString::fromStdString(soundFilePath));
}

void StationHost::stopAlarmSound() {
    sound_.requestStop();
}

namespace {

// OpenCV runs a conversion this small on the calling thread: a picture converted in such bands
// wakes no worker threads, which would spin for longer than the band takes.
constexpr int pixelsConvertedInline = 1 << 16;

// The pipeline's BGR picture in the window's painting format (see PictureSource), reusing the
// destination's memory for frames of one size. Anything else leaves it empty: nothing to paint.
void convertForPainting(const cv::Mat& picture, cv::Mat& converted) {
    if (picture.empty() || picture.type() != CV_8UC3) {
        converted.release();
        return;
    }
    converted.create(picture.size(), CV_8UC4);
    const int rowsPerBand = std::max(1, pixelsConvertedInline / picture.cols);
    for (int top = 0; top < picture.rows; top += rowsPerBand) {
        const cv::Range rows(top, std::min(picture.rows, top + rowsPerBand));
        cv::Mat band = converted.rowRange(rows);
        cv::cvtColor(picture.rowRange(rows), band, cv::COLOR_BGR2BGRA);
    }
}

} // namespace

void StationHost::showFrame(const cv::Mat& renderImage, bool measuring, const std::string& statusText) {
    if (!picturesWanted_.load())
        return;
    // The conversion is the hand-over's only pass over the picture, outside the lock so the owner
    // thread never waits for it. A window smaller than the picture gets only the pixels it shows.
    const cv::Size paintedSize = paintedSize_.load();
    if (renderImage.type() == CV_8UC3 && ShrinkingConversion::shrinks(renderImage.size(), paintedSize))
        shrinking_.convert(renderImage, paintedSize, convertedPicture_);
    else
        convertForPainting(renderImage, convertedPicture_);
    bool wasWaiting = false;
    {
        std::lock_guard<std::mutex> lock(pictureLock_);
        cv::swap(convertedPicture_, picture_); // the buffer given back is used for a later frame
        pictureFrameSize_ = picture_.empty() ? cv::Size() : renderImage.size();
        pictureMeasuring_ = measuring;
        pictureStatus_ = statusText;
        pictureMasks_ = nextPictureMasks_;
        wasWaiting = pictureWaiting_;
        pictureWaiting_ = true;
    }
    if (!wasWaiting)
        emit pictureReady();
}

void StationHost::maskRegionsShown(const std::vector<cv::Rect>& regions) {
    nextPictureMasks_ = regions;
}

bool StationHost::takeLatestPicture(cv::Mat& picture, bool& measuring, std::string& statusText,
                                    std::vector<cv::Rect>* maskRegions, cv::Size* frameSize) {
    std::lock_guard<std::mutex> lock(pictureLock_);
    if (!pictureWaiting_)
        return false;
    cv::swap(picture_, picture); // the slot takes the caller's old buffer for the next frame: no copy
    measuring = pictureMeasuring_;
    statusText = pictureStatus_;
    if (maskRegions != nullptr)
        *maskRegions = pictureMasks_;
    if (frameSize != nullptr)
        *frameSize = pictureFrameSize_;
    pictureWaiting_ = false;
    return true;
}

void StationHost::offsetMeasured(const std::string& offsetText) {
    emit offsetMeasuredText(QString::fromStdString(offsetText));
}

void StationHost::snapshotSaved(const std::string& path, double highestCelsius) {
    const QString filePath = QString::fromStdString(path);
    if (AlarmEpisodes* episodes = episodes_.load())
        episodes->snapshotSaved(filePath, highestCelsius);
    emit snapshotWritten(filePath, highestCelsius);
}

bool StationHost::roomForSnapshot() {
    const int minimum = minimumFreeMegabytes_.load();
    if (minimum <= 0 || enoughFreeSpaceFor(alarmFolderPath(QString::fromStdString(programFolder_)), minimum))
        return true;
    emit snapshotSkippedForRoom();
    return false;
}

void StationHost::snapshotFailed(int errorNumber) {
    if (AlarmEpisodes* episodes = episodes_.load())
        episodes->snapshotFailed(errorNumber);
}

} // namespace calidra

namespace calidra {

void StationHost::maskFileChanged(const maskfile::MaskFileReading& reading, const std::string& path) {
    const QString file = QString::fromStdString(path);
    const QString withoutMasks = QStringLiteral("; detection runs without masks.");
    switch (reading.state) {
    case maskfile::MaskFileState::Read:
        emit logEntryWanted(int(LogType::Information),
                            QStringLiteral("Mask file %1 is read again.").arg(file), 0);
        return;
    case maskfile::MaskFileState::Missing:
        emit logEntryWanted(int(LogType::Error),
                            QStringLiteral("Mask file %1 is gone").arg(file) + withoutMasks,
                            reading.errorNumber);
        return;
    case maskfile::MaskFileState::NotRegularFile:
        emit logEntryWanted(int(LogType::Error),
                            QStringLiteral("Mask file %1 is not a regular file").arg(file) + withoutMasks, 0);
        return;
    case maskfile::MaskFileState::WrongSize:
        emit logEntryWanted(int(LogType::Error),
                            QStringLiteral("Mask file %1 has %2 bytes, not %3")
                                    .arg(file)
                                    .arg(reading.sizeBytes)
                                    .arg(maskfile::kFileBytes) +
                                withoutMasks,
                            int(std::min<long long>(reading.sizeBytes, INT_MAX)));
        return;
    case maskfile::MaskFileState::Unreadable:
        emit logEntryWanted(int(LogType::Error),
                            QStringLiteral("Mask file %1 cannot be read (%2)")
                                    .arg(file, QString::fromLocal8Bit(std::strerror(reading.errorNumber))) +
                                withoutMasks,
                            reading.errorNumber);
        return;
    }
}

} // namespace calidra
