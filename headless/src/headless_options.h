#pragma once
// Command line of calidra-headless.

#include <QString>
#include <QStringList>

namespace calidra {

// The longest run --seconds asks for: ten years.
constexpr double longestRunSeconds = 10.0 * 365 * 24 * 3600;

struct HeadlessOptions {
    double seconds = 0.0; // 0: run until a signal ends it; at most longestRunSeconds
    bool readouts = false;
    bool detections = false;
    bool help = false;
    QString exportAlarmsPath; // --export-alarms: write the CSV there and run no camera
    QString exportPeoplePath; // --export-people: likewise for the people
};

enum class OptionsOutcome { Run, ShowHelp, Invalid };

// Arguments without the program name. On Invalid, error says what was wrong.
OptionsOutcome parseHeadlessOptions(const QStringList& arguments, HeadlessOptions& options, QString& error);

QString headlessUsage();

} // namespace calidra
