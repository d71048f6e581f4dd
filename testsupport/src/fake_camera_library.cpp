#include "testsupport/fake_camera_library.h"

#include "camera/frame_record_decoding.h"

#include "svk.h"

#include <algorithm>
#include <cstring>

namespace calidra::test {

class FakeCameraLibrary::FakeCamera : public Camera {
public:
    FakeCamera(FakeCameraLibrary& library, FakeCameraSpec spec) : library_(library), spec_(std::move(spec)) {}
    ~FakeCamera() override {
        library_.record("close " + spec_.label.toStdString());
        library_.openLabel_.clear();
        library_.openEvents_ = nullptr;
        library_.acquiring_ = false;
    }

    int setAcquisition(bool running) override {
        library_.record(running ? "setAcquisition 1" : "setAcquisition 0");
        const int result = library_.result("setAcquisition");
        if (result == 0)
            library_.acquiring_ = running;
        return result;
    }
    int imageSize(int& width, int& height) override {
        library_.record("imageSize");
        width = spec_.width;
        height = spec_.height;
        return library_.result("imageSize");
    }
    int setPixelFormat(PixelFormat format) override {
        library_.record("setPixelFormat " + std::to_string(pixelFormatCode(format)));
        library_.pixelFormat_ = format;
        return library_.result("setPixelFormat");
    }
    int rgbData(unsigned char* buffer, int bytes) override {
        std::memset(buffer, 0x40, std::size_t(std::max(bytes, 0)));
        return 0;
    }
    bool offersUserOffset() override { return spec_.offersUserOffset; }
    int userOffset(double& celsius) override {
        celsius = library_.userOffset_;
        return spec_.offersUserOffset ? 0 : SVK_ERROR_UNKNOWN_NODE;
    }
    int setUserOffset(double celsius) override {
        library_.record("setUserOffset " + QString::number(celsius).toStdString());
        library_.userOffset_ = celsius;
        return library_.result("setUserOffset");
    }
    int incompleteFramesLastMinute(double& count) override {
        count = library_.incompleteFramesLastMinute;
        return count >= 0 ? 0 : SVK_ERROR_UNKNOWN_NODE;
    }
    int paletteIndex(int& index) override {
        index = spec_.paletteIndex;
        return spec_.paletteIndex >= 0 ? 0 : SVK_ERROR_UNKNOWN_NODE;
    }
    int setPalette(const QString& name) override {
        library_.record("setPalette " + name.toStdString());
        return library_.result("setPalette");
    }
    int setNucMode(const QString& mode) override {
        library_.record("setNucMode " + mode.toStdString());
        return library_.result("setNucMode");
    }
    int setNucAutoPeriodicTime(int value) override {
        library_.record("setNucAutoPeriodicTime " + std::to_string(value));
        return library_.result("setNucAutoPeriodicTime");
    }
    int setNucAutoTemperature(int value) override {
        library_.record("setNucAutoTemperature " + std::to_string(value));
        return library_.result("setNucAutoTemperature");
    }
    int runNuc() override {
        library_.record("runNuc");
        return library_.result("runNuc");
    }
    int showControlDialog() override {
        library_.record("showControlDialog");
        return library_.result("showControlDialog");
    }

private:
    FakeCameraLibrary& library_;
    FakeCameraSpec spec_;
};

FakeCameraLibrary::FakeCameraLibrary(std::vector<FakeCameraSpec> cameraSpecs)
    : cameras(std::move(cameraSpecs)) {}

FakeCameraLibrary::~FakeCameraLibrary() = default;

int FakeCameraLibrary::result(const std::string& call) const {
    const auto found = results.find(call);
    return found == results.end() ? 0 : found->second;
}

int FakeCameraLibrary::count(const std::string& call) const {
    return int(std::count(calls_.begin(), calls_.end(), call));
}

FakeCameraSpec* FakeCameraLibrary::find(const QString& label) {
    for (FakeCameraSpec& spec : cameras)
        if (spec.label == label)
            return &spec;
    return nullptr;
}

int FakeCameraLibrary::initialise() {
    record("initialise");
    up_ = true;
    return result("initialise");
}

void FakeCameraLibrary::shutdown() {
    record("shutdown");
    up_ = false;
}

void FakeCameraLibrary::setDeviceCheckHandler(std::function<void(bool added)> handler) {
    deviceCheck_ = std::move(handler);
}

int FakeCameraLibrary::cameraCount(int& count) {
    count = int(std::count_if(cameras.begin(), cameras.end(),
                              [](const FakeCameraSpec& spec) { return spec.present; }));
    return result("cameraCount");
}

int FakeCameraLibrary::cameraInfo(int count, std::vector<CameraRecord>& records) {
    records.clear();
    for (const FakeCameraSpec& spec : cameras) {
        if (!spec.present || int(records.size()) == count)
            continue;
        CameraRecord camera;
        camera.label = spec.label;
        camera.kind = spec.kind;
        camera.model = spec.model;
        camera.identity = spec.identity;
        camera.openKey = spec.label.toUtf8();
        records.push_back(camera);
    }
    return result("cameraInfo");
}

int FakeCameraLibrary::open(const CameraRecord& cameraRecord, CameraEvents& events,
                            std::unique_ptr<Camera>& camera) {
    camera.reset();
    const QString label = QString::fromUtf8(cameraRecord.openKey);
    record("open " + label.toStdString());
    const FakeCameraSpec* spec = find(label);
    if (spec == nullptr || !spec->present)
        return SVK_ERROR_NOT_FOUND;
    if (spec->openResult != 0)
        return spec->openResult;
    camera = std::make_unique<FakeCamera>(*this, *spec);
    openLabel_ = label;
    openEvents_ = &events;
    return 0;
}

void FakeCameraLibrary::unplug(const QString& label) {
    if (FakeCameraSpec* spec = find(label))
        spec->present = false;
    if (openEvents_ != nullptr && openLabel_ == label) {
        acquiring_ = false;
        openEvents_->unplugged();
    }
    if (deviceCheck_)
        deviceCheck_(false);
}

void FakeCameraLibrary::plug(const QString& label) {
    if (FakeCameraSpec* spec = find(label))
        spec->present = true;
    if (deviceCheck_)
        deviceCheck_(true);
}

bool FakeCameraLibrary::deliverFrame() {
    const FakeCameraSpec* spec = find(openLabel_);
    if (openEvents_ == nullptr || !acquiring_ || spec == nullptr || !spec->present)
        return false;
    pixels_.assign(std::size_t(spec->width) * std::size_t(spec->height) * 2, uint16_t(1250));
    if (spec->codeAt) {
        // RgbCode32 carries the code in the second word of each pixel, the others in the only one.
        const bool twoWords = pixelFormat_ == PixelFormat::RgbCode32;
        for (int y = 0; y < spec->height; ++y)
            for (int x = 0; x < spec->width; ++x) {
                const std::size_t pixel = std::size_t(y) * std::size_t(spec->width) + std::size_t(x);
                pixels_[twoWords ? pixel * 2 + 1 : pixel] = spec->codeAt(x, y);
            }
    }
    const CameraFrame frame{uint32_t(spec->width), uint32_t(spec->height), pixelFormat_,
                            reinterpret_cast<const unsigned char*>(pixels_.data())};
    openEvents_->frameArrived(frame);
    return true;
}

} // namespace calidra::test
