#include "pipeline/snapshot_writer.h"

#include "maskfile/maskinfo.h"

#include <turbojpeg.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <functional>

namespace calidra {

namespace {

// Encodes a blue-green-red picture and hands the JPEG bytes to write; false when either fails.
bool withJpeg(const cv::Mat& bgrPicture, int quality,
              const std::function<bool(const uint8_t*, std::size_t)>& write) {
    if (bgrPicture.empty() || bgrPicture.type() != CV_8UC3)
        return false;
    const cv::Mat picture = bgrPicture.isContinuous() ? bgrPicture : bgrPicture.clone();

    tjhandle encoder = tjInitCompress();
    if (encoder == nullptr)
        return false;
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int encoded = tjCompress2(encoder, picture.data, picture.cols, int(picture.step), picture.rows,
                                    TJPF_BGR, &jpeg, &jpegSize, TJSAMP_420, quality, 0);
    tjDestroy(encoder);
    const bool written = encoded == 0 && write(jpeg, jpegSize);
    tjFree(jpeg);
    return written;
}

} // namespace

bool writeJpegAtomically(const std::string& path, const cv::Mat& bgrPicture, int quality) {
    return !path.empty() && withJpeg(bgrPicture, quality, [&path](const uint8_t* data, std::size_t size) {
        return maskfile::writeFileAtomically(path, data, size);
    });
}

std::string alarmSnapshotFileName(const std::tm& localTime, int sequence) {
    char name[80];
    std::snprintf(name, sizeof name, "ThermalAlarm_%04d%02d%02d_%02d%02d%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return sequence > 1 ? std::string(name) + "-" + std::to_string(sequence) + ".jpg"
                        : std::string(name) + ".jpg";
}

AlarmSnapshotResult saveAlarmSnapshot(const std::string& programFolder, const cv::Mat& bgrPicture,
                                      bool writePicture, const std::tm& localTime) {
    const std::string folder = programFolder + "/ThermalAlarm";
    errno = 0;
    const int madeFolder = ::mkdir(folder.c_str(), 0755);
    const int folderError = madeFolder == 0 || errno == EEXIST ? 0 : errno; // an existing folder is fine
    if (!writePicture)
        return {};
    if (folderError != 0)
        return {std::nullopt, folderError};
    std::string path;
    errno = 0;
    withJpeg(bgrPicture, snapshotJpegQuality, [&](const uint8_t* data, std::size_t size) {
        path = maskfile::writeFileUnderFreeName(
            folder, [&localTime](int sequence) { return alarmSnapshotFileName(localTime, sequence); },
            snapshotNamesPerSecond, data, size);
        return !path.empty();
    });
    if (path.empty())
        return {std::nullopt, errno != 0 ? errno : EIO};
    return {path, 0};
}

} // namespace calidra
