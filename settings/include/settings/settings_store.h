#pragma once
// The operator's settings that persist between runs: integers and doubles by key in the section
// "Settings" of the application's INI file. QtCore only.

#include <QSet>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace calidra {

// The four operations every user of the settings needs; tests give a map instead.
class SettingsSection {
public:
    virtual ~SettingsSection() = default;
    virtual int readInteger(const QString& key, int defaultValue) = 0;
    virtual double readDouble(const QString& key, double defaultValue) = 0;
    virtual void writeInteger(const QString& key, int value) = 0;
    virtual void writeDouble(const QString& key, double value) = 0;
    // Texts (a broker's host, a file's path) are set by an installer in the file, never written
    // by the station. A section that keeps only numbers has none: the default.
    virtual QString readText(const QString& key, const QString& defaultValue) {
        (void)key;
        return defaultValue;
    }
};

// A stored value's key with its type and default, so a reader cannot pair a key with the wrong
// default or read a double as an integer.
template <typename Value> struct Setting {
    QString key;
    Value defaultValue;
};

// Every stored value of the station, with its default: the keys and numbers are the file's
// contract with earlier versions and with installers.
namespace settings {
inline const Setting<double> trackingTemperature{QStringLiteral("TrackingTemperature"), 32.0};
inline const Setting<double> alarmTemperature{QStringLiteral("AlarmTemperature"), 37.5};
inline const Setting<int> alarmSavePeriod{QStringLiteral("AlarmSavePeriod"), 2};
inline const Setting<int> nucPeriod{QStringLiteral("NUCPeriod"), 120};
inline const Setting<int> detectTest{QStringLiteral("DetectTest"), 40};
inline const Setting<int> temperatureUnit{QStringLiteral("TemperatureUnit"), 0};
inline const Setting<int> temperatureMode{QStringLiteral("TemperatureMode"), 0};
inline const Setting<double> userOffset{QStringLiteral("UserOffset"), 0.0};
inline const Setting<double> referenceTemperature{QStringLiteral("ReferenceTemperature"), 35.0};
inline const Setting<int> referenceHoldSeconds{QStringLiteral("ReferenceHoldSeconds"), 10};
inline const Setting<int> fontSize{QStringLiteral("FontSize"), 2};
inline const Setting<int> alarmEvent{QStringLiteral("AlarmEvent"), 0};
inline const Setting<int> alarmType{QStringLiteral("AlarmType"), 0};
inline const Setting<int> alarmMode{QStringLiteral("AlarmMode"), 0}; // 0 Fixed, 1 Baseline
inline const Setting<int> baselineCount{QStringLiteral("BaselineCount"), 10};
inline const Setting<double> baselineDelta{QStringLiteral("BaselineDelta"), 1.0};
inline const Setting<int> baselineResetMinutes{QStringLiteral("BaselineResetMinutes"), 60}; // 0: never
inline const Setting<int> colorTheme{QStringLiteral("ColorTheme"), 1};
inline const Setting<int> alarmKeepDays{QStringLiteral("AlarmKeepDays"), 0}; // 0: keep every snapshot
inline const Setting<int> alarmMinFreeMB{QStringLiteral("AlarmMinFreeMB"), 200};
inline const Setting<QString> mqttHost{QStringLiteral("MqttHost"), QString()}; // empty: no broker
inline const Setting<int> mqttPort{QStringLiteral("MqttPort"), 1883};
inline const Setting<int> mqttTls{QStringLiteral("MqttTls"), 0};
inline const Setting<QString> mqttCaFile{QStringLiteral("MqttCaFile"), QString()};
inline const Setting<QString> mqttUser{QStringLiteral("MqttUser"), QString()};
inline const Setting<QString> mqttPasswordFile{QStringLiteral("MqttPasswordFile"), QString()};
inline const Setting<QString> stationName{QStringLiteral("StationName"), QString()}; // empty: host name
// Empty: the camera connection's own prefixes, which it also falls back to for a blank text.
inline const Setting<QString> cameraIdentityPrefixes{QStringLiteral("CameraIdentityPrefixes"), QString()};
} // namespace settings

inline int readSetting(SettingsSection& section, const Setting<int>& setting) {
    return section.readInteger(setting.key, setting.defaultValue);
}
inline double readSetting(SettingsSection& section, const Setting<double>& setting) {
    return section.readDouble(setting.key, setting.defaultValue);
}
inline QString readSetting(SettingsSection& section, const Setting<QString>& setting) {
    return section.readText(setting.key, setting.defaultValue);
}
inline void writeSetting(SettingsSection& section, const Setting<int>& setting, int value) {
    section.writeInteger(setting.key, value);
}
inline void writeSetting(SettingsSection& section, const Setting<double>& setting, double value) {
    section.writeDouble(setting.key, value);
}

// <config>/Quro-Duzu/Calidra/<applicationName>.conf, <config> being $XDG_CONFIG_HOME or ~/.config.
QString settingsFilePath(const QString& applicationName);

// The file is read once, without waiting on whatever stands at its path (only a regular file is
// read), and replaced whole on every write: the new text goes to a temporary file beside it,
// flushed to the disk and checked, before it is renamed over the old one. A write that fails
// (a full disk, a folder that cannot be written) leaves the old file as it was, byte for byte.
class SettingsStore : public SettingsSection {
public:
    explicit SettingsStore(const QString& filePath);
    ~SettingsStore() override;

    static std::unique_ptr<SettingsStore> forApplication(const QString& applicationName);

    // A missing key or a value that is not a number gives the default.
    int readInteger(const QString& key, int defaultValue) override;
    double readDouble(const QString& key, double defaultValue) override;
    // Written to the file at once; doubles read back bit for bit. A file that cannot be written
    // keeps the value for this run only, with a warning on the first failure.
    void writeInteger(const QString& key, int value) override;
    void writeDouble(const QString& key, double value) override;
    // A value with commas, which the file format reads as a list, comes back as written.
    QString readText(const QString& key, const QString& defaultValue) override;

    QString filePath() const { return filePath_; }
    // Whether the latest write could not reach the file.
    bool lastWriteFailed() const { return lastWriteFailed_; }

private:
    void write(const QString& key, const QString& value);
    bool saveNow();

    QString filePath_;
    QVariantMap values_;    // every key of the file, "group/key", as read or written
    QSet<QString> written_; // keys this run wrote: they win over what the file says meanwhile
    bool lastWriteFailed_ = false;
    bool warnedAboutWrite_ = false;
};

} // namespace calidra
