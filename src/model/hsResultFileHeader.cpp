// Reading the header of a binary result file (every version from 0 to 8).
// Nothing from the file is trusted: every count, length and offset is checked
// against the others and against the file's size before it is used.

#include "hsResultFile.h"

#include <climits>
#include <cstring>

#include "ZFile.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::ZFile;

namespace {

std::string str(long long v) { return std::to_string(v); }

} // namespace

// Bounded little-endian reading of one file.
struct hsResultFile::headerReader {
    std::ifstream in;
    std::string name;
    std::string where; // prefix of messages
    long long size = 0;
    long long pos = 0;

    headerReader(const std::string& fileName, const std::string& caller)
        : name(fileName), where(caller)
    {
        in.open(fileName, std::ios::in | std::ios::binary);
        if (!in)
            throw ZException(where + "cannot open " + fileName + ".");
        in.seekg(0, std::ios::end);
        size = static_cast<long long>(in.tellg());
        in.seekg(0, std::ios::beg);
        if (!in || size < 0)
            throw ZException(where + "cannot determine the size of " + fileName + ".");
    }

    [[noreturn]] void fail(const std::string& what) const
    {
        throw ZException(where + what + " (file " + name + ", " + str(size) + " bytes).");
    }

    long long remaining() const { return size - pos; }

    void seek(long long p, const char* what)
    {
        if (p < 0 || p > size)
            fail(std::string(what) + " at byte " + str(p) + " lies outside the file");
        in.seekg(static_cast<std::streamoff>(p));
        if (!in)
            fail(std::string("cannot position at ") + what);
        pos = p;
    }

    void read(void* dst, long long n, const char* what)
    {
        if (n < 0 || n > remaining())
            fail(std::string("the file ends inside ") + what + " (" + str(n) + " bytes at byte " +
                 str(pos) + ")");
        in.read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
        if (in.gcount() != static_cast<std::streamsize>(n))
            fail(std::string("short read of ") + what + " at byte " + str(pos));
        pos += n;
    }

    int32_t i32(const char* what)
    {
        int32_t v;
        read(&v, 4, what);
        return v;
    }

    // A count or length that must be 0 or more.
    int32_t count(const char* what)
    {
        const int32_t v = i32(what);
        if (v < 0)
            fail(std::string(what) + " is negative (" + str(v) + ")");
        return v;
    }

    float f32(const char* what)
    {
        float v;
        read(&v, 4, what);
        return v;
    }

    int64_t i64(const char* what)
    {
        int64_t v;
        read(&v, 8, what);
        return v;
    }

    std::string text(int32_t n, const char* what)
    {
        requireRoom(n, what);
        std::string s(static_cast<size_t>(n), '\0');
        read(&s[0], n, what);
        return s;
    }

    // Checked before anything of that size is allocated.
    void requireRoom(long long bytes, const std::string& what) const
    {
        if (bytes < 0 || bytes > remaining())
            fail(what + " needs " + str(bytes) + " bytes, but only " + str(remaining()) +
                 " follow byte " + str(pos));
    }
};

void hsResultFile::readBinaryHeader()
{
    headerReader r(fileName, "hsResultFile::readHeader: ");
    mInfo.reset();
    int itemCount = 0, itemOffset = 0, staticCount = 0, staticOffset = 0;
    const int version = readFixedHeader(r, itemCount, itemOffset, staticCount, staticOffset);
    readItemDirectory(r, version, itemCount, itemOffset);
    if (version >= 3)
        readStaticItems(r, version, staticCount);
    else
        readPositionalStatics(r, version, staticCount, staticOffset);
    mInfo.init();
    if (version == 0)
        itemLengthVec.assign(itemNameVec.size(), mInfo.noCells);
    const long long record = totItemSize64(nItem());
    if (record > INT_MAX)
        r.fail("the items hold more than " + str(INT_MAX) + " values per timestep");
    // Readers size their buffers by the timestep count: it must be backed by data.
    if (record > 0 && mInfo.noTimestep > (r.size - headerSize) / (4 * record))
        r.fail(str(mInfo.noTimestep) + " timesteps of " + str(record) +
               " values after a header of " + str(headerSize) + " bytes do not fit in the file");
    relabelBinaryFormat();
}

// The fields before the item directory; returns the header version.
int hsResultFile::readFixedHeader(headerReader& r, int& itemCount, int& itemOffset,
                                  int& staticCount, int& staticOffset)
{
    if (dateModified < cutoffDate)
        headerVersion = 0;
    else if (headerVersion > 0) {
        // Version 0 carries no version word: it is recognised by age alone.
        const int32_t v = r.i32("the header version");
        if (v < 1 || v > 8)
            r.fail("unknown header version " + str(v));
        headerVersion = v;
        mInfo.layerType = r.i32("the layer type");
        if (headerVersion > 4) {
            mInfo.headerField3 = r.i32("header field 3");
            r.i32("the constant 1");
            r.f32("the constant pi");
            mInfo.offsetDepth = r.f32("the offset depth");
        }
    }
    const int32_t modeltype = r.i32("the model type");
    mInfo.modeltype = modeltype < 10 ? 0 : modeltype;
    const int32_t hs = r.count("the header size");
    if (hs > r.size)
        r.fail("header size " + str(hs) + " exceeds the file");
    headerSize = hs;
    mInfo.startDT = headerVersion >= 8 ? r.i64("the start time") : r.i32("the start time");
    mInfo.timestep = r.f32("the timestep");
    mInfo.noTimestep = r.count("the number of timesteps");
    itemCount = r.count("the number of items");
    itemOffset = r.count("the item directory offset");
    staticCount = r.count("the number of static items");
    staticOffset = r.count("the static item offset");
    mInfo.noLayer = r.i32("the number of layers");
    return headerVersion;
}

void hsResultFile::readItemDirectory(headerReader& r, int version, int itemCount, int itemOffset)
{
    r.seek(itemOffset, "the item directory");
    r.requireRoom(itemCount * (version >= 1 ? 8LL : 4LL),
                  "the item directory of " + str(itemCount) + " entries");
    for (int i = 0; i < itemCount; ++i) {
        if (version >= 1)
            itemLengthVec.push_back(r.count("an item length"));
        const int32_t n = r.count("an item name length");
        itemNameVec.push_back(r.text(n, "an item name"));
    }
}

// Versions 3 and later: named blocks right after the item directory.
void hsResultFile::readStaticItems(headerReader& r, int version, int staticCount)
{
    r.requireRoom(staticCount * 16LL, str(staticCount) + " static items");
    for (int i = 0; i < staticCount; ++i) {
        staticItem rec;
        rec.byteLength = r.count("a static item's byte length");
        rec.count = r.count("a static item's count");
        const int32_t nameLen = r.count("a static item's name length");
        const int32_t typeLen = r.count("a static item's type length");
        rec.name = r.text(nameLen, "a static item's name");
        rec.type = r.text(typeLen, "a static item's type");
        const std::string what = "static item '" + rec.name + "'";
        if (rec.count < 1 && rec.byteLength != 0)
            r.fail(what + " has no values but " + str(rec.byteLength) + " bytes");
        if ((rec.type == "f" || rec.type == "i") && rec.byteLength != 4LL * rec.count)
            r.fail(what + " of type " + rec.type + " has " + str(rec.count) + " values in " +
                   str(rec.byteLength) + " bytes");
        std::vector<char> block;
        if (rec.count >= 1) {
            r.requireRoom(rec.byteLength, what);
            block.resize(static_cast<size_t>(rec.byteLength));
            r.read(block.data(), rec.byteLength, what.c_str());
        }
        const bool known = rec.name == "elemBathy" || rec.name == "mesh" || rec.name == "dz" ||
                           rec.name == "proj" || (rec.name == "enol" && version >= 4);
        if (known) {
            takeStaticBlock(r, rec.name, block, rec.count, version);
            continue;
        }
        auto owned = std::make_unique<char[]>(block.size());
        if (!block.empty())
            std::memcpy(owned.get(), block.data(), block.size());
        rec.data = ownBlock(std::move(owned));
        staticItemVec.push_back(rec);
    }
}

// Versions 0 to 2: (byte length, count) pairs at the static offset, then the
// blocks in order: elemBathy, mesh, dz; further blocks are skipped.
void hsResultFile::readPositionalStatics(headerReader& r, int version, int staticCount,
                                         int staticOffset)
{
    static const char* const names[] = {"elemBathy", "mesh", "dz"};
    r.seek(staticOffset, "the static items");
    r.requireRoom(staticCount * 8LL, str(staticCount) + " static items");
    std::vector<int32_t> lengths, counts;
    for (int i = 0; i < staticCount; ++i) {
        lengths.push_back(r.count("a static item's byte length"));
        counts.push_back(r.count("a static item's count"));
    }
    for (int i = 0; i < staticCount; ++i) {
        if (i >= 3) {
            r.seek(r.pos + lengths[i], "the end of a static block");
            continue;
        }
        const std::string what = "static block " + str(i) + " (" + names[i] + ")";
        if (i != 1 && lengths[i] != 4LL * counts[i])
            r.fail(what + " has " + str(counts[i]) + " values in " + str(lengths[i]) + " bytes");
        r.requireRoom(lengths[i], what);
        std::vector<char> block(static_cast<size_t>(lengths[i]));
        r.read(block.data(), lengths[i], what.c_str());
        takeStaticBlock(r, names[i], block, counts[i], version);
    }
}

// A block that belongs to the model description. Counts against the mesh and
// the layers are checked by hsModelInfo::init() through the adopted lengths.
void hsResultFile::takeStaticBlock(headerReader& r, const std::string& name,
                                   std::vector<char>& block, int count, int version)
{
    const long long bytes = static_cast<long long>(block.size());
    if (name == "proj") {
        mInfo.mesh2d.proj.assign(block.data(), block.size());
        return;
    }
    if (name == "mesh") {
        mInfo.mesh2d.fromBinary(block.data(), block.size(), version);
        return;
    }
    if (bytes != 4LL * count)
        r.fail("static item '" + name + "' has " + str(count) + " values in " + str(bytes) +
               " bytes");
    if (name == "enol") {
        auto values = std::make_unique<int[]>(static_cast<size_t>(count));
        if (count > 0)
            std::memcpy(values.get(), block.data(), block.size());
        mInfo.adoptEnol(values.release(), count);
        return;
    }
    auto values = std::make_unique<double[]>(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        float f;
        std::memcpy(&f, block.data() + 4LL * i, 4);
        values[i] = f;
    }
    if (name == "elemBathy")
        mInfo.adoptElemBathy(values.release(), count);
    else
        mInfo.adoptDz(values.release(), count);
}

void hsResultFile::relabelBinaryFormat()
{
    if (itemNameVec.empty())
        return;
    const std::string& first = itemNameVec[0];
    if (first == "hdrst_u")
        fileFmt = RESTART;
    else if ((first == "hddcp_uFlux" || first == "uFlux") &&
             itemLengthVec[0] == mInfo.noFaceCells)
        fileFmt = DECOUPLED;
}

int hsResultFile::readNTWord(const std::string& name) const
{
    headerReader r(name, "hsResultFile::totalTimesteps: ");
    int version = 0;
    if (ZFile::dateModified(name) >= cutoffDate) {
        version = r.i32("the header version");
        if (version < 1 || version > 8)
            r.fail("unknown header version " + str(version));
    }
    r.seek(ntOffset(version), "the number of timesteps");
    const int nt = r.count("the number of timesteps");
    const long long record = totItemSize64(nItem());
    if (record > 0 && nt > r.size / (4 * record))
        r.fail(str(nt) + " timesteps of " + str(record) + " values do not fit in the file");
    return nt;
}

} // namespace hestor
