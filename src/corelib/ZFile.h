#ifndef ZCORELIB_ZFILE_H
#define ZCORELIB_ZFILE_H

// Files and folders: existence tests, whole-file text input and output,
// deletion, name arithmetic, folder listing, sizes and point files.
// Both '/' and '\' separate folders in names; new separators are '/'.

#include <istream>
#include <sstream>
#include <string>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZFile {
public:
    // ---- existence, folders
    // Every reader opens through openForReading and reads through the one
    // descriptor it gives (ZFileInput, or the descriptor itself): it never
    // blocks, and a pipe put in a file's place after a check is refused, not
    // waited on. Only regular files are opened; a device, a pipe or a socket
    // is refused on a look at its name, without being opened. Returns the
    // descriptor, or -1 with error set: errno, EISDIR for a folder, or
    // notRegular for a pipe, a device or a socket.
    static constexpr int notRegular = -1;
    static int openForReading(const std::string& path, int& error);
    static bool fileExists(std::string path);   // readable regular file
    static bool folderExists(std::string path);
    static bool createFolder(std::string path); // one level
    static std::string getCurrentDir();
    static int setCurrentDir(std::string path);

    // ---- whole files (text: a CR before a LF is dropped on reading)
    static std::string readFile(std::string path); // "" when it cannot be opened
    static std::string readFile(std::istream& in);  // the rest of an open input
    static std::vector<std::string> readFileLines(std::string path, int maxLines, bool skipEmpty);
    static int writeFile(std::string path, std::string text, bool append);
    static int writeFile(std::string path, std::stringstream& stream, bool append);

    // ---- deleting, moving, copying
    static int delFile(std::string path, bool retry);
    static int moveFile(std::string from, std::string to);
    static void copyFile(std::string from, std::string to);

    // ---- sizes and time stamps
    static long fileSize(std::string path);
    static long long dateModified(std::string path);
    static long long dateCreated(std::string path);
    static std::string fileSizeFormat(long size);
    static unsigned long long fileSizeParse(std::string text);

    // ---- name arithmetic (name, extension and tail come from the last component)
    static std::string getFilename(std::string path);
    static std::string getPath(std::string path);
    static std::string getExtension(std::string path);
    static std::string getFilenameWithoutExtension(std::string path);
    static std::string changeExtension(std::string path, std::string extension);
    static std::string addTail(std::string path, std::string tail);
    static std::string padPath(std::string folder);
    static bool isRelativePath(std::string path);

    // ---- folder listing; names only, sorted by byte value. A folder that
    // cannot be read lists what was read of it (nothing, where it cannot be
    // opened), with *error set to errno; 0 when it was read whole.
    static std::vector<std::string> getFilesInFolder(std::string folder, std::string pattern,
                                                     bool folders, int max,
                                                     int* error = nullptr);
    static std::vector<std::string> getSubfolders(std::string folder);

    // ---- x y z point files; returns the number of points in x, -1 for a
    // missing or empty file
    static int readxyzFile(std::string path, std::vector<double>& x, std::vector<double>& y,
                           std::vector<double>& z, std::vector<std::string>& header,
                           std::string delimiter);
};

} // namespace ZCoreLib

#endif
