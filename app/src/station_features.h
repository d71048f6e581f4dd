#pragma once
// The station's two views, for the main window's views pane, and the station they share.

#include "shell/demo_features.h"

#include "station/station.h"

#include <memory>
#include <vector>

namespace calidra {

// "Live View" and "Image View", in view-number order; each is handed the station made below.
std::vector<CDemoFeature> stationFeatures();

// The station of Calidra, on the program's folder and the application's settings and log; the
// application holds it until its views are gone.
std::unique_ptr<Station> makeStation(SettingsSection& settings, EventLog& log);

} // namespace calidra
