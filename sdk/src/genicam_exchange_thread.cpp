#include "genicam_exchange_thread.h"

namespace calidra::sorvik {

GenicamExchangeThread::GenicamExchangeThread() : thread_([this] { run(); }), threadId_(thread_.get_id()) {}

GenicamExchangeThread::~GenicamExchangeThread() {
    finish();
}

GenicamExchangeThread::Outcome GenicamExchangeThread::ask(std::function<int()> exchange,
                                                          std::chrono::milliseconds wait, int& result,
                                                          std::function<void(int)> late) {
    auto ticket = std::make_shared<Ticket>();
    std::unique_lock<std::mutex> lock(mutex_);
    if (finishing_ || lateJobs_ > 0) {
        return Outcome::refused;
    }
    jobs_.push_back({std::move(exchange), std::move(late), ticket});
    changed_.notify_all();
    if (!changed_.wait_for(lock, wait, [&] { return ticket->done; })) {
        ticket->abandoned = true;
        ++lateJobs_;
        return Outcome::late;
    }
    result = ticket->result;
    return Outcome::answered;
}

void GenicamExchangeThread::post(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({[work = std::move(work)] {
                         work();
                         return 0;
                     },
                     {},
                     nullptr});
    changed_.notify_all();
}

bool GenicamExchangeThread::unanswered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lateJobs_ > 0;
}

bool GenicamExchangeThread::idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.empty() && !running_;
}

void GenicamExchangeThread::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void GenicamExchangeThread::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return finishing_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return; // finishing, and all done
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        const int result = job.work();
        lock.lock();
        running_ = false;
        if (job.ticket == nullptr) {
            continue;
        }
        job.ticket->done = true;
        job.ticket->result = result;
        if (!job.ticket->abandoned) {
            changed_.notify_all();
            continue;
        }
        // Its asker has gone: the late handler runs before anyone may ask again.
        lock.unlock();
        if (job.late) {
            job.late(result);
        }
        lock.lock();
        --lateJobs_;
    }
}

} // namespace calidra::sorvik
