#pragma once
// What the camera connection shows to the operator and reads from the operator's pane.

#include <QString>
#include <QStringList>

namespace calidra {

class ConnectionFrontEnd {
public:
    virtual ~ConnectionFrontEnd() = default;
    // The large temperature and the maximum and minimum lines of the pane.
    virtual void setReadouts(const QString& large, const QString& maximum, const QString& minimum) = 0;
    // The unit the pane shows temperatures in, and the text of its unit label.
    virtual bool showsFahrenheit() = 0;
    virtual QString unitLabelText() = 0;
    // The offset the operator typed, sent to a camera that offers the offset node.
    virtual QString offsetFieldText() = 0;
    // The NUC interval field, in seconds.
    virtual QString nucIntervalText() = 0;
    // The camera's palette position in the pane's list; -1 clears the selection.
    virtual void selectPalette(int index) = 0;
    // A camera without the offset node: the mode list on Normal and locked, no handler run.
    virtual void forceNormalMode() = 0;
    // The (hidden) list of cameras, one entry per reported camera.
    virtual void setCameraEntries(const QStringList& entries) = 0;
};

} // namespace calidra
