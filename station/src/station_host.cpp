#include "station/station_host.h"

namespace calidra {

StationHost::StationHost(AlarmSoundPlayer& sound, QString programFolder, QObject* parent)
    : QObject(parent), sound_(sound), programFolder_(programFolder.toStdString()) {}

void StationHost::publishOperatorSettings(const OperatorSettings& settings) {
    std::lock_guard<std::mutex> lock(settingsLock_);
    settings_ = settings;
}

OperatorSettings StationHost::operatorSettings() {
    std::lock_guard<std::mutex> lock(settingsLock_);
    return settings_;
}

int StationHost::pixelFormatCode() {
    int format = 0;
    const SvkHandle camera = camera_.load();
    if (camera == nullptr || svkGetPixelFormat(camera, &format) != SVK_OK)
        return 0; // not a format the pipeline knows: nothing is taken in
    return format;
}

int StationHost::cameraRgbData(unsigned char* buffer, int bytes) {
    const SvkHandle camera = camera_.load();
    if (camera == nullptr || buffer == nullptr || bytes <= 0)
        return SVK_ERROR_INVALID_ARGUMENT;
    return svkGetRGBData(camera, buffer, bytes);
}

bool StationHost::cameraUserOffset(double& value) {
    const SvkHandle camera = camera_.load();
    SvkFloatRecord record{};
    if (camera == nullptr || svkGetNodeFloat(camera, "UserCompensationParaB", &record) != SVK_OK)
        return false;
    value = record.value;
    return true;
}

void StationHost::alarmChanged(bool alarmOn) {
    emit alarmStateChanged(alarmOn);
}

void StationHost::startAlarmSound(const std::string& soundFilePath) {
    sound_.requestPlay(QString::fromStdString(soundFilePath));
}

void StationHost::stopAlarmSound() {
    sound_.requestStop();
}

void StationHost::showFrame(const cv::Mat& renderImage, bool measuring, const std::string& statusText) {
    bool wasWaiting = false;
    {
        std::lock_guard<std::mutex> lock(pictureLock_);
        renderImage.copyTo(picture_); // reuses the slot's memory for frames of one size
        pictureMeasuring_ = measuring;
        pictureStatus_ = statusText;
        wasWaiting = pictureWaiting_;
        pictureWaiting_ = true;
    }
    if (!wasWaiting)
        emit pictureReady();
}

bool StationHost::takeLatestPicture(cv::Mat& picture, bool& measuring, std::string& statusText) {
    std::lock_guard<std::mutex> lock(pictureLock_);
    if (!pictureWaiting_)
        return false;
    picture_.copyTo(picture);
    measuring = pictureMeasuring_;
    statusText = pictureStatus_;
    pictureWaiting_ = false;
    return true;
}

void StationHost::offsetMeasured(const std::string& offsetText) {
    emit offsetMeasuredText(QString::fromStdString(offsetText));
}

void StationHost::snapshotSaved(const std::string& path, double) {
    emit snapshotWritten(QString::fromStdString(path));
}

} // namespace calidra
