#include "station/auxiliary_programs.h"

#include <QFileInfo>
#include <QProcess>

#include <signal.h>

namespace calidra {
namespace {

constexpr const char* ipToolDefaultPath = "/opt/Quro Duzu/Sorvik/Tools/Tevacfg";
// How the desktop opens an executable: run it, by its quoted path.
constexpr const char* ipToolCommandTemplate = "\"%1\"";

bool startDetached(const QString& program, const QStringList& arguments, qint64* processId = nullptr) {
    if (!QFileInfo(program).isExecutable())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached(processId);
}

} // namespace

AuxiliaryPrograms::AuxiliaryPrograms(QString programFolder) : programFolder_(std::move(programFolder)) {}

bool AuxiliaryPrograms::LaunchMaskEditor(const SnapshotWriter& writeSnapshot) {
    if (writeSnapshot)
        writeSnapshot(maskEditorFolder() + QLatin1Char('/') + QLatin1String(files::liveSnapshotFileName));
    return startDetached(maskEditorFolder() + QStringLiteral("/Zonara"), {});
}

bool AuxiliaryPrograms::StartStreamingServer(int width, int height) {
    if (streamProcessId_ != 0 || width < 1 || height < 1)
        return false;
    qint64 processId = 0;
    const QString server = programFolder_ + QStringLiteral("/Vantrel/VantrelServer");
    if (!startDetached(server, {QString::number(width), QString::number(height)}, &processId)) {
        streamProcessId_ = 0;
        return false;
    }
    streamProcessId_ = processId;
    return true;
}

bool AuxiliaryPrograms::StopStreamingServer() {
    if (streamProcessId_ == 0)
        return false;
    // The server ends in order on SIGTERM and removes its socket.
    const bool terminated = ::kill(pid_t(streamProcessId_), SIGTERM) == 0;
    streamProcessId_ = 0;
    return terminated;
}

QString AuxiliaryPrograms::ipToolPath() {
    const QString overridden = qEnvironmentVariable("CALIDRA_IP_TOOL");
    return overridden.isEmpty() ? QString::fromUtf8(ipToolDefaultPath) : overridden;
}

QString AuxiliaryPrograms::substituteToolPath(const QString& commandTemplate, const QString& toolPath) {
    QString command;
    for (int index = 0; index < commandTemplate.size(); ++index) {
        const QChar character = commandTemplate[index];
        if (character == QLatin1Char('%') && index + 1 < commandTemplate.size() &&
            (commandTemplate[index + 1] == QLatin1Char('1') ||
             commandTemplate[index + 1] == QLatin1Char('L'))) {
            command += toolPath; // the path itself is never searched for placeholders
            ++index;
            continue;
        }
        command += character;
    }
    return command;
}

void AuxiliaryPrograms::LaunchIpTool() {
    const QString tool = ipToolPath();
    if (!QFileInfo(tool).isExecutable())
        return;
    QStringList arguments =
        QProcess::splitCommand(substituteToolPath(QString::fromUtf8(ipToolCommandTemplate), tool));
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    startDetached(program, arguments);
}

} // namespace calidra
