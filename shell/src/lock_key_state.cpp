#include "shell/lock_key_state.h"

#include <QGuiApplication>

#include <dlfcn.h>

namespace calidra {
namespace {

// The few X entry points needed, loaded at run time so that the program also runs without X.
using Display = struct _XDisplay;
using Atom = unsigned long;
using XOpenDisplayFunction = Display* (*)(const char*);
using XCloseDisplayFunction = int (*)(Display*);
using XInternAtomFunction = Atom (*)(Display*, const char*, int);
using XkbGetNamedIndicatorFunction = int (*)(Display*, Atom, int*, int*, void*, int*);

class NoLockKeys final : public LockKeyReader {
public:
    LockKeys read() override { return {}; }
};

class XLockKeys final : public LockKeyReader {
public:
    XLockKeys(void* library, Display* display, XCloseDisplayFunction closeDisplay,
              XkbGetNamedIndicatorFunction namedIndicator, Atom caps, Atom num, Atom scroll)
        : library_(library), display_(display), closeDisplay_(closeDisplay), namedIndicator_(namedIndicator),
          caps_(caps), num_(num), scroll_(scroll) {}
    ~XLockKeys() override {
        closeDisplay_(display_);
        dlclose(library_);
    }
    XLockKeys(const XLockKeys&) = delete;
    XLockKeys& operator=(const XLockKeys&) = delete;

    LockKeys read() override { return {isOn(caps_), isOn(num_), isOn(scroll_)}; }

private:
    bool isOn(Atom indicator) {
        int state = 0;
        if (!namedIndicator_(display_, indicator, nullptr, &state, nullptr, nullptr))
            return false;
        return state != 0;
    }

    void* library_;
    Display* display_;
    XCloseDisplayFunction closeDisplay_;
    XkbGetNamedIndicatorFunction namedIndicator_;
    Atom caps_;
    Atom num_;
    Atom scroll_;
};

template <typename Function> Function lookUp(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

} // namespace

std::unique_ptr<LockKeyReader> makeLockKeyReader() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::make_unique<NoLockKeys>();
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return std::make_unique<NoLockKeys>();
    const auto openDisplay = lookUp<XOpenDisplayFunction>(library, "XOpenDisplay");
    const auto closeDisplay = lookUp<XCloseDisplayFunction>(library, "XCloseDisplay");
    const auto internAtom = lookUp<XInternAtomFunction>(library, "XInternAtom");
    const auto namedIndicator = lookUp<XkbGetNamedIndicatorFunction>(library, "XkbGetNamedIndicator");
    Display* display =
        (openDisplay && closeDisplay && internAtom && namedIndicator) ? openDisplay(nullptr) : nullptr;
    if (!display) {
        dlclose(library);
        return std::make_unique<NoLockKeys>();
    }
    return std::make_unique<XLockKeys>(
        library, display, closeDisplay, namedIndicator, internAtom(display, "Caps Lock", 0),
        internAtom(display, "Num Lock", 0), internAtom(display, "Scroll Lock", 0));
}

} // namespace calidra
