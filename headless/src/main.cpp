// calidra-headless: the screening loop of the station without any window.

#include "alarm_export.h"
#include "headless_options.h"
#include "headless_station.h"

#include "lifecycle/termination_signals.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

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

    // The operator's settings of the windowed station.
    const std::unique_ptr<calidra::SettingsStore> settings =
        calidra::SettingsStore::forApplication(QStringLiteral("Calidra"));
    if (!options.exportAlarmsPath.isEmpty()) {
        const calidra::CsvExportResult exported = calidra::exportStationAlarms(
            *settings, QCoreApplication::applicationDirPath(), options.exportAlarmsPath);
        if (!exported.succeeded) {
            std::fprintf(stderr, "calidra-headless: %s\n", exported.errorText.toUtf8().constData());
            return 1;
        }
        std::printf("%d alarm episodes written to %s\n", exported.episodes,
                    options.exportAlarmsPath.toUtf8().constData());
        return 0;
    }

    if (!calidra::quitOnTerminationSignals(application))
        return 1;
    calidra::LineWriter out(stdout);
    calidra::HeadlessStation station(options, *settings, QCoreApplication::applicationDirPath(), out);
    station.start();
    if (options.seconds > 0)
        QTimer::singleShot(int(options.seconds * 1000), &application, &QCoreApplication::quit);
    application.exec();
    station.stop();
    return 0;
}
