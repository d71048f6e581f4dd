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
    return new CImageViewer(environment.parent);
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
