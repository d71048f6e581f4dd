#pragma once
// Files of the mask editor, all found in its own folder whatever the working
// directory it was started from.

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace zonara {

QString snapshotFilePath(const QString& applicationFolder);
QString maskFilePath(const QString& applicationFolder);

// The language of the window texts: the first two letters of a locale name
// such as "fr_CA".
QString languageCode(const QString& localeName);
QString translationFilePath(const QString& applicationFolder, const QString& language);

// The whole content of a regular file of at most maxBytes; false for anything else. Never waits on
// what stands at the path: a FIFO there must not keep the window from opening.
bool readRegularFile(const QString& path, std::size_t maxBytes, QByteArray& content);

// Removes what an editor killed during Apply left in its folder ("maskinfo.cfg.XXXXXX", a minute old).
void removeLeftoverMaskFiles(const QString& applicationFolder);

} // namespace zonara
