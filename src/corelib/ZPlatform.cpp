#include "ZPlatform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <memory>

#include <dirent.h>
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
                                                          const std::string& pattern)
{
    std::vector<FolderEntry> entries;
    if (pattern.empty())
        return entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()),
                                            closedir);
    if (!dir)
        return entries;
    while (const dirent* entry = readdir(dir.get())) {
        if (!nameMatches(entry->d_name, pattern))
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

// flock belongs to the open file description, so a second descriptor on the
// same file is refused even within this process. A file that cannot be opened
// for writing is locked through a read-only descriptor.
int ZPlatform::lockFile(const std::string& path, bool create, bool& busy, int& error)
{
    busy = false;
    error = 0;
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        busy = errno == EWOULDBLOCK;
        error = errno;
        close(fd);
        return -1;
    }
    return fd;
}

void ZPlatform::unlockFile(int fd)
{
    if (fd >= 0)
        close(fd); // closing the last descriptor of the description drops the lock
}

} // namespace ZCoreLib
