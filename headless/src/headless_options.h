#pragma once
// Command line of calidra-headless.

#include <QString>
#include <QStringList>

namespace calidra {

struct HeadlessOptions {
    double seconds = 0.0; // 0: run until a signal ends it
    bool readouts = false;
    bool detections = false;
    bool help = false;
    QString exportAlarmsPath; // --export-alarms: write the CSV there and run no camera
};

enum class OptionsOutcome { Run, ShowHelp, Invalid };

// Arguments without the program name. On Invalid, error says what was wrong.
OptionsOutcome parseHeadlessOptions(const QStringList& arguments, HeadlessOptions& options, QString& error);

QString headlessUsage();

} // namespace calidra
