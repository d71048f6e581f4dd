#pragma once
// What the simulated cameras' scenes really held, for checking what a station measured: with
// SORVIK_SIM_TRUTH=FILE, one JSON object a line appended to FILE. Every person's entering and
// leaving with their true temperature, and once a second each camera's drift error and its
// reference's true temperature. Written a second at a time with one write, so that a process
// killed at any moment leaves whole lines.

#include "camera_drift.h"
#include "scenario.h"
#include "scene_clock.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace calidra::simulator {

// A person's entering or leaving, in the order they happen.
struct Passage {
    double seconds = 0.0;
    uint64_t person = 0; // numbered from 1 in order of entering
    bool enter = true;
    double temperatureCelsius = 0.0;
};

// The passages of one camera's people, one after another for ever when the camera loops.
class PassageTimeline {
public:
    explicit PassageTimeline(const CameraScenario& camera);
    // Those before seconds not handed out yet.
    void takeBefore(double seconds, std::vector<Passage>& passages);

private:
    std::vector<Passage> pass_; // one pass, in order
    double loopSeconds_ = 0.0;
    uint64_t peoplePerPass_ = 0;
    uint64_t passIndex_ = 0;
    std::size_t next_ = 0;
};

class TruthLog {
public:
    struct Camera {
        CameraScenario scenario;
        std::shared_ptr<CameraDrift> drift; // null: no drift
    };

    // Starts the log when SORVIK_SIM_TRUTH names a file; false with a one-line reason when it
    // cannot be opened. log stays null without the variable.
    static bool startIfAsked(std::vector<Camera> cameras, SceneClock& clock, SceneClock::TimePoint start,
                             std::unique_ptr<TruthLog>& log, std::string& error);
    // Writes what happened up to now, then stops.
    ~TruthLog();
    TruthLog(const TruthLog&) = delete;
    TruthLog& operator=(const TruthLog&) = delete;

private:
    TruthLog(int descriptor, std::vector<Camera> cameras, SceneClock& clock, SceneClock::TimePoint start);
    void run();
    // The passages of every camera before seconds, in time order, then (when status) each camera's
    // line at seconds; written with one write.
    void writeUpTo(double seconds, bool status);

    const int descriptor_;
    std::vector<Camera> cameras_;
    std::vector<PassageTimeline> timelines_;
    SceneClock& clock_;
    const SceneClock::TimePoint start_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool failureReported_ = false;
    std::thread thread_;
};

} // namespace calidra::simulator
