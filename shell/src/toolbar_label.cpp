#include "shell/toolbar_label.h"

#include <QPainter>
#include <QStyle>

CToolbarLabel::CToolbarLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setContentsMargins(6, 0, 6, 0);
    setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
}

void CToolbarLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPalette enabledLook = palette();
    enabledLook.setCurrentColorGroup(QPalette::Active);
    style()->drawItemText(&painter, contentsRect(), alignment(), enabledLook, true, text(),
                          QPalette::WindowText);
}
