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
    // in the order the system gives them; empty when the folder cannot be read.
    static std::vector<FolderEntry> listFolder(const std::string& folder,
                                               const std::string& pattern);
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
    static int lockFile(const std::string& path, bool create, bool& busy, int& error,
                        bool* created = nullptr);
    static void unlockFile(int fd);
    // A new empty file, locked as by lockFile, in the folder of `beside`,
    // under a hidden name that no other file has (path). When `beside`
    // exists, the new file takes its permissions and, where the system
    // allows, its owner. -1 with error set to errno on failure.
    static int makeLockedFileBeside(const std::string& beside, std::string& path, int& error);
    // A new empty file at path, locked as by lockFile, made only when no
    // entry has that name. -1 with error set to errno on failure: EEXIST when
    // the name is taken, with busy set when another holds the lock of the
    // file there.
    static int createLockedFile(const std::string& path, bool& busy, int& error);
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
    static bool beingWritten(int fd);
    static long long processId();
};

} // namespace ZCoreLib

#endif
