#include "camera/camera_connection.h"

#include "camera/monotonic_tick.h"

#include "pipeline/temperature_scale.h"
#include "settings/field_text.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

namespace calidra {

// The library may still be inside a notification while the connection goes away; the relay
// stays behind and simply finds nobody to hand the notification to.
struct CallbackRelay {
    std::mutex lock;
    CameraConnection* target = nullptr;
};

namespace {

// Relays are kept for the life of the program (a handful at most), so a late notification never
// meets freed memory.
CallbackRelay* newCallbackRelay() {
    static std::mutex registryLock;
    static std::vector<std::unique_ptr<CallbackRelay>> registry;
    std::lock_guard<std::mutex> guard(registryLock);
    registry.push_back(std::make_unique<CallbackRelay>());
    return registry.back().get();
}

constexpr const char* offsetNode = "UserCompensationParaB";
constexpr const char* paletteNode = "ImageColorPalette";
constexpr const char* directScaleModel = "KVX-340TRA";
constexpr int directScaleFormat = 104;
constexpr int cameraPictureFormat = 110;

QString fixedText(const char* text, std::size_t capacity) {
    return QString::fromLocal8Bit(text, int(strnlen(text, capacity)));
}

SvkCameraInfo emptyRecord() {
    SvkCameraInfo record;
    std::memset(&record, 0, sizeof record);
    record.kind = -1;
    return record;
}

QString readoutLine(const char* label, double celsius, bool fahrenheit, const QString& unit) {
    return QCoreApplication::translate("calidra::CLiveViewerCtrl", label) +
           QString::asprintf(" : %.1f ", toDisplayUnit(celsius, fahrenheit ? TemperatureUnit::Fahrenheit
                                                                           : TemperatureUnit::Celsius)) +
           unit;
}

} // namespace

CameraConnection::CameraConnection(ConnectionFrontEnd& frontEnd, FrameReceiver& receiver, LogSink& log,
                                   ConnectionTimings timings, TickSource tick, QObject* parent)
    : QObject(parent), frontEnd_(frontEnd), receiver_(receiver), log_(log), timings_(timings),
      tick_(tick != nullptr ? tick : &monotonicTickMs), relay_(newCallbackRelay()),
      cameraRecord_(emptyRecord()) {
    relay_->target = this;
    openWaitTimer_.setSingleShot(true);
    nucWindowTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, &CameraConnection::onConnectTimer);
    connect(&openWaitTimer_, &QTimer::timeout, this, &CameraConnection::tryNextQualifying);
    connect(&readoutTimer_, &QTimer::timeout, this, &CameraConnection::onReadoutTimer);
    connect(&nucTimer_, &QTimer::timeout, this, &CameraConnection::onNucTimer);
    connect(&nucWindowTimer_, &QTimer::timeout, this, &CameraConnection::onNucWindowEnd);
}

CameraConnection::~CameraConnection() {
    {
        std::lock_guard<std::mutex> guard(relay_->lock);
        relay_->target = nullptr;
    }
    shutdown();
}

uint32_t CameraConnection::now() const {
    return tick_();
}

int CameraConnection::initialise() {
    const int result = svkInit();
    libraryUp_ = true;
    EnumerateCameras();
    svkSetDeviceCheckCallback(&CameraConnection::deviceCheckCallback, relay_);
    connectTimer_.start(timings_.connectFirstMs);
    readoutTimer_.start(timings_.readoutMs);
    onReadoutTimer();
    return result;
}

void CameraConnection::shutdown() {
    connectTimer_.stop();
    openWaitTimer_.stop();
    readoutTimer_.stop();
    nucTimer_.stop();
    nucWindowTimer_.stop();
    pendingOpens_.clear();
    awaitingOpenResult_ = false;
    openedCameraLost_ = false;
    if (!libraryUp_)
        return;
    svkSetDeviceCheckCallback(nullptr, nullptr);
    CloseCamera();
    svkUninit();
    libraryUp_ = false;
    connected_ = false;
}

QString CameraConnection::entryText(const SvkCameraInfo& record) {
    return QStringLiteral("%1: [%2] %3")
        .arg(fixedText(record.label, sizeof record.label), fixedText(record.identity, sizeof record.identity),
             fixedText(record.model, sizeof record.model));
}

bool CameraConnection::qualifies(const SvkCameraInfo& record) {
    if (record.kind != 2)
        return false;
    const std::size_t length = strnlen(record.identity, sizeof record.identity);
    const std::string identity(record.identity, length);
    for (const char* prefix : {"164", "165", "16F", "116F"})
        if (identity.rfind(prefix, 0) == 0)
            return true;
    return false;
}

QStringList CameraConnection::cameraEntries() const {
    QStringList entries;
    for (const SvkCameraInfo& record : cameraList_)
        entries << entryText(record);
    return entries;
}

void CameraConnection::EnumerateCameras() {
    cameraList_.clear();
    int count = 0;
    if (svkGetCameraCount(&count) != SVK_OK || count <= 0) {
        frontEnd_.setCameraEntries({});
        return;
    }
    std::vector<SvkCameraInfo> records(std::size_t(count), emptyRecord());
    for (SvkCameraInfo& record : records)
        std::memset(&record, 0, sizeof record);
    const int result = svkGetCameraInfo(records.data(), count);
    if (result != SVK_OK) {
        log_.WriteLog(LogType::Error, QStringLiteral("svkGetCameraInfo Failed"), result);
        frontEnd_.setCameraEntries({});
        return;
    }
    cameraList_ = std::move(records);
    frontEnd_.setCameraEntries(cameraEntries());
}

int CameraConnection::OpenCamera(const SvkCameraInfo& record) {
    CloseCamera();
    char openKey[sizeof record.openKey + 1] = {};
    std::memcpy(openKey, record.openKey, sizeof record.openKey);
    SvkHandle opened = nullptr;
    const int result = svkOpen(openKey, &opened, 0);
    if (result != SVK_OK) {
        log_.WriteLog(LogType::Error, QStringLiteral("svkOpen Failed"), result);
        return result;
    }
    handle_ = opened;
    cameraRecord_ = record;
    // A start that fails right after the open gets its first retry one silence later, not at once.
    receiver_.setLastFrameTick(now());
    receiver_.cameraChanged(handle_);
    svkSetUnplugCallback(handle_, &CameraConnection::unplugCallback, relay_);
    svkSetFrameCallback(handle_, &CameraConnection::frameCallback, this);

    SvkNodeInfo node;
    std::memset(&node, 0, sizeof node);
    node.nodeType = -1;
    node.accessMode = 5;
    node.visibility = -1;
    userCompensationSupported_ =
        svkGetNodeInfo(handle_, offsetNode, &node) == SVK_OK && node.accessMode >= 2 && node.accessMode <= 4;
    if (userCompensationSupported_)
        svkSetNodeFloat(handle_, offsetNode, parseFieldNumber(frontEnd_.offsetFieldText()));

    auto palette = std::make_unique<SvkEnumRecord>();
    std::memset(palette.get(), 0, sizeof *palette);
    palette->capacity = SVK_ENUM_CAPACITY;
    if (svkGetNodeEnum(handle_, paletteNode, palette.get()) == SVK_OK)
        frontEnd_.selectPalette(palette->currentIndex);
    else
        frontEnd_.selectPalette(-1);
    return SVK_OK;
}

void CameraConnection::CloseCamera() {
    if (handle_ == nullptr)
        return;
    svkClose(handle_); // returns once the camera's callbacks have stopped
    handle_ = nullptr;
    receiver_.cameraChanged(nullptr);
    nucTimer_.stop();
}

void CameraConnection::onConnectTimer() {
    connectTimer_.stop();
    if (connected_ || openWaitTimer_.isActive()) {
        connectTimer_.start(timings_.connectRepeatMs);
        return;
    }
    EnumerateCameras();
    pendingOpens_.clear();
    for (const SvkCameraInfo& record : cameraList_)
        if (qualifies(record))
            pendingOpens_.push_back(record);
    tryNextQualifying();
}

// One qualifying camera per step; the wait after each open runs on a timer, so the window
// keeps painting while the camera settles.
void CameraConnection::tryNextQualifying() {
    if (awaitingOpenResult_ && !pendingOpens_.empty()) {
        awaitingOpenResult_ = false;
        const int result = lastOpenResult_;
        const SvkCameraInfo tried = pendingOpens_.front();
        pendingOpens_.erase(pendingOpens_.begin());
        // Unplugged while it settled: taking it as connected would leave the watchdog restarting
        // a dead handle for ever instead of searching again. Its unplug entry is already logged.
        const bool lost = openedCameraLost_;
        openedCameraLost_ = false;
        if (result == SVK_OK && lost) {
            CloseCamera();
        } else if (result == SVK_OK) {
            connected_ = true;
            pendingOpens_.clear();
            StartAcquisition();
            connectTimer_.start(timings_.connectRepeatMs);
            return;
        } else {
            log_.WriteLog(
                LogType::Information,
                QStringLiteral(
                    "%1 Camera open error. Use Tevacfg to verify that the IP address is set correctly.")
                    .arg(fixedText(tried.identity, sizeof tried.identity)),
                result);
        }
    }
    if (pendingOpens_.empty()) {
        connectTimer_.start(timings_.connectRepeatMs);
        return;
    }
    lastOpenResult_ = OpenCamera(pendingOpens_.front());
    awaitingOpenResult_ = true;
    openedCameraLost_ = false;
    openWaitTimer_.start(timings_.openWaitMs);
}

int CameraConnection::StartAcquisition() {
    if (handle_ == nullptr)
        return 1;
    SvkImageSize size{};
    svkGetImageSize(handle_, &size);
    imageWidth_ = size.width;
    imageHeight_ = size.height;
    receiver_.allocateBuffers(imageWidth_, imageHeight_);
    if (std::strncmp(cameraRecord_.model, directScaleModel, std::strlen(directScaleModel)) == 0) {
        svkSetPixelFormat(handle_, directScaleFormat);
    } else {
        svkSetPixelFormat(handle_, cameraPictureFormat);
        svkSetNodeEnum(handle_, "NUCMode", "Manual");
        svkSetNodeInt(handle_, "NUCAutoPeriodicTime", 60);
        svkSetNodeInt(handle_, "NUCAutoTemperature", 10);
    }
    if (!userCompensationSupported_)
        frontEnd_.forceNormalMode();
    const int result = svkSetAcquisition(handle_, 1);
    if (result != SVK_OK) {
        log_.WriteLog(LogType::Error, QStringLiteral("svkSetAcquisition Failed."), result);
        return 1;
    }
    receiver_.setLastFrameTick(now());
    // A huge interval saturates to the longest timer period rather than overflowing into "off".
    const long long intervalMs = static_cast<long long>(parseFieldInteger(frontEnd_.nucIntervalText())) *
                                 timings_.millisecondsPerSecond;
    SetNucInterval(int(std::min<long long>(intervalMs, INT_MAX)));
    return 1;
}

int CameraConnection::StopAcquisition() {
    if (handle_ == nullptr)
        return 1;
    const int result = svkSetAcquisition(handle_, 0);
    if (result != SVK_OK)
        log_.WriteLog(LogType::Error, QStringLiteral("svkSetAcquisition Failed."), result);
    else
        nucTimer_.stop();
    return 1;
}

void CameraConnection::SetNucInterval(int intervalMs) {
    nucTimer_.stop();
    // A zero or negative interval would fire without pause: periodic NUC is off instead.
    if (intervalMs > 0)
        nucTimer_.start(intervalMs);
}

void CameraConnection::onReadoutTimer() {
    if (nucRunning_) {
        frontEnd_.setReadouts(QStringLiteral("NUC"), QString(), QString());
        return;
    }
    const bool fahrenheit = frontEnd_.showsFahrenheit();
    const QString unit = frontEnd_.unitLabelText();
    const TemperatureUnit shown = fahrenheit ? TemperatureUnit::Fahrenheit : TemperatureUnit::Celsius;
    const QString large =
        receiver_.personPresent()
            ? QString::asprintf("%.1f ", toDisplayUnit(receiver_.trackingTemperature(), shown)) + unit
            : QString();
    frontEnd_.setReadouts(large, readoutLine("Max Temp.", receiver_.frameMaxTemperature(), fahrenheit, unit),
                          readoutLine("Min Temp.", receiver_.frameMinTemperature(), fahrenheit, unit));

    // Watchdog: differences in 32-bit arithmetic, so the 49-day wrap of the tick is harmless.
    const uint32_t tick = now();
    if (connected_ && uint32_t(tick - receiver_.lastFrameTick()) > timings_.watchdogSilenceMs) {
        receiver_.setLastFrameTick(tick);
        log_.WriteLog(LogType::Event, QStringLiteral("Retry Acquisition."), 0);
        StopAcquisition();
        StartAcquisition();
    }
}

void CameraConnection::onNucTimer() {
    if (handle_ != nullptr)
        svkSetNodeCommand(handle_, "NUCManualRun");
    nucWindowTimer_.start(timings_.nucWindowMs);
    nucRunning_ = true;
    receiver_.setNucRunning(true);
}

void CameraConnection::onNucWindowEnd() {
    nucWindowTimer_.stop();
    nucRunning_ = false;
    receiver_.setNucRunning(false);
}

void CameraConnection::onDeviceCheck(int state) {
    if (!libraryUp_)
        return; // handed over just before shutdown
    EnumerateCameras();
    log_.WriteLog(LogType::Event,
                  state == 0 ? QStringLiteral("Device has been added.")
                             : QStringLiteral("Device has been removed."),
                  0);
}

void CameraConnection::onUnplugged() {
    if (!libraryUp_)
        return;
    if (awaitingOpenResult_)
        openedCameraLost_ = true;
    EnumerateCameras();
    log_.WriteLog(LogType::Event, QStringLiteral("Selected camera was unplugged."), 0);
    connected_ = false;
}

void CameraConnection::frameCallback(const SvkFrameRecord* frame, void* context) {
    if (context == nullptr || frame == nullptr)
        return;
    static_cast<CameraConnection*>(context)->receiver_.processFrame(frame);
}

void CameraConnection::unplugCallback(void* context) {
    auto* relay = static_cast<CallbackRelay*>(context);
    if (relay == nullptr)
        return;
    std::lock_guard<std::mutex> guard(relay->lock);
    if (CameraConnection* target = relay->target)
        QMetaObject::invokeMethod(
            target, [target] { target->onUnplugged(); }, Qt::QueuedConnection);
}

void CameraConnection::deviceCheckCallback(int state, void* context) {
    auto* relay = static_cast<CallbackRelay*>(context);
    if (relay == nullptr)
        return;
    std::lock_guard<std::mutex> guard(relay->lock);
    if (CameraConnection* target = relay->target)
        QMetaObject::invokeMethod(
            target, [target, state] { target->onDeviceCheck(state); }, Qt::QueuedConnection);
}

} // namespace calidra
