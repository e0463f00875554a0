// Whether a file a reader opens is still the one its handle read. The
// readers open their file afresh for every read, so a file replaced, cut
// short or rewritten under an open handle would otherwise be read as if it
// still held the model the handle describes.

#include "hsResultFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "ZMessage.h"
#include "ZPlatform.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::ZPlatform;
using ZCoreLib::str;

namespace {

// FNV-1a, 64 bits: the header only has to be told apart from another one.
unsigned long long hashBytes(unsigned long long h, const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

ZException changed(const std::string& name, const std::string& what)
{
    return ZException("hsResultFile: the result file '" + name + "' " + what);
}

} // namespace

// The header is hashed with its timestep count read as zero: a writer at work
// rewrites that word after every timestep. The hash of its first block is
// kept apart: a file that only grew is checked by that block alone, so that
// reading beside a writer does not read a header of many megabytes each time.
hsResultFile::diskFile hsResultFile::readDiskFile(const std::string& name, bool whole) const
{
    const ZPlatform::FileInfo info = ZPlatform::fileInfo(name);
    diskFile d;
    d.device = info.device;
    d.inode = info.inode;
    d.size = info.size;
    d.modifiedNs = info.modifiedNs;
    d.changedNs = info.changedNs;
    std::ifstream in(name, std::ios::binary);
    if (!in)
        throw ZException("hsResultFile: cannot open result file '" + name + "'.");
    const long long block = 1 << 16;
    const long long headerEnd = std::max(headerSize, 0);
    const long long end = whole ? headerEnd : std::min(headerEnd, block);
    const long long ntAt = getNToffset();
    char nt[4] = {};
    unsigned long long h = 14695981039346656037ULL;
    std::vector<char> chunk(static_cast<size_t>(block));
    for (long long done = 0; done < end;) {
        in.read(chunk.data(), static_cast<std::streamsize>(std::min(block, end - done)));
        const long long got = in.gcount();
        if (got <= 0)
            break;
        for (long long pos = std::max(done, ntAt); pos < std::min(done + got, ntAt + 4); ++pos) {
            nt[pos - ntAt] = chunk[static_cast<size_t>(pos - done)];
            chunk[static_cast<size_t>(pos - done)] = 0;
        }
        h = hashBytes(h, chunk.data(), static_cast<size_t>(got));
        if (done == 0)
            d.firstBlockHash = h;
        done += got;
    }
    d.headerHash = h;
    int32_t count = 0;
    std::memcpy(&count, nt, 4);
    // A file of a series first seen damaged keeps what it held: the readers
    // report the records it lacks themselves.
    d.recordsEnd = std::min(
        d.size, headerEnd + 4 * static_cast<long long>(std::max(count, 0)) * totItemSize64(nItem()));
    return d;
}

void hsResultFile::checkUnchanged(const std::string& name)
{
    const ZPlatform::FileInfo now = ZPlatform::fileInfo(name);
    auto it = diskFiles_.find(name);
    if (now.kind == ZPlatform::NONE) {
        if (it == diskFiles_.end())
            return; // never read: the reader reports a missing file itself
        throw changed(name, "is gone: it was deleted or renamed after this handle read it.");
    }
    if (it == diskFiles_.end())
        it = diskFiles_.emplace(name, readDiskFile(name, true)).first;
    diskFile& d = it->second;
    if (now.device != d.device || now.inode != d.inode)
        throw changed(name, "was replaced by another file after this handle read it.");
    if (now.size < d.recordsEnd)
        throw changed(name, "was cut short: it holds " + str(now.size) +
                                " bytes, but the timesteps this handle counted end at byte " +
                                str(d.recordsEnd) + ".");
    if (now.size == d.size && now.modifiedNs == d.modifiedNs && now.changedNs == d.changedNs)
        return;
    const bool grew = now.size > d.size;
    const diskFile again = readDiskFile(name, !grew);
    if (grew ? again.firstBlockHash != d.firstBlockHash : again.headerHash != d.headerHash)
        throw changed(name, "was rewritten: its header differs from the one this handle read.");
    // Grown by its writer, or touched: the header and the counted records stand.
    d.size = now.size;
    d.modifiedNs = now.modifiedNs;
    d.changedNs = now.changedNs;
}

} // namespace hestor
