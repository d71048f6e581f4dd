#include "shell/demo_features.h"

#include "shell/placeholder_view.h"

#include "liveview/live_viewer.h"

#include <QCoreApplication>

namespace calidra {
namespace {

CCalidraView* createLiveView(const ViewEnvironment& environment) {
    if (environment.settings == nullptr)
        return nullptr;
    CLiveViewer::Environment live;
    live.log = environment.log;
    live.settings = environment.settings;
    live.programFolder = QCoreApplication::applicationDirPath();
    return new CLiveViewer(live, environment.parent);
}

// The image browser takes this slot once its folder is linked in.

CCalidraView* createImageView(const ViewEnvironment& environment) {
    return new CPlaceholderView(QStringLiteral("Image View"),
                                QStringLiteral("Image view: arrives with the alarm image browser."),
                                environment.parent);
}

} // namespace

std::vector<CDemoFeature> stationFeatures() {
    return {
        {CDemoFeature::viewsGroup, 0, QStringLiteral("Live View"), createLiveView, nullptr},
        {CDemoFeature::viewsGroup, 0, QStringLiteral("Image View"), createImageView, nullptr},
    };
}

} // namespace calidra
