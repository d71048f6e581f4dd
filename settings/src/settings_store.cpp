#include "settings/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>

namespace calidra {
namespace {

const QString sectionName = QStringLiteral("Settings");

QString sectionKey(const QString& key) {
    return sectionName + QLatin1Char('/') + key;
}

} // namespace

QString settingsFilePath(const QString& applicationName) {
    QString configFolder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configFolder.isEmpty() || !QDir::isAbsolutePath(configFolder))
        configFolder = QDir::homePath() + QStringLiteral("/.config");
    return configFolder + QStringLiteral("/Quro-Duzu/Calidra/") + applicationName + QStringLiteral(".conf");
}

SettingsStore::SettingsStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)),
      statusWhenOpened_(settings_->status()) {}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::forApplication(const QString& applicationName) {
    return std::make_unique<SettingsStore>(settingsFilePath(applicationName));
}

QString SettingsStore::filePath() const {
    return settings_->fileName();
}

int SettingsStore::readInteger(const QString& key, int defaultValue) {
    bool valid = false;
    const int value = settings_->value(sectionKey(key)).toString().trimmed().toInt(&valid);
    return valid ? value : defaultValue;
}

double SettingsStore::readDouble(const QString& key, double defaultValue) {
    bool valid = false;
    const double value = settings_->value(sectionKey(key)).toString().trimmed().toDouble(&valid);
    return valid ? value : defaultValue;
}

QString SettingsStore::readText(const QString& key, const QString& defaultValue) {
    const QVariant value = settings_->value(sectionKey(key));
    if (!value.isValid())
        return defaultValue;
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::writeInteger(const QString& key, int value) {
    settings_->setValue(sectionKey(key), QString::number(value));
    saveNow();
}

void SettingsStore::writeDouble(const QString& key, double value) {
    // Seventeen significant digits name every double exactly; the text stays readable.
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    settings_->setValue(sectionKey(key), QString::fromLatin1(text));
    saveNow();
}

void SettingsStore::saveNow() {
    settings_->sync();
    // The settings keep the first error they met for good: after a damaged or unreadable file the
    // status no longer tells, and the file itself must. A successful rewrite leaves a clean file.
    if (statusWhenOpened_ == QSettings::NoError)
        lastWriteFailed_ = settings_->status() == QSettings::AccessError;
    else
        lastWriteFailed_ = !QFileInfo(settings_->fileName()).isWritable();
    if (lastWriteFailed_ && !warnedAboutWrite_) {
        warnedAboutWrite_ = true;
        qWarning("Settings cannot be saved to %s; changes last until the program ends.",
                 qPrintable(settings_->fileName()));
    }
}

} // namespace calidra
