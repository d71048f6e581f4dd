#pragma once
// Fixed text on the toolbar, drawn in its enabled look even when the toolbar is disabled.

#include <QLabel>

class CToolbarLabel : public QLabel {
    Q_OBJECT
public:
    CToolbarLabel(int commandId, const QString& text, QWidget* parent = nullptr);

    int commandId() const { return commandId_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int commandId_;
};
