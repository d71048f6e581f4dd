#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, a service stop, a logout) end the event loop, so a program
// of the station shuts down in order instead of dying mid-frame or holding its lock. Further
// signals during that change nothing. SIGPIPE is ignored: a reader that went away is an error
// result, not the end of the program.

class QCoreApplication;

namespace calidra {

// False when the signals could not be hooked; the default signal handling then stays.
bool quitOnTerminationSignals(QCoreApplication& application);

} // namespace calidra
