#pragma once
// One camera's exchanges with it, run in order on a thread of their own, so
// that whoever asks waits for an answer a bounded time. Aravis retries an
// unanswered command for seconds while holding the device's control channel,
// and offers no way to shorten that; a dead camera must not hold its caller.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace calidra::sorvik {

class GenicamExchangeThread {
public:
    enum class Outcome {
        answered, // in time: the result is the exchange's own
        late,     // not in time: it goes on alone, then its late handler runs with its result
        refused,  // an earlier exchange came late and still runs (or the thread has ended): nothing done
    };

    GenicamExchangeThread();
    ~GenicamExchangeThread(); // runs what is queued, then ends
    GenicamExchangeThread(const GenicamExchangeThread&) = delete;
    GenicamExchangeThread& operator=(const GenicamExchangeThread&) = delete;

    // Queues the exchange and waits up to wait for it.
    Outcome ask(std::function<int()> exchange, std::chrono::milliseconds wait, int& result,
                std::function<void(int)> late = {});
    // Queues work nobody waits for.
    void post(std::function<void()> work);
    // An exchange came late and still runs: the camera does not answer now.
    bool unanswered() const;
    // Nothing queued or running.
    bool idle() const;
    bool onThread() const { return std::this_thread::get_id() == threadId_; }
    // Runs what is queued, then ends the thread.
    void finish();

private:
    struct Ticket {
        bool done = false;
        bool abandoned = false;
        int result = 0;
    };
    struct Job {
        std::function<int()> work;
        std::function<void(int)> late;
        std::shared_ptr<Ticket> ticket; // null for posted work
    };

    void run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool running_ = false; // a job is being run
    int lateJobs_ = 0;     // abandoned by their askers, not yet finished
    bool finishing_ = false;
    std::thread thread_;
    const std::thread::id threadId_;
};

} // namespace calidra::sorvik
