#pragma once
// How a station reaches the site's MQTT broker. Plain values: the station fills them from its
// settings store, so this library never reads settings itself.

#include <QString>

namespace calidra {

struct SiteEventsSettings {
    QString host;         // MqttHost; empty: site events are off and nothing is started
    int port = 1883;      // MqttPort
    bool useTls = false;  // MqttTls
    QString caFile;       // MqttCaFile; empty with TLS: the system's CA store
    QString user;         // MqttUser; empty: no user name
    QString passwordFile; // MqttPasswordFile: readable by its owner only, read at every connection attempt
    QString stationName;  // StationName; empty: the host name
    // Alarm messages the broker has not yet acknowledged, kept across restarts (the station
    // passes a file in ThermalAlarm/); empty: kept in memory only.
    QString pendingAlarmsFile;
    // Where the alarm snapshots named in the alarm messages are: the first of each alarm goes
    // to calidra/<station>/snapshot when snapshots is set.
    QString snapshotFolder;
    bool snapshots = true;              // MqttSnapshots
    QString videoUrl;                   // DeskVideoUrl: "video" in the status when set
    bool homeAssistantDiscovery = true; // HomeAssistantDiscovery
    QString homeAssistantPrefix = QStringLiteral("homeassistant"); // HomeAssistantPrefix

    int keepAliveSeconds = 30; // the broker shows a dead station offline within 1.5 times this (at least 5)
    int statusIntervalMs = 30000;
    int firstRetryDelayMs = 1000; // reconnection back-off, doubled after each failure up to the maximum
    int maxRetryDelayMs = 30000;
    int maxPendingAlarms = 1000;
    int shutdownWaitMs = 2000; // how long a clean stop waits for the broker to take "offline"

    bool enabled() const { return !host.trimmed().isEmpty(); }
};

// The station name used in topics: the setting, else the host name; characters MQTT reserves in
// topic names ('/', '+', '#', NUL) become '_' so that each station stays one topic level, and a
// name is cut to its first 100 characters. Any other text, Korean too, stays as it is (UTF-8).
QString siteStationName(const QString& configuredName);
// "calidra/<station>"
QString siteTopicPrefix(const QString& configuredName);

} // namespace calidra
