// The writer's hold on the file it writes: one writer per file name, across
// processes too, and only in the process that made it.

#include "hsResultFile.h"

#include "ZPlatform.h"

namespace hestor {

using ZCoreLib::ZPlatform;

long long hsResultFile::currentProcess() { return ZPlatform::processId(); }

// In a forked child the descriptor was closed at the fork, and its number
// may since belong to a lock of the child's own.
void hsResultFile::releaseHold() noexcept
{
    if (writerOfThisProcess()) {
        ZPlatform::unlockFile(writeHold_);
        ZPlatform::unlockFile(nameHold_);
    }
    writeHold_ = -1;
    nameHold_ = -1;
}

} // namespace hestor
