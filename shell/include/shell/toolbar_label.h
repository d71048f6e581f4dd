#pragma once
// Fixed text on the toolbar, drawn in its enabled look even when the toolbar is disabled.

#include <QLabel>

class CToolbarLabel : public QLabel {
    Q_OBJECT
public:
    explicit CToolbarLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
