#include "editor_files.h"

#include "maskfile/file_io.h"

#include <QFile>

#include <vector>

namespace zonara {

QString snapshotFilePath(const QString& applicationFolder) {
    return QStringLiteral("%1/snapshot.jpg").arg(applicationFolder);
}

QString maskFilePath(const QString& applicationFolder) {
    return QStringLiteral("%1/%2").arg(applicationFolder, QStringLiteral("maskinfo.cfg"));
}

QString languageCode(const QString& localeName) {
    return localeName.left(2);
}

QString translationFilePath(const QString& applicationFolder, const QString& language) {
    return QStringLiteral("%1/lang/lang_%2.qm").arg(applicationFolder, language);
}

bool readRegularFile(const QString& path, std::size_t maxBytes, QByteArray& content) {
    std::vector<uint8_t> bytes;
    const maskfile::FileReadResult read =
        maskfile::readRegularFile(QFile::encodeName(path).toStdString(), maxBytes, bytes);
    content = QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    return read.status == maskfile::FileReadStatus::Read;
}

void removeLeftoverMaskFiles(const QString& applicationFolder) {
    constexpr int leftoverAgeSeconds = 60;
    maskfile::removeLeftoverTemporaryFiles(
        QFile::encodeName(applicationFolder).toStdString(),
        [](const std::string& name) { return name == "maskinfo.cfg"; }, leftoverAgeSeconds);
}

} // namespace zonara
