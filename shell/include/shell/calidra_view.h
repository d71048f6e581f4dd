#pragma once
// The common base of the station's views: a white form that the main window shows one at a time.

#include <QWidget>

class CCalidraView : public QWidget {
    Q_OBJECT
public:
    // The form's template number; 101 is the blank form.
    static constexpr int blankTemplateId = 101;

    explicit CCalidraView(int templateId = blankTemplateId, QWidget* parent = nullptr);

    int templateId() const { return templateId_; }

    // Run once by the main window after it exists; derived views extend it and call the base.
    virtual void OnInitialUpdate();
    bool initialUpdateDone() const { return initialUpdateDone_; }

    // The colour theme changed: controls pick up the new palette and the view repaints.
    virtual void OnChangeVisualManager();

private:
    int templateId_;
    bool initialUpdateDone_ = false;
};
