#include "pipeline/snapshot_writer.h"

#include "maskfile/maskinfo.h"

#include <turbojpeg.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace calidra {

bool writeJpegAtomically(const std::string& path, const cv::Mat& bgrPicture, int quality) {
    if (bgrPicture.empty() || bgrPicture.type() != CV_8UC3 || path.empty())
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
    if (encoded != 0) {
        tjFree(jpeg);
        return false;
    }

    const bool written = maskfile::writeFileAtomically(path, jpeg, jpegSize);
    tjFree(jpeg);
    return written;
}

std::string alarmSnapshotFileName(const std::tm& localTime) {
    char name[64];
    std::snprintf(name, sizeof name, "ThermalAlarm_%04d%02d%02d_%02d%02d%02d.jpg", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return name;
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
    const std::string path = folder + "/" + alarmSnapshotFileName(localTime);
    errno = 0;
    if (!writeJpegAtomically(path, bgrPicture, snapshotJpegQuality))
        return {std::nullopt, errno != 0 ? errno : EIO};
    return {path, 0};
}

} // namespace calidra
