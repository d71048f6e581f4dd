#include "siteevents/site_events_settings.h"

#include <QSysInfo>

namespace calidra {

QString siteStationName(const QString& configuredName) {
    QString name = configuredName.trimmed();
    if (name.isEmpty())
        name = QSysInfo::machineHostName();
    if (name.isEmpty())
        name = QStringLiteral("station");
    constexpr int longestName = 100;
    if (name.size() > longestName)
        name.truncate(name.at(longestName - 1).isHighSurrogate() ? longestName - 1 : longestName);
    for (QChar& character : name) {
        if (character == QLatin1Char('/') || character == QLatin1Char('+') || character == QLatin1Char('#') ||
            character.isNull())
            character = QLatin1Char('_');
    }
    return name;
}

QString siteTopicPrefix(const QString& configuredName) {
    return QStringLiteral("calidra/") + siteStationName(configuredName);
}

} // namespace calidra
