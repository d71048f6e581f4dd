#include "station/station.h"

#include "camera/sorvik_camera_library.h"
#include "maskfile/file_io.h"
#include "pipeline/snapshot_writer.h"

#include <QFile>
#include <QRegularExpression>

namespace calidra {
namespace {

ConnectionClock& clockOf(const StationOptions& options) {
    return options.clock != nullptr ? *options.clock : systemConnectionClock();
}

// A temporary file younger than this may still be being written.
constexpr int leftoverAgeSeconds = 60;

// What a station killed while writing a snapshot left behind: in the folders it writes, its own
// temporary files and nothing else.
void removeLeftoverTemporaryFiles(const QString& programFolder) {
    const std::string folder = QFile::encodeName(programFolder).toStdString();
    maskfile::removeLeftoverTemporaryFiles(
        folder + "/ThermalAlarm",
        [](const std::string& name) {
            static const QRegularExpression snapshot(
                QStringLiteral("^ThermalAlarm_\\d{8}_\\d{6}(-\\d+)?\\.jpg$"));
            return snapshot.match(QString::fromStdString(name)).hasMatch();
        },
        leftoverAgeSeconds);
    maskfile::removeLeftoverTemporaryFiles(
        folder + "/Zonara", [](const std::string& name) { return name == "snapshot.jpg"; },
        leftoverAgeSeconds);
}

} // namespace

Station::Station(SettingsSection& settings, EventLog& log, StationOptions options, QObject* parent)
    : QObject(parent), settings_(settings), log_(log), options_(std::move(options)),
      ownLibrary_(options_.cameraLibrary == nullptr ? makeSorvikCameraLibrary() : nullptr),
      host_(sound_, options_.programFolder, clockOf(options_)), pipeline_(host_),
      programs_(options_.programFolder), receiver_(pipeline_, host_,
                                                   [this] {
                                                       if (frameObserver_)
                                                           frameObserver_(pipeline_);
                                                   }),
      values_(settings) {
    qRegisterMetaType<Readouts>();
    qRegisterMetaType<CameraState>();
    qRegisterMetaType<LogEntry>();
    values_.setWritesToStore(options_.writesOperatorValues);
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
    connect(&log_, &EventLog::entryAdded, this,
            [this](int row) { emit logEntryAdded(log_.model().entry(row)); });

    connect(&values_, &OperatorValuesModel::valuesChanged, this, &Station::publishOperatorValues);
    connect(&values_, &OperatorValuesModel::measuringStopRequested, this, &Station::stopMeasurement);
    connect(&values_, &OperatorValuesModel::nucIntervalApplied, this, &Station::setNucInterval);
    connect(&values_, &OperatorValuesModel::userOffsetChosen, this, [this](double celsius) {
        if (Camera* open = camera())
            cameraCallSucceeded(log_, open->setUserOffset(celsius), QStringLiteral("svkSetNodeFloat Failed"));
    });
    connect(&values_, &OperatorValuesModel::paletteChosen, this, [this](const QString& name) {
        if (Camera* open = camera())
            cameraCallSucceeded(log_, open->setPalette(name), QStringLiteral("svkSetNodeEnum Failed"));
    });

    measurementTimer_.setSingleShot(true);
    connect(&measurementTimer_, &QTimer::timeout, this, [this] { pipeline_.stopMeasurement(); });
}

Station::~Station() {
    stop();
}

void Station::start() {
    removeLeftoverTemporaryFiles(options_.programFolder);
    values_.load();
    connection_->initialise();
}

void Station::stop() {
    connection_->StopAcquisition();
    connection_->CloseCamera();
    connection_->shutdown();
    measurementTimer_.stop();
    sound_.stop();
}

CameraState Station::cameraState() const {
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
    host_.publishOperatorSettings(values_.operatorSettings());
}

void Station::setCameraEntries(const QStringList& entries) {
    cameraEntries_ = entries;
    emit cameraListChanged(entries);
}

void Station::readoutDue() {
    FrameReadings readings;
    readings.nucRunning = connection_ && connection_->nucRunning();
    readings.personPresent = pipeline_.personPresent();
    readings.trackingCelsius = pipeline_.trackingTemperature();
    readings.maximumCelsius = pipeline_.frameMaxTemperature();
    readings.minimumCelsius = pipeline_.frameMinTemperature();
    emit readoutsChanged(formatReadouts(readings, values_.unit(), values_.unitLabel()));
}

void Station::connectionChanged() {
    if (connection_)
        emit cameraStateChanged(cameraState());
}

void Station::startMeasurement() {
    pipeline_.startMeasurement();
    measurementTimer_.start(measurementTimeoutMs);
}

void Station::stopMeasurement() {
    pipeline_.stopMeasurement();
    measurementTimer_.stop();
}

void Station::onOffsetMeasured(const QString& offsetText) {
    measurementTimer_.stop();
    values_.showMeasuredOffset(offsetText);
    emit offsetMeasured(offsetText);
}

void Station::setNucInterval(int intervalMs) {
    connection_->SetNucInterval(intervalMs);
}

void Station::launchMaskEditor() {
    programs_.LaunchMaskEditor([this](const QString& path) {
        bool written = false;
        pipeline_.withCleanCopy([&](const cv::Mat& clean) {
            written = writeJpegAtomically(path.toStdString(), clean, snapshotJpegQuality);
        });
        return written;
    });
}

void Station::launchIpTool() {
    programs_.LaunchIpTool();
}

void Station::startStreamingServer() {
    Camera* open = camera();
    if (open == nullptr)
        return;
    int width = 0;
    int height = 0;
    if (cameraCallSucceeded(log_, open->imageSize(width, height), QStringLiteral("svkGetImageSize Failed")))
        programs_.StartStreamingServer(width, height);
}

void Station::stopStreamingServer() {
    if (camera() != nullptr)
        programs_.StopStreamingServer();
}

void Station::showCameraDialog() {
    if (Camera* open = camera())
        cameraCallSucceeded(log_, open->showControlDialog(), QStringLiteral("svkShowControlDialog Failed"));
}

} // namespace calidra
