#include "truth_log.h"

#include "reference_source.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace calidra::simulator {

namespace {

using Line = nlohmann::ordered_json; // keys in the order written: time first

// To decimals places: dividing by a power of ten gives the double nearest the decimal number.
double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

bool writeWhole(int descriptor, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += std::size_t(count);
    }
    return true;
}

} // namespace

PassageTimeline::PassageTimeline(const CameraScenario& camera) : loopSeconds_(camera.loopSeconds) {
    struct Shown {
        double enter, leave, temperature;
    };
    std::vector<Shown> shown;
    for (const Person& person : camera.people) {
        if (loopSeconds_ > 0.0 && person.enterSeconds >= loopSeconds_) {
            continue; // a looping timeline never reaches them
        }
        const double leave =
            loopSeconds_ > 0.0 ? std::min(person.leaveSeconds, loopSeconds_) : person.leaveSeconds;
        shown.push_back({person.enterSeconds, leave, person.temperatureCelsius});
    }
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Shown& a, const Shown& b) { return a.enter < b.enter; });
    for (std::size_t i = 0; i < shown.size(); ++i) {
        pass_.push_back({shown[i].enter, i + 1, true, shown[i].temperature});
        pass_.push_back({shown[i].leave, i + 1, false, shown[i].temperature});
    }
    std::stable_sort(pass_.begin(), pass_.end(),
                     [](const Passage& a, const Passage& b) { return a.seconds < b.seconds; });
    peoplePerPass_ = shown.size();
}

void PassageTimeline::takeBefore(double seconds, std::vector<Passage>& passages) {
    for (;;) {
        if (next_ == pass_.size()) {
            if (loopSeconds_ <= 0.0 || pass_.empty()) {
                return;
            }
            ++passIndex_;
            next_ = 0;
        }
        Passage passage = pass_[next_];
        passage.seconds += double(passIndex_) * loopSeconds_;
        passage.person += passIndex_ * peoplePerPass_;
        if (passage.seconds >= seconds) {
            return;
        }
        passages.push_back(passage);
        ++next_;
    }
}

bool TruthLog::startIfAsked(std::vector<Camera> cameras, SceneClock& clock, SceneClock::TimePoint start,
                            std::unique_ptr<TruthLog>& log, std::string& error) {
    const char* path = std::getenv("SORVIK_SIM_TRUTH");
    if (path == nullptr || *path == '\0') {
        return true;
    }
    const int descriptor = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = std::string("truth log ") + path + ": " + std::strerror(errno);
        return false;
    }
    log.reset(new TruthLog(descriptor, std::move(cameras), clock, start));
    return true;
}

TruthLog::TruthLog(int descriptor, std::vector<Camera> cameras, SceneClock& clock,
                   SceneClock::TimePoint start)
    : descriptor_(descriptor), cameras_(std::move(cameras)), clock_(clock), start_(start) {
    for (const Camera& camera : cameras_) {
        timelines_.emplace_back(camera.scenario);
    }
    thread_ = std::thread([this] { run(); });
}

TruthLog::~TruthLog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    writeUpTo(std::chrono::duration<double>(clock_.now() - start_).count(), false);
    ::close(descriptor_);
}

void TruthLog::run() {
    for (int64_t second = 1;; ++second) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (clock_.waitUntil(lock, wake_, start_ + std::chrono::seconds(second), stop_)) {
                return;
            }
        }
        writeUpTo(double(second), true);
    }
}

void TruthLog::writeUpTo(double seconds, bool status) {
    struct Timed {
        Passage passage;
        std::size_t camera;
    };
    std::vector<Timed> timed;
    std::vector<Passage> passages;
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        passages.clear();
        timelines_[i].takeBefore(seconds, passages);
        for (const Passage& passage : passages) {
            timed.push_back({passage, i});
        }
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.passage.seconds < b.passage.seconds; });
    std::string text;
    for (const Timed& entry : timed) {
        Line line;
        line["t"] = rounded(entry.passage.seconds, 3);
        line["camera"] = cameras_[entry.camera].scenario.identity;
        line["person"] = entry.passage.person;
        line["event"] = entry.passage.enter ? "enter" : "leave";
        line["temperature"] = rounded(entry.passage.temperatureCelsius, 3);
        text += line.dump() + "\n";
    }
    for (std::size_t i = 0; status && i < cameras_.size(); ++i) {
        const Camera& camera = cameras_[i];
        Line line;
        line["t"] = seconds;
        line["camera"] = camera.scenario.identity;
        line["error"] = camera.drift ? rounded(camera.drift->error(seconds), 4) : 0.0;
        line["reference"] = camera.scenario.reference
                                ? Line(rounded(referenceTemperatureAt(camera.scenario, seconds), 3))
                                : Line(nullptr);
        text += line.dump() + "\n";
    }
    if (!text.empty() && !writeWhole(descriptor_, text) && !failureReported_) {
        failureReported_ = true; // once, not every second
        std::fprintf(stderr, "svk: truth log: %s\n", std::strerror(errno));
    }
}

} // namespace calidra::simulator
