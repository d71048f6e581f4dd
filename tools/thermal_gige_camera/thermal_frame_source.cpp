#include "thermal_frame_source.h"

#include "scene.h"
#include "thermal_description.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace calidra::thermalcamera {

namespace {

// An acquisition start after a pause begins the replay from its first frame, as the simulator does.
constexpr double kRestartGapSeconds = 1.0;
constexpr double kNucSeconds = 0.5;

} // namespace

ThermalFrameSource::ThermalFrameSource(simulator::CameraScenario camera, ArvFakeCamera* fakeCamera)
    : camera_(std::move(camera)), fakeCamera_(fakeCamera), start_(std::chrono::steady_clock::now()),
      temperatures_(std::size_t(camera_.width) * std::size_t(camera_.height)) {
    if (camera_.drift) {
        drift_ = std::make_unique<simulator::CameraDrift>(*camera_.drift);
    }
}

void ThermalFrameSource::fillPattern(ArvBuffer* buffer, void* source, guint32, guint32,
                                     ArvPixelFormat pixelFormat) {
    static_cast<ThermalFrameSource*>(source)->fill(buffer, pixelFormat);
}

void ThermalFrameSource::drawTemperatures(double seconds) {
    const double ambient = camera_.ambientCelsius;
    const simulator::CameraReading reading =
        drift_ ? drift_->reading(0.0, seconds) : simulator::CameraReading{};
    if (seconds < flatUntilSeconds_ || (drift_ && drift_->shutterClosed(seconds))) {
        std::fill(temperatures_.begin(), temperatures_.end(), float(reading.reported(ambient, ambient)));
    } else if (camera_.replayFrameCount > 0) {
        if (camera_.replay->readFrame(replayFrame_, replayCodes_)) {
            for (std::size_t i = 0; i < temperatures_.size(); ++i) {
                temperatures_[i] = (float(replayCodes_[i]) - 1000.0f) * 0.1f; // offset scale
            }
            for (std::size_t i = 0; drift_ && i < temperatures_.size(); ++i) {
                temperatures_[i] = float(reading.reported(temperatures_[i], ambient));
            }
        } else {
            std::fill(temperatures_.begin(), temperatures_.end(), float(camera_.ambientCelsius));
        }
        replayFrame_ = (replayFrame_ + 1) % camera_.replayFrameCount;
    } else {
        simulator::drawScene(camera_, reading, seconds, frameIndex_, temperatures_);
    }
    ++frameIndex_;
}

void ThermalFrameSource::fill(ArvBuffer* buffer, ArvPixelFormat pixelFormat) {
    const int width = arv_buffer_get_image_width(buffer);
    const int height = arv_buffer_get_image_height(buffer);
    // The fake camera allocated the payload for the frame size and pixel format it announces.
    auto* data = static_cast<uint8_t*>(const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
    if (width < 1 || height < 1 || data == nullptr) {
        return;
    }
    if (pixelFormat != ARV_PIXEL_FORMAT_MONO_16) {
        std::memset(data, 0,
                    std::size_t(width) * std::size_t(height) * ARV_PIXEL_FORMAT_BIT_PER_PIXEL(pixelFormat) /
                        8);
        return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (seconds - lastFillSeconds_ > kRestartGapSeconds) {
        replayFrame_ = 0;
    }
    lastFillSeconds_ = seconds;
    guint32 nucAction = 0;
    if (arv_fake_camera_read_register(fakeCamera_, kNucActionRegister, &nucAction) && nucAction != 0) {
        flatUntilSeconds_ = seconds + kNucSeconds;
        if (drift_) {
            drift_->shutterCycle(seconds);
        }
        arv_fake_camera_write_register(fakeCamera_, kNucActionRegister, 0); // the command is done
    }
    guint32 irFormat = kIrFormatLinear10mK;
    arv_fake_camera_read_register(fakeCamera_, kIrFormatRegister, &irFormat);
    const double countsPerKelvin = irFormat == kIrFormatLinear100mK ? 10.0 : 100.0;

    drawTemperatures(seconds);
    auto* counts = reinterpret_cast<uint16_t*>(data);
    const auto toCount = [countsPerKelvin](double celsius) {
        return uint16_t(std::clamp(std::lround((celsius + 273.15) * countsPerKelvin), 0L, 65535L));
    };
    const uint16_t ambient = toCount(camera_.ambientCelsius);
    // A frame size set by a client other than the scenario's shows what fits, the rest at ambient.
    for (int y = 0; y < height; ++y) {
        uint16_t* row = counts + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            row[x] =
                x < camera_.width && y < camera_.height
                    ? toCount(temperatures_[std::size_t(y) * std::size_t(camera_.width) + std::size_t(x)])
                    : ambient;
        }
    }
}

} // namespace calidra::thermalcamera
