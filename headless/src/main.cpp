// calidra-headless: the screening loop of the station without any window.

#include "headless_options.h"
#include "headless_station.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

int signalPipe[2] = {-1, -1};

void forwardSignal(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calidra-headless"));

    calidra::HeadlessOptions options;
    QString error;
    switch (calidra::parseHeadlessOptions(application.arguments().mid(1), options, error)) {
    case calidra::OptionsOutcome::ShowHelp:
        std::fputs(calidra::headlessUsage().toUtf8().constData(), stdout);
        return 0;
    case calidra::OptionsOutcome::Invalid:
        std::fprintf(stderr, "calidra-headless: %s\n%s", error.toUtf8().constData(),
                     calidra::headlessUsage().toUtf8().constData());
        return 2;
    case calidra::OptionsOutcome::Run:
        break;
    }

    // Signals become an event in the loop: the station then stops in order. A second signal
    // during that short stop changes nothing.
    if (::pipe(signalPipe) != 0)
        return 1;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = forwardSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &application, [&] {
        char drained[16];
        const ssize_t ignored = ::read(signalPipe[0], drained, sizeof drained);
        (void)ignored;
        QCoreApplication::quit();
    });

    // The operator's settings of the windowed station.
    const std::unique_ptr<calidra::SettingsStore> settings =
        calidra::SettingsStore::forApplication(QStringLiteral("Calidra"));
    calidra::LineWriter out(stdout);
    calidra::HeadlessStation station(options, *settings, QCoreApplication::applicationDirPath(), out);
    station.start();
    if (options.seconds > 0)
        QTimer::singleShot(int(options.seconds * 1000), &application, &QCoreApplication::quit);
    application.exec();
    station.stop();
    return 0;
}
