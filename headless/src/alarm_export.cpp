#include "alarm_export.h"

#include "alarmrecord/snapshot_names.h"
#include "siteevents/site_events_settings.h"

namespace calidra {

CsvExportResult exportStationAlarms(SettingsSection& settings, const QString& programFolder,
                                    const QString& csvPath) {
    const CsvTemperatureUnit unit = readSetting(settings, settings::temperatureUnit) == 1
                                        ? CsvTemperatureUnit::Fahrenheit
                                        : CsvTemperatureUnit::Celsius;
    return exportAlarmEpisodesCsv(alarmRecordPath(alarmFolderPath(programFolder)), csvPath, unit,
                                  siteStationName(readSetting(settings, settings::stationName)));
}

} // namespace calidra
