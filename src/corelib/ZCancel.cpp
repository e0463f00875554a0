#include "ZCancel.h"

#include <chrono>

namespace ZCoreLib {

namespace {

ZCancel::hook installed = nullptr;
unsigned calls = 0;
std::chrono::steady_clock::time_point lastAsked;

} // namespace

void ZCancel::setHook(hook h) noexcept
{
    installed = h;
    calls = 0;
}

void ZCancel::poll()
{
    // The clock is read once every 64 polls (a fraction of a nanosecond per
    // poll), the hook once every 20 ms: a loop whose steps take up to 15 ms
    // still stops within a second.
    if (installed == nullptr || (++calls & 63u) != 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAsked < std::chrono::milliseconds(20))
        return;
    lastAsked = now;
    if (installed())
        throw ZCancelled();
}

void ZCancel::pollNow()
{
    if (installed == nullptr)
        return;
    lastAsked = std::chrono::steady_clock::now();
    if (installed())
        throw ZCancelled();
}

} // namespace ZCoreLib
