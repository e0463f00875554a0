// The writer's hold on the file it writes: one writer per file name, across
// processes too, so that a second writer cannot empty a file another is
// still filling.

#include "hsResultFile.h"

#include <cstring>
#include <fstream>

#include "ZFile.h"
#include "ZPlatform.h"

namespace hestor {

using ZCoreLib::ZFile;
using ZCoreLib::ZPlatform;

namespace {

std::string lockFailure(const std::string& name, bool busy, int error)
{
    if (busy)
        return "the file '" + name + "' is being written by another writer (in this or another "
               "R session); close that writer with writeHSDataClose first.";
    return "the file '" + name + "' cannot be opened for writing: " + std::strerror(error) + ".";
}

} // namespace

// The lock is taken on the file that stays: writeHeader truncates it in place,
// so there is no moment at which another writer could take the name. A file
// that cannot be written in place (read-only) is replaced instead.
std::string hsResultFile::holdForWriting()
{
    releaseHold();
    bool busy = false;
    int error = 0;
    int fd = ZPlatform::lockFile(fileName, true, busy, error);
    if (fd < 0)
        return lockFailure(fileName, busy, error);
    if (!std::fstream(fileName, std::ios::in | std::ios::out | std::ios::binary).is_open()) {
        if (ZFile::delFile(fileName, false) != 0) {
            ZPlatform::unlockFile(fd);
            return "could not remove the existing file '" + fileName + "'.";
        }
        const int fresh = ZPlatform::lockFile(fileName, true, busy, error);
        ZPlatform::unlockFile(fd);
        if (fresh < 0)
            return lockFailure(fileName, busy, error);
        fd = fresh;
    }
    writeHold_ = fd;
    return "";
}

void hsResultFile::releaseHold() noexcept
{
    ZPlatform::unlockFile(writeHold_);
    writeHold_ = -1;
}

std::string hsResultFile::removeSeriesTail(const std::string& first)
{
    for (int k = 1;; ++k) {
        const std::string name = seriesFileName(first, k);
        if (!ZFile::fileExists(name))
            return "";
        if (ZFile::delFile(name, false) != 0)
            return name;
    }
}

} // namespace hestor
