#include "testsupport/fake_clock.h"

#include <QCoreApplication>

#include <algorithm>

namespace calidra::test {

class FakeClock::Timer : public ConnectionTimer {
public:
    Timer(FakeClock& clock, bool singleShot, std::function<void()> timeout)
        : clock_(clock), singleShot_(singleShot), timeout_(std::move(timeout)) {
        clock_.timers_.push_back(this);
    }
    ~Timer() override { clock_.timers_.erase(std::find(clock_.timers_.begin(), clock_.timers_.end(), this)); }

    void start(int intervalMs) override {
        intervalMs_ = intervalMs;
        active_ = true;
        dueMs_ = clock_.timeMs_ + uint64_t(std::max(intervalMs, 0));
        startOrder_ = clock_.nextStart_++;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    int intervalMs() const override { return intervalMs_; }

    FakeClock& clock_;
    bool singleShot_;
    std::function<void()> timeout_;
    bool active_ = false;
    int intervalMs_ = 0;
    uint64_t dueMs_ = 0;
    uint64_t startOrder_ = 0;
};

FakeClock::FakeClock(uint64_t startMs) : startMs_(startMs), timeMs_(startMs) {}

FakeClock::~FakeClock() = default;

std::unique_ptr<ConnectionTimer> FakeClock::createTimer(bool singleShot, std::function<void()> timeout) {
    return std::make_unique<Timer>(*this, singleShot, std::move(timeout));
}

void FakeClock::advance(int milliseconds) {
    const uint64_t target = timeMs_ + uint64_t(std::max(milliseconds, 0));
    QCoreApplication::processEvents();
    for (;;) {
        Timer* next = nullptr;
        for (Timer* timer : timers_)
            if (timer->active_ && timer->dueMs_ <= target &&
                (next == nullptr || timer->dueMs_ < next->dueMs_ ||
                 (timer->dueMs_ == next->dueMs_ && timer->startOrder_ < next->startOrder_)))
                next = timer;
        if (next == nullptr)
            break;
        timeMs_ = std::max(timeMs_, next->dueMs_);
        if (next->singleShot_) {
            next->active_ = false;
        } else {
            // A zero period fires once per millisecond here, so the loop always ends.
            next->dueMs_ += uint64_t(std::max(next->intervalMs_, 1));
            next->startOrder_ = nextStart_++;
        }
        const std::function<void()> timeout = next->timeout_; // the timer may go during the call
        timeout();
        QCoreApplication::processEvents();
    }
    timeMs_ = target;
}

} // namespace calidra::test
