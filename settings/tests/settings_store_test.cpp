#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

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
// as typed; a missing key gives the default, an empty one stays empty.
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
    EXPECT_EQ(readSetting(empty, settings::cameraIdentityPrefixes), ""); // the camera's own prefixes
    EXPECT_EQ(readSetting(empty, settings::alarmKeepDays), 0);
    EXPECT_EQ(readSetting(empty, settings::alarmMinFreeMB), 200);
    EXPECT_EQ(readSetting(empty, settings::mqttPort), 1883);
    EXPECT_EQ(readSetting(empty, settings::mqttTls), 0);
}

// Station names in Korean: UTF-8 in the file, kept so when the station rewrites the file, and the
// escapes of older writes still read.
TEST_F(SettingsStoreTest, NonAsciiTextsAreUtf8InTheFile) {
    QDir().mkpath(QFileInfo(path()).path());
    writeContent(path(), QStringLiteral("[Settings]\nStationName=정문\n").toUtf8());
    {
        SettingsStore store(path());
        EXPECT_EQ(readSetting(store, settings::stationName), QStringLiteral("정문"));
        writeSetting(store, settings::nucPeriod, 60);
    }
    EXPECT_TRUE(fileContent(path()).contains(QStringLiteral("StationName=정문\n").toUtf8()));
    writeContent(path(), "[Settings]\nStationName=\\xc815\\xbb38\n");
    SettingsStore older(path());
    EXPECT_EQ(readSetting(older, settings::stationName), QStringLiteral("정문"));
}

TEST_F(SettingsStoreTest, FirstRunGivesTheCallersDefaults) {
    SettingsStore store(path());
    EXPECT_EQ(store.readInteger(settings::nucPeriod.key, settings::nucPeriod.defaultValue), 120);
    EXPECT_EQ(store.readDouble(settings::alarmTemperature.key, settings::alarmTemperature.defaultValue),
              37.5);
    EXPECT_EQ(store.readInteger(settings::colorTheme.key, settings::colorTheme.defaultValue), 1);
    EXPECT_FALSE(QFile::exists(path())); // reading creates nothing
}

TEST_F(SettingsStoreTest, ValuesReadBackExactlyAcrossInstances) {
    const double third = (98.4 - 32) / 1.8;
    const double sum = 0.1 + 0.2;
    {
        SettingsStore store(path());
        store.writeDouble(settings::alarmTemperature.key, third);
        store.writeDouble(settings::userOffset.key, sum);
        store.writeDouble(settings::trackingTemperature.key, 36.888888888888886);
        store.writeInteger(settings::temperatureMode.key, -1);
        writeSetting(store, settings::nucPeriod, 2147483647);
        writeSetting(store, settings::detectTest, -2147483647 - 1);
    }
    SettingsStore reopened(path());
    EXPECT_EQ(reopened.readDouble(settings::alarmTemperature.key, 0), third);
    EXPECT_EQ(reopened.readDouble(settings::trackingTemperature.key, 0), 36.888888888888886);
    EXPECT_EQ(reopened.readDouble(settings::userOffset.key, 0), sum);
    EXPECT_EQ(reopened.readInteger(settings::temperatureMode.key, 0), -1);
    EXPECT_EQ(reopened.readInteger(settings::nucPeriod.key, 0), 2147483647);
    EXPECT_EQ(readSetting(reopened, settings::detectTest), -2147483647 - 1);
    EXPECT_TRUE(fileContent(path()).contains("[Settings]"));
}

TEST_F(SettingsStoreTest, WritesReachTheFileAtOnce) {
    SettingsStore store(path());
    store.writeInteger(settings::alarmEvent.key, 1);
    SettingsStore other(path());
    EXPECT_EQ(other.readInteger(settings::alarmEvent.key, 0), 1);
}

TEST_F(SettingsStoreTest, GarbageGivesDefaultsAndTheFileStaysUntilAValueChanges) {
    {
        SettingsStore store(path()); // makes the folder
        store.writeInteger(settings::alarmType.key, 1);
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
    store.writeInteger(settings::alarmType.key, 1);
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
    store.writeInteger(settings::alarmEvent.key, 1);
    EXPECT_TRUE(store.lastWriteFailed());
    EXPECT_EQ(store.readInteger(settings::alarmEvent.key, 0), 1);
    store.writeDouble(settings::alarmTemperature.key, 38.0);
    EXPECT_TRUE(store.lastWriteFailed());

    writeContent(path().replace("Quro-Duzu/Calidra/", ""), "damaged\n[Settings\n");
    SettingsStore damaged(folder.filePath("Calidra.conf"));
    damaged.writeInteger(settings::alarmEvent.key, 1);
    EXPECT_FALSE(damaged.lastWriteFailed());
}

TEST_F(SettingsStoreTest, UnreadableFileGivesDefaults) {
    {
        SettingsStore store(path());
        store.writeInteger(settings::alarmType.key, 1);
    }
    QFile::setPermissions(path(), QFileDevice::Permissions());
    if (QFile(path()).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that read any file";
    SettingsStore store(path());
    EXPECT_EQ(store.readInteger(settings::alarmType.key, 0), 0);
}

// A program killed while it wrote its settings leaves its scratch folder; the next store removes
// such folders once a minute old, and nothing else.
TEST_F(SettingsStoreTest, LeftoverScratchFoldersAreRemoved) {
    const bool temporarySet = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray temporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", folder.path().toUtf8());
    for (const char* name : {"calidra-settings-Ab3dE9", "calidra-settings-Qw12er", "calidra-settings"})
        ASSERT_TRUE(QDir(folder.path()).mkdir(name));
    QFile inside(folder.filePath("calidra-settings-Ab3dE9/settings.conf"));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();
    for (const char* name : {"calidra-settings-Ab3dE9", "calidra-settings"}) {
        const timespec twoMinutesAgo{::time(nullptr) - 120, 0};
        const timespec times[2] = {twoMinutesAgo, twoMinutesAgo};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder.filePath(name)).constData(), times, 0), 0);
    }
    SettingsStore store(path());
    if (temporarySet)
        qputenv("TMPDIR", temporary);
    else
        qunsetenv("TMPDIR");
    EXPECT_FALSE(QDir(folder.filePath("calidra-settings-Ab3dE9")).exists());
    EXPECT_TRUE(QDir(folder.filePath("calidra-settings-Qw12er")).exists()); // may be in use
    EXPECT_TRUE(QDir(folder.filePath("calidra-settings")).exists());        // not a scratch folder
}

// What the child below found: the write was reported, and the file kept every byte.
enum FullDiskOutcome { Kept = 0, NotReported = 1, FileChanged = 2, NoFullDisk = 3 };

// In a child process the settings file sits on a disk with one free block (a tmpfs, where the
// child may mount one: root in a mount namespace of its own), else under a file size limit of 16
// bytes. The file is larger than a block, so its new text cannot fit.
int writeOnAFullDisk(const QString& settingsPath, const QByteArray& before, const QString& mountPoint) {
    QString path = settingsPath;
    if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
        ::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") == 0) {
        path = mountPoint + "/Calidra.conf";
        QFile copy(path);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(before) != before.size() || !copy.flush())
            return NoFullDisk;
        copy.close();
        QFile filler(mountPoint + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return NoFullDisk;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        if (!filler.resize(filler.size() / block.size() * block.size() - block.size()))
            return NoFullDisk;
    } else {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return NoFullDisk;
    }
    SettingsStore store(path);
    store.writeInteger(settings::colorTheme.key, 2);
    if (!store.lastWriteFailed())
        return NotReported;
    return fileContent(path) == before ? Kept : FileChanged;
}

TEST_F(SettingsStoreTest, AWriteThatFailsOnAFullDiskLeavesTheFileByteForByte) {
    ASSERT_TRUE(QDir(folder.path()).mkpath("Quro-Duzu/Calidra"));
    const QByteArray before = "[Notes]\nText=" + QByteArray(5000, 'n') + "\n\n[Settings]\nAlarmEvent=1\n";
    writeContent(path(), before);
    ASSERT_TRUE(QDir(folder.path()).mkdir("tiny"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeOnAFullDisk(path(), before, folder.filePath("tiny")));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), Kept);
    EXPECT_EQ(fileContent(path()), before);
}

// A FIFO where the file should be: the start neither waits on it nor replaces it.
TEST_F(SettingsStoreTest, AFifoInPlaceOfTheFileIsNeitherWaitedOnNorReplaced) {
    ASSERT_TRUE(QDir(folder.path()).mkpath("Quro-Duzu/Calidra"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0644), 0);
    // Should the store wait on the FIFO, a writer opening its other end frees it and the test fails.
    std::atomic<bool> finished{false};
    std::atomic<int> rescues{0};
    std::thread rescuer([&] {
        while (!finished.load()) {
            // A period, not a wait for an event: how soon a stuck open is freed and the rescuer ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const int writer = ::open(QFile::encodeName(path()).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                rescues.fetch_add(1);
                ::close(writer);
            }
        }
    });
    {
        SettingsStore store(path());
        EXPECT_EQ(readSetting(store, settings::alarmEvent), 0);
        store.writeInteger(settings::alarmEvent.key, 1);
        EXPECT_TRUE(store.lastWriteFailed());
        EXPECT_EQ(readSetting(store, settings::alarmEvent), 1);
    }
    finished.store(true);
    rescuer.join();
    EXPECT_EQ(rescues.load(), 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

} // namespace
} // namespace calidra
