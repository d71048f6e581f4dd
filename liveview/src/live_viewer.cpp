#include "liveview/live_viewer.h"

#include <QApplication>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QStackedWidget>

#include <cstdio>

namespace calidra {

CLiveViewer::CLiveViewer(Station& station, QString programFolder, QWidget* parent)
    : CCalidraView(parent), station_(station), programFolder_(std::move(programFolder)) {
    picture_ = new PictureArea(this);
    picture_->setSource(&station_.pictures());
    picture_->setCameraSignal(station_.cameraSignal());
    station_.setViewWindowExists(true);
    connect(picture_, &PictureArea::leftDoubleClicked, this, &CLiveViewer::toggleFullView);
    notice_ = new ScreeningNotice(this);
    notice_->setReferenceState(station_.referenceStatus().state);
    connect(&station_, &Station::referenceStatusChanged, notice_,
            [notice = notice_](const ReferenceStatus& status) { notice->setReferenceState(status.state); });
    banner_ = new AlarmBanner(this);
    connect(&station_, &Station::alarmChanged, this, &CLiveViewer::onAlarmChanged);
    connect(&station_, &Station::readoutsChanged, this, &CLiveViewer::onReadouts);
    connect(&station_, &Station::measuredOffsetHeld, this, &CLiveViewer::askOffsetConfirmation);
    connect(&station_, &Station::cameraSignalChanged, picture_, &PictureArea::setCameraSignal);
    connect(&station_, &Station::cameraStateChanged, this,
            [this](const CameraState& state) { emit statusTextChanged(cameraStatusText(state)); });
    connect(&station_.values(), &OperatorValuesModel::entryRefused, this,
            [this](OperatorValuesModel::Field, const QString& reason) {
                shownRefusal_ = reason;
                emit statusMessage(reason, refusalShownMs);
            });
    connect(&station_.values(), &OperatorValuesModel::entryAccepted, this, [this] {
        if (shownRefusal_.isEmpty())
            return;
        emit statusMessageWithdrawn(shownRefusal_);
        shownRefusal_.clear();
    });
    qApp->installEventFilter(this);
}

CLiveViewer::~CLiveViewer() {
    qApp->removeEventFilter(this);
    // Whether the picture keeps up with the camera, for a person checking the station.
    if (qEnvironmentVariableIsSet("CALIDRA_PICTURE_STATS"))
        std::fprintf(stderr, "pictures: %llu handed over, %llu taken, %llu painted\n",
                     static_cast<unsigned long long>(station_.shownFrameCount()),
                     static_cast<unsigned long long>(picture_->picturesTaken()),
                     static_cast<unsigned long long>(picture_->picturesPainted()));
    // Acquisition stopped, the camera closed and the library down first, so no frame reaches the
    // pipeline or the picture while they go.
    station_.stop();
    station_.setViewWindowExists(false);
    delete paneArea_;
    paneArea_ = nullptr;
    pane_ = nullptr;
}

void CLiveViewer::OnInitialUpdate() {
    CCalidraView::OnInitialUpdate();
    if (pane_ == nullptr)
        createPane();
    station_.start();
    picture_->setCameraSignal(station_.cameraSignal());
    emit statusTextChanged(cameraStatusText(station_.cameraState()));
    layoutChildren();
}

QString CLiveViewer::cameraStatusText(const CameraState& state) {
    if (state.status != CameraState::Status::Connected)
        return tr("No camera");
    return QStringLiteral("%1 [%2] %3").arg(state.label, state.identity, state.model);
}

QString CLiveViewer::localizedPicture(const QString& folder, const QString& baseName) {
    // "alarm_animation_ko.png" where the interface language has its own; the English one otherwise.
    for (const QString& language : QLocale().uiLanguages()) {
        const QString code = QLocale(language).name().section(QLatin1Char('_'), 0, 0);
        const QString localized = folder + baseName + QLatin1Char('_') + code + QStringLiteral(".png");
        if (QFileInfo::exists(localized))
            return localized;
    }
    return folder + baseName + QStringLiteral(".png");
}

void CLiveViewer::createPane() {
    // The pane scrolls when the window is lower than its controls, so every control stays within
    // the operator's reach.
    paneArea_ = new QScrollArea(this);
    paneArea_->setFrameShape(QFrame::NoFrame);
    paneArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane_ = new CLiveViewerCtrl(station_.values());
    pane_->setFixedSize(CLiveViewerCtrl::paneWidth - paneScrollBarAllowance, CLiveViewerCtrl::contentHeight);
    paneArea_->setWidget(pane_);
    paneArea_->setGeometry(0, 0, 100, 100);
    paneArea_->show();
    const QString pictures = programFolder_ + QStringLiteral("/pictures/");
    pane_->alarmAnimation().load(localizedPicture(pictures, QStringLiteral("alarm_animation")), 207);
    pane_->banner().load(localizedPicture(pictures, QStringLiteral("pane_banner")), 380);

    Station* station = &station_;
    connect(pane_, &CLiveViewerCtrl::measureRequested, station, &Station::startMeasurement);
    connect(pane_, &CLiveViewerCtrl::maskingRequested, station, &Station::launchMaskEditor);
    connect(pane_, &CLiveViewerCtrl::ipSettingRequested, station, &Station::launchIpTool);
    connect(pane_, &CLiveViewerCtrl::cameraSettingRequested, station, &Station::showCameraDialog);
    connect(pane_, &CLiveViewerCtrl::startStreamingRequested, station, &Station::startStreamingServer);
    connect(pane_, &CLiveViewerCtrl::stopStreamingRequested, station, &Station::stopStreamingServer);
    connect(station, &Station::readoutsChanged, pane_, [pane = pane_](const Readouts& shown) {
        pane->setReadouts(shown.large, shown.maximum, shown.minimum);
    });
    connect(station, &Station::cameraListChanged, pane_, &CLiveViewerCtrl::setCameraEntries);
    connect(station, &Station::referenceStatusChanged, pane_,
            [pane = pane_, station](const ReferenceStatus& status) {
                pane->setReferenceStatus(status.state, status.correctionCelsius, station->values().unit());
            });
    connect(station, &Station::peopleTodayChanged, pane_, &CLiveViewerCtrl::setPeopleToday);
    pane_->setPeopleToday(station->peopleToday(), station->alarmsToday());
    connect(pane_, &CLiveViewerCtrl::resetBaselineRequested, station, &Station::resetBaseline);
    connect(station, &Station::baselineStatusChanged, pane_, &CLiveViewerCtrl::setBaselineStatus);
    pane_->setBaselineStatus(station->baselineStatus());
}

void CLiveViewer::layoutChildren() {
    const int width = this->width();
    const int height = this->height();
    if (fullView_) {
        if (paneArea_ != nullptr)
            paneArea_->setGeometry(0, 0, 0, 0);
        picture_->setGeometry(0, 0, width, height);
    } else {
        if (paneArea_ != nullptr)
            paneArea_->setGeometry(width - CLiveViewerCtrl::paneWidth, paneTop, CLiveViewerCtrl::paneWidth,
                                   height - paneTop);
        picture_->setGeometry(pictureMargin, pictureMargin, width - CLiveViewerCtrl::paneWidth - 10, height);
    }
    notice_->placeOver(picture_->geometry());
    banner_->placeOver(picture_->geometry());
    showAlarmBannerWhenDue();
    update();
}

void CLiveViewer::resizeEvent(QResizeEvent* event) {
    CCalidraView::resizeEvent(event);
    layoutChildren();
}

void CLiveViewer::toggleFullView() {
    if (fullView_) {
        leaveFullView();
        return;
    }
    savedParent_ = parentWidget();
    if (auto* stack = qobject_cast<QStackedWidget*>(parentWidget()))
        savedStackIndex_ = stack->indexOf(this);
    const QRect screen =
        (window()->screen() != nullptr ? window()->screen() : QGuiApplication::primaryScreen())->geometry();
    fullView_ = true;
    setParent(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(screen);
    layoutChildren();
    show();
    raise();
    activateWindow();
}

void CLiveViewer::leaveFullView() {
    if (!fullView_)
        return;
    fullView_ = false;
    hide();
    if (auto* stack = qobject_cast<QStackedWidget*>(savedParent_.data())) {
        stack->insertWidget(savedStackIndex_ < 0 ? stack->count() : savedStackIndex_, this);
        stack->setCurrentWidget(this);
    } else {
        setParent(savedParent_.data(), Qt::Widget);
    }
    show();
    layoutChildren();
    if (QWidget* frame = window())
        frame->update();
}

bool CLiveViewer::withinOwnWindow(const QWidget* widget) const {
    // The main window with its panes, floating ones included, or the view alone on the screen.
    const QWidget* top = widget->window();
    if (qobject_cast<const QDockWidget*>(top) != nullptr && top->parentWidget() != nullptr)
        top = top->parentWidget()->window();
    // In full view the main window may still hold the focus for a moment.
    return top == window() || (fullView_ && savedParent_ != nullptr && top == savedParent_->window());
}

bool CLiveViewer::eventFilter(QObject* watched, QEvent* event) {
    // The view's own keys, wherever the focus is in its window: the Views pane too.
    if (event->type() == QEvent::KeyRelease && isVisible()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && withinOwnWindow(widget)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat() && key->key() == Qt::Key_F2) {
                toggleFullView();
                return true;
            }
            if (!key->isAutoRepeat() && key->key() == Qt::Key_Escape && fullView_) {
                leaveFullView();
                return true;
            }
        }
    }
    return CCalidraView::eventFilter(watched, event);
}

void CLiveViewer::askOffsetConfirmation(double inForceCelsius, double measuredCelsius,
                                        const QString& offsetText) {
    delete offsetQuestion_; // a newer measurement replaces an unanswered question
    auto* question = new OffsetConfirmation(inForceCelsius, measuredCelsius, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    offsetQuestion_ = question;
    connect(question, &QDialog::finished, this, [this, question, offsetText] {
        if (question->applied()) {
            station_.confirmMeasuredOffset(offsetText);
            return;
        }
        station_.declineMeasuredOffset(offsetText);
        emit statusMessage(
            tr("Measured offset %1 °C not applied: the offset %2 °C stays in force.")
                .arg(offsetText, QString::asprintf("%.1f", station_.values().offsetInForceCelsius())),
            declinedOffsetShownMs);
    });
    question->open();
}

void CLiveViewer::onAlarmChanged(bool alarmOn) {
    alarmOn_ = alarmOn;
    showAlarmBannerWhenDue();
    if (pane_ == nullptr)
        return;
    if (alarmOn)
        pane_->alarmAnimation().play(alarmFrameIntervalMs);
    else
        pane_->alarmAnimation().stop();
}

void CLiveViewer::showAlarmBannerWhenDue() {
    // Beside the picture the pane's animation says it; alone on the screen, the banner.
    banner_->setVisible(fullView_ && alarmOn_);
    if (banner_->isVisible())
        banner_->raise();
}

void CLiveViewer::onReadouts(const Readouts& readouts) {
    // The person's read-out; while the alarm is on, the last one stays when they step out of view
    // or a NUC blanks it.
    if (!readouts.large.isEmpty() && readouts.large != QLatin1String("NUC"))
        banner_->setReading(readouts.large);
    else if (!alarmOn_)
        banner_->setReading(QString());
}

} // namespace calidra
