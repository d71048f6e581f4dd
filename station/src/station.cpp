#include "station/station.h"

#include "alarmrecord/alarm_record.h"
#include "alarmrecord/free_space.h"
#include "camera/sorvik_camera_library.h"
#include "eventlog/alarm_entries.h"
#include "alarmrecord/snapshot_names.h"
#include "files/station_layout.h"
#include "operatorvalues/value_limits.h"
#include "pipeline/snapshot_writer.h"
#include "siteevents/site_events_publisher.h"
#include "siteevents/site_events_settings.h"
#include "threadaffinity/thread_affinity.h"

#include <QFileInfo>

#include <QFile>

#include <cmath>

namespace calidra {
namespace {

ConnectionClock& clockOf(const StationOptions& options) {
    return options.clock != nullptr ? *options.clock : systemConnectionClock();
}

QString celsiusText(double celsius) {
    return QString::asprintf("%.1f", celsius);
}

const char* offsetChangeWords(OffsetChange how) {
    switch (how) {
    case OffsetChange::Loaded:
        return "stored";
    case OffsetChange::Typed:
        return "typed";
    case OffsetChange::Measured:
        return "measured";
    case OffsetChange::Confirmed:
        return "measured, confirmed by the operator";
    case OffsetChange::ModeChosen:
        return "temperature mode chosen";
    case OffsetChange::CameraWithoutOffset:
        return "camera without the offset node";
    }
    return "";
}

} // namespace

Station::Station(SettingsSection& settings, EventLog& log, StationOptions options, QObject* parent)
    : QObject(parent), settings_(settings), log_(log), options_(std::move(options)),
      ownLibrary_(options_.cameraLibrary == nullptr ? makeSorvikCameraLibrary() : nullptr),
      host_(sound_, options_.programFolder, clockOf(options_)), pipeline_(host_),
      programs_(options_.programFolder),
      receiver_(pipeline_, host_,
                [this] {
                    framesSeen_.fetch_add(1, std::memory_order_relaxed);
                    if (frameObserver_)
                        frameObserver_(pipeline_);
                    if (awaitingFrames_.exchange(false))
                        QMetaObject::invokeMethod(
                            this, [this] { onFramesFlowing(); }, Qt::QueuedConnection);
                }),
      values_(settings), reference_(log, QFile::encodeName(options_.programFolder).toStdString()) {
    qRegisterMetaType<Readouts>();
    qRegisterMetaType<CameraState>();
    qRegisterMetaType<CameraSignal>();
    qRegisterMetaType<LogEntry>();
    values_.setWritesToStore(options_.writesOperatorValues);
    sound_.setUnavailableReporter([this] {
        log_.WriteLog(LogType::Information, QStringLiteral("No audio output: the alarm sound cannot play."),
                      0);
    });
    values_.setCameraTakesOffset(
        [this] { return camera() != nullptr && connection_->userCompensationSupported(); });
    CameraLibrary& library = options_.cameraLibrary != nullptr ? *options_.cameraLibrary : *ownLibrary_;
    ConnectionFrontEnd& frontEnd = *this;
    connection_ = std::make_unique<CameraConnection>(library, frontEnd, receiver_, log_, options_.timings,
                                                     &clockOf(options_));

    // The host speaks on the frame thread; everything here runs on the station's own.
    connect(&host_, &StationHost::alarmStateChanged, this, &Station::alarmChanged, Qt::QueuedConnection);
    connect(&host_, &StationHost::offsetMeasuredText, this, &Station::onOffsetMeasured, Qt::QueuedConnection);
    connect(&host_, &StationHost::snapshotWritten, this, &Station::snapshotSaved, Qt::QueuedConnection);
    connect(
        &host_, &StationHost::logEntryWanted, this,
        [this](int type, const QString& message, int code) { log_.WriteLog(LogType(type), message, code); },
        Qt::QueuedConnection);
    // Queued like the host's other entries, so an alarm's on and off keep their order in the log.
    connect(
        &host_, &StationHost::alarmEntryWanted, this,
        [this](bool alarmOn, double highestCelsius) {
            const TemperatureUnit unit = values_.unit();
            const QString symbol =
                unit == TemperatureUnit::Fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
            const LogText text =
                alarmOn ? alarmOnLogText(toDisplayUnit(highestCelsius, unit), symbol) : alarmOffLogText();
            log_.WriteLog(LogType::Event, text.written, 0, text.shown);
        },
        Qt::QueuedConnection);
    connect(&log_, &EventLog::entryAdded, this, [this](int row) {
        const LogEntry& entry = log_.model().entry(row);
        if (site_)
            site_->logEntry(siteLogEntry(entry));
        emit logEntryAdded(entry);
    });
    host_.setAlarmEpisodes(&episodes_);
    qRegisterMetaType<PersonEntry>();
    connect(&host_, &StationHost::peopleFinished, this, &Station::takeFinishedPeople, Qt::QueuedConnection);
    connect(&host_, &StationHost::snapshotSkippedForRoom, this, &Station::onSnapshotSkippedForRoom,
            Qt::QueuedConnection);
    connect(
        &episodes_, &AlarmEpisodes::snapshotFailedInEpisode, this,
        [this](int errorNumber) {
            log_.WriteLog(LogType::Error, QStringLiteral("Alarm snapshot could not be saved."), errorNumber);
        },
        Qt::QueuedConnection);

    connect(&values_, &OperatorValuesModel::valuesChanged, this, &Station::publishOperatorValues);
    connect(&values_, &OperatorValuesModel::measuringStopRequested, this, &Station::stopMeasurement);
    connect(&values_, &OperatorValuesModel::nucIntervalApplied, this, &Station::setNucInterval);
    connect(&values_, &OperatorValuesModel::storedValueReplaced, this,
            [this](const QString& message) { log_.WriteLog(LogType::Error, message, 0); });
    connect(&values_, &OperatorValuesModel::offsetInForceChanged, this, &Station::onOffsetInForceChanged);
    connect(&values_, &OperatorValuesModel::userOffsetChosen, this, [this](double celsius) {
        if (Camera* open = camera())
            cameraCallSucceeded(log_, open->setUserOffset(celsius), QStringLiteral("svkSetNodeFloat Failed"));
    });
    connect(&values_, &OperatorValuesModel::paletteChosen, this, [this](const QString& name) {
        if (Camera* open = camera())
            cameraCallSucceeded(log_, open->setPalette(name), QStringLiteral("svkSetNodeEnum Failed"));
    });

    connectReference();
    qRegisterMetaType<BaselineStatus>();
    connect(&host_, &StationHost::baselineReported, this, &Station::onBaselineReported, Qt::QueuedConnection);

    measurementTimer_.setSingleShot(true);
    connect(&measurementTimer_, &QTimer::timeout, this, [this] { pipeline_.stopMeasurement(); });
}

Station::~Station() {
    stop();
}

void Station::start() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    files::removeStationLeftovers(QFile::encodeName(options_.programFolder).toStdString());
    reference_.refreshRegion();
    values_.load();
    connection_->setIdentityPrefixes(
        CameraConnection::identityPrefixesFromText(readSetting(settings_, settings::cameraIdentityPrefixes)));
    host_.setMinimumFreeMegabytes(readSetting(settings_, settings::alarmMinFreeMB));
    // The snapshots name the station as its site events do, broker or not.
    host_.setStationName(siteStationName(readSetting(settings_, settings::stationName)).toStdString());
    // Before the camera: the first frame may already be an alarm.
    const bool recordOpened = !record_;
    startAlarmRecord();
    startSiteEvents();
    if (recordOpened) // a second start keeps its own count: the record may not hold it all yet
        resumePeopleCount();
    episodes_.attach(record_.get(), site_.get());
    connection_->initialise();
}

void Station::signalLost() {
    // An open camera gone silent has stalled; an unplugged one is no longer connected here.
    cameraStalled_ = connection_->connected();
    awaitingFrames_.store(true);
    if (cameraSignal_ == CameraSignal::Live)
        setCameraSignal(CameraSignal::Lost);
    // Before the alarm ends below: its status must already name the camera's new state.
    publishCameraStatus();
    // A lost camera is never shown as a working station: no alarm, no read-outs, no live picture.
    pipeline_.signalLost();
    readoutDue();
}

void Station::onFramesFlowing() {
    // A frame of the unplugged camera that was already under way is not a signal.
    if (!connection_->connected()) {
        awaitingFrames_.store(true);
        return;
    }
    cameraStalled_ = false;
    setCameraSignal(CameraSignal::Live);
    publishCameraStatus();
}

void Station::setCameraSignal(CameraSignal signal) {
    if (cameraSignal_ == signal)
        return;
    cameraSignal_ = signal;
    emit cameraSignalChanged(signal);
}

void Station::stop() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    connection_->StopAcquisition();
    connection_->CloseCamera();
    connection_->shutdown();
    measurementTimer_.stop();
    // No frame comes any more: an alarm under way ends with the station, as a lost camera ends
    // it (ALARM OFF, the episode's end to the record and the broker); one already ended stays so.
    pipeline_.signalLost();
    takeFinishedPeople(); // those in view, finished with the station, before the record closes
    sound_.stop();
    // The broker is told that the station goes offline, and the record finishes its writes.
    episodes_.attach(nullptr, nullptr);
    site_.reset();
    record_.reset();
}

QString Station::alarmFolder() const {
    return alarmFolderPath(options_.programFolder);
}

QString Station::stationName() const {
    return siteStationName(readSetting(settings_, settings::stationName));
}

void Station::startAlarmRecord() {
    if (record_)
        return;
    record_ = std::make_unique<AlarmRecord>(alarmFolder(), readSetting(settings_, settings::alarmKeepDays));
    connect(record_.get(), &AlarmRecord::recordFailed, this,
            [this](const QString& message) { log_.WriteLog(LogType::Error, message, 0); });
    connect(record_.get(), &AlarmRecord::expiredSnapshotsRemoved, this, [this](int removed, int notRemoved) {
        QString message = QStringLiteral("%1 alarm snapshots were removed (AlarmKeepDays=%2).")
                              .arg(removed)
                              .arg(readSetting(settings_, settings::alarmKeepDays));
        if (notRemoved > 0)
            message += QStringLiteral(" %1 could not be removed.").arg(notRemoved);
        log_.WriteLog(LogType::Information, message, 0);
    });
}

void Station::startSiteEvents() {
    if (site_)
        return;
    SiteEventsSettings site;
    site.host = readSetting(settings_, settings::mqttHost).trimmed();
    if (!site.enabled())
        return; // nothing is started for a station without a broker
    site.port = readSetting(settings_, settings::mqttPort);
    site.useTls = readSetting(settings_, settings::mqttTls) != 0;
    site.caFile = readSetting(settings_, settings::mqttCaFile);
    site.user = readSetting(settings_, settings::mqttUser);
    site.passwordFile = readSetting(settings_, settings::mqttPasswordFile);
    site.stationName = readSetting(settings_, settings::stationName);
    site.pendingAlarmsFile =
        alarmFolder() + QLatin1Char('/') + QLatin1String(files::pendingSiteEventsFileName);
    site.snapshotFolder = alarmFolder();
    site.snapshots = settings_.readInteger(QStringLiteral("MqttSnapshots"), 1) != 0;
    site.videoUrl = settings_.readText(QStringLiteral("DeskVideoUrl"), QString());
    site.homeAssistantDiscovery = settings_.readInteger(QStringLiteral("HomeAssistantDiscovery"), 1) != 0;
    site.homeAssistantPrefix =
        settings_.readText(QStringLiteral("HomeAssistantPrefix"), site.homeAssistantPrefix);
    site_ = std::make_unique<SiteEventsPublisher>(site);
    connect(
        site_.get(), &SiteEventsPublisher::reported, this,
        [this](const SiteEventsReport& report) { log_.WriteLog(report.type, report.message, report.code); },
        Qt::QueuedConnection);
    site_->start();
}

SiteCameraState Station::siteCameraState() const {
    switch (cameraState().status) {
    case CameraState::Status::None:
        return SiteCameraState::None;
    case CameraState::Status::Searching:
        break;
    case CameraState::Status::Connected:
        // The site sees what the screen shows: an open camera is "connected" only while its
        // frames flow; before its first frame the screen still says it is searching.
        if (cameraSignal_ == CameraSignal::Live)
            return SiteCameraState::Connected;
        if (cameraSignal_ == CameraSignal::Lost && cameraStalled_)
            return SiteCameraState::Stalled;
        break;
    }
    return SiteCameraState::Searching;
}

void Station::publishCameraStatus() {
    if (!site_)
        return;
    const CameraState state = cameraState();
    const SiteCameraState siteState = siteCameraState();
    const ReferenceStatus& reference = reference_.status();
    SiteCameraStatus status{siteState,
                            state.model,
                            state.identity,
                            siteState == SiteCameraState::Connected ? framesPerSecond_ : 0.0,
                            QLatin1String(referenceStateWord(reference.state)),
                            reference.correctionCelsius,
                            values_.offsetInForceCelsius()};
    addBaseline(status);
    site_->setCameraStatus(status);
}

void Station::onSnapshotSkippedForRoom() {
    const uint32_t tick = clockOf(options_).nowMs();
    if (roomEntryWritten_ && uint32_t(tick - roomEntryTick_) < roomEntryIntervalMs)
        return;
    roomEntryWritten_ = true;
    roomEntryTick_ = tick;
    const std::optional<qint64> freeMegabytes = freeMegabytesAt(alarmFolder());
    log_.WriteLog(LogType::Error,
                  QStringLiteral("Alarm snapshots are not saved: less than %1 MB free on the disk of %2.")
                      .arg(readSetting(settings_, settings::alarmMinFreeMB))
                      .arg(alarmFolder()),
                  int(freeMegabytes.value_or(0)));
}

CameraState Station::cameraState() const {
    CALIDRA_REQUIRE_OWNER_THREAD();
    CameraState state;
    if (!connection_->libraryUp())
        return state;
    if (!connection_->connected()) {
        state.status = CameraState::Status::Searching;
        return state;
    }
    state.status = CameraState::Status::Connected;
    state.label = connection_->cameraRecord().label;
    state.identity = connection_->cameraRecord().identity;
    state.model = connection_->cameraRecord().model;
    return state;
}

void Station::publishOperatorValues() {
    OperatorSettings settings = values_.operatorSettings();
    settings.reference.region = reference_.region();
    host_.publishOperatorSettings(settings);
    pipeline_.setBaselineValues(settings.baseline, settings.frame.alarmCelsius);
}

void Station::setCameraEntries(const QStringList& entries) {
    cameraEntries_ = entries;
    emit cameraListChanged(entries);
}

void Station::readoutDue() {
    // Zonara may have moved the reference a moment ago.
    if (reference_.refreshRegion())
        publishOperatorValues();
    startNewPeopleDay();
    // Before the first frame and while the camera is lost there is nothing to read out.
    if (cameraSignal_ != CameraSignal::Live) {
        emit readoutsChanged(Readouts{});
        return;
    }
    FrameReadings readings;
    readings.nucRunning = connection_ && connection_->nucRunning();
    readings.personPresent = pipeline_.personPresent() && !pipeline_.screeningPaused();
    readings.trackingCelsius = pipeline_.trackingTemperature();
    readings.maximumCelsius = pipeline_.frameMaxTemperature();
    readings.minimumCelsius = pipeline_.frameMinTemperature();
    emit readoutsChanged(formatReadouts(readings, values_.unit()));

    // The frame rate over the last second or more, for the site's status messages.
    const uint32_t tick = clockOf(options_).nowMs();
    const uint32_t elapsedMs = tick - rateTick_;
    if (elapsedMs >= 1000) {
        const uint64_t frames = framesSeen_.load(std::memory_order_relaxed);
        framesPerSecond_ = double(frames - framesAtRateTick_) * 1000.0 / double(elapsedMs);
        framesAtRateTick_ = frames;
        rateTick_ = tick;
        publishCameraStatus();
    }
}

void Station::connectionChanged() {
    if (!connection_)
        return;
    cameraStalled_ = false; // a camera just opened or lost has not stalled
    emit cameraStateChanged(cameraState());
    publishCameraStatus();
}

void Station::startMeasurement() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    heldOffset_.clear(); // a new measurement replaces an unanswered one
    pipeline_.startMeasurement();
    measurementTimer_.start(measurementTimeoutMs);
}

void Station::stopMeasurement() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    pipeline_.stopMeasurement();
    measurementTimer_.stop();
    heldOffset_.clear();
}

void Station::onOffsetMeasured(const QString& offsetText) {
    measurementTimer_.stop();
    heldOffset_.clear();
    // A large correction more likely comes from a subject with fever (or chilled from outside) than
    // from the camera's drift; applied at once it would lift or hide everybody's temperature.
    const double inForce = values_.offsetInForceCelsius();
    const std::optional<double> measured = wholeNumber(offsetText);
    constexpr double textRounding = 1e-6; // the texts hold tenths: 1.1 - 0.1 is within
    if (measured && std::abs(*measured) <= value_limits::maximumOffsetCelsius &&
        std::abs(*measured - inForce) > unconfirmedCorrectionCelsius + textRounding) {
        heldOffset_ = offsetText;
        log_.WriteLog(
            LogType::Information,
            QStringLiteral("Measured offset %1 °C: a correction of %2 °C to the offset in force (%3 "
                           "°C), held for the operator's confirmation.")
                .arg(offsetText, QString::asprintf("%+.1f", *measured - inForce), celsiusText(inForce)),
            0);
        emit offsetMeasured(offsetText);
        emit measuredOffsetHeld(inForce, *measured, offsetText);
        return;
    }
    // The operator sees the result in the offset field and, with its time, in the log.
    const QString outcome = values_.showMeasuredOffset(offsetText)
                                ? QStringLiteral("applied")
                                : QStringLiteral("outside ±%1 °C, not applied")
                                      .arg(value_limits::maximumOffsetCelsius, 0, 'f', 1);
    log_.WriteLog(LogType::Information, QStringLiteral("Measured offset %1 °C: %2.").arg(offsetText, outcome),
                  0);
    emit offsetMeasured(offsetText);
}

void Station::confirmMeasuredOffset(const QString& offsetText) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (heldOffset_.isEmpty() || offsetText != heldOffset_)
        return;
    heldOffset_.clear();
    values_.applyConfirmedOffset(offsetText); // the change is logged as confirmed
}

void Station::declineMeasuredOffset(const QString& offsetText) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (heldOffset_.isEmpty() || offsetText != heldOffset_)
        return;
    heldOffset_.clear();
    log_.WriteLog(LogType::Information,
                  QStringLiteral("Measured offset %1 °C: not applied, the operator kept %2 °C.")
                      .arg(offsetText, celsiusText(values_.offsetInForceCelsius())),
                  0);
}

void Station::onOffsetInForceChanged(double beforeCelsius, double afterCelsius, OffsetChange how) {
    publishCameraStatus();
    if (how == OffsetChange::Loaded)
        return;
    log_.WriteLog(LogType::Information,
                  QStringLiteral("Offset in force changed from %1 °C to %2 °C (%3).")
                      .arg(celsiusText(beforeCelsius), celsiusText(afterCelsius),
                           QLatin1String(offsetChangeWords(how))),
                  0);
}

void Station::setNucInterval(int intervalMs) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    connection_->SetNucInterval(intervalMs);
}

void Station::launchMaskEditor() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    programs_.LaunchMaskEditor([this](const QString& path) {
        bool written = false;
        pipeline_.withCleanCopy([&](const cv::Mat& clean) {
            written = writeJpegAtomically(path.toStdString(), clean, snapshotJpegQuality);
        });
        return written;
    });
}

void Station::launchIpTool() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const QString tool = AuxiliaryPrograms::ipToolPath();
    if (!QFileInfo(tool).isExecutable()) {
        log_.WriteLog(
            LogType::Information,
            QStringLiteral("IP Setting: no IP tool at %1 (CALIDRA_IP_TOOL names another).").arg(tool), 0);
        return;
    }
    programs_.LaunchIpTool();
}

void Station::startStreamingServer() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    Camera* open = camera();
    if (open == nullptr)
        return;
    int width = 0;
    int height = 0;
    if (cameraCallSucceeded(log_, open->imageSize(width, height), QStringLiteral("svkGetImageSize Failed")))
        programs_.StartStreamingServer(width, height);
}

void Station::stopStreamingServer() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (camera() != nullptr)
        programs_.StopStreamingServer();
}

void Station::showCameraDialog() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    if (Camera* open = camera())
        cameraCallSucceeded(log_, open->showControlDialog(), QStringLiteral("svkShowControlDialog Failed"));
}

} // namespace calidra
