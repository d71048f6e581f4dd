#pragma once
// Ends the event loop on SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C), so the
// editor unwinds normally and releases its instance segment.

#include <QCoreApplication>

namespace zonara {

// Returns false when the signals could not be hooked; the editor then runs
// with the default signal handling.
bool quitOnTerminationSignals(QCoreApplication& application);

} // namespace zonara
