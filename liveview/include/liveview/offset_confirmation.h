#pragma once
// The question put to the operator before a measured offset far from the one in force is applied.
// Opened without blocking: the station keeps screening with the old offset until the answer.

#include <QMessageBox>

namespace calidra {

class OffsetConfirmation : public QMessageBox {
    Q_OBJECT
public:
    OffsetConfirmation(double inForceCelsius, double measuredCelsius, QWidget* parent);

    QAbstractButton* applyButton() const { return apply_; }
    QAbstractButton* cancelButton() const { return cancel_; }
    // Apply was the answer; Cancel, Esc and closing the window all keep the old offset.
    bool applied() const { return clickedButton() == apply_; }

private:
    QAbstractButton* apply_ = nullptr;
    QAbstractButton* cancel_ = nullptr;
};

} // namespace calidra
