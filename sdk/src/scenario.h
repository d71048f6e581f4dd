#pragma once
// The simulated camera's scene description, read from the JSON file named by
// SORVIK_SIM_SCENARIO or built in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace calidra::simulator {

// A point of a walker's path: seconds since entering, figure centre as fractions of the frame.
struct PathPoint {
    double seconds = 0.0, x = 0.0, y = 0.0;
};

struct Person {
    double enterSeconds = 3.0;
    double leaveSeconds = 8.0;
    double temperatureCelsius = 38.2;
    double fromX = 0.2, fromY = 0.55; // figure centre, fractions of the frame
    double toX = 0.8, toY = 0.55;
    double heightFraction = 0.6; // of the frame height
    std::vector<PathPoint> path; // when given, instead of from and to
};

struct WarmObject {
    int x = 0, y = 0, width = 0, height = 0;
    double temperatureCelsius = 60.0;
};

struct Event {
    double atSeconds = 0.0;
    bool unplug = false;
    bool plug = false;
    double stallSeconds = 0.0;
    std::optional<bool> referenceOn;
    std::optional<double> referenceCelsius; // a new set point
};

// How an uncooled camera drifts: a warm-up, a ramp and a random walk since its last shutter cycle.
struct DriftSettings {
    double startCelsius = 1.5;
    double settleSeconds = 480.0;
    double rampCelsiusPerMinute = 0.02;
    double walkCelsiusPerRootMinute = 0.01;
    double shutterEverySeconds = 300.0; // 0: only when commanded
    double shutterResidualCelsius = 0.15;
    double gain = 0.0;
    uint32_t seed = 7;
};

// A flat reference source (a blackbody) in the frame, under the people.
struct ReferenceSource {
    int x = 340, y = 16, width = 24, height = 24;
    double temperatureCelsius = 35.0;
    double settleSeconds = 5.0; // time constant of its heating and cooling
};

// People walking across one after another, entering at start, start + every, ...
struct Crowd {
    double startSeconds = 2.0;
    int count = 200;
    double everySeconds = 1.5;
    double walkSeconds = 2.5;
    double meanCelsius = 36.6;
    double deviationCelsius = 0.3;
    int feverEvery = 20; // 0: nobody
    double feverCelsius = 1.5;
    uint32_t seed = 3;
};

// Recorded frames, read from the file one at a time: however long the recording, at most a frame
// of it is in memory.
class ReplayFile {
public:
    // A regular file holding a whole number (at least one) of frames of frameBytes; null with a
    // reason otherwise.
    static std::shared_ptr<const ReplayFile> open(const std::string& path, std::size_t frameBytes,
                                                  std::string& reason);
    ~ReplayFile();
    ReplayFile(const ReplayFile&) = delete;
    ReplayFile& operator=(const ReplayFile&) = delete;

    std::size_t frameCount() const { return frameCount_; }
    // The codes of frame index; false (codes untouched) when the file can no longer be read whole.
    // Safe from several threads at once.
    bool readFrame(std::size_t index, std::vector<uint16_t>& codes) const;

private:
    ReplayFile(int descriptor, std::size_t frameBytes, std::size_t frameCount)
        : descriptor_(descriptor), frameBytes_(frameBytes), frameCount_(frameCount) {}

    int descriptor_;
    std::size_t frameBytes_;
    std::size_t frameCount_;
};

struct CameraScenario {
    std::string label = "SIM-A";
    int kind = 2;
    std::string model = "KVX-384TRA";
    std::string identity = "16F0A001";
    int width = 384;
    int height = 288;
    double fps = 30.0;
    bool present = true;
    int openResult = 0;
    int acquisitionResult = 0;
    int infoResult = 0;
    bool offsetNode = true;
    double userOffset = 0.0;
    double ambientCelsius = 22.0;
    double noiseCelsius = 0.05;
    uint32_t seed = 1;
    double loopSeconds = 0.0;
    std::vector<Person> people;
    std::vector<WarmObject> objects;
    std::vector<Event> events;
    std::optional<DriftSettings> drift;
    std::optional<ReferenceSource> reference;
    // Replay of recorded frames: offset-scale codes, frame after frame.
    std::string replayPath;
    std::shared_ptr<const ReplayFile> replay;
    std::size_t replayFrameCount = 0;
};

struct Scenario {
    std::vector<CameraScenario> cameras;
};

// The scene a first start shows: people walking past, now and then one with fever.
Scenario defaultScenario();

// Reads and checks a scenario file. On failure returns false and a one-line
// description of the problem in error.
bool loadScenario(const std::string& path, Scenario& scenario, std::string& error);

// Same for JSON text; baseFolder resolves relative replay paths.
bool parseScenario(const std::string& text, const std::string& baseFolder, Scenario& scenario,
                   std::string& error);

} // namespace calidra::simulator
