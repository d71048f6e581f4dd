#include "shell/placeholder_view.h"

#include <QLabel>
#include <QVBoxLayout>

CPlaceholderView::CPlaceholderView(const QString& heading, const QString& explanation, QWidget* parent)
    : CCalidraView(blankTemplateId, parent), heading_(new QLabel(heading, this)),
      explanation_(new QLabel(explanation, this)) {
    QFont headingFont = heading_->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.6);
    headingFont.setBold(true);
    heading_->setFont(headingFont);
    heading_->setAlignment(Qt::AlignCenter);
    explanation_->setAlignment(Qt::AlignCenter);
    explanation_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(heading_);
    layout->addSpacing(8);
    layout->addWidget(explanation_);
    layout->addStretch(1);
}

QString CPlaceholderView::heading() const {
    return heading_->text();
}
QString CPlaceholderView::explanation() const {
    return explanation_->text();
}
