#pragma once
// The station's two views, for the main window's views pane.

#include "shell/demo_features.h"

#include <vector>

namespace calidra {

// "Live View" and "Image View", in view-number order.
std::vector<CDemoFeature> stationFeatures();

} // namespace calidra
