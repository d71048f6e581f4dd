#pragma once
// SorvikC.json: which cameras the library offers. Without the file the
// library offers the simulated camera alone and touches no network and no device.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace calidra::sorvik {

// How one kind of GenICam camera is used: which devices it applies to (empty
// fields match anything), the features written in order at every open, the
// scale of its 16-bit counts and the command that runs its NUC.
struct GenicamProfile {
    std::string vendor;
    std::string model;
    std::string serial;
    std::vector<std::pair<std::string, std::string>> features;
    double kelvinPerCount = 0.01;
    std::string nucCommand;

    bool matches(const std::string& deviceVendor, const std::string& deviceModel,
                 const std::string& deviceSerial) const;
};

struct GenicamConfiguration {
    std::vector<std::string> addresses; // reached by unicast
    bool discover = false;              // broadcast discovery on every interface
    std::vector<GenicamProfile> cameras;
    // How long a caller waits for a camera's answer: a healthy camera answers within milliseconds,
    // or after one retry (Aravis resends an unanswered command after 500 ms).
    std::chrono::milliseconds answerWait{1000};
    std::chrono::milliseconds listPeriod{2000}; // how often the device list is re-read
};

// USB radiometric cameras through V4L2.
struct UvcConfiguration {
    std::vector<std::string> devices; // video nodes used as they are, e.g. /dev/video0
    bool discover = false;            // also every /dev/video* whose USB ids match a known camera
};

struct LibraryConfiguration {
    bool simulator = true;
    bool genicam = false; // the file has a "genicam" section
    GenicamConfiguration genicamCameras;
    bool uvc = false; // the file has a "uvc" section
    UvcConfiguration uvcCameras;
};

// The file in use: $SORVIK_CONFIG when set, else SorvikC.json beside the
// library when it exists; empty when there is none.
std::string configurationPath();

// Reads and checks the file. On failure returns false and one line naming the problem.
bool loadConfiguration(const std::string& path, LibraryConfiguration& configuration, std::string& error);
bool parseConfiguration(const std::string& text, LibraryConfiguration& configuration, std::string& error);

} // namespace calidra::sorvik
