// Creating a writer. A new run makes a new file and renames it over the old
// one, so that readers of the old file are told it was replaced instead of
// reading the new run's values. The later files of an old series are moved
// aside first and removed only after the rename: a failure or an interrupt
// before it leaves the folder as it was.

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

// Locks the file at target without waiting, the name (create set: a
// placeholder when there is none) or a file of an old series (false when
// there is none). `cannot` words the refusal when it cannot be opened.
bool holdName(nameHold& h, const std::string& name, const std::string& target, bool create,
              const std::string& cannot)
{
    h.target = target;
    for (int attempt = 0;; ++attempt) {
        bool busy = false;
        int error = 0;
        h.fd = ZPlatform::lockFile(target, create, busy, error, create ? &h.placeholder : nullptr);
        if (h.fd >= 0 && ZPlatform::leadsTo(target, h.fd))
            return true;
        if (h.fd >= 0) {
            // Taken from the file that another writer has just replaced.
            h.release(false);
            busy = true;
        } else if (!create && error == ENOENT) {
            return false;
        }
        if (busy && attempt == 0 && busyHook) {
            busyHook();
            continue;
        }
        if (busy)
            throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                          writerRefused::BUSY);
        throw refusal(name, "the file " + quoted(name) + cannot + systemReason(error) + ".");
    }
}

// Puts the files of an old series back under their names; what could not
// be put back (its name was taken meanwhile) is said, with where it is.
std::string putBack(const std::vector<std::pair<std::string, std::string>>& moved)
{
    std::string notBack;
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        const int error = ZPlatform::renameNoReplace(it->second, it->first);
        if (error != 0)
            notBack += " the old file " + quoted(it->first) + " could not be put back (" +
                       systemReason(error) + "); it is kept as " + quoted(it->second) + ".";
    }
    return notBack;
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

// The files an old, longer run left after the first go with it; anything
// else of such a name is the user's and stays. Each is moved aside while
// locked, so that no other writer is writing it, and let go at once: a tail
// of thousands of files takes no more descriptors than one.
void hsResultFile::takeSeriesTail(const std::string& first, movedFiles& moved)
{
    const hsResultFile probe("", EMB);
    for (int k = 1;; ++k) {
        // Each step reads a header: asked every time.
        ZCoreLib::ZCancel::pollNow();
        const std::string name = seriesFileName(first, k);
        if (name == first)
            return;
        const std::string role = " (file " + std::to_string(k) + " of the series of " +
                                 quoted(first) + ", which a new run removes)";
        const auto foreign = [&] {
            return refusal(name, quoted(name) +
                                     " is not a result file, but its name makes it file " +
                                     std::to_string(k) + " of the series of " + quoted(first) +
                                     ", which a new run removes; move or rename it first.");
        };
        const ZPlatform::EntryKind kind = ZPlatform::fileInfo(name).kind;
        if (kind == ZPlatform::FOLDER || kind == ZPlatform::OTHER)
            throw foreign();
        nameHold held;
        if (!holdName(held, name, name, false, role + " cannot be opened: "))
            return;
        const openFile f(name);
        if (!f.isOpen())
            throw refusal(name, "the file " + quoted(name) + role + " cannot be read: " +
                                    systemReason(f.error()) + ".");
        try {
            probe.readSeriesHead(f, name);
        } catch (const ZException&) {
            throw foreign();
        }
        std::string aside;
        const int error = ZPlatform::moveAside(name, aside);
        if (error != 0)
            throw refusal(name, "could not remove the existing file " + quoted(name) + role + ": " +
                                    systemReason(error) + ".");
        moved.emplace_back(name, aside);
        held.release(true);
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

    nameHold old;
    holdName(old, name, target, true, " cannot be opened for writing: ");
    std::string fresh;
    int error = 0;
    w->writeHold_ = ZPlatform::makeLockedFileBeside(target, fresh, error);
    if (w->writeHold_ < 0)
        throw ZException("hsResultFile: cannot make a new file beside " + quoted(target) + ": " +
                         systemReason(error) + ".");
    movedFiles tail;
    std::string notBack;
    try {
        w->firstFilePath_ = fresh;
        w->writeHeader();
        w->firstFilePath_.clear();
        takeSeriesTail(name, tail);
        error = ZPlatform::replaceFile(fresh, target);
        if (error != 0)
            throw ZException("hsResultFile: could not put the new file in the place of " +
                             quoted(target) + ": " + systemReason(error) + ".");
    } catch (...) {
        // An interrupt too: the old run is whole again before it goes on.
        notBack = putBack(tail);
        w->fileStream.close();
        unlink(fresh.c_str());
        w->releaseHold();
        if (notBack.empty())
            throw;
    }
    if (!notBack.empty())
        throw ZException("hsResultFile: the new run of " + quoted(name) + " was given up, but" +
                         notBack);
    // The new run has the name: the old tail goes, with nothing left to stop it.
    old.release(true);
    std::string notRemoved;
    for (const auto& m : tail)
        if (unlink(m.second.c_str()) != 0) {
            const std::string why = systemReason(errno);
            notRemoved += " " + quoted(m.second) + " (" + quoted(m.first) + " of the old run): " +
                          why + ".";
        }
    if (!notRemoved.empty())
        throw ZException("hsResultFile: the new run took the place of " + quoted(name) +
                         ", but files of the old run could not be removed; remove them by hand:" +
                         notRemoved);
    // Another writer's rename in the moment between: it has the name.
    if (!ZPlatform::leadsTo(target, w->writeHold_))
        throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                      writerRefused::BUSY);
    return w;
}

} // namespace hestor
