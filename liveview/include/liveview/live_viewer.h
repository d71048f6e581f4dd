#pragma once
// The live view: the thermal picture beside the options pane, laid out, switched to the whole
// screen and wired to the application's station, which it starts on its initial update and stops
// when it goes.

#include "liveview/alarm_banner.h"
#include "liveview/live_viewer_ctrl.h"
#include "liveview/offset_confirmation.h"
#include "liveview/picture_area.h"
#include "liveview/screening_notice.h"

#include "station/station.h"
#include "viewbase/calidra_view.h"

#include <QPointer>
#include <QScrollArea>

namespace calidra {

class CLiveViewer : public CCalidraView {
    Q_OBJECT
public:
    static constexpr int alarmFrameIntervalMs = 300;
    static constexpr int paneTop = 7;
    static constexpr int pictureMargin = 7;
    static constexpr int paneScrollBarAllowance = 16;
    // How long the status bar says why a typed value was refused.
    static constexpr int refusalShownMs = 6000;
    // How long the status bar says that a measured offset was not applied.
    static constexpr int declinedOffsetShownMs = 10000;

    // The station outlives the view; the pane's pictures come from programFolder/pictures.
    CLiveViewer(Station& station, QString programFolder, QWidget* parent = nullptr);
    ~CLiveViewer() override;

    void OnInitialUpdate() override;

    // The picture alone on the whole screen, above other windows, and back.
    void toggleFullView();
    void leaveFullView();
    bool fullView() const { return fullView_; }

    CLiveViewerCtrl* pane() const { return pane_; }
    // The column the pane lives in; it scrolls when the view is lower than the pane.
    QWidget* paneArea() const { return paneArea_; }
    PictureArea* pictureArea() const { return picture_; }
    ScreeningNotice* screeningNotice() const { return notice_; }
    // Over the picture in full view while the alarm is on.
    AlarmBanner* alarmBanner() const { return banner_; }
    // The open question about a measured offset, or null.
    OffsetConfirmation* offsetConfirmation() const { return offsetQuestion_; }

    // The status bar's camera line: "label [identity] model", or "No camera".
    static QString cameraStatusText(const CameraState& state);
    // folder + baseName + "_<language>.png" for the interface language when it exists, else
    // folder + baseName + ".png".
    static QString localizedPicture(const QString& folder, const QString& baseName);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createPane();
    void layoutChildren();
    void onAlarmChanged(bool alarmOn);
    void onReadouts(const Readouts& readouts);
    void showAlarmBannerWhenDue();
    void askOffsetConfirmation(double inForceCelsius, double measuredCelsius, const QString& offsetText);
    bool withinOwnWindow(const QWidget* widget) const;

    Station& station_;
    QString programFolder_;
    CLiveViewerCtrl* pane_ = nullptr;
    QScrollArea* paneArea_ = nullptr;
    PictureArea* picture_ = nullptr;
    ScreeningNotice* notice_ = nullptr;
    AlarmBanner* banner_ = nullptr;
    bool alarmOn_ = false;
    QPointer<OffsetConfirmation> offsetQuestion_;
    bool fullView_ = false;
    QString shownRefusal_; // the last refusal sent to the status bar, until an entry is taken
    QPointer<QWidget> savedParent_;
    int savedStackIndex_ = -1;
};

} // namespace calidra
