#include "station_features.h"

#include "browser/image_viewer.h"
#include "liveview/live_viewer.h"

#include <QCoreApplication>

namespace calidra {
namespace {

CCalidraView* createLiveView(const ViewEnvironment& environment) {
    if (environment.settings == nullptr || environment.log == nullptr)
        return nullptr;
    CLiveViewer::Environment live;
    live.log = environment.log;
    live.settings = environment.settings;
    live.programFolder = QCoreApplication::applicationDirPath();
    return new CLiveViewer(live, environment.parent);
}

CCalidraView* createImageView(const ViewEnvironment& environment) {
    auto* images = new CImageViewer(environment.parent);
    // The live view is made first, beside this one: its station's snapshots and unit reach the
    // list without a Refresh.
    CLiveViewer* live =
        environment.parent != nullptr ? environment.parent->findChild<CLiveViewer*>() : nullptr;
    if (live == nullptr)
        return images;
    Station& station = live->station();
    QObject::connect(&station, &Station::snapshotSaved, images, &CImageViewer::addSnapshot);
    const auto followUnit = [images, &station] { images->setTemperatureUnit(station.values().unit()); };
    QObject::connect(&station.values(), &OperatorValuesModel::valuesChanged, images, followUnit);
    followUnit();
    return images;
}

} // namespace

std::vector<CDemoFeature> stationFeatures() {
    return {
        // The views pane's captions, in the operator's language.
        {CDemoFeature::viewsGroup, 0, QCoreApplication::translate("CViewsBar", "Live View"), createLiveView,
         nullptr},
        {CDemoFeature::viewsGroup, 0, QCoreApplication::translate("CViewsBar", "Image View"), createImageView,
         nullptr},
    };
}

} // namespace calidra
