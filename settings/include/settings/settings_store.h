#pragma once
// The operator's settings that persist between runs: integers and doubles by key in the section
// "Settings" of the application's INI file. QtCore only.

#include <QString>

#include <memory>

class QSettings;

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

// The keys and their defaults.
namespace settings_keys {
inline const QString trackingTemperature = QStringLiteral("TrackingTemperature"); // double, 32.0
inline const QString alarmTemperature = QStringLiteral("AlarmTemperature");       // double, 37.5
inline const QString alarmSavePeriod = QStringLiteral("AlarmSavePeriod");         // int, 2
inline const QString nucPeriod = QStringLiteral("NUCPeriod");                     // int, 120
inline const QString detectTest = QStringLiteral("DetectTest");                   // int, 40
inline const QString temperatureUnit = QStringLiteral("TemperatureUnit");         // int, 0
inline const QString temperatureMode = QStringLiteral("TemperatureMode");         // int, 0
inline const QString userOffset = QStringLiteral("UserOffset");                   // double, 0.0
inline const QString fontSize = QStringLiteral("FontSize");                       // int, 2
inline const QString alarmEvent = QStringLiteral("AlarmEvent");                   // int, 0
inline const QString alarmType = QStringLiteral("AlarmType");                     // int, 0
inline const QString colorTheme = QStringLiteral("ColorTheme");                   // int, 1
inline const QString alarmKeepDays = QStringLiteral("AlarmKeepDays");             // int, 0
inline const QString alarmMinFreeMB = QStringLiteral("AlarmMinFreeMB");           // int, 200
inline const QString mqttHost = QStringLiteral("MqttHost");                       // text, empty: off
inline const QString mqttPort = QStringLiteral("MqttPort");                       // int, 1883
inline const QString mqttTls = QStringLiteral("MqttTls");                         // int, 0
inline const QString mqttCaFile = QStringLiteral("MqttCaFile");                   // text, empty
inline const QString mqttUser = QStringLiteral("MqttUser");                       // text, empty
inline const QString mqttPasswordFile = QStringLiteral("MqttPasswordFile");       // text, empty
inline const QString stationName = QStringLiteral("StationName");                 // text, empty: host name
inline const QString cameraIdentityPrefixes = QStringLiteral("CameraIdentityPrefixes"); // text
} // namespace settings_keys

namespace settings_defaults {
constexpr double trackingTemperature = 32.0;
constexpr double alarmTemperature = 37.5;
constexpr int alarmSavePeriod = 2;
constexpr int nucPeriod = 120;
constexpr int detectTest = 40;
constexpr int temperatureUnit = 0;
constexpr int temperatureMode = 0;
constexpr double userOffset = 0.0;
constexpr int fontSize = 2;
constexpr int alarmEvent = 0;
constexpr int alarmType = 0;
constexpr int colorTheme = 1;
constexpr int alarmKeepDays = 0; // keep every snapshot
constexpr int alarmMinFreeMB = 200;
constexpr int mqttPort = 1883;
constexpr int mqttTls = 0;
inline const QString cameraIdentityPrefixes = QStringLiteral("164,165,16F,116F");
} // namespace settings_defaults

// A stored value's key with its type and default, so a reader cannot pair a key with the wrong
// default or read a double as an integer.
template <typename Value> struct Setting {
    const QString& key;
    Value defaultValue;
};

namespace settings {
inline const Setting<double> trackingTemperature{settings_keys::trackingTemperature,
                                                 settings_defaults::trackingTemperature};
inline const Setting<double> alarmTemperature{settings_keys::alarmTemperature,
                                              settings_defaults::alarmTemperature};
inline const Setting<int> alarmSavePeriod{settings_keys::alarmSavePeriod, settings_defaults::alarmSavePeriod};
inline const Setting<int> nucPeriod{settings_keys::nucPeriod, settings_defaults::nucPeriod};
inline const Setting<int> detectTest{settings_keys::detectTest, settings_defaults::detectTest};
inline const Setting<int> temperatureUnit{settings_keys::temperatureUnit, settings_defaults::temperatureUnit};
inline const Setting<int> temperatureMode{settings_keys::temperatureMode, settings_defaults::temperatureMode};
inline const Setting<double> userOffset{settings_keys::userOffset, settings_defaults::userOffset};
inline const Setting<int> fontSize{settings_keys::fontSize, settings_defaults::fontSize};
inline const Setting<int> alarmEvent{settings_keys::alarmEvent, settings_defaults::alarmEvent};
inline const Setting<int> alarmType{settings_keys::alarmType, settings_defaults::alarmType};
inline const Setting<int> colorTheme{settings_keys::colorTheme, settings_defaults::colorTheme};
inline const Setting<int> alarmKeepDays{settings_keys::alarmKeepDays, settings_defaults::alarmKeepDays};
inline const Setting<int> alarmMinFreeMB{settings_keys::alarmMinFreeMB, settings_defaults::alarmMinFreeMB};
inline const Setting<QString> mqttHost{settings_keys::mqttHost, QString()};
inline const Setting<int> mqttPort{settings_keys::mqttPort, settings_defaults::mqttPort};
inline const Setting<int> mqttTls{settings_keys::mqttTls, settings_defaults::mqttTls};
inline const Setting<QString> mqttCaFile{settings_keys::mqttCaFile, QString()};
inline const Setting<QString> mqttUser{settings_keys::mqttUser, QString()};
inline const Setting<QString> mqttPasswordFile{settings_keys::mqttPasswordFile, QString()};
inline const Setting<QString> stationName{settings_keys::stationName, QString()};
inline const Setting<QString> cameraIdentityPrefixes{settings_keys::cameraIdentityPrefixes,
                                                     settings_defaults::cameraIdentityPrefixes};
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

    QString filePath() const;
    // Whether the latest write could not reach the file.
    bool lastWriteFailed() const { return lastWriteFailed_; }

private:
    void saveNow();

    std::unique_ptr<QSettings> settings_;
    int statusWhenOpened_ = 0;
    bool lastWriteFailed_ = false;
    bool warnedAboutWrite_ = false;
};

} // namespace calidra
