#include "camera/camera_connection.h"

#include "camera/camera_models.h"

#include "threadaffinity/thread_affinity.h"

#include <QMetaObject>

namespace calidra {
namespace {

// Bands of frames dropped incomplete in the last minute: 0 below 10 (as the library's own stderr
// line, a few drops are no news), then one per power of ten.
int lossBand(double count) {
    int band = 0;
    for (double bound = 10; count >= bound && band < 6; bound *= 10)
        ++band;
    return band;
}

} // namespace

CameraConnection::CameraConnection(CameraLibrary& library, ConnectionFrontEnd& frontEnd,
                                   FrameReceiver& receiver, LogSink& log, ConnectionTimings timings,
                                   ConnectionClock* clock, QObject* parent)
    : QObject(parent), library_(library), frontEnd_(frontEnd), receiver_(receiver), log_(log),
      timings_(timings), clock_(clock != nullptr ? *clock : systemConnectionClock()),
      connectTimer_(clock_.createTimer(false, [this] { onConnectTimer(); })),
      openWaitTimer_(clock_.createTimer(true, [this] { tryNextQualifying(); })),
      readoutTimer_(clock_.createTimer(false, [this] { onReadoutTimer(); })),
      nucTimer_(clock_.createTimer(false, [this] { onNucTimer(); })),
      nucWindowTimer_(clock_.createTimer(true, [this] { onNucWindowEnd(); })) {}

CameraConnection::~CameraConnection() {
    shutdown();
}

bool CameraConnection::succeeded(int result, const char* failureText) {
    return cameraCallSucceeded(log_, result, QString::fromLatin1(failureText));
}

int CameraConnection::initialise() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const int result = library_.initialise();
    // A library that cannot start (a broken camera configuration, for one) leaves the station
    // searching for ever: the operator must be able to read why.
    succeeded(result, "svkInit Failed");
    libraryUp_ = true;
    EnumerateCameras();
    // Handed to this object's thread: the list and the log are only touched there.
    library_.setDeviceCheckHandler([this](bool added) {
        QMetaObject::invokeMethod(
            this, [this, added] { onDeviceCheck(added); }, Qt::QueuedConnection);
    });
    connectTimer_->start(timings_.connectFirstMs);
    readoutTimer_->start(timings_.readoutMs);
    onReadoutTimer();
    frontEnd_.connectionChanged();
    return result;
}

void CameraConnection::shutdown() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    connectTimer_->stop();
    openWaitTimer_->stop();
    readoutTimer_->stop();
    nucTimer_->stop();
    nucWindowTimer_->stop();
    pendingOpens_.clear();
    awaitingOpenResult_ = false;
    openedCameraLost_ = false;
    if (!libraryUp_)
        return;
    library_.setDeviceCheckHandler({});
    CloseCamera();
    library_.shutdown();
    libraryUp_ = false;
    connected_ = false;
    frontEnd_.connectionChanged();
}

QString CameraConnection::entryText(const CameraRecord& record) {
    return QStringLiteral("%1: [%2] %3").arg(record.label, record.identity, record.model);
}

QString CameraConnection::cameraText(const CameraRecord& record) {
    return QStringLiteral("%1 [%2] %3").arg(record.label, record.identity, record.model);
}

bool CameraConnection::qualifies(const CameraRecord& record, const QStringList& identityPrefixes) {
    if (!kindConnectsAutomatically(record.kind))
        return false;
    for (const QString& prefix : identityPrefixes)
        if (!prefix.isEmpty() && record.identity.startsWith(prefix))
            return true;
    return false;
}

QStringList CameraConnection::defaultIdentityPrefixes() {
    return {QStringLiteral("164"), QStringLiteral("165"), QStringLiteral("16F"), QStringLiteral("116F")};
}

QStringList CameraConnection::identityPrefixesFromText(const QString& text) {
    QStringList prefixes;
    for (const QString& part : text.split(QLatin1Char(',')))
        if (!part.trimmed().isEmpty())
            prefixes << part.trimmed();
    return prefixes.isEmpty() ? defaultIdentityPrefixes() : prefixes;
}

QStringList CameraConnection::cameraEntries() const {
    QStringList entries;
    for (const CameraRecord& record : cameraList_)
        entries << entryText(record);
    return entries;
}

void CameraConnection::EnumerateCameras() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    cameraList_.clear();
    int count = 0;
    // A failed count means no camera is reachable: not an event for the operator.
    if (library_.cameraCount(count) != 0 || count <= 0) {
        frontEnd_.setCameraEntries({});
        return;
    }
    std::vector<CameraRecord> records;
    if (!succeeded(library_.cameraInfo(count, records), "svkGetCameraInfo Failed")) {
        frontEnd_.setCameraEntries({});
        return;
    }
    cameraList_ = std::move(records);
    frontEnd_.setCameraEntries(cameraEntries());
}

int CameraConnection::OpenCamera(const CameraRecord& record) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    CloseCamera();
    std::unique_ptr<Camera> opened;
    const int result = library_.open(record, *this, opened);
    if (!succeeded(result, "svkOpen Failed"))
        return result;
    camera_ = std::move(opened);
    cameraRecord_ = record;
    lossBandTold_ = 0; // a new session counts afresh
    // A start that fails right after the open gets its first retry one silence later, not at once.
    receiver_.setLastFrameTick(clock_.nowMs());
    receiver_.cameraChanged(camera_.get());

    // Whether the camera offers the node is a question, not a failure.
    userCompensationSupported_ = camera_->offersUserOffset();
    if (userCompensationSupported_)
        succeeded(camera_->setUserOffset(frontEnd_.userOffsetCelsius()), "svkSetNodeFloat Failed");
    int palette = -1;
    frontEnd_.selectPalette(camera_->paletteIndex(palette) == 0 ? palette : -1);
    return 0;
}

void CameraConnection::CloseCamera() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (!camera_)
        return;
    receiver_.cameraChanged(nullptr);
    camera_.reset(); // returns once the camera's callbacks have stopped
    cameraUnplugged_ = false;
    nucTimer_->stop();
}

void CameraConnection::onConnectTimer() {
    connectTimer_->stop();
    if (connected_ || openWaitTimer_->isActive()) {
        connectTimer_->start(timings_.connectRepeatMs);
        return;
    }
    EnumerateCameras();
    pendingOpens_.clear();
    for (const CameraRecord& record : cameraList_)
        if (qualifies(record, identityPrefixes_))
            pendingOpens_.push_back(record);
    tryNextQualifying();
}

// One qualifying camera per step; the wait after each open runs on a timer, so the window
// keeps painting while the camera settles.
void CameraConnection::tryNextQualifying() {
    if (awaitingOpenResult_ && !pendingOpens_.empty()) {
        awaitingOpenResult_ = false;
        const int result = lastOpenResult_;
        const CameraRecord tried = pendingOpens_.front();
        pendingOpens_.erase(pendingOpens_.begin());
        // Unplugged while it settled: taking it as connected would leave the watchdog restarting
        // a dead camera for ever instead of searching again. Its unplug entry is already logged.
        const bool lost = openedCameraLost_;
        openedCameraLost_ = false;
        if (result == 0 && lost) {
            CloseCamera();
        } else if (result == 0) {
            connected_ = true;
            pendingOpens_.clear();
            // A healthy station says so: an empty log cannot be told from a silent one.
            log_.WriteLog(LogType::Information, QStringLiteral("Camera connected: ") + cameraText(tried), 0);
            frontEnd_.connectionChanged();
            StartAcquisition();
            connectTimer_->start(timings_.connectRepeatMs);
            return;
        } else {
            log_.WriteLog(
                LogType::Information,
                QStringLiteral(
                    "%1 Camera open error. Use Tevacfg to verify that the IP address is set correctly.")
                    .arg(tried.identity),
                result);
        }
    }
    if (pendingOpens_.empty()) {
        connectTimer_->start(timings_.connectRepeatMs);
        return;
    }
    lastOpenResult_ = OpenCamera(pendingOpens_.front());
    awaitingOpenResult_ = true;
    openedCameraLost_ = false;
    openWaitTimer_->start(timings_.openWaitMs);
}

int CameraConnection::StartAcquisition() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (!camera_)
        return 0;
    int width = 0;
    int height = 0;
    succeeded(camera_->imageSize(width, height), "svkGetImageSize Failed");
    imageWidth_ = width;
    imageHeight_ = height;
    receiver_.allocateBuffers(imageWidth_, imageHeight_);
    const CameraModelRules rules = rulesForModel(cameraRecord_.model);
    succeeded(camera_->setPixelFormat(rules.pixelFormat), "svkSetPixelFormat Failed");
    if (rules.nucSwitchedToManual) {
        // A camera without automatic NUC (many GigE and USB cameras) has nothing to switch to
        // manual: its missing nodes are not failures the operator should see at every connect.
        const auto nucSetting = [this](int result, const char* failureText) {
            if (result != unknownNodeResult)
                succeeded(result, failureText);
        };
        nucSetting(camera_->setNucMode(QStringLiteral("Manual")), "svkSetNodeEnum Failed");
        nucSetting(camera_->setNucAutoPeriodicTime(60), "svkSetNodeInt Failed");
        nucSetting(camera_->setNucAutoTemperature(10), "svkSetNodeInt Failed");
    }
    if (!userCompensationSupported_)
        frontEnd_.forceNormalMode();
    const int result = camera_->setAcquisition(true);
    if (!succeeded(result, "svkSetAcquisition Failed."))
        return result;
    receiver_.setLastFrameTick(clock_.nowMs());
    SetNucInterval(frontEnd_.nucIntervalMs());
    return 0;
}

int CameraConnection::StopAcquisition() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (!camera_)
        return 0;
    const int result = camera_->setAcquisition(false);
    // A camera already reported unplugged cannot stop: its failure tells the operator nothing.
    if (cameraUnplugged_ || succeeded(result, "svkSetAcquisition Failed."))
        nucTimer_->stop();
    return result;
}

void CameraConnection::SetNucInterval(int intervalMs) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    nucTimer_->stop();
    // A zero or negative interval would fire without pause: periodic NUC is off instead.
    if (intervalMs > 0)
        nucTimer_->start(intervalMs);
}

// Packet loss shows to the station only as silence and "Retry Acquisition.": the library's count
// names the cause. One Error when the count reaches a band higher than any logged since the drops
// last stopped (at 10, 100, 1000...), never again for the same or a lower band; one Information
// when the count is back to 0. Asked every readout round: the library answers from memory, and a
// camera that keeps no count (simulated, USB) answers unknownNodeResult and is left alone.
void CameraConnection::checkIncompleteFrames() {
    double count = 0;
    if (!camera_ || camera_->incompleteFramesLastMinute(count) != 0)
        return;
    const int band = lossBand(count);
    if (band > lossBandTold_) {
        lossBandTold_ = band;
        log_.WriteLog(LogType::Error,
                      QStringLiteral("%1 incomplete frames dropped in the last minute: packet loss on the "
                                     "camera's network?")
                          .arg(qint64(count)),
                      0);
    } else if (lossBandTold_ > 0 && count <= 0) {
        lossBandTold_ = 0;
        log_.WriteLog(LogType::Information, QStringLiteral("No incomplete frame in the last minute."), 0);
    }
}

void CameraConnection::onReadoutTimer() {
    frontEnd_.readoutDue();
    if (connected_)
        checkIncompleteFrames();
    if (nucRunning_)
        return;
    // Watchdog: differences in 32-bit arithmetic, so the 49-day wrap of the tick is harmless.
    const uint32_t tick = clock_.nowMs();
    if (connected_ && uint32_t(tick - receiver_.lastFrameTick()) > timings_.watchdogSilenceMs) {
        receiver_.setLastFrameTick(tick);
        log_.WriteLog(LogType::Event, QStringLiteral("Retry Acquisition."), 0);
        frontEnd_.signalLost();
        StopAcquisition();
        StartAcquisition();
    }
}

void CameraConnection::onNucTimer() {
    if (camera_)
        succeeded(camera_->runNuc(), "svkSetNodeCommand Failed");
    nucWindowTimer_->start(timings_.nucWindowMs);
    nucRunning_ = true;
    receiver_.setNucRunning(true);
}

void CameraConnection::onNucWindowEnd() {
    nucWindowTimer_->stop();
    nucRunning_ = false;
    receiver_.setNucRunning(false);
}

void CameraConnection::onDeviceCheck(bool added) {
    if (!libraryUp_)
        return; // handed over just before shutdown
    EnumerateCameras();
    log_.WriteLog(
        LogType::Event,
        added ? QStringLiteral("Device has been added.") : QStringLiteral("Device has been removed."), 0);
}

void CameraConnection::onUnplugged() {
    if (!libraryUp_)
        return;
    if (awaitingOpenResult_)
        openedCameraLost_ = true;
    EnumerateCameras();
    log_.WriteLog(LogType::Event, QStringLiteral("Selected camera was unplugged."), 0);
    const bool wasConnected = connected_;
    connected_ = false;
    if (camera_) {
        cameraUnplugged_ = true;
        nucTimer_->stop(); // a NUC of a camera that is gone could only fail
    }
    if (wasConnected)
        frontEnd_.signalLost();
    frontEnd_.connectionChanged();
}

void CameraConnection::frameArrived(const CameraFrame& frame) {
    receiver_.processFrame(frame);
}

void CameraConnection::unplugged() {
    QMetaObject::invokeMethod(
        this, [this] { onUnplugged(); }, Qt::QueuedConnection);
}

} // namespace calidra
