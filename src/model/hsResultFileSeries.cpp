// Series of binary result files: naming, which files belong to a series, and
// the timesteps each file holds.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cmath>

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

// The writer truncates each file's start to whole seconds and the header
// keeps the timestep as a float32: both are allowed for besides half a
// timestep. A file without timesteps ends the series: the writer makes one
// only as the last file.
bool hsResultFile::startsWhereEnds(const seriesHead& prev, int prevNt, const seriesHead& next)
{
    if (prevNt < 1 || prev.items != next.items)
        return false;
    const double span = prevNt * prev.timestep;
    const double gap = static_cast<double>(next.startDT) - static_cast<double>(prev.startDT) - span;
    const double tolerance =
        std::max(0.5 * std::fabs(prev.timestep), 1.0) + std::fabs(span) * 1.2e-7;
    return std::fabs(gap) <= tolerance;
}

// Equal inputs give equal cells; otherwise the file's model is built to
// count them.
bool hsResultFile::cellsMatch(const seriesHead& prev, const seriesHead& next,
                              const std::string& name) const
{
    if (prev.cells == next.cells)
        return true;
    try {
        const hsResultFile other(name, fileFmt);
        return other.mInfo.noCells == mInfo.noCells;
    } catch (const ZException&) {
        return false;
    }
}

const hsResultFile::seriesHead& hsResultFile::headOf(int k)
{
    seenFile& s = seen_[static_cast<size_t>(k)];
    if (!s.hasHead) {
        const std::unique_ptr<openFile> f = openSeen(k);
        s.head = readSeriesHead(*f, seriesFileName(fileName, k));
        // The head is of the file as it is now; the series goes on from the
        // count first seen.
        s.hasHead = true;
    }
    return s.head;
}

// A file left from an earlier, longer run must not be read as part of a new
// series: only a file that continues the one before it counts. File k is
// first seen here, through the descriptor its head is read from.
bool hsResultFile::nextContinues(int k)
{
    const std::string name = seriesFileName(fileName, k);
    const openFile f(name);
    if (!f.isOpen())
        return false;
    const openFile::status now = f.stat();
    const openFile::status& was = refused_.stamp;
    if (refused_.k == k && now.device == was.device && now.inode == was.inode &&
        now.size == was.size && now.modifiedNs == was.modifiedNs && now.changedNs == was.changedNs)
        return false;
    const seenFile& prev = seen_[static_cast<size_t>(k - 1)];
    const seriesHead& before = headOf(k - 1);
    seriesHead head;
    try {
        head = readSeriesHead(f, name);
    } catch (const ZException& e) {
        // A file too short for the timesteps its header counts is damaged,
        // not a stranger: it is refused by name.
        if (std::string(e.message).find("do not fit in the file") != std::string::npos)
            throw;
        head.nt = -1; // a file that cannot be read continues nothing
    }
    if (head.nt < 0 || !startsWhereEnds(before, prev.nt, head) || !cellsMatch(before, head, name)) {
        refused_.k = k;
        refused_.stamp = now;
        return false;
    }
    seen_.push_back(firstSight(f, head.nt, head.headerSize));
    seen_.back().hasHead = true;
    seen_.back().head = head;
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
        seen_.push_back(firstSight(f, mInfo.noTimestep, headerSize));
    }
    long long held = 0;
    for (const seenFile& s : seen_)
        held += s.nt;
    while ((need < 0 || held < need) && nextContinues(static_cast<int>(seen_.size()))) {
        ZCoreLib::ZCancel::poll();
        held += seen_.back().nt;
    }
    return static_cast<int>(seen_.size());
}

std::vector<int> hsResultFile::seriesCounts(bool checkAll)
{
    std::vector<int> counts;
    if (!isBinaryFormat())
        return counts;
    if (isReader()) {
        if (checkAll && !seen_.empty()) {
            // A file deleted under the handle is no shorter series.
            for (size_t k = 0; k < seen_.size(); ++k) {
                ZCoreLib::ZCancel::poll();
                const openFile f(seriesFileName(fileName, static_cast<int>(k)));
                checkOpen(static_cast<int>(k), f);
            }
        }
        seeSeries(-1);
        for (const seenFile& s : seen_)
            counts.push_back(s.nt);
        return counts;
    }
    // A writer's files change as it writes: each is read as it is now.
    seriesHead prev;
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
        if (k > 0 && (!startsWhereEnds(prev, prev.nt, head) || !cellsMatch(prev, head, name)))
            break;
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
    recordsStart = seen_[static_cast<size_t>(k)].headerSize;
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
