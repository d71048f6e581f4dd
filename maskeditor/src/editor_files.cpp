#include "editor_files.h"

#include "files/file_io.h"
#include "files/station_layout.h"

#include <QFile>

#include <vector>

namespace zonara {

QString snapshotFilePath(const QString& applicationFolder) {
    return QStringLiteral("%1/%2").arg(applicationFolder,
                                       QLatin1String(calidra::files::liveSnapshotFileName));
}

QString maskFilePath(const QString& applicationFolder) {
    return QStringLiteral("%1/%2").arg(applicationFolder, QLatin1String(calidra::files::maskFileName));
}

QString languageCode(const QString& localeName) {
    return localeName.left(2);
}

QString translationFilePath(const QString& applicationFolder, const QString& language) {
    return QStringLiteral("%1/lang/lang_%2.qm").arg(applicationFolder, language);
}

bool readRegularFile(const QString& path, std::size_t maxBytes, QByteArray& content) {
    std::vector<uint8_t> bytes;
    const calidra::files::FileReadResult read =
        calidra::files::readRegularFile(QFile::encodeName(path).toStdString(), maxBytes, bytes);
    content = QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    return read.status == calidra::files::FileReadStatus::Read;
}

void removeLeftoverMaskFiles(const QString& applicationFolder) {
    calidra::files::removeMaskEditorLeftovers(QFile::encodeName(applicationFolder).toStdString());
}

} // namespace zonara
