// Series of binary result files: naming, and which files belong to a series.

#include "hsResultFile.h"

#include "ZFile.h"

namespace hestor {

using ZCoreLib::ZFile;

std::string hsResultFile::seriesFileName(const std::string& first, int k)
{
    if (k == 0)
        return first;
    return ZFile::addTail(first, "^" + std::to_string(k));
}

// A file left from an earlier, longer run must not be read as part of a new
// series: only a file that continues the one before it counts.
bool hsResultFile::continuesSeries(int k)
{
    if (k < 1 || !isBinaryFormat())
        return false;
    const std::string prevName = seriesFileName(fileName, k - 1);
    const std::string name = seriesFileName(fileName, k);
    if (!ZFile::fileExists(name) || !seriesHeadsContinue(prevName, name))
        return false;
    std::vector<long long> stamp;
    for (const std::string& n : {prevName, name})
        stamp.insert(stamp.end(), {static_cast<long long>(ZFile::fileSize(n)),
                                   ZFile::dateModified(n), ZFile::dateCreated(n)});
    if (seriesCells_.size() < static_cast<size_t>(k))
        seriesCells_.resize(static_cast<size_t>(k));
    seriesCells& c = seriesCells_[k - 1];
    if (c.stamp != stamp) {
        c.match = seriesCellsMatch(prevName, name);
        c.stamp = stamp;
    }
    return c.match;
}

int hsResultFile::seriesFileTimesteps(int k, bool backed) const
{
    return isBinaryFormat() ? readNTWord(seriesFileName(fileName, k), backed) : 0;
}

std::vector<int> hsResultFile::seriesTimesteps()
{
    std::vector<int> counts;
    if (!ZFile::fileExists(fileName))
        return counts;
    counts.push_back(seriesFileTimesteps(0, true));
    for (int k = 1; continuesSeries(k); ++k)
        counts.push_back(seriesFileTimesteps(k, true));
    return counts;
}

} // namespace hestor
