#pragma once
// One reference to a GObject (an Aravis device, camera or stream, an address),
// given back when the handle ends, on every path. Move-only.

#include <glib-object.h>

#include <utility>

namespace calidra::sorvik {

template <typename T> class GObjectHandle {
public:
    GObjectHandle() = default;
    // Takes over a reference the caller owns, such as a new object's.
    explicit GObjectHandle(T* object) : object_(object) {}
    // A reference of its own to an object held elsewhere.
    static GObjectHandle share(T* object) {
        return GObjectHandle(object != nullptr ? static_cast<T*>(g_object_ref(object)) : nullptr);
    }
    GObjectHandle(GObjectHandle&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GObjectHandle& operator=(GObjectHandle&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    GObjectHandle(const GObjectHandle&) = delete;
    GObjectHandle& operator=(const GObjectHandle&) = delete;
    ~GObjectHandle() { reset(); }

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Gives the reference back now; destroying the object may wait (a stream joins its thread).
    void reset() {
        if (T* object = std::exchange(object_, nullptr)) {
            g_object_unref(object);
        }
    }

private:
    T* object_ = nullptr;
};

} // namespace calidra::sorvik
