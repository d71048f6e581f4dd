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

signals:
    // A passing message for the main window's status bar, shown for timeoutMs.
    void statusMessage(const QString& text, int timeoutMs);
    // That passing message no longer holds: gone from the status bar if it still shows.
    void statusMessageWithdrawn(const QString& text);
    // A line the main window keeps in its status bar until the view says otherwise.
    void statusTextChanged(const QString& text);

private:
    bool initialUpdateDone_ = false;
};
