#pragma once
// Runs GigE Vision cameras (the thermal test camera, Aravis's fake camera) as
// child processes on loopback addresses, and collects the library's frames.

#include "svk.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace genicamtest {

// Whether something listens on UDP address:3956 (the GigE Vision control port), read from
// the kernel's table so that asking never takes the port from the camera that is starting.
inline bool controlPortBound(const std::string& address) {
    in_addr parsed{};
    inet_pton(AF_INET, address.c_str(), &parsed);
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "%08X:0F74", parsed.s_addr);
    std::ifstream table("/proc/net/udp");
    std::string line;
    while (std::getline(table, line)) {
        if (line.find(wanted) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Whether a second loopback address exists here (the test's own network namespace).
inline bool hasLoopbackAddress(const std::string& address) {
    return std::system(("ip -4 addr show dev lo | grep -q 'inet " + address + "/'").c_str()) == 0;
}

// A camera process; stopped with SIGTERM when it goes out of scope.
class CameraProcess {
public:
    CameraProcess() = default;
    CameraProcess(const CameraProcess&) = delete;
    CameraProcess& operator=(const CameraProcess&) = delete;
    ~CameraProcess() { stop(SIGTERM); }

    // Starts the program and waits until it answers on address (and has written readyText to its
    // log, where one is given), or has ended.
    bool start(const std::vector<std::string>& command, const std::string& address,
               const std::string& logPath, const std::string& readyText = {}) {
        address_ = address;
        std::streamoff logStart = 0; // the log is shared by the restarts of a test
        if (std::ifstream log{logPath, std::ios::ate}) {
            logStart = log.tellg();
        }
        auto ready = [&] {
            if (readyText.empty()) {
                return true;
            }
            std::ifstream log(logPath);
            log.seekg(logStart);
            const std::string written{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
            return written.find(readyText) != std::string::npos;
        };
        pid_ = ::fork();
        if (pid_ == 0) {
            std::freopen(logPath.c_str(), "a", stdout);
            std::freopen(logPath.c_str(), "a", stderr);
            std::vector<char*> arguments;
            for (const auto& word : command) {
                arguments.push_back(const_cast<char*>(word.c_str()));
            }
            arguments.push_back(nullptr);
            ::execvp(arguments[0], arguments.data());
            std::_Exit(127);
        }
        return pid_ > 0 &&
               calidra::test::waitFor([&] { return (controlPortBound(address_) && ready()) || ended(); }) &&
               pid_ > 0;
    }

    // Ends it (SIGKILL: as if the camera lost power) and waits until its port is free.
    void stop(int signal) {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitStatus_ = status;
        pid_ = -1;
        calidra::test::waitFor([&] { return !controlPortBound(address_); });
    }

    bool send(int signal) { return pid_ > 0 && ::kill(pid_, signal) == 0; }

    int exitStatus() const { return exitStatus_; }

private:
    bool ended() {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) {
            return false;
        }
        exitStatus_ = status;
        pid_ = -1;
        return true;
    }

    pid_t pid_ = -1;
    int exitStatus_ = -1;
    std::string address_;
};

// Frames and library events as the callbacks deliver them.
struct Observer {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<uint16_t>> frames; // the code of every pixel
    uint32_t width = 0, height = 0;
    int format = SVK_PIXEL_FORMAT_RGB_CODE32;
    int unplugs = 0;
    std::vector<int> deviceChecks;

    static void onFrame(const SvkFrameRecord* frame, void* context) {
        auto* self = static_cast<Observer*>(context);
        const auto* words = static_cast<const uint16_t*>(frame->data);
        std::lock_guard<std::mutex> lock(self->mutex);
        const std::size_t pixels = std::size_t(frame->width) * frame->height;
        const bool wide = self->format == SVK_PIXEL_FORMAT_RGB_CODE32;
        std::vector<uint16_t> codes(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            codes[i] = wide ? words[2 * i + 1] : words[i];
        }
        if (self->frames.size() > 200) {
            self->frames.erase(self->frames.begin()); // bounded: only the newest matter
        }
        self->frames.push_back(std::move(codes));
        self->width = frame->width;
        self->height = frame->height;
        self->changed.notify_all();
    }
    static void onUnplug(void* context) {
        auto* self = static_cast<Observer*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->unplugs;
        self->changed.notify_all();
    }
    static void onDeviceCheck(int state, void* context) {
        auto* self = static_cast<Observer*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->deviceChecks.push_back(state);
        self->changed.notify_all();
    }

    // Checks done, under the lock, at every frame or event until it holds or the deadline has passed.
    template <typename Predicate>
    bool waitUntil(Predicate done, std::chrono::milliseconds deadline = calidra::test::kEventDeadline) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, deadline, [&] { return done(); });
    }
    std::size_t frameCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }
    std::vector<uint16_t> newestFrame() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.empty() ? std::vector<uint16_t>() : frames.back();
    }
    void clearFrames(int newFormat) {
        std::lock_guard<std::mutex> lock(mutex);
        frames.clear();
        format = newFormat;
    }
};

} // namespace genicamtest
