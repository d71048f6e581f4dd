#pragma once
// What the camera connection asks of the station around it and tells it.

#include <QStringList>

namespace calidra {

class ConnectionFrontEnd {
public:
    virtual ~ConnectionFrontEnd() = default;
    // The operator's offset, sent to a camera that offers the offset node when it is opened.
    virtual double userOffsetCelsius() = 0;
    // The operator's NUC interval; 0 or less: no periodic NUC.
    virtual int nucIntervalMs() = 0;
    // The camera's palette position, once it is opened; -1 when it cannot be read.
    virtual void selectPalette(int index) = 0;
    // A camera without the offset node was started: the temperature mode is Normal, locked.
    virtual void forceNormalMode() = 0;
    // The list of cameras, one entry per reported camera.
    virtual void setCameraEntries(const QStringList& entries) = 0;
    // Every 500 ms, before the watchdog looks at the stream: time to refresh the read-outs.
    virtual void readoutDue() = 0;
    // A camera was connected, lost or closed.
    virtual void connectionChanged() {}
    // The connected camera was unplugged, or its stream fell silent past the watchdog's limit;
    // told before the watchdog restarts the stream.
    virtual void signalLost() {}
};

} // namespace calidra
