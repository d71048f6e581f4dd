#pragma once
// A scripted camera library: the test lists the cameras and their answers, plays the library's
// threads (frames, unplug, re-plug) by hand, and reads back every call the station made.

#include "camera/camera_library.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace calidra::test {

struct FakeCameraSpec {
    QString label = QStringLiteral("SIM-A");
    QString identity = QStringLiteral("16F0A001");
    QString model = QStringLiteral("KVX-384TRA");
    int kind = 2;
    bool present = true;
    int openResult = 0;
    bool offersUserOffset = true;
    int paletteIndex = 0; // -1: the palette cannot be read
    int width = 384;
    int height = 288;
    // The temperature code of each pixel of every frame; without it the whole picture is 25.0 °C.
    std::function<uint16_t(int x, int y)> codeAt;
};

class FakeCameraLibrary : public CameraLibrary {
public:
    explicit FakeCameraLibrary(std::vector<FakeCameraSpec> cameras = {FakeCameraSpec{}});
    ~FakeCameraLibrary() override;

    // CameraLibrary, as the station calls it.
    int initialise() override;
    void shutdown() override;
    void setDeviceCheckHandler(std::function<void(bool added)> handler) override;
    int cameraCount(int& count) override;
    int cameraInfo(int count, std::vector<CameraRecord>& records) override;
    int open(const CameraRecord& record, CameraEvents& events, std::unique_ptr<Camera>& camera) override;

    // The library's side. Unplugging the open camera tells it first, then the library.
    void unplug(const QString& label);
    void plug(const QString& label);
    // One frame of the open, acquiring camera; false when no frame could be delivered.
    bool deliverFrame();

    // Every call in order: "open SIM-A", "setPixelFormat 110", "setAcquisition 1", "close SIM-A"...
    int count(const std::string& call) const;
    const std::vector<std::string>& calls() const { return calls_; }
    void record(const std::string& call) { calls_.push_back(call); }
    // The result the named call gives from now on ("setAcquisition", "setPixelFormat", ...).
    std::map<std::string, int> results;
    int result(const std::string& call) const;

    bool up() const { return up_; }
    const QString& openLabel() const { return openLabel_; }
    bool acquiring() const { return acquiring_; }
    PixelFormat pixelFormat() const { return pixelFormat_; }
    double userOffset() const { return userOffset_; }

    // What the open camera answers for its incomplete frames of the last minute; below 0 it does
    // not count them, as a simulated or USB camera.
    double incompleteFramesLastMinute = -1;

    std::vector<FakeCameraSpec> cameras;

private:
    class FakeCamera;
    friend class FakeCamera;

    FakeCameraSpec* find(const QString& label);

    std::vector<std::string> calls_;
    std::function<void(bool added)> deviceCheck_;
    bool up_ = false;
    QString openLabel_;
    CameraEvents* openEvents_ = nullptr;
    bool acquiring_ = false;
    PixelFormat pixelFormat_ = PixelFormat::RgbCode32;
    double userOffset_ = 0.0;
    std::vector<uint16_t> pixels_;
};

} // namespace calidra::test
