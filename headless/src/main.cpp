// calidra-headless: the screening loop of the station without any window.

#include "alarm_export.h"
#include "people_lines.h"
#include "headless_options.h"
#include "headless_station.h"
#include "line_writer.h"

#include "alarmrecord/alarm_record_reader.h"
#include "lifecycle/runnable_folder_lock.h"
#include "lifecycle/termination_signals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

// What the output gets to write its last lines when the station ends; the whole end stays within
// a few seconds even when nobody reads.
constexpr int lastLinesTimeoutMs = 1500;

// A timer's interval is an int of milliseconds (24.8 days at most): longer runs wait in steps.
constexpr qint64 deadlineStepMs = 3600 * 1000;

void quitWhenDue(QCoreApplication& application, double seconds) {
    const QDeadlineTimer deadline(qint64(seconds * 1000.0), Qt::PreciseTimer);
    auto* timer = new QTimer(&application);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const auto arm = [timer, deadline] {
        timer->start(int(std::min(deadline.remainingTime(), deadlineStepMs)));
    };
    QObject::connect(timer, &QTimer::timeout, &application, [deadline, arm] {
        if (deadline.hasExpired())
            QCoreApplication::quit();
        else
            arm();
    });
    arm();
}

// "N ... written to FILE"; for "-" the CSV is the standard output, so the line goes to stderr.
void reportExport(const QString& sentence, int rows, const QString& csvPath) {
    const bool toStandardOutput = csvPath == calidra::csvStandardOutput;
    const QString line =
        sentence.arg(QString::number(rows), toStandardOutput ? QStringLiteral("standard output") : csvPath) +
        QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), toStandardOutput ? stderr : stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calidra-headless"));

    calidra::HeadlessOptions options;
    QString error;
    switch (calidra::parseHeadlessOptions(application.arguments().mid(1), options, error)) {
    case calidra::OptionsOutcome::ShowHelp:
        std::fputs(calidra::headlessUsage().toUtf8().constData(), stdout);
        return 0;
    case calidra::OptionsOutcome::Invalid:
        std::fprintf(stderr, "calidra-headless: %s\n%s", error.toUtf8().constData(),
                     calidra::headlessUsage().toUtf8().constData());
        return 2;
    case calidra::OptionsOutcome::Run:
        break;
    }

    const QString programFolder = QCoreApplication::applicationDirPath();
    // The operator's settings of the windowed station.
    const std::unique_ptr<calidra::SettingsStore> settings =
        calidra::SettingsStore::forApplication(QStringLiteral("Calidra"));
    if (!options.exportAlarmsPath.isEmpty()) {
        const calidra::CsvExportResult exported =
            calidra::exportStationAlarms(*settings, programFolder, options.exportAlarmsPath);
        if (!exported.succeeded) {
            std::fprintf(stderr, "calidra-headless: %s\n", exported.errorText.toUtf8().constData());
            return 1;
        }
        reportExport(QStringLiteral("%1 alarm episodes written to %2"), exported.episodes,
                     options.exportAlarmsPath);
        return 0;
    }

    if (!options.exportPeoplePath.isEmpty()) {
        const calidra::CsvExportResult exported =
            calidra::exportStationPeople(*settings, programFolder, options.exportPeoplePath);
        if (!exported.succeeded) {
            std::fprintf(stderr, "calidra-headless: %s\n", exported.errorText.toUtf8().constData());
            return 1;
        }
        reportExport(QStringLiteral("%1 people written to %2"), exported.episodes, options.exportPeoplePath);
        return 0;
    }

    if (!calidra::quitOnTerminationSignals(application))
        return 1;
    calidra::RunnableFolderLock folderLock(programFolder);
    if (folderLock.claim() == calidra::InstanceClaim::AlreadyRunning) {
        std::fprintf(stderr, "calidra-headless: %s\n",
                     calidra::runnableFolderTakenMessage(programFolder).toUtf8().constData());
        return 1;
    }
    calidra::LineWriter out(STDOUT_FILENO);
    calidra::HeadlessStation station(options, *settings, programFolder, out);
    station.start();
    if (options.seconds > 0)
        quitWhenDue(application, options.seconds);
    application.exec();
    station.stop();
    out.finish(lastLinesTimeoutMs);
    return 0;
}
