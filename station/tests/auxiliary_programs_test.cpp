#include "station/auxiliary_programs.h"
#include "testsupport/wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace calidra {
namespace {

using test::waitFor;

// A stand-in program: records its arguments in a file beside itself, then optionally stays.
void writeScript(const QString& path, const QString& body) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile script(path);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Detached programs are reaped by whoever adopted them, perhaps late: a zombie has ended.
bool processAlive(qint64 processId) {
    QFile status(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = status.readAll(); // "pid (name) state ..."
    return fields.mid(fields.lastIndexOf(')') + 2, 1) != "Z";
}

class AuxiliaryProgramsTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return folder.filePath(relative); }

    QTemporaryDir folder;
    AuxiliaryPrograms programs{folder.path()};
};

TEST_F(AuxiliaryProgramsTest, MaskEditorGetsAFreshSnapshotAndStartsEveryTime) {
    writeScript(path("Zonara/Zonara"), "echo \"$#\" >> \"$(dirname \"$0\")/starts\"");
    QStringList snapshots;
    const auto writer = [&](const QString& snapshotPath) {
        snapshots << snapshotPath;
        return true;
    };
    EXPECT_TRUE(programs.LaunchMaskEditor(writer));
    EXPECT_TRUE(programs.LaunchMaskEditor(writer));
    EXPECT_EQ(snapshots, QStringList({path("Zonara/snapshot.jpg"), path("Zonara/snapshot.jpg")}));

    waitFor([&] { return content(path("Zonara/starts")).count('\n') == 2; });
    EXPECT_EQ(content(path("Zonara/starts")), "0\n0\n"); // no arguments, twice
}

TEST_F(AuxiliaryProgramsTest, MissingEditorStillGetsItsSnapshotWrittenFirst) {
    int written = 0;
    EXPECT_FALSE(programs.LaunchMaskEditor([&](const QString&) { return ++written > 0; }));
    EXPECT_EQ(written, 1);
}

TEST_F(AuxiliaryProgramsTest, StreamServerStartsOnceWithTheFrameSizeAndStops) {
    writeScript(path("Vantrel/VantrelServer"),
                "echo \"$1 $2\" > \"$(dirname \"$0\")/arguments\"\nexec sleep 30");
    EXPECT_FALSE(programs.StartStreamingServer(0, 288));
    EXPECT_FALSE(programs.StartStreamingServer(384, -1));
    EXPECT_EQ(programs.streamProcessId(), 0);

    ASSERT_TRUE(programs.StartStreamingServer(384, 288));
    const qint64 server = programs.streamProcessId();
    EXPECT_GT(server, 0);
    EXPECT_FALSE(programs.StartStreamingServer(384, 288));
    EXPECT_EQ(programs.streamProcessId(), server);

    waitFor([&] { return content(path("Vantrel/arguments")).endsWith('\n'); });
    EXPECT_EQ(content(path("Vantrel/arguments")), "384 288\n");

    EXPECT_TRUE(programs.StopStreamingServer());
    EXPECT_EQ(programs.streamProcessId(), 0);
    EXPECT_TRUE(waitFor([&] { return !processAlive(server); }));
    EXPECT_FALSE(programs.StopStreamingServer());
}

TEST_F(AuxiliaryProgramsTest, ServerThatEndedByItselfIsStillHeld) {
    writeScript(path("Vantrel/VantrelServer"), "exit 0");
    ASSERT_TRUE(programs.StartStreamingServer(4, 2));
    const qint64 held = programs.streamProcessId();
    ASSERT_TRUE(waitFor([&] { return !processAlive(held); }));
    EXPECT_FALSE(programs.StartStreamingServer(4, 2));
    EXPECT_EQ(programs.streamProcessId(), held);
}

TEST_F(AuxiliaryProgramsTest, IpToolPlaceholdersAreReplacedAndOthersStay) {
    EXPECT_EQ(AuxiliaryPrograms::substituteToolPath("\"%1\" -o %L %2 %%1 %x", "/opt/t"),
              "\"/opt/t\" -o /opt/t %2 %/opt/t %x");
    // A path that itself holds a placeholder is taken as it is.
    EXPECT_EQ(AuxiliaryPrograms::substituteToolPath("%1 %L", "/a%1b"), "/a%1b /a%1b");
    EXPECT_EQ(AuxiliaryPrograms::substituteToolPath("%", "/t"), "%");
}

TEST_F(AuxiliaryProgramsTest, IpToolStartsFromItsPathAndAMissingOneChangesNothing) {
    const QString tool = path("Tools/Tevacfg tool");
    writeScript(tool, "touch \"$(dirname \"$0\")/started\"");
    qputenv("CALIDRA_IP_TOOL", tool.toUtf8());
    EXPECT_EQ(AuxiliaryPrograms::ipToolPath(), tool);
    programs.LaunchIpTool();
    EXPECT_TRUE(waitFor([&] { return QFile::exists(path("Tools/started")); }));

    qputenv("CALIDRA_IP_TOOL", path("Tools/missing").toUtf8());
    programs.LaunchIpTool(); // nothing to see, nothing to crash
    qunsetenv("CALIDRA_IP_TOOL");
    EXPECT_EQ(AuxiliaryPrograms::ipToolPath(), "/opt/Quro Duzu/Sorvik/Tools/Tevacfg");
}

} // namespace
} // namespace calidra
