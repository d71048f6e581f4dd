#include "shell/ini_shell_settings.h"

#include <QDir>
#include <QStandardPaths>

namespace calidra {
namespace {
const QString section = QStringLiteral("Settings");
}

QString settingsFilePath(const QString& applicationName) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Quro-Duzu/Calidra/%1.conf").arg(applicationName));
}

IniShellSettings::IniShellSettings(const QString& filePath) : settings_(filePath, QSettings::IniFormat) {}

int IniShellSettings::readInt(const QString& key, int defaultValue) const {
    bool ok = false;
    const int value = settings_.value(section + QLatin1Char('/') + key).toInt(&ok);
    return ok ? value : defaultValue;
}

void IniShellSettings::writeInt(const QString& key, int value) {
    settings_.setValue(section + QLatin1Char('/') + key, value);
    // Written at once: a crash must not lose the operator's choice.
    settings_.sync();
}

} // namespace calidra
