#include "editor_files.h"

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

} // namespace zonara
