#include "ZFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

#include "ZFileInput.h"
#include "ZPlatform.h"
#include "ZStr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZCoreLib {

namespace {

typedef std::unique_ptr<FILE, int (*)(FILE*)> FilePtr;

FilePtr openFile(const std::string& path, const char* mode)
{
    return FilePtr(std::fopen(path.c_str(), mode), std::fclose);
}

// A regular file to read, as a C stream on the descriptor openForReading gave.
FilePtr openInput(const std::string& path)
{
    int error = 0;
    const int fd = ZFile::openForReading(path, error);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (fd >= 0 && !file)
        ::close(fd);
    return FilePtr(file, std::fclose);
}

bool isRegularFile(const std::string& path)
{
    return ZPlatform::fileInfo(path).kind == ZPlatform::REGULAR;
}

// Start of the last path component.
size_t nameStart(const std::string& path)
{
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? 0 : sep + 1;
}

// The last '.' of the last path component; npos when it has none.
size_t lastDotInName(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < nameStart(path) ? std::string::npos : dot;
}

// A CR directly before a LF is dropped, as text-mode reading does.
std::string dropCarriageReturns(const std::string& raw)
{
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        text += raw[i];
    }
    return text;
}

// The delimiter goes into a scan format verbatim, but a '%' in it is literal.
std::string xyzScanFormat(const std::string& delimiter)
{
    const std::string d = ZStr::replace(delimiter, "%", "%%");
    return "%lf" + d + "%lf" + d + "%lf";
}

// A line as readFileLines gives it: its CR LF or LF end made one LF.
bool readLine(FILE* file, std::string& line)
{
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n')
        line += static_cast<char>(c);
    if (c == EOF && line.empty())
        return false;
    if (c == '\n' && !line.empty() && line.back() == '\r')
        line.pop_back();
    line += '\n';
    return true;
}

} // namespace

// ---- existence, folders

// The name is looked at first: anything but a regular file is refused
// without being opened, since opening a device can have effects of its own
// (a terminal could become the controlling one). The name can change before
// the open, so that is made without waiting and checked again through the
// descriptor.
int ZFile::openForReading(const std::string& path, int& error)
{
    struct ::stat st;
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : notRegular;
        return -1;
    }
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        error = !statted ? errno : S_ISDIR(st.st_mode) ? EISDIR : notRegular;
        ::close(fd);
        return -1;
    }
    // Reads of a regular file wait for the disk as usual.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    error = 0;
    return fd;
}

bool ZFile::fileExists(std::string path)
{
    int error = 0;
    const int fd = openForReading(path, error);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool ZFile::folderExists(std::string path)
{
    return ZPlatform::fileInfo(path).kind == ZPlatform::FOLDER;
}

bool ZFile::createFolder(std::string path)
{
    return ZPlatform::makeFolder(path);
}

std::string ZFile::getCurrentDir()
{
    return ZPlatform::currentDir();
}

int ZFile::setCurrentDir(std::string path)
{
    return ZPlatform::changeDir(path);
}

// ---- whole files

std::string ZFile::readFile(std::string path)
{
    ZFileInput in(path);
    return in.is_open() ? readFile(in) : std::string();
}

std::string ZFile::readFile(std::istream& in)
{
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return dropCarriageReturns(raw);
}

std::vector<std::string> ZFile::readFileLines(std::string path, int maxLines, bool skipEmpty)
{
    std::vector<std::string> lines;
    const unsigned long long limit = static_cast<unsigned long long>(static_cast<long long>(maxLines));
    ZFileInput in(path);
    if (!in.is_open())
        return lines;
    std::string line;
    while (lines.size() < limit && std::getline(in, line)) {
        // Only a line that ended in LF had a CR LF end.
        if (!in.eof() && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (skipEmpty && line.empty())
            continue;
        lines.push_back(line + "\n");
    }
    return lines;
}

int ZFile::writeFile(std::string path, std::string text, bool append)
{
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    if (!out.is_open())
        return -1;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out.fail() ? -1 : 0;
}

int ZFile::writeFile(std::string path, std::stringstream& stream, bool append)
{
    return writeFile(path, stream.str(), append);
}

// ---- deleting, moving, copying

int ZFile::delFile(std::string path, bool retry)
{
    // Only regular files are deleted; remove() would also take an empty folder.
    if (!isRegularFile(path))
        return 0;
    const int r = std::remove(path.c_str()) == 0 ? 0 : -1;
    if (r == 0 || !retry)
        return r;
    for (int attempt = 0; attempt < 6; ++attempt) {
        ZPlatform::sleepMs(100);
        if (!isRegularFile(path) || std::remove(path.c_str()) == 0)
            return 0;
    }
    throw ZException("Could not delete file '" + path + "'");
}

int ZFile::moveFile(std::string from, std::string to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}

void ZFile::copyFile(std::string from, std::string to)
{
    FilePtr in = openInput(from);
    // Opening the destination first would empty a source that is the same file.
    if (!in || ZPlatform::sameFile(from, to))
        return;
    FilePtr out = openFile(to, "wb");
    if (!out)
        return;
    std::vector<char> block(65536);
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), in.get())) > 0) {
        if (std::fwrite(block.data(), 1, n, out.get()) != n)
            return;
    }
}

// ---- sizes and time stamps

long ZFile::fileSize(std::string path)
{
    const ZPlatform::FileInfo info = ZPlatform::fileInfo(path);
    return info.kind == ZPlatform::REGULAR ? static_cast<long>(info.size) : 0;
}

long long ZFile::dateModified(std::string path)
{
    return ZPlatform::fileInfo(path).modified;
}

long long ZFile::dateCreated(std::string path)
{
    return ZPlatform::fileInfo(path).changed;
}

std::string ZFile::fileSizeFormat(long size)
{
    if (size <= 1023)
        return std::to_string(size) + " bytes";
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    int k = 0;
    // PB is the largest unit; above it the number grows instead.
    while (size > 1023 && k < 5) {
        size >>= 10;
        ++k;
    }
    return std::to_string(size) + " " + units[k - 1];
}

unsigned long long ZFile::fileSizeParse(std::string text)
{
    std::string key;
    for (char c : text) {
        if (c != ' ')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    double factor = 1;
    if (key.size() > 2) {
        const std::string unit = key.substr(key.size() - 2);
        if (unit == "kb")
            factor = 1024;
        else if (unit == "mb")
            factor = 1048576;
        else if (unit == "gb")
            factor = 1073741824;
        else if (unit == "tb")
            factor = 1099512000000.0;
        else if (unit == "pb")
            factor = 1125900000000000.0;
    }
    const double bytes = std::atof(text.c_str()) * factor;
    if (!(bytes > 0)) // negative, zero, or not a number
        return 0;
    if (bytes >= 18446744073709551616.0)
        return std::numeric_limits<unsigned long long>::max();
    return static_cast<unsigned long long>(bytes);
}

// ---- name arithmetic

std::string ZFile::getFilename(std::string path)
{
    return path.substr(nameStart(path));
}

std::string ZFile::getPath(std::string path)
{
    const size_t start = nameStart(path);
    return start == 0 ? std::string() : path.substr(0, start - 1);
}

std::string ZFile::getExtension(std::string path)
{
    const size_t dot = lastDotInName(path);
    return dot == std::string::npos ? getFilename(path) : path.substr(dot + 1);
}

std::string ZFile::getFilenameWithoutExtension(std::string path)
{
    const size_t start = nameStart(path);
    const size_t dot = lastDotInName(path);
    return dot == std::string::npos ? path.substr(start) : path.substr(start, dot - start);
}

std::string ZFile::changeExtension(std::string path, std::string extension)
{
    const size_t dot = lastDotInName(path);
    if (dot != std::string::npos && dot + 1 < path.size())
        return path.substr(0, dot + 1) + extension;
    return path + "." + extension;
}

std::string ZFile::addTail(std::string path, std::string tail)
{
    // A name without an extension (none, or only a leading '.') takes the
    // tail at its end, so the files of a series never share one name.
    const size_t dot = lastDotInName(path);
    if (dot == std::string::npos || dot == nameStart(path))
        return path + tail;
    return path.substr(0, dot) + tail + path.substr(dot);
}

std::string ZFile::padPath(std::string folder)
{
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder;
    return folder + "/";
}

bool ZFile::isRelativePath(std::string path)
{
    if (!path.empty() && (path[0] == '/' || path[0] == '\\'))
        return false;
    return path.size() < 2 || path[1] != ':';
}

// ---- folder listing

std::vector<std::string> ZFile::getFilesInFolder(std::string folder, std::string pattern,
                                                 bool folders, int max, int* error)
{
    std::vector<std::string> names;
    int listError = 0;
    if (error)
        *error = 0;
    if (max == 0)
        return names;
    const std::vector<ZPlatform::FolderEntry> entries =
        ZPlatform::listFolder(folder, pattern, listError);
    if (error)
        *error = listError;
    for (const ZPlatform::FolderEntry& e : entries) {
        if (folders ? (e.isFolder && e.name != "." && e.name != "..") : !e.isFolder)
            names.push_back(e.name);
    }
    // The system's order is arbitrary: sort first so a capped list is reproducible.
    std::sort(names.begin(), names.end());
    if (max > 0 && names.size() > static_cast<size_t>(max))
        names.resize(static_cast<size_t>(max));
    return names;
}

std::vector<std::string> ZFile::getSubfolders(std::string folder)
{
    return getFilesInFolder(folder, "*.*", true, -1);
}

// ---- point files

int ZFile::readxyzFile(std::string path, std::vector<double>& x, std::vector<double>& y,
                       std::vector<double>& z, std::vector<std::string>& header,
                       std::string delimiter)
{
    FilePtr file = openInput(path);
    std::string first;
    if (!file || !readLine(file.get(), first))
        return -1;
    const std::vector<std::string> tokens = ZStr::Split(first, delimiter, false, false);
    if (tokens.empty())
        return -1;
    const bool hasHeader = !ZStr::isNumeric(tokens[0], true);
    if (hasHeader) {
        header = tokens;
        header.back() = ZStr::trimEnd(header.back(), '\n');
    } else {
        std::rewind(file.get());
    }
    const std::string format = xyzScanFormat(delimiter);
    double vx, vy, vz;
    while (std::fscanf(file.get(), format.c_str(), &vx, &vy, &vz) == 3) {
        x.push_back(vx);
        y.push_back(vy);
        z.push_back(vz);
    }
    return static_cast<int>(x.size());
}

} // namespace ZCoreLib
