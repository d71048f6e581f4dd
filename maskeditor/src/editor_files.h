#pragma once
// Files of the mask editor, all found in its own folder whatever the working
// directory it was started from.

#include <QString>

namespace zonara {

QString snapshotFilePath(const QString& applicationFolder);
QString maskFilePath(const QString& applicationFolder);

// The language of the window texts: the first two letters of a locale name
// such as "fr_CA".
QString languageCode(const QString& localeName);
QString translationFilePath(const QString& applicationFolder, const QString& language);

} // namespace zonara
