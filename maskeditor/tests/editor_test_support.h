#pragma once
// Shared set-up of the editor's widget tests: a folder with a snapshot and,
// if wanted, a mask file, as the station would leave it.

#include "maskfile/mask_conversions.h"
#include "maskfile/maskinfo.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <vector>

namespace zonara::test {

inline bool writeSnapshot(const QString& folder, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 90));
        }
    }
    return image.save(QDir(folder).filePath("snapshot.jpg"), "JPG", 80);
}

inline bool writeMaskFile(const QString& folder, const maskfile::MaskRecords& records) {
    const maskfile::FileBytes bytes = maskfile::encodeRecords(records);
    QFile file(QDir(folder).filePath("maskinfo.cfg"));
    return file.open(QIODevice::WriteOnly) && file.write(reinterpret_cast<const char*>(bytes.data()),
                                                         qint64(bytes.size())) == qint64(bytes.size());
}

inline QByteArray readMaskFile(const QString& folder) {
    QFile file(QDir(folder).filePath("maskinfo.cfg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline maskfile::MaskRecords decodeFile(const QByteArray& bytes) {
    maskfile::FileBytes raw{};
    std::copy(bytes.begin(), bytes.begin() + std::min<int>(bytes.size(), int(raw.size())), raw.begin());
    return maskfile::decodeRecords(raw);
}

inline MaskInfo record(int id, int enabled, int x, int y, int width, int height, int imageWidth,
                       int imageHeight) {
    MaskInfo info;
    info.nID = uint16_t(id);
    info.bEnabled = uint16_t(enabled);
    info.nX = uint16_t(x);
    info.nY = uint16_t(y);
    info.nWidth = uint16_t(width);
    info.nHeight = uint16_t(height);
    info.nImageWidth = uint16_t(imageWidth);
    info.nImageHeight = uint16_t(imageHeight);
    return info;
}

inline QColor fillOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Active, QPalette::Highlight);
}

} // namespace zonara::test
