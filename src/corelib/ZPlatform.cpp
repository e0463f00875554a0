#include "ZPlatform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace ZCoreLib {

namespace {

std::string lowerCase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool globMatches(const std::string& name, const std::string& pattern)
{
    // '\' is a folder separator to callers, never an escape.
    return fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
}

bool entryIsFolder(const std::string& folder, const dirent* entry)
{
#ifdef _DIRENT_HAVE_D_TYPE
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return false;
#endif
    std::string full = folder.empty() ? std::string(entry->d_name)
                                      : folder + "/" + entry->d_name;
    return ZPlatform::fileInfo(full).kind == ZPlatform::FOLDER;
}

} // namespace

ZPlatform::FileInfo ZPlatform::fileInfo(const std::string& path)
{
    FileInfo info;
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return info;
    if (S_ISREG(st.st_mode))
        info.kind = REGULAR;
    else if (S_ISDIR(st.st_mode))
        info.kind = FOLDER;
    else
        info.kind = OTHER;
    info.size = static_cast<long long>(st.st_size);
    info.modified = static_cast<long long>(st.st_mtime);
    info.changed = static_cast<long long>(st.st_ctime);
    info.device = static_cast<unsigned long long>(st.st_dev);
    info.inode = static_cast<unsigned long long>(st.st_ino);
    info.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    info.changedNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return info;
}

bool ZPlatform::sameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ZPlatform::canWrite(const std::string& path)
{
    return !path.empty() && access(path.c_str(), W_OK) == 0;
}

bool ZPlatform::makeFolder(const std::string& path)
{
    if (path.empty())
        return false;
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    return errno == EEXIST && fileInfo(path).kind == FOLDER;
}

std::string ZPlatform::currentDir()
{
    for (size_t size = 256; size <= (size_t(1) << 20); size *= 2) {
        std::unique_ptr<char[]> buffer(new char[size]);
        if (getcwd(buffer.get(), size))
            return std::string(buffer.get());
        if (errno != ERANGE)
            break;
    }
    return std::string();
}

int ZPlatform::changeDir(const std::string& path)
{
    return chdir(path.c_str()) == 0 ? 0 : -1;
}

std::vector<ZPlatform::FolderEntry> ZPlatform::listFolder(const std::string& folder,
                                                          const std::string& pattern, int& error)
{
    std::vector<FolderEntry> entries;
    error = 0;
    if (pattern.empty())
        return entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()),
                                            closedir);
    if (!dir) {
        error = errno;
        return entries;
    }
    // "*" takes every name: a large folder is listed without matching each.
    const bool all = pattern == "*";
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            error = errno;
            break;
        }
        if (!all && !nameMatches(entry->d_name, pattern))
            continue;
        FolderEntry e;
        e.name = entry->d_name;
        e.isFolder = entryIsFolder(folder, entry);
        entries.push_back(std::move(e));
    }
    return entries;
}

bool ZPlatform::nameMatches(const std::string& name, const std::string& pattern)
{
    const std::string n = lowerCase(name);
    const std::string p = lowerCase(pattern);
    if (globMatches(n, p))
        return true;
    const size_t len = p.size();
    return len >= 2 && p.compare(len - 2, 2, ".*") == 0
        && n.find('.') == std::string::npos && globMatches(n, p.substr(0, len - 2));
}

void ZPlatform::sleepMs(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    timespec rest;
    rest.tv_sec = milliseconds / 1000;
    rest.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

namespace {

// Descriptors that hold locks. A forked child shares their open file
// descriptions, and with them the locks, until it closes its copies: the
// fork handler does so before the child runs anything else.
std::vector<int>& lockDescriptors()
{
    static std::vector<int> fds;
    return fds;
}

void closeLocksInChild()
{
    std::vector<int>& fds = lockDescriptors();
    for (int fd : fds)
        close(fd);
    fds.clear();
}

int keepLock(int fd)
{
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, closeLocksInChild); });
    lockDescriptors().push_back(fd);
    return fd;
}

// flock, retried when a signal interrupts it; false with busy or error set.
bool lockExclusive(int fd, bool& busy, int& error)
{
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        busy = errno == EWOULDBLOCK;
        error = errno;
        return false;
    }
    return true;
}

} // namespace

// flock belongs to the open file description, so a second descriptor on the
// same file is refused even within this process. A file that cannot be opened
// for writing is locked through a read-only descriptor.
int ZPlatform::lockFile(const std::string& path, bool create, bool& busy, int& error,
                        bool* created, bool regularOnly)
{
    busy = false;
    error = 0;
    if (created)
        *created = false;
    const int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (regularOnly ? O_NOFOLLOW : 0);
    int fd = -1;
    int createError = 0;
    if (create && created) {
        fd = open(path.c_str(), O_RDWR | flags | O_CREAT | O_EXCL, 0666);
        *created = fd >= 0;
        createError = fd < 0 && errno != EEXIST ? errno : 0;
        create = false;
    }
    if (fd < 0)
        fd = open(path.c_str(), O_RDWR | flags | (create ? O_CREAT : 0), 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0) {
        // Still no file: why it could not be made (a full disk) is the reason.
        error = errno == ENOENT && createError != 0 ? createError : errno;
        return -1;
    }
    struct stat st;
    if (regularOnly && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        error = EINVAL;
        return -1;
    }
    if (!lockExclusive(fd, busy, error)) {
        if (created && *created)
            unlink(path.c_str());
        close(fd);
        return -1;
    }
    return keepLock(fd);
}

void ZPlatform::unlockFile(int fd)
{
    std::vector<int>& fds = lockDescriptors();
    const auto it = std::find(fds.begin(), fds.end(), fd);
    // A descriptor this process no longer holds (closed at a fork) may
    // since number another file.
    if (fd < 0 || it == fds.end())
        return;
    fds.erase(it);
    // Closing drops the lock only with the last descriptor of the open file
    // description; a child in the middle of starting a program holds a copy.
    flock(fd, LOCK_UN);
    close(fd);
}

int ZPlatform::makeLockedFileBeside(const std::string& beside, std::string& path, int& error)
{
    const size_t slash = beside.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : beside.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? beside : beside.substr(slash + 1);
    struct stat old;
    const bool hasOld = stat(beside.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // splitHiddenName takes such a name apart again.
        path = folder + "." + base + "." + std::to_string(getpid()) + "." +
               std::to_string(++counter) + ".new";
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            error = errno;
            return -1;
        }
        bool busy = false;
        if (!lockExclusive(fd, busy, error)) {
            close(fd);
            unlink(path.c_str());
            return -1;
        }
        if (hasOld) {
            if (old.st_uid != geteuid() || old.st_gid != getegid())
                (void)!fchown(fd, old.st_uid, old.st_gid);
            (void)!fchmod(fd, old.st_mode & 0777);
        }
        return keepLock(fd);
    }
    error = EEXIST;
    return -1;
}

int ZPlatform::renameNoReplace(const std::string& from, const std::string& to)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    // Where the file system cannot rename so: a new link fails on any entry.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    unlink(from.c_str());
    return 0;
}

long long ZPlatform::secondsSinceModified(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return -1;
    const long long now = static_cast<long long>(time(nullptr));
    const long long last = static_cast<long long>(st.st_mtime);
    return now > last ? now - last : 0;
}

bool ZPlatform::isLink(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool ZPlatform::splitHiddenName(const std::string& entry, const std::string& ending,
                                std::string& base, long long& pid)
{
    // "." base "." pid "." count ending, as makeLockedFileBeside makes it.
    if (entry.size() <= ending.size() + 1 || entry[0] != '.' ||
        entry.compare(entry.size() - ending.size(), ending.size(), ending) != 0)
        return false;
    const std::string rest = entry.substr(1, entry.size() - ending.size() - 1);
    const size_t countDot = rest.find_last_of('.');
    if (countDot == std::string::npos || countDot == 0)
        return false;
    const size_t pidDot = rest.find_last_of('.', countDot - 1);
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 18 &&
               std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
    };
    if (pidDot == std::string::npos || pidDot == 0 || !digits(rest.substr(countDot + 1)) ||
        !digits(rest.substr(pidDot + 1, countDot - pidDot - 1)))
        return false;
    base = rest.substr(0, pidDot);
    pid = std::stoll(rest.substr(pidDot + 1, countDot - pidDot - 1));
    return true;
}

bool ZPlatform::processAlive(long long pid)
{
    if (pid <= 0 || pid != static_cast<pid_t>(pid))
        return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int ZPlatform::removalRefused(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat entry, dir;
    if (lstat(path.c_str(), &entry) != 0 || stat(folder.c_str(), &dir) != 0)
        return errno;
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    const uid_t me = geteuid();
    if ((dir.st_mode & S_ISVTX) && me != 0 && entry.st_uid != me && dir.st_uid != me)
        return EPERM;
    return 0;
}

bool ZPlatform::leadsTo(const std::string& path, int fd)
{
    struct stat a, b;
    return stat(path.c_str(), &a) == 0 && fstat(fd, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

int ZPlatform::replaceFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string ZPlatform::followLinks(const std::string& path)
{
    std::string p = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = readlink(p.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size())
            return p;
        const std::string t(target.data(), static_cast<size_t>(n));
        const size_t slash = p.find_last_of('/');
        p = (t[0] == '/' || slash == std::string::npos) ? t : p.substr(0, slash + 1) + t;
    }
    return p;
}

bool ZPlatform::canOpenForWriting(const std::string& path)
{
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

int ZPlatform::truncateFile(const std::string& path, long long size)
{
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0 ? 0 : errno;
}

namespace {

// The mark is an open-file-description record lock on one byte far beyond
// any data: flock and reads do not meet it, and it goes with the lock's
// descriptor, in this process too.
#ifdef F_OFD_SETLK
struct flock writingMark(short type)
{
    struct flock mark = {};
    mark.l_type = type;
    mark.l_whence = SEEK_SET;
    mark.l_start = std::numeric_limits<off_t>::max() / 2;
    mark.l_len = 1;
    return mark;
}
#endif

} // namespace

bool ZPlatform::markBeingWritten(int fd)
{
#ifdef F_OFD_SETLK
    struct flock mark = writingMark(F_WRLCK);
    return fd >= 0 && fcntl(fd, F_OFD_SETLK, &mark) == 0;
#else
    (void)fd;
    return false;
#endif
}

void ZPlatform::unmarkBeingWritten(int fd)
{
#ifdef F_OFD_SETLK
    struct flock mark = writingMark(F_UNLCK);
    if (fd >= 0)
        fcntl(fd, F_OFD_SETLK, &mark);
#else
    (void)fd;
#endif
}

bool ZPlatform::beingWritten(int fd)
{
#ifdef F_OFD_GETLK
    struct flock mark = writingMark(F_RDLCK);
    return fd >= 0 && fcntl(fd, F_OFD_GETLK, &mark) == 0 && mark.l_type != F_UNLCK;
#else
    (void)fd;
    return false;
#endif
}

long long ZPlatform::processId() { return static_cast<long long>(getpid()); }

} // namespace ZCoreLib
