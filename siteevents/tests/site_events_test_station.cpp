// A station reduced to its site events, for the tests that kill the publishing process.
// Arguments: broker port, station name, pending-alarms file, keep-alive seconds.
// Standard input: "on N" / "off N" for the alarm episode N; end of input stops cleanly.
// Standard output: "connected" once the broker took the connection, "queued N" after an input.

#include "siteevents/site_events_publisher.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

using namespace calidra;

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 5)
        return 2;
    SiteEventsSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = std::atoi(argv[1]);
    settings.stationName = QString::fromLocal8Bit(argv[2]);
    settings.pendingAlarmsFile = QString::fromLocal8Bit(argv[3]);
    settings.keepAliveSeconds = std::atoi(argv[4]);
    settings.firstRetryDelayMs = 200;
    settings.maxRetryDelayMs = 1000;

    SiteEventsPublisher publisher(settings);
    QObject::connect(&publisher, &SiteEventsPublisher::connectedChanged, [](bool connected) {
        if (connected) {
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    publisher.start();
    publisher.setCameraStatus(
        {SiteCameraState::Connected, QStringLiteral("TestModel"), QStringLiteral("164-0001"), 9.0});

    std::string command;
    int episode = 0;
    while (std::cin >> command >> episode) {
        SiteAlarmEpisode values;
        values.start = QDateTime::currentDateTime();
        values.highestCelsius = 38.2;
        values.snapshotFiles = QStringList{QStringLiteral("episode-%1.jpg").arg(episode)};
        if (command == "on") {
            publisher.alarmOn(values);
        } else {
            values.end = values.start;
            publisher.alarmOff(values);
        }
        std::printf("queued %d\n", episode);
        std::fflush(stdout);
    }
    return 0;
}
