#include "liveview/live_viewer.h"

#include "eventlog/event_log.h"
#include "pipeline/frame_settings.h"
#include "pipeline/snapshot_writer.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>

#include <cstdio>

namespace calidra {

CLiveViewer::CLiveViewer(Environment environment, QWidget* parent)
    : CCalidraView(liveViewerTemplateId, parent), environment_(std::move(environment)),
      host_(std::make_unique<StationHost>(sound_, environment_.programFolder)),
      pipeline_(std::make_unique<FramePipeline>(*host_)), programs_(environment_.programFolder),
      receiver_(std::make_unique<PipelineReceiver>(*pipeline_, *host_)) {
    picture_ = new PictureArea(this);
    picture_->setSource(host_.get());
    connect(picture_, &PictureArea::leftDoubleClicked, this, &CLiveViewer::toggleFullView);
    connect(host_.get(), &StationHost::alarmStateChanged, this, &CLiveViewer::onAlarmStateChanged,
            Qt::QueuedConnection);
    connect(host_.get(), &StationHost::offsetMeasuredText, this, &CLiveViewer::onOffsetMeasured,
            Qt::QueuedConnection);
    measurementTimer_.setSingleShot(true);
    connect(&measurementTimer_, &QTimer::timeout, this, [this] { pipeline_->stopMeasurement(); });
    qApp->installEventFilter(this);
}

CLiveViewer::~CLiveViewer() {
    qApp->removeEventFilter(this);
    // Whether the picture keeps up with the camera, for a person checking the station.
    if (qEnvironmentVariableIsSet("CALIDRA_PICTURE_STATS"))
        std::fprintf(stderr, "pictures: %llu handed over, %llu taken, %llu painted\n",
                     static_cast<unsigned long long>(pipeline_->shownFrameCount()),
                     static_cast<unsigned long long>(picture_->picturesTaken()),
                     static_cast<unsigned long long>(picture_->picturesPainted()));
    // Camera first, so no frame reaches the pipeline or the pane while they go; then the pane,
    // then the camera library.
    if (connection_)
        connection_->CloseCamera();
    host_->setViewWindowExists(false);
    delete paneArea_;
    paneArea_ = nullptr;
    pane_ = nullptr;
    if (connection_)
        connection_->shutdown();
}

void CLiveViewer::OnInitialUpdate() {
    CCalidraView::OnInitialUpdate();
    if (pane_ == nullptr) {
        // The pane scrolls when the window is lower than its controls, so every control stays
        // within the operator's reach.
        paneArea_ = new QScrollArea(this);
        paneArea_->setFrameShape(QFrame::NoFrame);
        paneArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        pane_ = new CLiveViewerCtrl(*this, *environment_.settings);
        pane_->setFixedSize(CLiveViewerCtrl::paneWidth - paneScrollBarAllowance,
                            CLiveViewerCtrl::contentHeight);
        paneArea_->setWidget(pane_);
        connection_ =
            std::make_unique<CameraConnection>(*this, *receiver_, *environment_.log, environment_.timings);
        paneArea_->setGeometry(0, 0, 100, 100);
        paneArea_->show();
        const QString pictures = environment_.programFolder + QStringLiteral("/pictures/");
        pane_->alarmAnimation().load(pictures + QStringLiteral("alarm_animation.png"), 207);
        pane_->banner().load(pictures + QStringLiteral("pane_banner.png"), 380);
    }
    connection_->initialise();
    pane_->LoadSettingsIntoLists();
    pane_->LoadSettingsIntoFields();
    pane_->detectTestField()->hide();
    pane_->cameraSettingButton()->hide();
    layoutChildren();
    operatorValuesChanged();
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

bool CLiveViewer::eventFilter(QObject* watched, QEvent* event) {
    // The view's own keys, wherever the focus is inside it.
    if (event->type() == QEvent::KeyRelease && isVisible()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && (widget == this || isAncestorOf(widget))) {
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

void CLiveViewer::onAlarmStateChanged(bool alarmOn) {
    if (pane_ == nullptr)
        return;
    if (alarmOn)
        pane_->alarmAnimation().play(alarmFrameIntervalMs);
    else
        pane_->alarmAnimation().stop();
}

void CLiveViewer::onOffsetMeasured(const QString& offsetText) {
    measurementTimer_.stop();
    if (pane_ != nullptr)
        pane_->setOffsetText(offsetText);
}

bool CLiveViewer::cameraOpen() {
    return connection_ && connection_->handle() != nullptr;
}

bool CLiveViewer::userCompensationSupported() {
    return connection_ && connection_->userCompensationSupported();
}

void CLiveViewer::setCameraNodeFloat(const QString& node, double value) {
    if (!cameraOpen())
        return;
    svkSetNodeFloat(connection_->handle(), node.toUtf8().constData(), value);
}

void CLiveViewer::setCameraNodeEnum(const QString& node, const QString& entry) {
    if (!cameraOpen())
        return;
    svkSetNodeEnum(connection_->handle(), node.toUtf8().constData(), entry.toUtf8().constData());
}

void CLiveViewer::setMeasuring(bool measuring) {
    if (measuring) {
        startMeasurement();
        return;
    }
    pipeline_->stopMeasurement();
    measurementTimer_.stop();
}

void CLiveViewer::startMeasurement() {
    pipeline_->startMeasurement();
    measurementTimer_.start(measurementTimeoutMs);
}

void CLiveViewer::SetNucInterval(int intervalMs) {
    if (connection_)
        connection_->SetNucInterval(intervalMs);
}

void CLiveViewer::setFontSize(int position) {
    fontSize_ = position;
    operatorValuesChanged();
}

void CLiveViewer::setAlarmEvent(int position) {
    alarmEvent_ = position;
    operatorValuesChanged();
}

void CLiveViewer::setAlarmType(int position) {
    alarmType_ = position;
    operatorValuesChanged();
}

void CLiveViewer::showCameraDialog() {
    if (cameraOpen())
        svkShowControlDialog(connection_->handle());
}

void CLiveViewer::LaunchMaskEditor() {
    programs_.LaunchMaskEditor([this](const QString& path) {
        bool written = false;
        pipeline_->withCleanCopy([&](const cv::Mat& clean) {
            written = writeJpegAtomically(path.toStdString(), clean, snapshotJpegQuality);
        });
        return written;
    });
}

void CLiveViewer::LaunchIpTool() {
    programs_.LaunchIpTool();
}

void CLiveViewer::StartStreamingServer() {
    if (!cameraOpen())
        return;
    SvkImageSize size{};
    svkGetImageSize(connection_->handle(), &size);
    programs_.StartStreamingServer(size.width, size.height);
}

void CLiveViewer::StopStreamingServer() {
    if (cameraOpen())
        programs_.StopStreamingServer();
}

void CLiveViewer::operatorValuesChanged() {
    if (pane_ == nullptr)
        return;
    OperatorSettings settings;
    FrameSettingsTexts texts;
    texts.detectionTemperature = pane_->detectionTemperatureText().toStdString();
    texts.alarmTemperature = pane_->alarmTemperatureText().toStdString();
    texts.alarmSavePeriod = pane_->alarmSavePeriodText().toStdString();
    texts.minimumRegionArea = pane_->detectTestText().toStdString();
    settings.unit = pane_->paneUnit() == 1 ? TemperatureUnit::Fahrenheit : TemperatureUnit::Celsius;
    settings.frame = readFrameSettings(texts, settings.unit);
    settings.paletteNumber = pane_->paletteIndex();
    settings.fontSize = fontSize_;
    settings.alarmType = alarmType_;
    settings.alarmEvent = alarmEvent_;
    host_->publishOperatorSettings(settings);
}

} // namespace calidra

namespace calidra {

void CLiveViewer::setReadouts(const QString& large, const QString& maximum, const QString& minimum) {
    if (pane_ != nullptr)
        pane_->setReadouts(large, maximum, minimum);
}

bool CLiveViewer::showsFahrenheit() {
    return pane_ != nullptr && pane_->paneUnit() == 1;
}

QString CLiveViewer::unitLabelText() {
    return pane_ != nullptr ? pane_->unitLabelText() : QString();
}

QString CLiveViewer::offsetFieldText() {
    return pane_ != nullptr ? pane_->offsetField()->text() : QString();
}

QString CLiveViewer::nucIntervalText() {
    return pane_ != nullptr ? pane_->nucIntervalText() : QString();
}

void CLiveViewer::selectPalette(int index) {
    if (pane_ != nullptr)
        pane_->selectPalette(index);
}

void CLiveViewer::forceNormalMode() {
    if (pane_ != nullptr)
        pane_->forceNormalMode();
}

void CLiveViewer::setCameraEntries(const QStringList& entries) {
    if (pane_ == nullptr)
        return;
    pane_->cameraList().clear();
    pane_->cameraList().addItems(entries);
}

} // namespace calidra
