#include "camera/connection_clock.h"

#include "camera/monotonic_tick.h"

#include <QTimer>

namespace calidra {
namespace {

class QtTimer : public ConnectionTimer {
public:
    QtTimer(bool singleShot, std::function<void()> timeout) {
        timer_.setSingleShot(singleShot);
        QObject::connect(&timer_, &QTimer::timeout, std::move(timeout));
    }
    void start(int intervalMs) override { timer_.start(intervalMs); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }
    int intervalMs() const override { return timer_.interval(); }

private:
    QTimer timer_;
};

class SystemClock : public ConnectionClock {
public:
    uint32_t nowMs() override { return monotonicTickMs(); }
    std::unique_ptr<ConnectionTimer> createTimer(bool singleShot, std::function<void()> timeout) override {
        return std::make_unique<QtTimer>(singleShot, std::move(timeout));
    }
};

} // namespace

ConnectionClock& systemConnectionClock() {
    static SystemClock clock;
    return clock;
}

} // namespace calidra
