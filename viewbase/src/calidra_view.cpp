#include "viewbase/calidra_view.h"

#include <QPalette>

namespace {

// The views stay white whatever the theme, with dark text on them; their controls follow the theme.
void keepWhite(QWidget& view) {
    QPalette background = view.palette();
    background.setColor(QPalette::Window, Qt::white);
    background.setColor(QPalette::WindowText, Qt::black);
    view.setPalette(background);
}

} // namespace

CCalidraView::CCalidraView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    keepWhite(*this);
}

void CCalidraView::OnInitialUpdate() {
    initialUpdateDone_ = true;
    if (QWidget* frame = window(); frame != this)
        frame->updateGeometry();
}

void CCalidraView::OnChangeVisualManager() {
    keepWhite(*this);
    update();
}
