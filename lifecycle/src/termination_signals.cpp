#include "lifecycle/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace calidra {
namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end and quits.
int signalPipe[2] = {-1, -1};

void forwardSignal(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
    // Only the first signal starts the count: later ones must not put the end off.
    static volatile sig_atomic_t counting = 0;
    if (!counting) {
        counting = 1;
        ::alarm(orderlyEndSeconds);
    }
}

void cutShort(int) {
    static const char message[] = "The orderly end took too long; the program ends now.\n";
    const ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    ::_exit(1);
}

} // namespace

bool quitOnTerminationSignals(QCoreApplication& application) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char drained[16];
        while (::read(signalPipe[0], drained, sizeof drained) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool hooked = true;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        hooked = ::sigaction(signalNumber, &action, nullptr) == 0 && hooked;
    struct sigaction timeUp {};
    timeUp.sa_handler = cutShort;
    sigemptyset(&timeUp.sa_mask);
    hooked = ::sigaction(SIGALRM, &timeUp, nullptr) == 0 && hooked;
    ::signal(SIGPIPE, SIG_IGN);
    return hooked;
}

} // namespace calidra
