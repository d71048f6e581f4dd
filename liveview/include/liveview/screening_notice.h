#pragma once
// The notice over the live picture while temperature mode Reference pauses screening: without it
// an operator would see boxed people and no numbers and not know why. A widget of its own above
// the picture, so it needs no font in the frame pipeline and speaks the operator's language.

#include "pipeline/reference_tracker.h"

#include <QLabel>

namespace calidra {

class ScreeningNotice : public QLabel {
    Q_OBJECT
public:
    explicit ScreeningNotice(QWidget* parent = nullptr);

    // Shown while searching or lost, hidden otherwise.
    void setReferenceState(ReferenceState state);
    // Across the lower part of the picture's rectangle, in the parent's coordinates.
    void placeOver(const QRect& picture);

private:
    QRect picture_;
};

} // namespace calidra
