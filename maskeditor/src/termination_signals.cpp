#include "termination_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zonara {

namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end and quits.
int signalSocket[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    const ssize_t written = ::write(signalSocket[0], &byte, 1);
    static_cast<void>(written);
}

} // namespace

bool quitOnTerminationSignals(QCoreApplication& application) {
    if (signalSocket[0] >= 0) {
        return true;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0) {
        return false;
    }
    ::fcntl(signalSocket[0], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        const ssize_t got = ::read(signalSocket[1], &byte, 1);
        static_cast<void>(got);
        QCoreApplication::quit();
    });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool hooked = true;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        hooked = ::sigaction(signalNumber, &action, nullptr) == 0 && hooked;
    }
    return hooked;
}

} // namespace zonara
