#include "settings/settings_store.h"

#include "pipeline/human_detection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace calidra {
namespace {

QByteArray fileContent(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writeContent(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QString path() const { return folder.filePath("Quro-Duzu/Calidra/Calidra.conf"); }
    QTemporaryDir folder;
};

TEST_F(SettingsStoreTest, FileLivesUnderTheConfigFolderNamedAfterTheApplication) {
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    EXPECT_EQ(settingsFilePath("Calidra"), folder.path() + "/Quro-Duzu/Calidra/Calidra.conf");
    EXPECT_EQ(settingsFilePath("Calidra2"), folder.path() + "/Quro-Duzu/Calidra/Calidra2.conf");
    qputenv("XDG_CONFIG_HOME", "relative/path"); // not a usable folder: the home default
    EXPECT_TRUE(settingsFilePath("Calidra").endsWith("/.config/Quro-Duzu/Calidra/Calidra.conf"));
    qunsetenv("XDG_CONFIG_HOME");
}

// Keys and values in memory, as a section that was never written.
class EmptySection : public SettingsSection {
public:
    int readInteger(const QString&, int defaultValue) override { return defaultValue; }
    double readDouble(const QString&, double defaultValue) override { return defaultValue; }
    void writeInteger(const QString&, int) override {}
    void writeDouble(const QString&, double) override {}
};

TEST(SettingsTest, EverySettingHasItsDefaultAndItsKey) {
    EmptySection empty;
    EXPECT_EQ(readSetting(empty, settings::trackingTemperature), 32.0);
    EXPECT_EQ(readSetting(empty, settings::alarmTemperature), 37.5);
    EXPECT_EQ(readSetting(empty, settings::alarmSavePeriod), 2);
    EXPECT_EQ(readSetting(empty, settings::nucPeriod), 120);
    EXPECT_EQ(readSetting(empty, settings::detectTest), 40);
    EXPECT_EQ(readSetting(empty, settings::temperatureUnit), 0);
    EXPECT_EQ(readSetting(empty, settings::temperatureMode), 0);
    EXPECT_EQ(readSetting(empty, settings::userOffset), 0.0);
    EXPECT_EQ(readSetting(empty, settings::fontSize), 2);
    EXPECT_EQ(readSetting(empty, settings::alarmEvent), 0);
    EXPECT_EQ(readSetting(empty, settings::alarmType), 0);
    EXPECT_EQ(readSetting(empty, settings::colorTheme), 1);
    EXPECT_EQ(settings::nucPeriod.key, "NUCPeriod");
    EXPECT_EQ(settings::detectTest.key, "DetectTest");
    EXPECT_EQ(settings::colorTheme.key, "ColorTheme");
}

// Texts an installer writes by hand: a list of prefixes is the file format's list, and comes back
// as typed; a missing key gives the station's default, an empty one stays empty.
TEST_F(SettingsStoreTest, TextsReadBackAsTheInstallerWroteThem) {
    QDir().mkpath(QFileInfo(path()).path());
    writeContent(path(), "[Settings]\nCameraIdentityPrefixes=164, 16F0B001,XY\nMqttHost=desk.local\n"
                         "StationName=\nMqttPasswordFile=/etc/calidra/mqtt password\n");
    SettingsStore store(path());
    EXPECT_EQ(readSetting(store, settings::cameraIdentityPrefixes), "164,16F0B001,XY");
    EXPECT_EQ(readSetting(store, settings::mqttHost), "desk.local");
    EXPECT_EQ(readSetting(store, settings::stationName), "");
    EXPECT_EQ(readSetting(store, settings::mqttPasswordFile), "/etc/calidra/mqtt password");
    EXPECT_EQ(readSetting(store, settings::mqttUser), "");
    EmptySection empty;
    EXPECT_EQ(readSetting(empty, settings::cameraIdentityPrefixes), "164,165,16F,116F");
    EXPECT_EQ(readSetting(empty, settings::alarmKeepDays), 0);
    EXPECT_EQ(readSetting(empty, settings::alarmMinFreeMB), 200);
    EXPECT_EQ(readSetting(empty, settings::mqttPort), 1883);
    EXPECT_EQ(readSetting(empty, settings::mqttTls), 0);
}

TEST(SettingsTest, TheFramePipelineStartsFromTheSameDefaults) {
    EmptySection empty;
    const FrameSettings unpublished;
    EXPECT_EQ(unpublished.detectionCelsius, readSetting(empty, settings::trackingTemperature));
    EXPECT_EQ(unpublished.alarmCelsius, readSetting(empty, settings::alarmTemperature));
    EXPECT_EQ(unpublished.alarmSavePeriodMs, readSetting(empty, settings::alarmSavePeriod) * 1000);
    EXPECT_EQ(unpublished.minimumRegionArea, readSetting(empty, settings::detectTest));
}

TEST_F(SettingsStoreTest, FirstRunGivesTheCallersDefaults) {
    SettingsStore store(path());
    EXPECT_EQ(store.readInteger(settings_keys::nucPeriod, settings_defaults::nucPeriod), 120);
    EXPECT_EQ(store.readDouble(settings_keys::alarmTemperature, settings_defaults::alarmTemperature), 37.5);
    EXPECT_EQ(store.readInteger(settings_keys::colorTheme, settings_defaults::colorTheme), 1);
    EXPECT_FALSE(QFile::exists(path())); // reading creates nothing
}

TEST_F(SettingsStoreTest, ValuesReadBackExactlyAcrossInstances) {
    const double third = (98.4 - 32) / 1.8;
    const double sum = 0.1 + 0.2;
    {
        SettingsStore store(path());
        store.writeDouble(settings_keys::alarmTemperature, third);
        store.writeDouble(settings_keys::userOffset, sum);
        store.writeDouble(settings_keys::trackingTemperature, 36.888888888888886);
        store.writeInteger(settings_keys::temperatureMode, -1);
        writeSetting(store, settings::nucPeriod, 2147483647);
        writeSetting(store, settings::detectTest, -2147483647 - 1);
    }
    SettingsStore reopened(path());
    EXPECT_EQ(reopened.readDouble(settings_keys::alarmTemperature, 0), third);
    EXPECT_EQ(reopened.readDouble(settings_keys::trackingTemperature, 0), 36.888888888888886);
    EXPECT_EQ(reopened.readDouble(settings_keys::userOffset, 0), sum);
    EXPECT_EQ(reopened.readInteger(settings_keys::temperatureMode, 0), -1);
    EXPECT_EQ(reopened.readInteger(settings_keys::nucPeriod, 0), 2147483647);
    EXPECT_EQ(readSetting(reopened, settings::detectTest), -2147483647 - 1);
    EXPECT_TRUE(fileContent(path()).contains("[Settings]"));
}

TEST_F(SettingsStoreTest, WritesReachTheFileAtOnce) {
    SettingsStore store(path());
    store.writeInteger(settings_keys::alarmEvent, 1);
    SettingsStore other(path());
    EXPECT_EQ(other.readInteger(settings_keys::alarmEvent, 0), 1);
}

TEST_F(SettingsStoreTest, GarbageGivesDefaultsAndTheFileStaysUntilAValueChanges) {
    {
        SettingsStore store(path()); // makes the folder
        store.writeInteger(settings_keys::alarmType, 1);
    }
    // Lines that still read as a key and a number keep their value; everything else is a default.
    const QByteArray garbage("\x01\x02 not an ini file\n[Settings\nAlarmType=abc\nFontSize=\n=\nNUCPeriod=7\n"
                             "AlarmTemperature=3x.5\n\xff\xfe");
    writeContent(path(), garbage);
    {
        SettingsStore store(path());
        EXPECT_EQ(readSetting(store, settings::alarmType), 0);
        EXPECT_EQ(readSetting(store, settings::fontSize), 2);
        EXPECT_EQ(readSetting(store, settings::alarmTemperature), 37.5);
        EXPECT_EQ(readSetting(store, settings::nucPeriod), 7);
    }
    EXPECT_EQ(fileContent(path()), garbage);

    SettingsStore store(path());
    store.writeInteger(settings_keys::alarmType, 1);
    EXPECT_FALSE(store.lastWriteFailed());
    const QByteArray rewritten = fileContent(path());
    EXPECT_FALSE(rewritten.contains("not an ini file"));
    SettingsStore reopened(path());
    EXPECT_EQ(readSetting(reopened, settings::alarmType), 1);
    EXPECT_EQ(readSetting(reopened, settings::nucPeriod), 7);
}

TEST_F(SettingsStoreTest, AFileThatCannotBeWrittenIsReportedAndTheRunKeepsTheValue) {
    writeContent(folder.filePath("Quro-Duzu"), "a file where the folder should be");
    SettingsStore store(path());
    store.writeInteger(settings_keys::alarmEvent, 1);
    EXPECT_TRUE(store.lastWriteFailed());
    EXPECT_EQ(store.readInteger(settings_keys::alarmEvent, 0), 1);
    store.writeDouble(settings_keys::alarmTemperature, 38.0);
    EXPECT_TRUE(store.lastWriteFailed());

    writeContent(path().replace("Quro-Duzu/Calidra/", ""), "damaged\n[Settings\n");
    SettingsStore damaged(folder.filePath("Calidra.conf"));
    damaged.writeInteger(settings_keys::alarmEvent, 1);
    EXPECT_FALSE(damaged.lastWriteFailed());
}

TEST_F(SettingsStoreTest, UnreadableFileGivesDefaults) {
    {
        SettingsStore store(path());
        store.writeInteger(settings_keys::alarmType, 1);
    }
    QFile::setPermissions(path(), QFileDevice::Permissions());
    if (QFile(path()).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that read any file";
    SettingsStore store(path());
    EXPECT_EQ(store.readInteger(settings_keys::alarmType, 0), 0);
}

} // namespace
} // namespace calidra
