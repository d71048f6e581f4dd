#pragma once
// Caps Lock, Num Lock and Scroll Lock as the X server's keyboard indicators show them.

#include <memory>

namespace calidra {

struct LockKeys {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
    bool operator==(const LockKeys& other) const {
        return capsLock == other.capsLock && numLock == other.numLock && scrollLock == other.scrollLock;
    }
    bool operator!=(const LockKeys& other) const { return !(*this == other); }
};

class LockKeyReader {
public:
    virtual ~LockKeyReader() = default;
    virtual LockKeys read() = 0;
};

// Reads the X keyboard when the program runs on an X display and the X library can be loaded;
// otherwise every key reads as off.
std::unique_ptr<LockKeyReader> makeLockKeyReader();

} // namespace calidra
