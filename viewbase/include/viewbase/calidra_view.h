#pragma once
// The common base of the station's views: a white form that the main window shows one at a time.

#include <QWidget>

class CCalidraView : public QWidget {
    Q_OBJECT
public:
    explicit CCalidraView(QWidget* parent = nullptr);

    // Run once by the main window after it exists; derived views extend it and call the base.
    virtual void OnInitialUpdate();
    bool initialUpdateDone() const { return initialUpdateDone_; }

    // The colour theme changed: controls pick up the new palette and the view repaints.
    virtual void OnChangeVisualManager();

private:
    bool initialUpdateDone_ = false;
};
