#include "line_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace calidra {
namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting write looks whether it should give up.
constexpr int pollSliceMs = 100;

} // namespace

struct LineWriter::Shared {
    int descriptor = -1;
    Limits limits;

    std::mutex lock;
    std::condition_variable wake;  // lines queued, or the end asked for
    std::condition_variable ended; // the thread is done
    std::deque<std::string> lines;
    std::size_t droppableQueued = 0;
    std::size_t keptQueued = 0;
    uint64_t dropped = 0; // since the last line taken
    bool stopping = false;
    bool finished = false;
    bool broken = false; // the output failed for good: lines are discarded
    bool threadEnded = false;
    Clock::time_point giveUpAt = Clock::time_point::max();

    void run();
    bool writeAll(const std::string& bytes);
};

void LineWriter::Shared::run() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return !lines.empty() || stopping; });
        if (lines.empty())
            break;
        std::deque<std::string> batch;
        batch.swap(lines);
        droppableQueued = 0;
        keptQueued = 0;
        guard.unlock();
        std::string bytes;
        for (const std::string& line : batch)
            bytes.append(line).push_back('\n');
        const bool written = writeAll(bytes);
        guard.lock();
        if (!written) {
            // A reader that went away, or the end's time ran out: nothing more goes out.
            broken = true;
            lines.clear();
        }
    }
    threadEnded = true;
    ended.notify_all();
}

bool LineWriter::Shared::writeAll(const std::string& bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        Clock::time_point deadline;
        {
            std::lock_guard<std::mutex> guard(lock);
            deadline = giveUpAt;
        }
        int waitMs = pollSliceMs;
        if (deadline != Clock::time_point::max()) {
            const auto leftMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (leftMs <= 0)
                return false;
            waitMs = int(std::min<long long>(leftMs, pollSliceMs));
        }
        pollfd output{descriptor, POLLOUT, 0};
        const int ready = ::poll(&output, 1, waitMs);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        if ((output.revents & (POLLERR | POLLNVAL)) != 0)
            return false;
        // Room for PIPE_BUF bytes is what a ready pipe promises: a larger write could wait.
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - offset, PIPE_BUF);
        const ssize_t count = ::write(descriptor, bytes.data() + offset, chunk);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        offset += std::size_t(count);
    }
    return true;
}

LineWriter::LineWriter(int descriptor, Limits limits) : shared_(std::make_shared<Shared>()) {
    shared_->descriptor = descriptor;
    shared_->limits = limits;
    std::thread([shared = shared_] { shared->run(); }).detach();
}

LineWriter::~LineWriter() {
    finish(0);
}

void LineWriter::write(const QString& line) {
    enqueue(line, false);
}

void LineWriter::writeDroppable(const QString& line) {
    enqueue(line, true);
}

void LineWriter::enqueue(const QString& line, bool droppable) {
    std::string bytes = line.toStdString();
    std::lock_guard<std::mutex> guard(shared_->lock);
    if (shared_->finished || shared_->broken)
        return;
    std::size_t& queued = droppable ? shared_->droppableQueued : shared_->keptQueued;
    const std::size_t limit = droppable ? shared_->limits.droppableLines : shared_->limits.keptLines;
    if (queued >= limit) {
        ++shared_->dropped;
        return;
    }
    if (shared_->dropped > 0) {
        shared_->lines.push_back("DROPPED\t" + std::to_string(shared_->dropped));
        shared_->dropped = 0;
    }
    shared_->lines.push_back(std::move(bytes));
    ++queued;
    shared_->wake.notify_one();
}

bool LineWriter::finish(int timeoutMs) {
    std::unique_lock<std::mutex> guard(shared_->lock);
    if (!shared_->finished) {
        shared_->finished = true;
        if (shared_->dropped > 0 && !shared_->broken)
            shared_->lines.push_back("DROPPED\t" + std::to_string(shared_->dropped));
        shared_->dropped = 0;
        shared_->stopping = true;
        shared_->giveUpAt = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        shared_->wake.notify_one();
    }
    // The thread gives up by itself at the deadline; one slice more covers a write under way.
    shared_->ended.wait_for(guard, std::chrono::milliseconds(std::max(timeoutMs, 0) + 2 * pollSliceMs),
                            [this] { return shared_->threadEnded; });
    return shared_->threadEnded && !shared_->broken;
}

} // namespace calidra
