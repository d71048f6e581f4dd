#include "shell/calidra_view.h"

#include <QPalette>

CCalidraView::CCalidraView(int templateId, QWidget* parent) : QWidget(parent), templateId_(templateId) {
    // The views stay white whatever the theme; their controls follow the theme.
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
}

void CCalidraView::OnInitialUpdate() {
    initialUpdateDone_ = true;
    if (QWidget* frame = window(); frame != this)
        frame->updateGeometry();
}

void CCalidraView::OnChangeVisualManager() {
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    update();
}
