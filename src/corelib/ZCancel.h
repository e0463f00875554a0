#ifndef ZCORELIB_ZCANCEL_H
#define ZCORELIB_ZCANCEL_H

// Long loops of the library poll ZCancel::poll() so that the program calling
// it (an interactive session) can stop them. The library knows nothing of the
// caller: the caller installs a hook that says whether the user asked to stop.

namespace ZCoreLib {

// Thrown by poll() when the hook asks to stop. Not a ZException, so that code
// which turns library failures into messages or defaults lets it pass; code
// catching everything must rethrow it.
class ZCancelled {};

class ZCancel {
public:
    // true: stop the work. Called from the thread that runs the library.
    using hook = bool (*)();
    static void setHook(hook h) noexcept;
    // Throws ZCancelled when the hook asks to stop. Cheap enough for inner
    // loops: the clock is read every 64 polls, the hook every 20 ms.
    static void poll();
    // Asks the hook now (for loops whose single steps take long).
    static void pollNow();
};

} // namespace ZCoreLib

#endif
