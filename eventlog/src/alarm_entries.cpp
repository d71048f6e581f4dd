#include "eventlog/alarm_entries.h"

#include <QCoreApplication>

namespace calidra {
namespace {

constexpr const char* context = "calidra::EventLog";
constexpr const char* alarmOnText = QT_TRANSLATE_NOOP("calidra::EventLog", "Alarm on: %1 %2");
constexpr const char* alarmOffText = QT_TRANSLATE_NOOP("calidra::EventLog", "Alarm off");

} // namespace

LogText alarmOnLogText(double displayReading, const QString& unitSymbol) {
    const QString reading = QString::number(displayReading, 'f', 1);
    return {QString::fromUtf8(alarmOnText).arg(reading, unitSymbol),
            QCoreApplication::translate(context, alarmOnText).arg(reading, unitSymbol)};
}

LogText alarmOffLogText() {
    return {QString::fromUtf8(alarmOffText), QCoreApplication::translate(context, alarmOffText)};
}

} // namespace calidra
