#include "pipeline/snapshot_writer.h"

#include "files/file_io.h"
#include "files/snapshot_names.h"
#include "files/station_layout.h"

#include <turbojpeg.h>

#include <sys/stat.h>

#include <cerrno>
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
        return files::writeFileAtomically(path, data, size);
    });
}

AlarmSnapshotResult saveAlarmSnapshot(const std::string& programFolder, const cv::Mat& bgrPicture,
                                      bool writePicture, const std::tm& localTime) {
    const std::string folder = files::alarmFolderOf(programFolder);
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
        path = files::writeSnapshotFile(folder, localTime, data, size);
        return !path.empty();
    });
    if (path.empty())
        return {std::nullopt, errno != 0 ? errno : EIO};
    return {path, 0};
}

} // namespace calidra
