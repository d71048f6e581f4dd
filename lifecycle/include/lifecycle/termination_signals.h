#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, a service stop, a logout) end the event loop, so a program
// of the station shuts down in order instead of dying mid-frame or holding its lock. Further
// signals during that change nothing. An orderly end that has not finished within
// orderlyEndSeconds of the first signal (a worker stuck on something it should never have waited
// on) is cut short: the program says so on stderr and exits with status 1, so a service stop
// always stops it. SIGPIPE is ignored: a reader that went away is an error result, not the end of
// the program.

class QCoreApplication;

namespace calidra {

inline constexpr unsigned orderlyEndSeconds = 15;

// False when the signals could not be hooked; the default signal handling then stays.
bool quitOnTerminationSignals(QCoreApplication& application);

} // namespace calidra
