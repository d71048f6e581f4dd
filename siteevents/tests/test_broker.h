#pragma once
// A real mosquitto broker on 127.0.0.1 for the tests, and a desk that subscribes to it.

#include "testsupport/wait.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace calidra::test {

int freeLoopbackPort();

class TestBroker {
public:
    // Config lines beyond the first listener; %SECOND_PORT% in them becomes a second free port.
    TestBroker(QString folder, QStringList extraConfig = {});
    ~TestBroker();
    bool start(); // on the same port as before when restarted
    void stop();
    void freeze(); // takes in, answers nothing
    void crash();  // no clean stop; the sessions of connected desks are lost
    int port() const { return port_; }
    int secondPort() const { return secondPort_; }
    // Connections the broker took, as its log tells: how often a station tried.
    int connectionsLogged() const;

private:
    QString folder_;
    QStringList extraConfig_;
    int port_;
    int secondPort_;
    QProcess process_;
};

struct DeskMessage {
    QString topic;
    QJsonObject payload;
    bool retained = false;
};

// Subscribes to calidra/#; a named desk keeps its session across broker restarts. It subscribes
// with QoS 0 (the broker queues those for it too): this broker version repeats the QoS 1 messages
// of a kept session after a restart, which would hide what the station itself sent.
class Desk {
public:
    explicit Desk(int port, const QString& clientId = {}, const QString& caFile = {});
    ~Desk();
    std::vector<DeskMessage> messages(const QString& topicEnd = {}) const;
    bool waitForCount(const QString& topicEnd, std::size_t count,
                      std::chrono::milliseconds deadline = kEventDeadline) const;
    int connections() const { return connections_; }

private:
    static void received(mosquitto*, void* self, const mosquitto_message* message);
    mosquitto* client_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<DeskMessage> messages_;
    std::atomic<int> connections_{0};
};

} // namespace calidra::test
