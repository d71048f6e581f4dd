#pragma once
// Where an open camera's frames go out, alike for every kind of camera: the
// frame and unplug callbacks, the pixel format frames are laid out in, and the
// newest frame's codes, kept for the camera's picture (svkGetRGBData). Safe to
// use from any thread.

#include "svk.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace calidra::sorvik {

// How a kept frame's codes lie among its 16-bit words.
struct FrameCodeLayout {
    std::size_t firstWord = 0;
    std::size_t stepWords = 1;
    int zeroCelsiusCode = 1000; // 1000 on the offset scale, 0 on the direct one
};

class FrameOutlet {
public:
    // Draws the kept frame's picture (width, height, palette, bgr) another way than code by code;
    // false to have it drawn from the codes.
    using PictureShortcut = std::function<bool(std::size_t, std::size_t, int, unsigned char*)>;

    void setFrameCallback(SvkFrameCallback callback, void* context);
    void setUnplugCallback(SvkUnplugCallback callback, void* context);

    static bool knownFormat(int format);
    int format() const { return format_.load(); }
    void setFormat(int format) { format_.store(format); }

    // The size of the frames to come; the frame kept before is forgotten.
    void setFrameSize(std::size_t width, std::size_t height);
    // Keeps a frame's codes for the picture by swapping them in: codes comes back holding an older
    // frame's, to be filled next. also runs under the same lock, for what is kept beside the codes.
    // Returns the kept words; they stay as they are until the next frame is kept.
    template <typename Also>
    const uint16_t* keep(std::vector<uint16_t>& codes, FrameCodeLayout layout, Also&& also) {
        std::lock_guard<std::mutex> lock(pictureMutex_);
        codes_.swap(codes);
        layout_ = layout;
        hasFrame_ = true;
        also();
        return codes_.data();
    }
    const uint16_t* keep(std::vector<uint16_t>& codes, FrameCodeLayout layout = {}) {
        return keep(codes, layout, [] {});
    }
    // The kept frame's picture in the palette, into buffer.
    int drawPicture(unsigned char* buffer, int bytes, int palette, const PictureShortcut& shortcut);

    // Hands a frame to the frame callback set now. Nothing of the outlet is touched once the
    // callback runs: it may close the session, and so end the outlet.
    void deliverFrame(const void* data, uint32_t width, uint32_t height);
    // Calls the unplug callback set now, likewise.
    void deliverUnplug();

private:
    template <typename Callback> struct Slot {
        Callback callback = nullptr;
        void* context = nullptr;
    };
    // The slot as it is now, or set to a new value.
    template <typename Callback> Slot<Callback> read(const Slot<Callback>& slot);
    template <typename Callback> void write(Slot<Callback>& slot, Slot<Callback> value);

    std::mutex callbackMutex_;
    Slot<SvkFrameCallback> frameSlot_;
    Slot<SvkUnplugCallback> unplugSlot_;

    std::atomic<int> format_{SVK_PIXEL_FORMAT_RGB_CODE32};

    std::mutex pictureMutex_;
    std::vector<uint16_t> codes_;
    FrameCodeLayout layout_;
    bool hasFrame_ = false;
    std::size_t width_ = 0;
    std::size_t height_ = 0;
};

} // namespace calidra::sorvik
