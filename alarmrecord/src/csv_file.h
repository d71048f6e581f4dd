#pragma once
// The rules every CSV export of the record follows: UTF-8, RFC 4180 quoting, CRLF, a regular file
// replaced only whole (never a device, a FIFO or a folder that stands at the name).

#include "alarmrecord/alarm_record_reader.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace calidra {

// A temperature in the unit, "%.1f".
QString csvTemperatureText(double celsius, CsvTemperatureUnit unit);
QString csvUnitName(CsvTemperatureUnit unit);

// False with errorText set when the file could not be written.
bool writeCsvFile(const QString& csvPath, const QStringList& header, const QList<QStringList>& rows,
                  QString& errorText);

} // namespace calidra
