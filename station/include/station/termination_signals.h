#pragma once
// SIGINT and SIGTERM end the event loop, so the station shuts down in order (camera stopped and
// closed, library down) instead of dying mid-frame. Further signals during that change nothing.

class QCoreApplication;

namespace calidra {

// False when the signal pipe cannot be made; the default signal handling then stays.
bool quitOnTerminationSignals(QCoreApplication& application);

} // namespace calidra
