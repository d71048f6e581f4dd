#include "settings/settings_store.h"

#include "files/file_io.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <vector>

namespace calidra {
namespace {

const QString sectionName = QStringLiteral("Settings");

// Far more than any settings file; anything larger is not one.
constexpr std::size_t largestSettingsFileBytes = 1 << 20;

// Leftovers of a write cut short are removed once they are this old.
constexpr int leftoverAgeSeconds = 60;

QString sectionKey(const QString& key) {
    return sectionName + QLatin1Char('/') + key;
}

const QString scratchPrefix = QStringLiteral("calidra-settings-");

// The file is UTF-8 both ways (Qt's INI default is Latin-1, which turns a station named in Korean
// into mojibake); the \x escapes older writes used for such texts still read back the same.
// Qt reads and writes the INI text; it does so only through a file, and its own writing can put
// an empty file in place when the disk is full. So it works on a private copy, and the station
// puts the result in place itself.
class ScratchFile {
public:
    ScratchFile() : folder_(QDir::tempPath() + QLatin1Char('/') + scratchPrefix + QStringLiteral("XXXXXX")) {}
    bool valid() const { return folder_.isValid(); }
    QString path() const { return folder_.filePath(QStringLiteral("settings.conf")); }

private:
    QTemporaryDir folder_;
};

// A scratch folder lives only as long as one read or write; an older one is what a program killed
// meanwhile left behind.
void removeLeftoverScratchFolders() {
    const QDateTime oldest = QDateTime::currentDateTime().addSecs(-leftoverAgeSeconds);
    const QFileInfoList folders = QDir(QDir::tempPath())
                                      .entryInfoList({scratchPrefix + QStringLiteral("??????")},
                                                     QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& folder : folders)
        if (folder.lastModified() < oldest)
            QDir(folder.filePath()).removeRecursively();
}

// The keys of an INI text; false when it could not be parsed at all. Lines that cannot be read
// are skipped.
bool parseSettingsText(const QByteArray& text, QVariantMap& values) {
    values.clear();
    ScratchFile scratch;
    if (!scratch.valid())
        return false;
    QFile file(scratch.path());
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
        return false;
    file.close();
    QSettings settings(scratch.path(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    for (const QString& key : settings.allKeys()) {
        // A line of garbage can read as a key without a value; it would not survive a rewrite.
        const QVariant value = settings.value(key);
        if (value.isValid() && !key.endsWith(QLatin1Char('/')))
            values.insert(key, value);
    }
    return true;
}

// The INI text of the values, read back and compared before it is trusted.
bool settingsText(const QVariantMap& values, QByteArray& text) {
    {
        ScratchFile scratch;
        if (!scratch.valid())
            return false;
        QSettings settings(scratch.path(), QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        for (auto entry = values.cbegin(); entry != values.cend(); ++entry)
            settings.setValue(entry.key(), entry.value());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
        QFile file(scratch.path());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        text = file.readAll();
    }
    QVariantMap readBack;
    return parseSettingsText(text, readBack) && readBack == values;
}

// The file's text, only from a regular file: a FIFO in its place must not hang the start.
files::FileReadResult readSettingsFile(const QString& path, QByteArray& text) {
    std::vector<uint8_t> bytes;
    const files::FileReadResult result =
        files::readRegularFile(QFile::encodeName(path).toStdString(), largestSettingsFileBytes, bytes);
    text = QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
    return result;
}

} // namespace

QString settingsFilePath(const QString& applicationName) {
    QString configFolder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configFolder.isEmpty() || !QDir::isAbsolutePath(configFolder))
        configFolder = QDir::homePath() + QStringLiteral("/.config");
    return configFolder + QStringLiteral("/Quro-Duzu/Calidra/") + applicationName + QStringLiteral(".conf");
}

SettingsStore::SettingsStore(const QString& filePath) : filePath_(filePath) {
    const QFileInfo file(filePath_);
    const QString fileName = file.fileName();
    files::removeLeftoverTemporaryFiles(
        QFile::encodeName(file.absolutePath()).toStdString(),
        [&fileName](const std::string& finalName) {
            return QFile::decodeName(finalName.c_str()) == fileName;
        },
        leftoverAgeSeconds);
    removeLeftoverScratchFolders();

    QByteArray text;
    const files::FileReadResult read = readSettingsFile(filePath_, text);
    if (read.status == files::FileReadStatus::Read)
        parseSettingsText(text, values_);
    else if (read.status != files::FileReadStatus::Missing)
        qWarning("Settings file %s cannot be read (%s); the defaults are used.", qPrintable(filePath_),
                 read.status == files::FileReadStatus::Unreadable ? std::strerror(read.errorNumber)
                                                                  : "not a regular settings file");
}

SettingsStore::~SettingsStore() = default;

std::unique_ptr<SettingsStore> SettingsStore::forApplication(const QString& applicationName) {
    return std::make_unique<SettingsStore>(settingsFilePath(applicationName));
}

int SettingsStore::readInteger(const QString& key, int defaultValue) {
    bool valid = false;
    const int value = values_.value(sectionKey(key)).toString().trimmed().toInt(&valid);
    return valid ? value : defaultValue;
}

double SettingsStore::readDouble(const QString& key, double defaultValue) {
    bool valid = false;
    const double value = values_.value(sectionKey(key)).toString().trimmed().toDouble(&valid);
    return valid ? value : defaultValue;
}

QString SettingsStore::readText(const QString& key, const QString& defaultValue) {
    const QVariant value = values_.value(sectionKey(key));
    if (!value.isValid())
        return defaultValue;
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::writeInteger(const QString& key, int value) {
    write(key, QString::number(value));
}

void SettingsStore::writeDouble(const QString& key, double value) {
    // Seventeen significant digits name every double exactly; the text stays readable.
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    write(key, QString::fromLatin1(text));
}

void SettingsStore::write(const QString& key, const QString& value) {
    values_.insert(sectionKey(key), value);
    written_.insert(sectionKey(key));
    lastWriteFailed_ = !saveNow();
    if (lastWriteFailed_ && !warnedAboutWrite_) {
        warnedAboutWrite_ = true;
        qWarning("Settings cannot be saved to %s; changes last until the program ends.",
                 qPrintable(filePath_));
    }
}

bool SettingsStore::saveNow() {
    // A link is followed, as an editor would; anything but a regular file is left alone.
    QString target = filePath_;
    const QFileInfo link(filePath_);
    if (link.isSymLink())
        target = link.symLinkTarget();

    // What another hand changed in the file meanwhile stays, under this run's own changes.
    QByteArray current;
    const files::FileReadResult read = readSettingsFile(target, current);
    if (read.status != files::FileReadStatus::Read && read.status != files::FileReadStatus::Missing)
        return false;
    QVariantMap merged;
    if (read.status == files::FileReadStatus::Read && !parseSettingsText(current, merged))
        merged = values_;
    for (const QString& key : written_)
        merged.insert(key, values_.value(key));

    QByteArray text;
    if (!settingsText(merged, text))
        return false;
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return false;
    if (!files::writeFileAtomically(QFile::encodeName(target).toStdString(),
                                    reinterpret_cast<const uint8_t*>(text.constData()),
                                    std::size_t(text.size())))
        return false;
    values_ = merged;
    return true;
}

} // namespace calidra
