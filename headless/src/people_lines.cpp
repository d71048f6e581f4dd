#include "people_lines.h"

#include "alarmrecord/snapshot_names.h"

namespace calidra {

QString personLine(const PersonEntry& person) {
    return QStringLiteral("PERSON\t%1\t%2\t%3")
        .arg(person.number)
        .arg(person.readingCelsius ? QString::number(*person.readingCelsius, 'f', 1) : QStringLiteral("-"))
        .arg(QLatin1String(personOutcome(person)));
}

CsvExportResult exportStationPeople(SettingsSection& settings, const QString& programFolder,
                                    const QString& csvPath) {
    const CsvTemperatureUnit unit = readSetting(settings, settings::temperatureUnit) == 1
                                        ? CsvTemperatureUnit::Fahrenheit
                                        : CsvTemperatureUnit::Celsius;
    return exportPeopleCsv(alarmRecordPath(alarmFolderPath(programFolder)), csvPath, unit);
}

} // namespace calidra
