#include "referencefile/reference_file.h"

#include "files/file_io.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryFile>

#include <cerrno>
#include <functional>
#include <vector>

namespace calidra::referencefile {
namespace {

constexpr std::size_t largestFileBytes = 4096;

// QSettings reads and writes only named files: the bytes go through a private temporary file, so
// whatever stands at the real path is never opened by it.
bool withSettingsOver(const QByteArray& bytes, const std::function<void(QSettings&)>& use,
                      QByteArray* written) {
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return false;
    {
        QSettings settings(file.fileName(), QSettings::IniFormat);
        use(settings);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    if (written != nullptr) {
        QFile again(file.fileName());
        if (!again.open(QIODevice::ReadOnly))
            return false;
        *written = again.readAll();
    }
    return true;
}

bool readInteger(QSettings& settings, const char* key, int& value) {
    bool ok = false;
    value = settings.value(QLatin1String(key)).toString().trimmed().toInt(&ok);
    return ok;
}

} // namespace

ReferenceFileReading decodeReferenceFile(const QByteArray& bytes) {
    ReferenceFileReading reading;
    reading.state = ReferenceFileState::Damaged;
    bool whole = false;
    ReferenceRectangle rectangle;
    const bool parsed = withSettingsOver(
        bytes,
        [&](QSettings& settings) {
            settings.beginGroup(QStringLiteral("Reference"));
            const QString enabled = settings.value(QStringLiteral("Enabled")).toString().trimmed().toLower();
            if (enabled != QLatin1String("true") && enabled != QLatin1String("false"))
                return;
            rectangle.enabled = enabled == QLatin1String("true");
            whole = readInteger(settings, "X", rectangle.x) && readInteger(settings, "Y", rectangle.y) &&
                    readInteger(settings, "Width", rectangle.width) &&
                    readInteger(settings, "Height", rectangle.height) && rectangle.x >= 0 &&
                    rectangle.y >= 0 && rectangle.width > 0 && rectangle.height > 0;
        },
        nullptr);
    if (parsed && whole) {
        reading.state = ReferenceFileState::Read;
        reading.rectangle = rectangle;
    }
    return reading;
}

ReferenceFileReading readReferenceFile(const std::string& path) {
    std::vector<uint8_t> contents;
    const files::FileReadResult read = files::readRegularFile(path, largestFileBytes, contents);
    ReferenceFileReading reading;
    switch (read.status) {
    case files::FileReadStatus::Read:
        return decodeReferenceFile(
            QByteArray(reinterpret_cast<const char*>(contents.data()), int(contents.size())));
    case files::FileReadStatus::Missing:
        reading.state = ReferenceFileState::Missing;
        return reading;
    case files::FileReadStatus::NotRegularFile:
        reading.state = ReferenceFileState::NotRegularFile;
        return reading;
    case files::FileReadStatus::TooLarge:
    case files::FileReadStatus::Unreadable:
        break;
    }
    reading.state = ReferenceFileState::Damaged;
    return reading;
}

QByteArray encodeReferenceFile(const ReferenceRectangle& rectangle) {
    QByteArray bytes;
    withSettingsOver(
        QByteArray(),
        [&](QSettings& settings) {
            settings.beginGroup(QStringLiteral("Reference"));
            settings.setValue(QStringLiteral("Enabled"), rectangle.enabled);
            settings.setValue(QStringLiteral("X"), rectangle.x);
            settings.setValue(QStringLiteral("Y"), rectangle.y);
            settings.setValue(QStringLiteral("Width"), rectangle.width);
            settings.setValue(QStringLiteral("Height"), rectangle.height);
            settings.endGroup();
        },
        &bytes);
    return bytes;
}

bool writeReferenceFile(const std::string& path, const ReferenceRectangle& rectangle, int* errorNumber) {
    const QByteArray bytes = encodeReferenceFile(rectangle);
    if (bytes.isEmpty()) {
        if (errorNumber != nullptr)
            *errorNumber = EIO;
        return false;
    }
    return files::writeFileAtomically(path, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      std::size_t(bytes.size()), errorNumber);
}

} // namespace calidra::referencefile
