#include "station_features.h"

#include "browser/image_viewer.h"
#include "liveview/live_viewer.h"
#include "statistics/statistics_view.h"

#include "alarmrecord/snapshot_names.h"

#include <QCoreApplication>

namespace calidra {
namespace {

Station* stationOf(const ViewEnvironment& environment) {
    return qobject_cast<Station*>(environment.shared);
}

CCalidraView* createLiveView(const ViewEnvironment& environment) {
    Station* station = stationOf(environment);
    if (station == nullptr)
        return nullptr;
    return new CLiveViewer(*station, QCoreApplication::applicationDirPath(), environment.parent);
}

CCalidraView* createImageView(const ViewEnvironment& environment) {
    auto* images = new CImageViewer(environment.parent);
    // The station's snapshots and unit reach the list without a Refresh.
    Station* station = stationOf(environment);
    if (station == nullptr)
        return images;
    QObject::connect(station, &Station::snapshotSaved, images, &CImageViewer::addSnapshot);
    images->setStationNameSource([station] { return station->stationName(); });
    const auto followUnit = [images, station] { images->setTemperatureUnit(station->values().unit()); };
    QObject::connect(&station->values(), &OperatorValuesModel::valuesChanged, images, followUnit);
    followUnit();
    return images;
}

CCalidraView* createStatisticsView(const ViewEnvironment& environment) {
    Station* station = stationOf(environment);
    if (station == nullptr)
        return nullptr;
    auto* view = new CStatisticsView(
        alarmRecordPath(station->alarmFolder()),
        [station] { return station->pipeline().alarmThresholdCelsius(); }, environment.parent);
    QObject::connect(station, &Station::personCounted, view, &CStatisticsView::refresh);
    return view;
}

} // namespace

std::vector<CDemoFeature> stationFeatures() {
    return {
        // The views pane's captions, in the operator's language.
        {CDemoFeature::viewsGroup, 0, QCoreApplication::translate("CViewsBar", "Live View"), createLiveView,
         nullptr},
        {CDemoFeature::viewsGroup, 0, QCoreApplication::translate("CViewsBar", "Image View"), createImageView,
         nullptr},
        {CDemoFeature::viewsGroup, 0, QCoreApplication::translate("CViewsBar", "Statistics"),
         createStatisticsView, nullptr},
    };
}

std::unique_ptr<Station> makeStation(SettingsSection& settings, EventLog& log) {
    StationOptions options;
    options.programFolder = QCoreApplication::applicationDirPath();
    return std::make_unique<Station>(settings, log, options);
}

} // namespace calidra
