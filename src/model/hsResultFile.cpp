// The result file object: construction, item queries, static items and the
// dispatch of readHeader by format.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

#include "ZDT.h"
#include "ZFile.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZDT;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::str;

hsResultFile::hsResultFile(std::string name, int fmt)
    : floatBuf(nullptr), fileFmt(fmt), fileName(name), dateModified(0), headerVersion(8),
      headerSize(0), curTimestep(0), colWidth(12), separator("\t"), maxTimestepsPerFile(-1),
      fileNo(0), maxItemLength(0), writeVersion(8), writeTimestep(0), writeItem(0),
      cutoffDate(ZDT::strDT2longDT("2012-06-01")), emfLines(nullptr), bufLen(0), buf{},
      dataStartPos(0), itemRead(nullptr)
{
    if (fmt == -1)
        fileFmt = getFormatFromFile(fileName);
    if (!ZFile::fileExists(fileName))
        return;
    try {
        readHeader();
    } catch (...) {
        // The destructor does not run for a half-made object.
        releaseArrays();
        throw;
    }
}

hsResultFile::~hsResultFile()
{
    closeUnfinishedWriter();
    releaseHold();
    releaseArrays();
}

void hsResultFile::releaseArrays() noexcept
{
    delete[] floatBuf;
    floatBuf = nullptr;
    floatBufLen_ = 0;
    delete[] emfLines;
    emfLines = nullptr;
    delete[] itemRead;
    itemRead = nullptr;
}

// Nothing written may be lost because the owner forgot flushBuf(). A
// destructor cannot report, so a failure here goes unnoticed.
void hsResultFile::closeUnfinishedWriter() noexcept
{
    // In a forked child the file and its position are the parent's: the
    // stream, which keeps no buffer, is closed without a write.
    if (!writerOfThisProcess()) {
        fileStream.close();
        return;
    }
    try {
        if (isBinaryFormat() && fileStream.is_open())
            flushBuf();
        else if (isTextWriterFormat() && bufLen > 0)
            flushBuf();
    } catch (...) {
    }
    if (fileStream.is_open())
        fileStream.close();
}

int hsResultFile::readHeader()
{
    if (!ZFile::fileExists(fileName))
        return -1;
    dateModified = ZFile::dateModified(fileName);
    itemNameVec.clear();
    itemLengthVec.clear();
    curTimestep = 0;
    int result = 0;
    switch (fileFmt) {
    case EMT:
        break;
    case TEXT0D:
    case TEXT1D:
        readTextFirstLine();
        break;
    case EMB:
    case RESTART:
    case DECOUPLED:
        readBinaryHeader();
        break;
    case MESH:
        result = mInfo.mesh2d.readMeshFromFile(fileName);
        break;
    default:
        throw ZException("hsResultFile::readItemData undefined format.");
    }
    // The binary header reader has seen the first file of the series.
    if (!isBinaryFormat())
        seen_.clear();
    delete[] itemRead;
    itemRead = nullptr;
    itemRead = new bool[itemNameVec.size()]();
    headerRead = true;
    return result;
}

std::string hsResultFile::toString(int level) const
{
    std::string s = "Filename:\t" + fileName + "\n";
    s += "Format:\t" + hsGlobal::fileFmtEnum2str(static_cast<fileFmtEnum>(fileFmt)) + "\n";
    s += "Static items:\n";
    for (const staticItem& it : staticItemVec)
        s += "\t" + it.name + ", length=" + std::to_string(it.count) + "\n";
    s += "Items:\n";
    for (size_t i = 0; i < itemNameVec.size(); ++i) {
        const int length = i < itemLengthVec.size() ? itemLengthVec[i] : 0;
        s += "\t" + itemNameVec[i] + ", length=" + std::to_string(length) + "\n";
    }
    if (level > 9)
        s += mInfo.toString(level);
    return s;
}

int hsResultFile::nItem() const { return static_cast<int>(itemNameVec.size()); }

int hsResultFile::itemNo(std::string name) const
{
    const auto it = std::find(itemNameVec.begin(), itemNameVec.end(), name);
    return static_cast<int>(it - itemNameVec.begin());
}

long long hsResultFile::totItemSize64(int n) const
{
    const int m = std::min<long long>(std::max(n, 0), itemLengthVec.size());
    long long sum = 0;
    for (int i = 0; i < m; ++i)
        sum += itemLengthVec[i];
    return sum;
}

int hsResultFile::totItemSize() const { return totItemSize(nItem()); }

int hsResultFile::totItemSize(int n) const
{
    const long long sum = totItemSize64(n);
    if (sum > INT_MAX || sum < INT_MIN)
        throw ZException("hsResultFile::totItemSize: the items of " + fileName + " hold " +
                         str(sum) + " values per timestep, more than can be counted.");
    return static_cast<int>(sum);
}

int hsResultFile::ntOffset(int version)
{
    if (version < 1)
        return 16;
    if (version < 5)
        return 24;
    if (version < 8)
        return 40;
    return 44;
}

int hsResultFile::getNToffset() const { return ntOffset(headerVersion); }

int hsResultFile::getFormatFromFile(std::string name)
{
    if (!ZFile::fileExists(name))
        return -1;
    return hsGlobal::str2fileFmtEnum(ZFile::getExtension(name));
}

bool hsResultFile::isBinaryFormat() const
{
    return fileFmt == EMB || fileFmt == RESTART || fileFmt == DECOUPLED;
}

bool hsResultFile::isTextWriterFormat() const { return fileFmt == EMT || fileFmt == EMF; }

template <typename T>
void hsResultFile::addStaticItem(std::string name, T* data, int n, int pos)
{
    static_assert(std::is_same<T, char>::value || std::is_same<T, float>::value,
                  "static items hold chars or floats");
    if (n < 0 || n > INT_MAX / static_cast<int>(sizeof(T)))
        throw ZException("hsResultFile::addStaticItem: invalid count " + str(n) +
                         " for static item '" + name + "'.");
    staticItem rec;
    rec.count = n;
    rec.byteLength = n * static_cast<int>(sizeof(T));
    rec.data = reinterpret_cast<char*>(data);
    rec.name = name;
    rec.type = std::is_same<T, char>::value ? "c" : "f";
    insertStaticItem(rec, pos);
}

template void hsResultFile::addStaticItem<char>(std::string, char*, int, int);
template void hsResultFile::addStaticItem<float>(std::string, float*, int, int);

void hsResultFile::insertStaticItem(const staticItem& rec, int pos)
{
    const auto same = std::find_if(staticItemVec.begin(), staticItemVec.end(),
                                   [&](const staticItem& s) { return s.name == rec.name; });
    if (same != staticItemVec.end())
        staticItemVec.erase(same);
    if (pos >= 0 && pos < static_cast<int>(staticItemVec.size()))
        staticItemVec.insert(staticItemVec.begin() + pos, rec);
    else
        staticItemVec.push_back(rec);
    releaseUnusedBlocks();
}

char* hsResultFile::ownBlock(std::unique_ptr<char[]> block)
{
    ownedBlocks_.push_back(std::move(block));
    return ownedBlocks_.back().get();
}

void hsResultFile::releaseUnusedBlocks()
{
    const auto unused = [&](const std::unique_ptr<char[]>& b) {
        return std::none_of(staticItemVec.begin(), staticItemVec.end(),
                            [&](const staticItem& s) { return s.data == b.get(); });
    };
    ownedBlocks_.erase(std::remove_if(ownedBlocks_.begin(), ownedBlocks_.end(), unused),
                       ownedBlocks_.end());
}

} // namespace hestor
