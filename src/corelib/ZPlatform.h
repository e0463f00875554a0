#ifndef ZCORELIB_ZPLATFORM_H
#define ZCORELIB_ZPLATFORM_H

// The few operating-system services the file helpers need, on POSIX calls.
// Paths go to the system unchanged.

#include <string>
#include <vector>

namespace ZCoreLib {

class ZPlatform {
public:
    enum EntryKind { NONE, REGULAR, FOLDER, OTHER };

    struct FileInfo {
        EntryKind kind = NONE;
        long long size = 0;
        long long modified = 0; // seconds since 1970-01-01, as the system reports them
        long long changed = 0;  // status-change time, the nearest thing to a creation time
        // Which file it is, and its times to the nanosecond: a file rewritten
        // in place within one second still shows as changed.
        unsigned long long device = 0;
        unsigned long long inode = 0;
        long long modifiedNs = 0;
        long long changedNs = 0;
    };

    struct FolderEntry {
        std::string name;
        bool isFolder = false;
    };

    // Follows symbolic links; kind NONE when the path cannot be examined.
    static FileInfo fileInfo(const std::string& path);
    // True when both paths name the same existing file.
    static bool sameFile(const std::string& a, const std::string& b);
    // Whether this process may write to (a folder: create files in) path.
    static bool canWrite(const std::string& path);
    // One level; an existing folder counts as success, an existing file does not.
    static bool makeFolder(const std::string& path);
    static std::string currentDir();
    static int changeDir(const std::string& path);
    // Entries of `folder` ("" = the current one) whose names match `pattern`,
    // in the order the system gives them. A folder that cannot be read gives
    // what was read of it, with error set to errno (0 when it was read whole):
    // an empty list alone does not tell an empty folder.
    static std::vector<FolderEntry> listFolder(const std::string& folder,
                                               const std::string& pattern, int& error);
    // Wildcards '*' and '?', case ignored; a trailing ".*" also matches names
    // without a dot, so "*.*" matches every name.
    static bool nameMatches(const std::string& name, const std::string& pattern);
    static void sleepMs(int milliseconds);
    // An exclusive advisory lock on the file at path (made empty when absent
    // and create is set), taken without waiting; it holds against every other
    // descriptor, in this process or another, until unlockFile. Returns the
    // descriptor, or -1 with busy set when another holds the lock, and with
    // error set to errno when the file cannot be opened or locked.
    // With created given, an absent file is made (created set) only when
    // no other process makes it at the same moment. Lock descriptors are not
    // inherited by forked children: a child closes its copies at once, so a
    // lock lasts no longer than the process that took it holds it.
    // The open never blocks and takes no controlling terminal; with
    // regularOnly, a symbolic link is not followed and anything but a regular
    // file is left alone (-1, error ELOOP or EINVAL).
    static int lockFile(const std::string& path, bool create, bool& busy, int& error,
                        bool* created = nullptr, bool regularOnly = false);
    // Lets go of the lock even where a copy of the descriptor lives on.
    static void unlockFile(int fd);
    // A new empty file, locked as by lockFile, in the folder of `beside`,
    // under a hidden name that no other file has (path). When `beside`
    // exists, the new file takes its permissions and, where the system
    // allows, its owner. -1 with error set to errno on failure.
    static int makeLockedFileBeside(const std::string& beside, std::string& path, int& error);
    // Moves from to the name to, in the same folder, only when no entry has
    // that name (a dangling link counts): 0, or errno (EEXIST when taken).
    static int renameNoReplace(const std::string& from, const std::string& to);
    // Seconds since the entry at path (not followed) was last written; -1
    // when there is none.
    static long long secondsSinceModified(const std::string& path);
    // Whether path is a symbolic link.
    static bool isLink(const std::string& path);
    // Whether a bare name is one that makeLockedFileBeside (ending ".new")
    // or an earlier version's setting aside of a file (".old") gives: then
    // base is the bare name of the file it was made beside, and pid the
    // process that made it.
    static bool splitHiddenName(const std::string& entry, const std::string& ending,
                                std::string& base, long long& pid);
    // Whether a process of that id runs (one of another user included).
    static bool processAlive(long long pid);
    // Whether this process may remove the entry at path, by its folder's
    // rules (write permission and, in a sticky folder, ownership): 0, or the
    // errno that removing it would give.
    static int removalRefused(const std::string& path);
    // Whether path names the file open on descriptor fd.
    static bool leadsTo(const std::string& path, int fd);
    // Moves from over to (the same folder), replacing it; 0 or errno.
    static int replaceFile(const std::string& from, const std::string& to);
    // path with its symbolic links followed (up to 40), also to a target that
    // does not exist; path itself when it is no link.
    static std::string followLinks(const std::string& path);
    // Whether this process could open the existing file at path for writing.
    static bool canOpenForWriting(const std::string& path);
    // Sets the size of the file at path; 0 or errno.
    static int truncateFile(const std::string& path, long long size);
    // A writer's mark on the file it writes through fd (open for writing),
    // held until fd is closed; false where the system keeps no such mark.
    // beingWritten asks whether another open of the file holds it, taking
    // nothing: a reader that asks never makes a writer's lock attempt fail.
    static bool markBeingWritten(int fd);
    static void unmarkBeingWritten(int fd);
    static bool beingWritten(int fd);
    static long long processId();
};

} // namespace ZCoreLib

#endif
