#include "liveview/offset_confirmation.h"

#include <QAbstractButton>
#include <QPushButton>

namespace calidra {
namespace {

// The offset box's own form: the camera takes its offset in Celsius whatever the shown unit.
QString celsiusText(double celsius) {
    return QString::asprintf("%.1f", celsius) + QStringLiteral(" °C");
}

} // namespace

OffsetConfirmation::OffsetConfirmation(double inForceCelsius, double measuredCelsius, QWidget* parent)
    : QMessageBox(parent) {
    setObjectName(QStringLiteral("offsetConfirmation"));
    setIcon(QMessageBox::Warning);
    setWindowTitle(tr("Measured offset"));
    setText(tr("The measurement found the offset %1; the offset in force is %2.")
                .arg(celsiusText(measuredCelsius), celsiusText(inForceCelsius)));
    setInformativeText(tr("A change of more than 1.0 °C: apply it only if the subject of the measurement "
                          "has a normal body temperature. Measured on a person with fever, it would hide "
                          "the fever of everybody after."));
    // Own buttons, so their captions follow the program's translations.
    apply_ = addButton(tr("Apply"), QMessageBox::AcceptRole);
    cancel_ = addButton(tr("Cancel"), QMessageBox::RejectRole);
    setDefaultButton(static_cast<QPushButton*>(cancel_));
    setEscapeButton(cancel_);
}

} // namespace calidra
