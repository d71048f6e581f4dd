#include "shell/demo_features.h"

#include "shell/placeholder_view.h"

namespace calidra {
namespace {

// The live view and the image browser take these slots once their folders are linked in.
CCalidraView* createLiveView(const ViewEnvironment& environment) {
    return new CPlaceholderView(QStringLiteral("Live View"),
                                QStringLiteral("Live view: arrives with the camera view."),
                                environment.parent);
}

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
