#pragma once
// The rules every CSV export of the record follows: UTF-8, RFC 4180 quoting, CRLF, a regular file
// replaced only whole (never a device, a FIFO or a folder that stands at the name), or standard
// output for "-".

#include "alarmrecord/alarm_record_reader.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace calidra {

// A temperature in the unit, "%.1f".
QString csvTemperatureText(double celsius, CsvTemperatureUnit unit);
QString csvUnitName(CsvTemperatureUnit unit);
// "Highest °C" and "Highest display °F": the first always in °C, the second in the operator's unit,
// so the two never share a name.
QStringList csvTemperatureColumns(const QString& what, CsvTemperatureUnit unit);
// ISO 8601 local time with its UTC offset, "2026-10-25T02:30:00+02:00": a time of the hour that
// repeats when the clocks go back stays distinct.
QString csvTimeText(qint64 utcSeconds);

// False with errorText set when the file could not be written.
bool writeCsvFile(const QString& csvPath, const QStringList& header, const QList<QStringList>& rows,
                  QString& errorText);

} // namespace calidra
