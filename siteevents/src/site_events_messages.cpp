#include "siteevents/site_events_messages.h"
#include "siteevents/site_person.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdlib>

namespace calidra {
namespace {

QString cameraStateName(SiteCameraState state) {
    switch (state) {
    case SiteCameraState::Connected:
        return QStringLiteral("connected");
    case SiteCameraState::Searching:
        return QStringLiteral("searching");
    case SiteCameraState::Stalled:
        return QStringLiteral("stalled");
    case SiteCameraState::None:
        break;
    }
    return QStringLiteral("none");
}

// Readings are tenths of a degree; more digits would only show binary noise.
QJsonValue tenths(double value) {
    if (!std::isfinite(value))
        return QJsonValue(QJsonValue::Null);
    return std::round(value * 10.0) / 10.0;
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Offline messages replace the retained status: templates that read its station and camera
// fields find them there too.
QJsonObject offlineFields(const QString& stationName) {
    return {{QStringLiteral("online"), false},
            {QStringLiteral("station"), stationName},
            {QStringLiteral("camera"), QStringLiteral("unknown")}};
}

} // namespace

QString isoTimeWithOffset(const QDateTime& time, bool withMilliseconds) {
    if (!time.isValid())
        return {};
    const int offsetSeconds = time.offsetFromUtc();
    // The wall-clock fields at that offset, then the offset written out even when it is zero.
    const QDateTime wallClock = time.toUTC().addSecs(offsetSeconds);
    QString text = wallClock.toString(withMilliseconds ? QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")
                                                       : QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    const int minutes = std::abs(offsetSeconds) / 60;
    text += QString::asprintf("%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

QByteArray statusPayload(const SiteCameraStatus& camera, bool alarmOn, const QDateTime& now,
                         const QString& videoUrl) {
    const bool connected = camera.state == SiteCameraState::Connected;
    QJsonObject status = withPeopleCounts(
        {{QStringLiteral("online"), true},
         {QStringLiteral("camera"), cameraStateName(camera.state)},
         {QStringLiteral("model"), camera.model},
         {QStringLiteral("identity"), camera.identity},
         {QStringLiteral("fps"), connected ? tenths(camera.framesPerSecond) : QJsonValue(0.0)},
         {QStringLiteral("alarm"), alarmOn},
         {QStringLiteral("reference"), camera.reference},
         {QStringLiteral("correction"), tenths(camera.correctionCelsius)},
         {QStringLiteral("offset"), tenths(camera.offsetCelsius)},
         {QStringLiteral("time"), isoTimeWithOffset(now)}},
        camera);
    status = withAlarmThreshold(status, camera);
    if (!videoUrl.trimmed().isEmpty())
        status.insert(QStringLiteral("video"), videoUrl.trimmed());
    return compact(status);
}

QByteArray lastWillPayload(const QString& stationName) {
    return compact(offlineFields(stationName));
}

QByteArray offlinePayload(const QDateTime& now, const QString& stationName) {
    QJsonObject payload = offlineFields(stationName);
    payload.insert(QStringLiteral("time"), isoTimeWithOffset(now));
    return compact(payload);
}

QByteArray alarmPayload(const SiteAlarmEpisode& episode, bool alarmOn) {
    QJsonArray snapshots;
    for (const QString& file : episode.snapshotFiles)
        snapshots.append(QFileInfo(file).fileName());
    QJsonObject object{{QStringLiteral("alarm"), alarmOn},
                       {QStringLiteral("start"), isoTimeWithOffset(episode.start)},
                       {QStringLiteral("highestCelsius"), tenths(episode.highestCelsius)},
                       {QStringLiteral("snapshots"), snapshots}};
    if (!alarmOn)
        object.insert(QStringLiteral("end"), isoTimeWithOffset(episode.end));
    return compact(object);
}

bool isJournalledAlarmPayload(const QByteArray& payload, const QDateTime& now) {
    constexpr int largestAlarmPayloadBytes = 64 * 1024;
    if (payload.size() > largestAlarmPayloadBytes)
        return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    // A clock set back a little must not drop a real alarm: a minute of slack.
    const QDateTime latest = now.addSecs(60);
    const auto validTime = [&](const QString& key, QDateTime& time) {
        const QJsonValue value = object.value(key);
        time = QDateTime::fromString(value.toString(), Qt::ISODate);
        return value.isString() && time.isValid() && time <= latest;
    };
    QDateTime start, end;
    if (!object.value(QStringLiteral("alarm")).isBool() || !validTime(QStringLiteral("start"), start))
        return false;
    const QJsonValue highest = object.value(QStringLiteral("highestCelsius"));
    if (!highest.isDouble() && !highest.isNull())
        return false;
    const QJsonValue snapshots = object.value(QStringLiteral("snapshots"));
    if (!snapshots.isArray())
        return false;
    for (const QJsonValue& name : snapshots.toArray())
        if (!name.isString() || name.toString().contains(QLatin1Char('/')))
            return false;
    if (object.value(QStringLiteral("alarm")).toBool())
        return true;
    return validTime(QStringLiteral("end"), end) && end >= start;
}

QByteArray logPayload(const SiteLogEntry& entry) {
    return compact({{QStringLiteral("time"), isoTimeWithOffset(entry.time, true)},
                    {QStringLiteral("type"), logTypeName(entry.type)},
                    {QStringLiteral("message"), entry.message},
                    {QStringLiteral("code"), entry.code}});
}

SiteLogEntry siteLogEntry(const LogEntry& entry) {
    QDateTime time = QDateTime::fromString(entry.timeText, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (!time.isValid())
        time = QDateTime::currentDateTime();
    return {time, entry.type, entry.message, entry.code};
}

} // namespace calidra
