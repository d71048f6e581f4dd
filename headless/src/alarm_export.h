#pragma once
// calidra-headless --export-alarms: the alarm record's episodes as CSV, in the operator's unit,
// without starting a camera.

#include "settings/settings_store.h"

#include "alarmrecord/alarm_record_reader.h"

#include <QString>

namespace calidra {

// The record of <programFolder>/ThermalAlarm, the unit of the TemperatureUnit setting, the station
// named as to the site; csvPath "-" is standard output.
CsvExportResult exportStationAlarms(SettingsSection& settings, const QString& programFolder,
                                    const QString& csvPath);

} // namespace calidra
