// Creating a writer. A new run makes a new file and renames it over the old
// one, so that readers of the old file are told it was replaced instead of
// reading the new run's values. Everything that could stop the run is
// checked before the rename and nothing is changed: a failure, an interrupt
// or a kill before it leaves the old run whole. The new file holds no
// timestep when it takes the name, so no reader joins the old series to it;
// the old series files go after it, from the last down, and what a kill
// leaves of them the next new run of the name removes.

#include "hsResultFile.h"

#include <algorithm>
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
void (*stepHook)() = nullptr;

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

constexpr int nameRetries = 20;

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
        h.fd = ZPlatform::lockFile(target, create, busy, error, create ? &h.placeholder : nullptr,
                                   !create);
        // The name may lead elsewhere by now: a lock counts for the file it names.
        if (h.fd >= 0 && create && stepHook)
            stepHook();
        if (h.fd >= 0 && ZPlatform::leadsTo(target, h.fd))
            return true;
        const bool locked = h.fd < 0 && busy;
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
        // A lock may outlive its writer by a moment, while a copy of its
        // descriptor lives in a process being started: the name is asked
        // again for half a second before a run is refused for it.
        if (locked && create && attempt < nameRetries) {
            ZCoreLib::ZCancel::pollNow();
            ZPlatform::sleepMs(25);
            continue;
        }
        if (busy)
            throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                          writerRefused::BUSY);
        throw refusal(name, "the file " + quoted(name) + cannot + systemReason(error) + ".");
    }
}

// Asked before each step of a new run that may still be given up.
void beforeStep()
{
    ZCoreLib::ZCancel::pollNow();
    if (stepHook)
        stepHook();
}

// The part of a path up to and including its last folder separator.
std::string folderPrefix(const std::string& path)
{
    return path.substr(0, path.size() - ZFile::getFilename(path).size());
}

// What a folder holds beside a name: the numbers k of the files named as
// later files of its series, ascending, and the hidden files that writers
// made beside it or beside one of those, with the process that made each.
struct besideName {
    std::vector<int> tail;
    std::vector<std::pair<std::string, long long>> hidden;
};

// One listing of the folder of first (and of target's, when it is another):
// a gap in the numbers hides no file, and a tail of thousands of files
// costs no more than one look at each name. A folder of first that cannot
// be listed may hide an old tail that readers would join to the new run:
// refused. Hidden files in target's are then only left where they are.
besideName lookBeside(const std::string& first, const std::string& target)
{
    besideName found;
    // The bare name of file k is stem + "^k" + ext.
    const std::string name = ZFile::getFilename(first);
    const std::string one = ZFile::getFilename(hsResultFile::seriesFileName(first, 1));
    size_t cut = 0;
    while (cut < name.size() && name[cut] == one[cut])
        ++cut;
    const std::string stem = name.substr(0, cut) + "^", ext = name.substr(cut);
    const auto seriesNumber = [&](const std::string& entry) {
        if (entry.size() <= stem.size() + ext.size() || entry.compare(0, stem.size(), stem) != 0 ||
            entry.compare(entry.size() - ext.size(), ext.size(), ext) != 0)
            return 0;
        const std::string digits = entry.substr(stem.size(), entry.size() - stem.size() - ext.size());
        if (digits.size() > 9 || digits[0] == '0' ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        const int k = std::stoi(digits);
        return ZFile::getFilename(hsResultFile::seriesFileName(first, k)) == entry ? k : 0;
    };
    const std::string folders[] = {folderPrefix(first), folderPrefix(target)};
    const std::string newBase = ZFile::getFilename(target);
    for (int f = 0; f < 2 && (f == 0 || folders[1] != folders[0]); ++f) {
        int error = 0;
        const std::vector<ZPlatform::FolderEntry> listed =
            ZPlatform::listFolder(folders[f], "*", error);
        if (error != 0 && f == 0) {
            const std::string folder = ZFile::getPath(first);
            throw refusal(first, "the folder '" + (folder.empty() ? "." : folder) +
                                     "' cannot be listed (" + systemReason(error) +
                                     "), so the further files of an old series of " +
                                     quoted(first) + ", which a new run removes, cannot be "
                                     "found; make the folder readable.");
        }
        for (const ZPlatform::FolderEntry& e : listed) {
            std::string base;
            long long pid = 0;
            const int k = f == 0 ? seriesNumber(e.name) : 0;
            if (k > 0)
                found.tail.push_back(k);
            // Set aside by an earlier version, or a roll-over's next file.
            else if (f == 0 && (ZPlatform::splitHiddenName(e.name, ".old", base, pid) ||
                                ZPlatform::splitHiddenName(e.name, ".new", base, pid)) &&
                     seriesNumber(base) > 0)
                found.hidden.emplace_back(folders[f] + e.name, pid);
            else if ((f == 1 || folders[1] == folders[0]) &&
                     ZPlatform::splitHiddenName(e.name, ".new", base, pid) && base == newBase)
                found.hidden.emplace_back(folders[f] + e.name, pid);
        }
    }
    std::sort(found.tail.begin(), found.tail.end());
    return found;
}

// Removes the file at path while this process holds its lock, and only when
// the name still leads to the locked file; "" or why it was not removed.
std::string removeLocked(const std::string& path)
{
    bool busy = false;
    int error = 0;
    const int fd = ZPlatform::lockFile(path, false, busy, error, nullptr, true);
    if (fd < 0)
        return error == ENOENT ? "" : busy ? "it is being written by another writer" : systemReason(error);
    if (stepHook)
        stepHook();
    std::string why;
    if (ZPlatform::leadsTo(path, fd) && unlink(path.c_str()) != 0 && errno != ENOENT)
        why = systemReason(errno);
    ZPlatform::unlockFile(fd);
    return why;
}

// A writer takes the lock of its hidden file right after it makes it.
constexpr long long abandonedAfterSeconds = 5;

// A hidden file whose writer is gone: nobody holds its lock, and it was
// written longer ago than a writer takes to lock it, or the process that made
// it runs no more (or is this one). Process numbers come back, and a folder
// shared between machines holds other machines' numbers: the lock decides. A
// live writer's file is left alone, and so is anything but a regular file,
// and a file that this process may not remove.
void removeIfAbandoned(const std::string& path, long long pid)
{
    bool busy = false;
    int error = 0;
    const int fd = ZPlatform::lockFile(path, false, busy, error, nullptr, true);
    if (fd < 0)
        return;
    if ((pid == ZPlatform::processId() || !ZPlatform::processAlive(pid) ||
         ZPlatform::secondsSinceModified(path) >= abandonedAfterSeconds) &&
        ZPlatform::leadsTo(path, fd) && ZPlatform::removalRefused(path) == 0)
        unlink(path.c_str());
    ZPlatform::unlockFile(fd);
}

// After the rename: the old series goes from its last file down, so that a
// kill leaves the new file and the first files of the old tail, which no
// reader joins to a file without timesteps. What could not be removed is
// said.
std::string removeOldRun(const std::string& first, const besideName& old)
{
    std::string notRemoved;
    for (auto k = old.tail.rbegin(); k != old.tail.rend(); ++k) {
        const std::string name = hsResultFile::seriesFileName(first, *k);
        const std::string why = removeLocked(name);
        if (!why.empty())
            notRemoved += " " + quoted(name) + ": " + why + ".";
    }
    for (const auto& h : old.hidden) {
        if (stepHook)
            stepHook();
        removeIfAbandoned(h.first, h.second);
    }
    return notRemoved;
}

} // namespace

void hsResultFile::setBusyHook(void (*hook)()) { busyHook = hook; }

void hsResultFile::setStepHook(void (*hook)()) { stepHook = hook; }

void hsResultFile::atStep()
{
    if (stepHook)
        stepHook();
}

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
// else of such a name is the user's and stays. Each is checked where it
// stands, locked while it is looked at, so that no other writer is writing
// it, and let go at once: a tail of thousands of files takes no more
// descriptors than one.
void hsResultFile::checkSeriesTail(const std::string& first, std::vector<int>& tail)
{
    const hsResultFile probe("", EMB);
    std::vector<int> present;
    for (int k : tail) {
        // Each step reads a header: asked every time.
        beforeStep();
        const std::string name = seriesFileName(first, k);
        const std::string role = " (file " + std::to_string(k) + " of the series of " +
                                 quoted(first) + ", which a new run removes)";
        const auto foreign = [&] {
            return refusal(name, quoted(name) +
                                     " is not a result file, but its name makes it file " +
                                     std::to_string(k) + " of the series of " + quoted(first) +
                                     ", which a new run removes; move or rename it first.");
        };
        // Through a link a new run would lock another file, or remove the
        // link and leave its file.
        if (ZPlatform::isLink(name))
            throw refusal(name, quoted(name) + " is a symbolic link, but its name makes it file " +
                                    std::to_string(k) + " of the series of " + quoted(first) +
                                    ", which a new run removes; move or rename it first.");
        const ZPlatform::EntryKind kind = ZPlatform::fileInfo(name).kind;
        if (kind == ZPlatform::FOLDER || kind == ZPlatform::OTHER)
            throw foreign();
        nameHold held;
        if (!holdName(held, name, name, false, role + " cannot be opened: "))
            continue;
        const openFile f(name);
        if (!f.isOpen())
            throw refusal(name, "the file " + quoted(name) + role + " cannot be read: " +
                                    systemReason(f.error()) + ".");
        try {
            probe.readSeriesHead(f, name);
        } catch (const ZException&) {
            throw foreign();
        }
        const int error = ZPlatform::removalRefused(name);
        if (error != 0)
            throw refusal(name, "could not remove the existing file " + quoted(name) + role + ": " +
                                    systemReason(error) + ".");
        present.push_back(k);
    }
    tail.swap(present);
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
    besideName left;
    try {
        w->firstFilePath_ = fresh;
        w->writeHeader();
        w->firstFilePath_.clear();
        left = lookBeside(name, target);
        checkSeriesTail(name, left.tail);
        beforeStep();
        error = ZPlatform::replaceFile(fresh, target);
        if (error != 0)
            throw ZException("hsResultFile: could not put the new file in the place of " +
                             quoted(target) + ": " + systemReason(error) + ".");
    } catch (...) {
        // An interrupt too: nothing of the old run was changed.
        w->fileStream.close();
        unlink(fresh.c_str());
        w->releaseHold();
        throw;
    }
    // The new run has the name: the old tail goes, with nothing left to stop it.
    old.release(true);
    const std::string notRemoved = removeOldRun(name, left);
    if (!notRemoved.empty())
        throw ZException("hsResultFile: the new run took the place of " + quoted(name) +
                         ", but files of the old run could not be removed; remove them by hand:" +
                         notRemoved);
    // Another writer's rename in the moment between: it has the name.
    atStep();
    if (!ZPlatform::leadsTo(target, w->writeHold_))
        throw refusal(name, "the file " + quoted(name) + " is being written by another writer.",
                      writerRefused::BUSY);
    return w;
}

} // namespace hestor
