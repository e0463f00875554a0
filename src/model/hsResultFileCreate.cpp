// Creating a writer. A new run makes a new file and renames it over the old
// one, so that readers of the old file are told it was replaced instead of
// reading the new run's values, and a failure before the rename leaves the
// folder as it was.

#include "hsResultFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "ZCancel.h"
#include "ZFile.h"
#include "ZPlatform.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZPlatform;

namespace {

void (*busyHook)() = nullptr;

writerRefused refusal(const std::string& file, const std::string& what,
                      writerRefused::Kind kind = writerRefused::OTHER)
{
    return writerRefused(kind, file, what);
}

std::string quoted(const std::string& name) { return "'" + name + "'"; }

std::string systemReason(int error) { return std::strerror(error); }

// The lock on the name while the new file is made: on the old file, or on an
// empty placeholder made for the purpose when there is none. The lock
// counts only while the name still leads to the locked file.
struct nameHold {
    int fd = -1;
    bool placeholder = false;
    std::string target;

    ~nameHold() { release(false); }
    void release(bool replaced)
    {
        if (fd < 0)
            return;
        if (placeholder && !replaced && ZPlatform::leadsTo(target, fd))
            unlink(target.c_str());
        ZPlatform::unlockFile(fd);
        fd = -1;
    }
};

void holdName(nameHold& h, const std::string& name, const std::string& target)
{
    h.target = target;
    for (int attempt = 0;; ++attempt) {
        bool busy = false;
        int error = 0;
        h.fd = ZPlatform::lockFile(target, true, busy, error, &h.placeholder);
        if (h.fd >= 0 && ZPlatform::leadsTo(target, h.fd))
            return;
        if (h.fd >= 0) {
            // Taken from the file that another writer has just replaced.
            h.release(false);
            busy = true;
        }
        if (busy && attempt == 0 && busyHook) {
            busyHook();
            continue;
        }
        if (busy)
            throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                          writerRefused::BUSY);
        throw refusal(name, "the file " + quoted(name) + " cannot be opened for writing: " +
                                systemReason(error) + ".");
    }
}

} // namespace

void hsResultFile::setBusyHook(void (*hook)()) { busyHook = hook; }

// Returns the file that the name leads to, through its symbolic links.
std::string hsResultFile::checkWriteTarget(const std::string& name, int fmt)
{
    if (name.empty())
        throw refusal(name, "the file name is empty.");
    if (ZFile::folderExists(name))
        throw refusal(name, quoted(name) + " is a folder, not a file.");
    const auto folderOf = [](const std::string& n) {
        const bool atRoot = n.find_last_of("/\\") == 0;
        const std::string folder = atRoot ? n.substr(0, 1) : ZFile::getPath(n);
        return folder.empty() ? std::string(".") : folder;
    };
    const std::string folder = folderOf(name);
    if (!ZFile::folderExists(folder))
        throw refusal(name, "the folder '" + folder + "' does not exist.");
    // Readers take the format from the extension.
    const std::string ext = ZFile::getExtension(name);
    const std::string want = "'." + ZCoreLib::ZStr::toLower(hsGlobal::fileFmtEnum2str(
                                        static_cast<fileFmtEnum>(fmt))) + "'";
    int named = -1;
    try {
        named = hsGlobal::str2fileFmtEnum(ext);
    } catch (const ZException&) {
        throw refusal(name, "the name " + quoted(name) + " has no extension that names a format; "
                            "end the name in " + want + ".", writerRefused::NO_FORMAT);
    }
    if (named != fmt)
        throw refusal(name, "the name " + quoted(name) + " ends in '." + ext +
                                "', which names another format; end the name in " + want + ".");
    const std::string target = ZPlatform::followLinks(name);
    const std::string via = target == name ? "" : " (the file its link leads to, '" + target + "')";
    for (const std::string& f : {folder, folderOf(target)})
        if (!ZPlatform::canWrite(f))
            throw refusal(name, "the folder '" + f + "' is not writable.");
    const ZPlatform::FileInfo info = ZPlatform::fileInfo(target);
    if (info.kind == ZPlatform::FOLDER)
        throw refusal(name, quoted(name) + via + " is a folder, not a file.");
    if (info.kind == ZPlatform::OTHER)
        throw refusal(name, quoted(name) + via +
                                " is not a regular file (a pipe, a device or a socket); a result "
                                "file cannot be written to it.");
    if (info.kind == ZPlatform::REGULAR && !ZPlatform::canOpenForWriting(target))
        throw refusal(name, "the file " + quoted(name) + via +
                                " cannot be opened for writing: " + systemReason(EACCES) + ".");
    return target;
}

// The files an old, longer run left after the first are removed with it;
// anything else of such a name is the user's and stays.
void hsResultFile::checkSeriesTail(const std::string& first)
{
    for (int k = 1;; ++k) {
        ZCoreLib::ZCancel::poll();
        const std::string name = seriesFileName(first, k);
        if (name == first || ZPlatform::fileInfo(name).kind == ZPlatform::NONE)
            return;
        bool result = ZFile::fileExists(name);
        try {
            result = result && hsResultFile(name, EMB).nItem() > 0;
        } catch (const ZException&) {
            result = false;
        }
        if (!result)
            throw refusal(name, quoted(name) + " is not a result file, but its name makes it file " +
                                    std::to_string(k) + " of the series of " + quoted(first) +
                                    ", which a new run removes; move or rename it first.");
    }
}

std::unique_ptr<hsResultFile> hsResultFile::createWriter(
    const std::string& name, int fmt, const std::function<void(hsModelInfo&)>& fill,
    const std::vector<std::string>& names, const std::vector<int>& lengths)
{
    // The text writers append to their file by name as they go.
    if (fmt != EMB && fmt != RESTART && fmt != DECOUPLED)
        throw ZException("hsResultFile::createWriter: only binary result files are made this "
                         "way; format " + std::to_string(fmt) + " is not one.");
    const std::string target = checkWriteTarget(name, fmt);
    // Made under no name: for an existing file the constructor would read it.
    std::unique_ptr<hsResultFile> w(new hsResultFile("", fmt));
    w->fileName = name;
    fill(w->mInfo);
    for (size_t i = 0; i < names.size(); ++i)
        w->addItem(names[i], i < lengths.size() ? lengths[i] : w->mInfo.noCells);
    w->prepareHeader();
    checkSeriesTail(name);

    nameHold old;
    holdName(old, name, target);
    std::string fresh;
    int error = 0;
    w->writeHold_ = ZPlatform::makeLockedFileBeside(target, fresh, error);
    if (w->writeHold_ < 0)
        throw ZException("hsResultFile: cannot make a new file beside " + quoted(target) + ": " +
                         systemReason(error) + ".");
    try {
        w->firstFilePath_ = fresh;
        w->writeHeader();
        w->firstFilePath_.clear();
        const std::string stuck = removeSeriesTail(name);
        if (!stuck.empty())
            throw ZException("hsResultFile: could not remove the existing file " + quoted(stuck) +
                             ": " + systemReason(errno) + ".");
        error = ZPlatform::replaceFile(fresh, target);
        if (error != 0)
            throw ZException("hsResultFile: could not put the new file in the place of " +
                             quoted(target) + ": " + systemReason(error) + ".");
    } catch (...) {
        w->fileStream.close();
        unlink(fresh.c_str());
        w->releaseHold();
        throw;
    }
    old.release(true);
    // Another writer's rename in the moment between: it has the name.
    if (!ZPlatform::leadsTo(target, w->writeHold_))
        throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                      writerRefused::BUSY);
    return w;
}

} // namespace hestor
