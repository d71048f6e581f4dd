#include "frame_outlet.h"

#include "camera_picture.h"

namespace calidra::sorvik {

template <typename Callback> FrameOutlet::Slot<Callback> FrameOutlet::read(const Slot<Callback>& slot) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    return slot;
}

template <typename Callback> void FrameOutlet::write(Slot<Callback>& slot, Slot<Callback> value) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    slot = value;
}

void FrameOutlet::setFrameCallback(SvkFrameCallback callback, void* context) {
    write(frameSlot_, {callback, context});
}

void FrameOutlet::setUnplugCallback(SvkUnplugCallback callback, void* context) {
    write(unplugSlot_, {callback, context});
}

bool FrameOutlet::knownFormat(int format) {
    return format == SVK_PIXEL_FORMAT_OFFSET16 || format == SVK_PIXEL_FORMAT_DIRECT16 ||
           format == SVK_PIXEL_FORMAT_RGB_CODE32;
}

void FrameOutlet::setFrameSize(std::size_t width, std::size_t height) {
    std::lock_guard<std::mutex> lock(pictureMutex_);
    width_ = width;
    height_ = height;
    hasFrame_ = false;
}

int FrameOutlet::drawPicture(unsigned char* buffer, int bytes, int palette, const PictureShortcut& shortcut) {
    std::lock_guard<std::mutex> lock(pictureMutex_);
    if (buffer == nullptr || bytes < 0 || std::size_t(bytes) < width_ * height_ * 3) {
        return SVK_ERROR_BUFFER_TOO_SMALL;
    }
    if (!hasFrame_) {
        return SVK_ERROR_NOT_FOUND; // no frame yet: nothing written
    }
    if (shortcut && shortcut(width_, height_, palette, buffer)) {
        return SVK_OK;
    }
    CodePlane plane;
    plane.codes = codes_.data() + layout_.firstWord;
    plane.stepWords = layout_.stepWords;
    plane.zeroCelsiusCode = layout_.zeroCelsiusCode;
    renderCameraPicture(plane, width_, height_, palette, buffer);
    return SVK_OK;
}

void FrameOutlet::deliverFrame(const void* data, uint32_t width, uint32_t height) {
    const Slot<SvkFrameCallback> slot = read(frameSlot_);
    if (slot.callback != nullptr) {
        SvkFrameRecord record{};
        record.width = width;
        record.height = height;
        record.data = data;
        slot.callback(&record, slot.context);
    }
}

void FrameOutlet::deliverUnplug() {
    const Slot<SvkUnplugCallback> slot = read(unplugSlot_);
    if (slot.callback != nullptr) {
        slot.callback(slot.context);
    }
}

} // namespace calidra::sorvik
