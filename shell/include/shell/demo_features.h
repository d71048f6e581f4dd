#pragma once
// The table the views pane is filled from: which views exist, their captions and how to make them.
// The application fills it; the shell knows views only as CCalidraView.

#include <QString>

#include <vector>

class CCalidraView;
class QObject;
class QStandardItem;
class QWidget;

namespace calidra {

class EventLog;
class SettingsSection;

// What a view may use of the main window when it is made.
struct ViewEnvironment {
    QWidget* parent = nullptr;
    // Entries from the GUI thread via WriteLog, from camera threads via handToOwner.
    EventLog* log = nullptr;
    // The application's settings section, already at its location.
    SettingsSection* settings = nullptr;
    // What the application made for its views to share (Calidra: its station); the shell only
    // hands it on. It outlives every view.
    QObject* shared = nullptr;
};

// Makes one view; nullptr when the view cannot be made (the main window then keeps an empty slot).
using ViewClass = CCalidraView* (*)(const ViewEnvironment& environment);

} // namespace calidra

struct CDemoFeature {
    static constexpr int viewsGroup = 0;

    int group = viewsGroup;
    int viewNumber = 0; // assigned while the views pane is filled
    QString caption;
    calidra::ViewClass viewClass = nullptr;
    QStandardItem* treeItem = nullptr; // set while the views pane is filled
};
