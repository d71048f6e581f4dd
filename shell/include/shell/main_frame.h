#pragma once
// The station's main window: toolbar, status bar, the "Views" and "Log" panes and the client area
// that shows one view at a time.

#include "shell/demo_features.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class CCalidraView;
class CLogBar;
class CViewsBar;
class QAction;
class QComboBox;
class QLabel;
class QStackedWidget;
class QTimer;

namespace calidra {
class EventLog;
class LockKeyReader;
class SettingsSection;
} // namespace calidra

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int themeComboWidth = 150; // at 96 dots per inch

    // shared goes to every view (ViewEnvironment::shared) and outlives the frame.
    CMainFrame(calidra::SettingsSection& settings, std::vector<CDemoFeature> features, calidra::EventLog& log,
               QObject* shared = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds toolbar, status bar, panes and the views (not yet initialised) and applies the stored
    // theme. False when a part could not be built.
    bool create();
    // Runs each view's initial update once; call after the frame is the program's main window.
    void initialUpdateViews();

    void SelectView(int viewNumber);
    // Takes back a view that left the client area for a while (full screen) and was given the
    // client area as its parent again; the shown view stays shown.
    void layOutViews();
    QWidget* clientArea() const;
    void OnColorTheme();
    void OnBack();
    void OnForward();

    int currentViewNumber() const { return currentViewNumber_; }
    int colorThemeIndex() const { return colorThemeIndex_; }
    // Entry i holds view number i + 1; nullptr where its view could not be made.
    const std::vector<CCalidraView*>& views() const { return views_; }
    CCalidraView* activeView() const;

    CViewsBar* viewsBar() const { return viewsBar_; }
    CLogBar* logBar() const { return logBar_; }
    QComboBox* themeCombo() const { return themeCombo_; }
    QAction* backAction() const { return back_; }
    QAction* forwardAction() const { return forward_; }
    QAction* statusBarAction() const { return statusBarToggle_; }
    QAction* exitAction() const { return exit_; }
    QLabel* lockKeyPane(int index) const { return lockKeyPanes_[index]; }
    // The status bar's line kept for the views (the live view's camera).
    QLabel* viewStatusPane() const { return viewStatus_; }

    // Replaces where Caps/Num/Scroll Lock are read from (tests).
    void setLockKeyReader(std::unique_ptr<calidra::LockKeyReader> reader);
    void refreshLockKeys();

private:
    bool createToolBar();
    bool createStatusBar();
    bool createPanes();
    void createViews();
    void updateNavigationCommands();
    void repaintWholeFrame();

    calidra::SettingsSection& settings_;
    std::vector<CDemoFeature> features_;
    calidra::EventLog& log_;
    QObject* shared_;
    CViewsBar* viewsBar_ = nullptr;
    CLogBar* logBar_ = nullptr;
    QStackedWidget* clientArea_ = nullptr;
    CCalidraView* templateView_ = nullptr;
    std::vector<CCalidraView*> views_;
    int currentViewNumber_ = 1;
    int colorThemeIndex_;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    QAction* statusBarToggle_ = nullptr;
    QAction* exit_ = nullptr;
    QComboBox* themeCombo_ = nullptr;
    QLabel* lockKeyPanes_[3] = {};
    QLabel* viewStatus_ = nullptr;
    QTimer* lockKeyTimer_ = nullptr;
    std::unique_ptr<calidra::LockKeyReader> lockKeys_;
};
