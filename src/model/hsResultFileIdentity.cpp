// Whether a file a reader opens is still the one its object counted. The
// readers open their file afresh for every read, so a file replaced, cut
// short or rewritten under an open handle would otherwise be read as if it
// still held the model the handle describes. The check looks at the
// descriptor the values are then read through, never at the name again.

#include "hsResultFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

// A header is told apart from another by its first block; the block is as
// much as the first sight of a file reads.
constexpr long long firstBlockBytes = 1 << 16;
// A writer only appends: the records a handle counted never change. Their two
// ends tell a file copied or written over in place by another run of the same
// header, which shows the same first block.
constexpr long long recordEndBytes = 1 << 12;

// 64-bit multiply-xorshift over 8-byte words: fast enough that a first block
// costs about what reading it does, and any changed byte changes the digest
// with overwhelming likelihood.
unsigned long long digest(const unsigned char* p, size_t n)
{
    const unsigned long long m = 0x9E3779B97F4A7C15ULL;
    unsigned long long h = 0x243F6A8885A308D3ULL ^ (n * m);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        unsigned long long w;
        std::memcpy(&w, p + i, 8);
        w *= m;
        w ^= w >> 29;
        h = (h ^ w) * 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 32;
    }
    unsigned long long tail = 0;
    if (n > i)
        std::memcpy(&tail, p + i, n - i);
    h = (h ^ (tail * m)) * 0x94D049BB133111EBULL;
    return h ^ (h >> 31);
}

ZException changed(const std::string& name, const std::string& what)
{
    return ZException("hsResultFile: the result file '" + name + "' " + what);
}

} // namespace

hsResultFile::openFile::openFile(const std::string& name)
{
    do
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd_ < 0 && errno == EINTR);
    error_ = fd_ < 0 ? errno : 0;
}

hsResultFile::openFile::~openFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

hsResultFile::openFile::status hsResultFile::openFile::stat() const
{
    struct ::stat st;
    status s;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return s;
    s.device = static_cast<unsigned long long>(st.st_dev);
    s.inode = static_cast<unsigned long long>(st.st_ino);
    s.size = static_cast<long long>(st.st_size);
    s.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.changedNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

long long hsResultFile::openFile::readAt(long long pos, void* dst, long long n) const
{
    char* out = static_cast<char*>(dst);
    long long done = 0;
    while (done < n && fd_ >= 0) {
        const ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(n - done),
                                    static_cast<off_t>(pos + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

// Only a writer sizes the files of its series; a reader's object never does.
bool hsResultFile::isReader() const { return !fileStream.is_open() && !madeForWriting(); }

unsigned long long hsResultFile::firstBlockDigest(const openFile& f, int hs, long long size) const
{
    const long long n = std::min({static_cast<long long>(std::max(hs, 0)), firstBlockBytes, size});
    std::vector<unsigned char> block(static_cast<size_t>(std::max(n, 0LL)));
    const long long got = f.readAt(0, block.data(), n);
    block.resize(static_cast<size_t>(std::max(got, 0LL)));
    // A writer at work rewrites the count after every timestep.
    const long long at = getNToffset();
    for (long long i = at; i < at + 4 && i < got; ++i)
        block[static_cast<size_t>(i)] = 0;
    return digest(block.data(), block.size());
}

unsigned long long hsResultFile::recordsDigest(const openFile& f, long long from, long long to) const
{
    if (to <= from)
        return 0;
    const long long head = std::min(recordEndBytes, to - from);
    const long long tail = std::min(recordEndBytes, to - from - head);
    std::vector<unsigned char> block(static_cast<size_t>(head + tail));
    long long got = f.readAt(from, block.data(), head);
    if (tail > 0)
        got += f.readAt(to - tail, block.data() + head, tail);
    block.resize(static_cast<size_t>(std::max(got, 0LL)));
    return digest(block.data(), block.size());
}

hsResultFile::seenFile hsResultFile::firstSight(const openFile& f, int nt, int hs) const
{
    seenFile s;
    s.stamp = f.stat();
    s.nt = std::max(nt, 0);
    s.headerSize = hs;
    // A file first seen damaged keeps what it held: the readers report the
    // records it lacks themselves.
    s.recordsEnd = std::min(s.stamp.size, std::max(hs, 0) + 4LL * s.nt * totItemSize64(nItem()));
    s.firstBlock = firstBlockDigest(f, hs, s.stamp.size);
    s.records = recordsDigest(f, std::max(hs, 0), s.recordsEnd);
    return s;
}

void hsResultFile::checkOpen(int k, const openFile& f)
{
    const std::string name = seriesFileName(fileName, k);
    if (!f.isOpen()) {
        if (f.error() == ENOENT || f.error() == ENOTDIR)
            throw changed(name, "is gone: it was deleted or renamed after this handle read it.");
        throw changed(name, std::string("cannot be opened: ") + std::strerror(f.error()) + ".");
    }
    seenFile& s = seen_[static_cast<size_t>(k)];
    const openFile::status now = f.stat();
    if (now.device != s.stamp.device || now.inode != s.stamp.inode)
        throw changed(name, "was replaced by another file after this handle read it.");
    if (now.size < s.recordsEnd)
        throw changed(name, "was cut short: it holds " + str(now.size) +
                                " bytes, but the timesteps this handle counted end at byte " +
                                str(s.recordsEnd) + ".");
    if (now.size == s.stamp.size && now.modifiedNs == s.stamp.modifiedNs &&
        now.changedNs == s.stamp.changedNs)
        return;
    // Grown by its writer, or touched: the header and the counted records
    // stand. A file written over in place, larger or not, shows another
    // first block, or other counted records.
    if (firstBlockDigest(f, s.headerSize, now.size) != s.firstBlock)
        throw changed(name, "was rewritten: its header differs from the one this handle read.");
    if (recordsDigest(f, std::max(s.headerSize, 0), s.recordsEnd) != s.records)
        throw changed(name, "was rewritten: the timesteps this handle counted hold other values now.");
    s.stamp = now;
}

std::unique_ptr<hsResultFile::openFile> hsResultFile::openSeen(int k)
{
    auto f = std::make_unique<openFile>(seriesFileName(fileName, k));
    checkOpen(k, *f);
    return f;
}

} // namespace hestor
