// Whether a file a reader opens is still the one its object counted. The
// readers open their file afresh for every read, so a file replaced, cut
// short or rewritten under an open handle would otherwise be read as if it
// still held the model the handle describes. The check looks at the
// descriptor the values are then read through, never at the name again.

#include "hsResultFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif

#include "ZCancel.h"
#include "ZFile.h"
#include "ZMessage.h"
#include "ZPlatform.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

// A writer only appends: the records a handle counted never change. Their two
// ends tell a file copied or written over in place by another run of the same
// header; a change between them goes unseen.
constexpr long long recordEndBytes = 1 << 12;
// Headers are hashed in blocks of this size (a multiple of the stripe).
constexpr long long headerBlock = 1 << 18;

// 64-bit digest over 32-byte stripes in four independent lanes, so that a
// header hashes faster than it is read from the page cache; any changed
// byte changes it with overwhelming likelihood.
class digest {
public:
    static constexpr size_t stripe = 32;

    // Whole stripes only: n is a multiple of stripe.
    void stripes(const unsigned char* p, size_t n)
    {
        for (size_t i = 0; i < n; i += stripe)
            for (int l = 0; l < 4; ++l)
                lane_[l] = round(lane_[l], word(p + i + 8 * l));
        length_ += n;
    }

    unsigned long long finish(const unsigned char* tail, size_t n)
    {
        unsigned long long h = length_ + n;
        for (int l = 0; l < 4; ++l)
            h = (h ^ round(0, lane_[l])) * p1 + p4;
        size_t i = 0;
        for (; i + 8 <= n; i += 8)
            h = rotl(h ^ round(0, word(tail + i)), 27) * p1 + p4;
        for (; i < n; ++i)
            h = rotl(h ^ (tail[i] * p5), 11) * p1;
        h ^= h >> 33;
        h *= p2;
        h ^= h >> 29;
        h *= p3;
        return h ^ (h >> 32);
    }

    static unsigned long long of(const unsigned char* p, size_t n)
    {
        digest d;
        const size_t whole = n - n % stripe;
        d.stripes(p, whole);
        return d.finish(p + whole, n - whole);
    }

private:
    static constexpr unsigned long long p1 = 0x9E3779B185EBCA87ULL, p2 = 0xC2B2AE3D27D4EB4FULL,
                                        p3 = 0x165667B19E3779F9ULL, p4 = 0x85EBCA77C2B2AE63ULL,
                                        p5 = 0x27D4EB2F165667C5ULL;
    static unsigned long long rotl(unsigned long long x, int r) { return (x << r) | (x >> (64 - r)); }
    static unsigned long long word(const unsigned char* p)
    {
        unsigned long long w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static unsigned long long round(unsigned long long acc, unsigned long long w)
    {
        return rotl(acc + w * p2, 31) * p1;
    }
    unsigned long long lane_[4] = {p1 + p2, p2, 0, 0 - p1};
    unsigned long long length_ = 0;
};

ZException changed(const std::string& name, const std::string& what)
{
    return ZException("hsResultFile: the result file '" + name + "' " + what);
}

// Saturates outside the years 1677 to 2262.
long long nanoseconds(long long sec, long long nsec)
{
    long long ns = 0;
    if (__builtin_mul_overflow(sec, 1000000000LL, &ns) || __builtin_add_overflow(ns, nsec, &ns))
        return sec < 0 ? LLONG_MIN : LLONG_MAX;
    return ns;
}

// File systems take file times from a coarse clock: ext2 and ramfs in ticks
// of about 4 ms, ext3's small inodes to the second, FAT to 2 s. A change in
// the same tick as a look may leave every time as the look saw it, so a
// look is trusted only when the file's last change lay this far before it.
constexpr long long timeTickNs = 3000000000LL;

bool settled(const hsResultFile::openFile::status& s)
{
    const long long last = std::max(s.modifiedNs, s.changedNs);
    long long age = 0;
    if (__builtin_sub_overflow(s.takenNs, last, &age))
        return last < 0;
    return age >= timeTickNs;
}

} // namespace

hsResultFile::openFile::openFile(const std::string& name)
{
    fd_ = ZCoreLib::ZFile::openForReading(name, error_);
}

hsResultFile::openFile::~openFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

hsResultFile::openFile::status hsResultFile::openFile::stat() const
{
    status s;
    if (fd_ < 0)
        return s;
    // Before the times: a change after they were read is later than this.
    timespec clock = {};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    s.takenNs = nanoseconds(clock.tv_sec, clock.tv_nsec);
#ifdef STATX_BTIME
    struct ::statx x;
    if (::statx(fd_, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &x) == 0) {
        s.device = ::makedev(x.stx_dev_major, x.stx_dev_minor);
        s.inode = x.stx_ino;
        s.size = static_cast<long long>(x.stx_size);
        s.modifiedNs = nanoseconds(x.stx_mtime.tv_sec, x.stx_mtime.tv_nsec);
        s.changedNs = nanoseconds(x.stx_ctime.tv_sec, x.stx_ctime.tv_nsec);
        s.hasBirth = (x.stx_mask & STATX_BTIME) != 0;
        s.birthNs = s.hasBirth ? nanoseconds(x.stx_btime.tv_sec, x.stx_btime.tv_nsec) : 0;
    } else
#endif
    {
        struct ::stat st;
        if (::fstat(fd_, &st) != 0)
            return s;
        s.device = static_cast<unsigned long long>(st.st_dev);
        s.inode = static_cast<unsigned long long>(st.st_ino);
        s.size = static_cast<long long>(st.st_size);
        s.modifiedNs = nanoseconds(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        s.changedNs = nanoseconds(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    }
#ifdef FS_IOC_GETVERSION
    // Asked beside the birth time, which some file systems keep only to
    // their clock's tick. Declared for a long; file systems write an int.
    long generation = 0;
    s.hasGeneration = ::ioctl(fd_, FS_IOC_GETVERSION, &generation) == 0;
    s.generation = s.hasGeneration ? static_cast<unsigned int>(generation) : 0;
#endif
    return s;
}

bool hsResultFile::openFile::sameFile(const status& a, const status& b)
{
    if (a.device != b.device || a.inode != b.inode)
        return false;
    if (a.hasBirth && b.hasBirth && a.birthNs != b.birthNs)
        return false;
    return !(a.hasGeneration && b.hasGeneration && a.generation != b.generation);
}

bool hsResultFile::openFile::unchanged(const status& a, const status& b)
{
    return sameFile(a, b) && a.size == b.size && a.modifiedNs == b.modifiedNs &&
           a.changedNs == b.changedNs && settled(b);
}

bool hsResultFile::openFile::heldByWriter() const
{
    return fd_ >= 0 && ZCoreLib::ZPlatform::beingWritten(fd_);
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

unsigned long long hsResultFile::headerShape(const openFile& f, int version, long long hs,
                                             const std::string& name)
{
    // The words a series changes from file to file: the count, which a
    // writer at work also rewrites, and the start time.
    const long long nt = ntOffset(version);
    const long long start = version >= 8 ? 32 : nt - 8;
    const long long startEnd = start + (version >= 8 ? 8 : 4);
    std::vector<unsigned char> block(static_cast<size_t>(std::min(std::max(hs, 0LL), headerBlock)));
    digest d;
    for (long long at = 0; at < hs;) {
        ZCoreLib::ZCancel::poll();
        const long long n = std::min(hs - at, headerBlock);
        if (f.readAt(at, block.data(), n) != n)
            throw changed(name, "ends inside its header of " + str(hs) + " bytes.");
        for (long long i = std::max(at, start); i < std::min(at + n, startEnd); ++i)
            block[static_cast<size_t>(i - at)] = 0;
        for (long long i = std::max(at, nt); i < std::min(at + n, nt + 4); ++i)
            block[static_cast<size_t>(i - at)] = 0;
        at += n;
        if (at < hs) {
            d.stripes(block.data(), static_cast<size_t>(n));
            continue;
        }
        const size_t whole = static_cast<size_t>(n) - static_cast<size_t>(n) % digest::stripe;
        d.stripes(block.data(), whole);
        return d.finish(block.data() + whole, static_cast<size_t>(n) - whole);
    }
    return d.finish(nullptr, 0);
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
    return digest::of(block.data(), block.size());
}

hsResultFile::seenFile hsResultFile::firstSight(const openFile& f, int nt,
                                                const seriesHead& head) const
{
    seenFile s;
    s.stamp = f.stat();
    s.nt = std::max(nt, 0);
    s.head = head;
    const int hs = std::max(head.headerSize, 0);
    // A file first seen damaged keeps what it held: the readers report the
    // records it lacks themselves.
    s.recordsEnd = std::min(s.stamp.size, hs + 4LL * s.nt * totItemSize64(nItem()));
    s.records = recordsDigest(f, hs, s.recordsEnd);
    return s;
}

void hsResultFile::checkOpen(int k, const openFile& f)
{
    const std::string name = seriesFileName(fileName, k);
    if (!f.isOpen()) {
        if (f.error() == ENOENT || f.error() == ENOTDIR)
            throw changed(name, "is gone: it was deleted or renamed after this handle read it.");
        // A socket put in the place between the look at the name and the
        // open fails the open with ENXIO.
        if (f.error() == ZCoreLib::ZFile::notRegular || f.error() == EISDIR || f.error() == ENXIO)
            throw changed(name, "was replaced by another file after this handle read it.");
        throw changed(name, std::string("cannot be opened: ") + std::strerror(f.error()) + ".");
    }
    seenFile& s = seen_[static_cast<size_t>(k)];
    const openFile::status now = f.stat();
    if (!openFile::sameFile(now, s.stamp))
        throw changed(name, "was replaced by another file after this handle read it.");
    if (now.size < s.recordsEnd)
        throw changed(name, "was cut short: it holds " + str(now.size) +
                                " bytes, but the timesteps this handle counted end at byte " +
                                str(s.recordsEnd) + ".");
    if (openFile::unchanged(now, s.stamp) && !s.byWriter)
        return;
    if (f.heldByWriter() && onlyAppended(f, s, now)) {
        s.stamp = now;
        s.byWriter = true;
        return;
    }
    // Grown by its writer, or touched: the header and the counted records
    // stand. A file written over in place, larger or not, shows another
    // header somewhere, or other counted records.
    bool sameHeader = false;
    try {
        const seriesHead h = readSeriesHead(f, name);
        sameHeader = h.shape == s.head.shape && h.startDT == s.head.startDT &&
                     h.headerSize == s.head.headerSize && h.version == s.head.version;
    } catch (const ZException&) {
    }
    if (!sameHeader)
        throw changed(name, "was rewritten: its header differs from the one this handle read.");
    if (recordsDigest(f, std::max(s.head.headerSize, 0), s.recordsEnd) != s.records)
        throw changed(name, "was rewritten: the timesteps this handle counted hold other values now.");
    s.stamp = now;
    s.byWriter = false;
}

// Its writer changes nothing of the header but the count and only appends
// (hsResultFileWrite.cpp): a count that did not shrink, backed by the file,
// and the counted records as they were are all it can show. Cheap whatever
// the header's size; anything else by anyone else is found by the whole
// check at the first look after the writer let go.
bool hsResultFile::onlyAppended(const openFile& f, const seenFile& s,
                                const openFile::status& now) const
{
    seriesHead h = s.head;
    if (f.readAt(ntOffset(h.version), &h.nt, 4) != 4 || h.nt < s.nt ||
        !countUnbacked(h, now.size, "").empty())
        return false;
    return recordsDigest(f, std::max(h.headerSize, 0), s.recordsEnd) == s.records;
}

std::unique_ptr<hsResultFile::openFile> hsResultFile::openSeen(int k)
{
    auto f = std::make_unique<openFile>(seriesFileName(fileName, k));
    checkOpen(k, *f);
    return f;
}

// A new run renames its first file, which holds no timestep yet, over the
// name and only then removes the old series: an object opened on the old run
// may meet its files going. One that has handed out nothing of its run takes
// the new run instead, when it holds the same model (the same header but for
// the start and the count), so that nothing it described changes but its time
// axis; another model would change the arrays under its users. Once it has
// handed out anything of its run, a header that names the new run's values
// would be as wrong as values under the old run's time axis.
bool hsResultFile::mayTakeNewRun() const
{
    return !handedOut_ && !seen_.empty() && isReader() && isBinaryFormat();
}

// The run is taken from the descriptor the name was looked at through: a look
// and a second open could find the old file, then the new one.
bool hsResultFile::takeNewRun(const openFile& f)
{
    if (!mayTakeNewRun() || !f.isOpen() || openFile::sameFile(f.stat(), seen_[0].stamp))
        return false;
    seriesHead head;
    try {
        head = readSeriesHead(f, fileName);
    } catch (const ZException&) {
        return false;
    }
    // Its writer appends a timestep before counting it: the size taken after
    // the count backs it.
    const openFile::status now = f.stat();
    const seriesHead& was = seen_[0].head;
    if (head.shape != was.shape || head.headerSize != was.headerSize ||
        head.version != was.version || !countUnbacked(head, now.size, fileName).empty())
        return false;
    mInfo.noTimestep = head.nt;
    mInfo.startDT = head.startDT;
    dateModified = now.modifiedNs / 1000000000LL;
    curTimestep = 0;
    refused_ = refusedNext();
    seen_.assign(1, firstSight(f, head.nt, head));
    return true;
}

void hsResultFile::settleRun()
{
    if (mayTakeNewRun()) {
        const openFile f(fileName);
        takeNewRun(f);
    }
    handedOut_ = true;
}

bool hsResultFile::rescanReplacedRun(int attempt)
{
    const openFile f(fileName);
    if (f.isOpen() && openFile::sameFile(f.stat(), seen_[0].stamp))
        return false;
    // A name that keeps changing is refused after a few runs.
    if (attempt < 3 && takeNewRun(f))
        return true;
    checkOpen(0, f);
    throw changed(fileName, "was replaced by another file after this handle read it.");
}

} // namespace hestor
