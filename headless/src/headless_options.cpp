#include "headless_options.h"

#include <cmath>

namespace calidra {

OptionsOutcome parseHeadlessOptions(const QStringList& arguments, HeadlessOptions& options, QString& error) {
    for (int index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            return OptionsOutcome::ShowHelp;
        }
        if (argument == QLatin1String("--readouts")) {
            options.readouts = true;
        } else if (argument == QLatin1String("--detections")) {
            options.detections = true;
        } else if (argument == QLatin1String("--seconds") ||
                   argument.startsWith(QLatin1String("--seconds="))) {
            QString value;
            if (argument.contains(QLatin1Char('='))) {
                value = argument.section(QLatin1Char('='), 1);
            } else if (index + 1 < arguments.size()) {
                value = arguments[++index];
            } else {
                error = QStringLiteral("--seconds needs a number");
                return OptionsOutcome::Invalid;
            }
            bool valid = false;
            const double seconds = value.toDouble(&valid);
            if (!valid || !std::isfinite(seconds) || seconds <= 0.0 || seconds > longestRunSeconds) {
                error = QStringLiteral("--seconds needs a positive number up to %1 (ten years), not \"%2\"")
                            .arg(qint64(longestRunSeconds))
                            .arg(value);
                return OptionsOutcome::Invalid;
            }
            options.seconds = seconds;
        } else if (argument == QLatin1String("--export-alarms") ||
                   argument.startsWith(QLatin1String("--export-alarms="))) {
            if (argument.contains(QLatin1Char('=')))
                options.exportAlarmsPath = argument.section(QLatin1Char('='), 1);
            else if (index + 1 < arguments.size())
                options.exportAlarmsPath = arguments[++index];
            if (options.exportAlarmsPath.isEmpty()) {
                error = QStringLiteral("--export-alarms needs a file name");
                return OptionsOutcome::Invalid;
            }
        } else if (argument == QLatin1String("--export-people") ||
                   argument.startsWith(QLatin1String("--export-people="))) {
            if (argument.contains(QLatin1Char('=')))
                options.exportPeoplePath = argument.section(QLatin1Char('='), 1);
            else if (index + 1 < arguments.size())
                options.exportPeoplePath = arguments[++index];
            if (options.exportPeoplePath.isEmpty()) {
                error = QStringLiteral("--export-people needs a file name");
                return OptionsOutcome::Invalid;
            }
        } else {
            error = QStringLiteral("unknown option \"%1\"").arg(argument);
            return OptionsOutcome::Invalid;
        }
    }
    return OptionsOutcome::Run;
}

QString headlessUsage() {
    return QStringLiteral(
        "usage: calidra-headless [--seconds N] [--readouts] [--detections] [--help]\n"
        "       calidra-headless --export-alarms FILE.csv\n"
        "       calidra-headless --export-people FILE.csv\n"
        "Runs the screening loop on the first suitable camera without any window.\n"
        "  --seconds N    stop after N seconds, ten years at most (default: until a signal ends it)\n"
        "  --readouts     print READOUT lines every 500 ms\n"
        "  --detections   print a DETECT line for every processed frame\n"
        "  --export-alarms FILE.csv\n"
        "                 write the alarm record's episodes as CSV and exit (no camera); - is stdout\n"
        "  --export-people FILE.csv\n"
        "                 write the people counted (one reading each) as CSV and exit (no camera);\n"
        "                 - is stdout\n"
        "Output lines (tab-separated): LOG, ALARM, SNAPSHOT, PERSON, READOUT, DETECT, DROPPED.\n");
}

} // namespace calidra
