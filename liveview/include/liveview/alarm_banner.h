#pragma once
// The alarm said over the picture while the view fills the screen: the options pane with its
// animation is hidden then, and a one-pixel red outline is easily missed from across a hall.
// A widget above the picture, never drawn into the frame, so snapshots and the stream stay as
// they are.

#include <QLabel>

namespace calidra {

class AlarmBanner : public QLabel {
    Q_OBJECT
public:
    explicit AlarmBanner(QWidget* parent = nullptr);

    // The read-out of the person in view as the pane shows it ("38.3 °C"); empty: none known.
    void setReading(const QString& reading);
    // Across the top of the picture's rectangle, in the parent's coordinates.
    void placeOver(const QRect& picture);
};

} // namespace calidra
