#pragma once
// The log's entries for the station's alarm going on and off. The entry keeps the English text,
// which calidra-headless prints and the site is sent; the pane shows it in the interface language.

#include <QString>

namespace calidra {

struct LogText {
    QString written;
    QString shown;
};

// "Alarm on: 38.3 °C": the reading already in the operator's unit, one decimal.
LogText alarmOnLogText(double displayReading, const QString& unitSymbol);
LogText alarmOffLogText();

} // namespace calidra
