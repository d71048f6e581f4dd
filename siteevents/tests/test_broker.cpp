#include "test_broker.h"

#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace calidra::test {

int freeLoopbackPort() {
    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(descriptor);
    return port;
}

namespace {

bool accepting(int port) {
    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    const bool connected = ::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(descriptor);
    return connected;
}

} // namespace

TestBroker::TestBroker(QString folder, QStringList extraConfig)
    : folder_(std::move(folder)), extraConfig_(std::move(extraConfig)), port_(freeLoopbackPort()),
      secondPort_(freeLoopbackPort()) {}

TestBroker::~TestBroker() {
    stop();
}

bool TestBroker::start() {
    QStringList config{
        QStringLiteral("listener %1 127.0.0.1").arg(port_), QStringLiteral("persistence true"),
        QStringLiteral("queue_qos0_messages true"), QStringLiteral("persistence_location %1/").arg(folder_),
        QStringLiteral("log_dest file %1/broker.log").arg(folder_),
        // Started by root, the broker would otherwise become a user who cannot read the folder.
        QStringLiteral("user %1").arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name))};
    if (extraConfig_.filter(QStringLiteral("allow_anonymous")).isEmpty())
        config << QStringLiteral("allow_anonymous true");
    for (QString line : extraConfig_)
        config << line.replace(QStringLiteral("%SECOND_PORT%"), QString::number(secondPort_));
    QFile file(folder_ + QStringLiteral("/broker.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.join('\n').toUtf8() + '\n') < 0)
        return false;
    file.close();
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    process_.start(program, {QStringLiteral("-c"), file.fileName()});
    if (!process_.waitForStarted(5000))
        return false;
    return waitFor([this] { return accepting(port_); });
}

void TestBroker::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate(); // a clean stop saves the sessions of named desks
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

int TestBroker::connectionsLogged() const {
    QFile log(folder_ + QStringLiteral("/broker.log"));
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("New connection from")) : 0;
}

void TestBroker::freeze() {
    kill(pid_t(process_.processId()), SIGSTOP);
}

void TestBroker::crash() {
    process_.kill();
    process_.waitForFinished(5000);
}

Desk::Desk(int port, const QString& clientId, const QString& caFile) {
    mosquitto_lib_init();
    const QByteArray id = clientId.toUtf8();
    client_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), id.isEmpty(), this);
    mosquitto_message_callback_set(client_, &Desk::received);
    mosquitto_connect_callback_set(client_, [](mosquitto* client, void* self, int result) {
        if (result == 0 && mosquitto_subscribe(client, nullptr, "calidra/#", 0) == MOSQ_ERR_SUCCESS)
            ++static_cast<Desk*>(self)->connections_;
    });
    if (!caFile.isEmpty())
        mosquitto_tls_set(client_, caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    mosquitto_connect_async(client_, "127.0.0.1", port, 10);
    mosquitto_loop_start(client_);
}

Desk::~Desk() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

void Desk::received(mosquitto*, void* self, const mosquitto_message* message) {
    auto* desk = static_cast<Desk*>(self);
    DeskMessage copy{
        QString::fromUtf8(message->topic),
        QJsonDocument::fromJson(QByteArray(static_cast<const char*>(message->payload), message->payloadlen))
            .object(),
        message->retain};
    std::lock_guard<std::mutex> lock(desk->mutex_);
    desk->messages_.push_back(copy);
}

std::vector<DeskMessage> Desk::messages(const QString& topicEnd) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeskMessage> matching;
    for (const DeskMessage& message : messages_) {
        if (message.topic.endsWith(topicEnd))
            matching.push_back(message);
    }
    return matching;
}

bool Desk::waitForCount(const QString& topicEnd, std::size_t count,
                        std::chrono::milliseconds deadline) const {
    return waitFor([&] { return messages(topicEnd).size() >= count; }, deadline);
}

} // namespace calidra::test
