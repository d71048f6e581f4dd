#pragma once
// calidra-headless and people: a PERSON line per finished person, and --export-people.

#include "alarmrecord/people_reader.h"
#include "alarmrecord/person_entry.h"
#include "settings/settings_store.h"

#include <QString>

namespace calidra {

// PERSON<TAB>number<TAB>reading °C "%.1f" or "-"<TAB>alarm|normal|unmeasured
QString personLine(const PersonEntry& person);

// The people of <programFolder>/ThermalAlarm's record as CSV, in the TemperatureUnit setting's unit.
CsvExportResult exportStationPeople(SettingsSection& settings, const QString& programFolder,
                                    const QString& csvPath);

} // namespace calidra
