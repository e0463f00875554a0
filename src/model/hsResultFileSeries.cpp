// Series of binary result files: naming, which files belong to a series, and
// the timesteps each file holds.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "ZCancel.h"
#include "ZFile.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::str;

std::string hsResultFile::seriesFileName(const std::string& first, int k)
{
    if (k == 0)
        return first;
    return ZFile::addTail(first, "^" + std::to_string(k));
}

namespace {

// Whether a file may start `gap` seconds after another that n timesteps of ts
// seconds before it started. The writer advances the start by n timesteps,
// the product in double truncated toward zero, with the timestep it was
// given; the header keeps that timestep as a float32, so any double that
// rounds to it may have been used. The products of those doubles span an
// interval, and every whole second in it is a start the writer could have
// computed: 1 s early at a whole span, never 1 s late.
bool spanAllows(long long gap, long long n, double ts)
{
    double lo = ts, hi = ts;
    const float f = static_cast<float>(ts);
    if (static_cast<double>(f) == ts && std::isfinite(f) && f != 0.0f) {
        const double below = std::nextafter(f, -HUGE_VALF), above = std::nextafter(f, HUGE_VALF);
        // Halfway doubles round to the float with an even last bit.
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        const bool tiesToF = (bits & 1u) == 0;
        lo = (ts + below) / 2;
        hi = std::isfinite(above) ? (ts + above) / 2 : ts + (ts - below) / 2;
        if (!tiesToF) {
            lo = std::nextafter(lo, ts);
            hi = std::nextafter(hi, ts);
        }
    }
    const double a = static_cast<double>(n) * lo, b = static_cast<double>(n) * hi;
    if (!std::isfinite(a) || !std::isfinite(b) || std::fabs(a) >= 9.0e18 || std::fabs(b) >= 9.0e18)
        return false;
    const long long first = static_cast<long long>(std::min(a, b));
    const long long last = static_cast<long long>(std::max(a, b));
    return gap >= first && gap <= last;
}

bool startsAfter(long long start, long long from, long long n, double ts)
{
    long long gap;
    return !__builtin_sub_overflow(start, from, &gap) && spanAllows(gap, n, ts);
}

} // namespace

// A file without timesteps ends the series: the writer makes one only as the
// last file. The start may follow from the file before (the writer's own
// roll-over) or from the series' first file (files written apart, each
// starting at its first timestep of the whole run); both truncate a product.
bool hsResultFile::follows(const seriesHead& first, long long before, const seriesHead& prev,
                           int prevNt, const seriesHead& next)
{
    if (prevNt < 1 || next.shape != prev.shape || next.headerSize != prev.headerSize ||
        next.version != prev.version)
        return false;
    return startsAfter(next.startDT, prev.startDT, prevNt, prev.timestep) ||
           startsAfter(next.startDT, first.startDT, before + prevNt, prev.timestep);
}

// A file left from an earlier, longer run, another model's file or a file of
// another time axis must not be read as part of a new series: only a file
// that continues the one before it counts, and only after the whole of that
// file as this handle counted it. File k is first seen here, through the
// descriptor its head is read from.
bool hsResultFile::nextContinues(int k, long long held)
{
    const std::string name = seriesFileName(fileName, k);
    const openFile f(name);
    if (!f.isOpen())
        return false;
    const openFile::status now = f.stat();
    if (refused_.k == k && openFile::unchanged(now, refused_.stamp))
        return false;
    seriesHead head;
    bool readable = true;
    try {
        head = readSeriesHead(f, name);
    } catch (const ZException&) {
        readable = false; // a file that cannot be read continues nothing
    }
    const seenFile& prev = seen_[static_cast<size_t>(k - 1)];
    bool continues = readable && follows(seen_[0].head, held - prev.nt, prev.head, prev.nt, head);
    if (continues) {
        // A file that grew after this handle counted it ends the series
        // where the count ends: its later timesteps are not seen.
        const std::unique_ptr<openFile> p = openSeen(k - 1);
        int32_t nt = -1;
        p->readAt(ntOffset(prev.head.version), &nt, 4);
        continues = nt == prev.nt;
    }
    if (!continues) {
        refused_.k = k;
        refused_.stamp = now;
        return false;
    }
    // A file too short for the timesteps its header counts is damaged, not a
    // stranger: it is refused by name. Its size is taken after its count, since
    // its writer appends before it counts.
    const std::string unbacked = countUnbacked(head, f.stat().size, name);
    if (!unbacked.empty())
        throw ZException(unbacked);
    seen_.push_back(firstSight(f, head.nt, head));
    return true;
}

int hsResultFile::seeSeries(long long need)
{
    if (seen_.empty()) {
        // An object given its files by its owner: the first file counts what
        // the object holds.
        const openFile f(fileName);
        if (!f.isOpen() || !isBinaryFormat())
            return 0;
        seriesHead head;
        try {
            head = readSeriesHead(f, fileName);
        } catch (const ZException&) {
            return 0;
        }
        head.headerSize = headerSize;
        seen_.push_back(firstSight(f, mInfo.noTimestep, head));
    }
    for (int attempt = 0;; ++attempt) {
        long long held = 0;
        for (const seenFile& s : seen_)
            held += s.nt;
        if (need >= 0 && held >= need)
            break; // the counts already seen answer
        try {
            while ((need < 0 || held < need) &&
                   nextContinues(static_cast<int>(seen_.size()), held)) {
                ZCoreLib::ZCancel::poll();
                held += seen_.back().nt;
            }
        } catch (const ZException&) {
            if (!rescanReplacedRun(attempt))
                throw;
            continue;
        }
        if (!rescanReplacedRun(attempt))
            break;
    }
    handedOut_ = true;
    return static_cast<int>(seen_.size());
}

std::vector<int> hsResultFile::seriesCounts(bool checkAll)
{
    std::vector<int> counts;
    if (!isBinaryFormat())
        return counts;
    if (isReader()) {
        // A file deleted under the handle is no shorter series. The name is
        // opened once: the file counted is checked through that descriptor,
        // a new run is taken from it.
        for (size_t k = 0; checkAll && k < seen_.size(); ++k) {
            ZCoreLib::ZCancel::poll();
            const openFile f(seriesFileName(fileName, static_cast<int>(k)));
            if (k == 0 && takeNewRun(f))
                break;
            checkOpen(static_cast<int>(k), f);
        }
        seeSeries(-1);
        for (const seenFile& s : seen_)
            counts.push_back(s.nt);
        return counts;
    }
    // A writer's files change as it writes: each is read as it is now.
    seriesHead first, prev;
    long long before = 0;
    for (int k = 0;; ++k) {
        ZCoreLib::ZCancel::poll();
        const std::string name = seriesFileName(fileName, k);
        const openFile f(name);
        if (!f.isOpen())
            break;
        seriesHead head;
        try {
            head = readSeriesHead(f, name);
        } catch (const ZException&) {
            break;
        }
        if (!countUnbacked(head, f.stat().size, name).empty())
            break;
        if (k == 0) {
            first = head;
        } else {
            if (!follows(first, before, prev, prev.nt, head))
                break;
            before += prev.nt;
        }
        counts.push_back(head.nt);
        prev = head;
    }
    return counts;
}

std::vector<int> hsResultFile::seriesTimesteps(long long need)
{
    if (!isReader() || !isBinaryFormat())
        return seriesCounts(false);
    seeSeries(need);
    std::vector<int> counts;
    for (const seenFile& s : seen_)
        counts.push_back(s.nt);
    return counts;
}

std::unique_ptr<hsResultFile::openFile> hsResultFile::openSeriesFile(int k, long long& recordsStart)
{
    if (isReader() && isBinaryFormat() && seen_.empty())
        seeSeries(0);
    if (!isReader() || k >= static_cast<int>(seen_.size())) {
        const std::string name = seriesFileName(fileName, k);
        auto f = std::make_unique<openFile>(name);
        if (!f->isOpen())
            throw ZException("hsResultFile: cannot open result file '" + name + "'.");
        recordsStart = headerSize;
        return f;
    }
    recordsStart = seen_[static_cast<size_t>(k)].head.headerSize;
    handedOut_ = true;
    return openSeen(k);
}

std::string hsResultFile::getFilename(int& ts)
{
    if (ts < 0)
        throw ZException("Negative timestep requested from  (" + fileName + "). " + errSuffix);
    if (ts < mInfo.noTimestep)
        return fileName;
    const std::vector<int> counts = seriesTimesteps(static_cast<long long>(ts) + 1);
    for (int k = 0;; ++k) {
        fileNo = k;
        if (k >= static_cast<int>(counts.size()))
            throw ZException("Not that many timesteps in file (" + fileName +
                             "). fileNo=" + str(k) + ", timestep=" + str(ts));
        if (ts < counts[static_cast<size_t>(k)])
            return getFilename();
        ts -= counts[static_cast<size_t>(k)];
    }
}

int hsResultFile::totalTimesteps()
{
    const std::vector<int> counts = seriesCounts(true);
    long long total = 0;
    for (int n : counts)
        total += n;
    // A writer keeps its current file; readers of a series expect file 0.
    if (!fileStream.is_open())
        fileNo = 0;
    if (total > INT_MAX)
        throw ZException("hsResultFile::totalTimesteps: the series of " + fileName + " holds " +
                         str(total) + " timesteps, more than can be counted.");
    return static_cast<int>(total);
}

} // namespace hestor
