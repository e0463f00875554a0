// Reading the header of a binary result file (every version from 0 to 8).
// Nothing from the file is trusted: every count, length and offset is checked
// against the others and against the file's size before it is used.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>

#include "ZCancel.h"
#include "ZFile.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::str;

namespace {

// Names read from a file go into messages with their bytes outside printable
// ASCII written as \xNN, so that no message carries raw binary bytes.
std::string printable(const std::string& name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

// Bounded little-endian reading of one file through a descriptor. Small reads
// are served from a buffer of the bytes ahead, so that a header of many
// fields costs a few system calls.
struct hsResultFile::headerReader {
    std::unique_ptr<openFile> own; // when the reader opened the file itself
    const openFile* file = nullptr;
    std::string name;
    std::string where; // prefix of messages
    long long size = 0;
    long long pos = 0;
    static constexpr long long chunk = 1 << 14;
    std::vector<char> buf;
    long long bufAt = 0;

    headerReader(const std::string& fileName, const std::string& caller)
        : own(std::make_unique<openFile>(fileName)), file(own.get()), name(fileName), where(caller)
    {
        if (!file->isOpen())
            throw ZException(where + "cannot open " + fileName + ".");
        refreshSize();
    }

    headerReader(const openFile& f, const std::string& fileName, const std::string& caller)
        : file(&f), name(fileName), where(caller)
    {
        refreshSize();
    }

    // A writer at work adds records before it counts them: the size taken
    // after the count covers every record the count holds.
    void refreshSize() { size = file->stat().size; }

    [[noreturn]] void fail(const std::string& what) const
    {
        throw ZException(where + what + " (file " + name + ", " + str(size) + " bytes).");
    }

    long long remaining() const { return size - pos; }

    void seek(long long p, const char* what)
    {
        if (p < 0 || p > size)
            fail(std::string(what) + " at byte " + str(p) + " lies outside the file");
        pos = p;
    }

    void read(void* dst, long long n, const char* what)
    {
        if (n < 0 || n > remaining())
            fail(std::string("the file ends inside ") + what + " (" + str(n) + " bytes at byte " +
                 str(pos) + ")");
        if (n == 0)
            return;
        if (n >= chunk) {
            if (file->readAt(pos, dst, n) != n)
                fail(std::string("short read of ") + what + " at byte " + str(pos));
        } else {
            if (pos < bufAt || pos + n > bufAt + static_cast<long long>(buf.size())) {
                buf.resize(static_cast<size_t>(chunk));
                const long long got = file->readAt(pos, buf.data(), chunk);
                buf.resize(static_cast<size_t>(std::max(got, 0LL)));
                bufAt = pos;
            }
            if (pos + n > bufAt + static_cast<long long>(buf.size()))
                fail(std::string("short read of ") + what + " at byte " + str(pos));
            std::memcpy(dst, buf.data() + (pos - bufAt), static_cast<size_t>(n));
        }
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

// The fields before the item directory.
struct hsResultFile::fixedHeader {
    int version = 0; // 0: no version word (files older than cutoffDate)
    int layerType = 0;
    int headerField3 = -1;
    double offsetDepth = 0.0; // versions 5 and later
    int modeltype = 0;
    int headerSize = 0;
    long long startDT = 0;
    double timestep = 0.0;
    int noTimestep = 0;
    int itemCount = 0, itemOffset = 0, staticCount = 0, staticOffset = 0;
    int noLayer = 0;
};

void hsResultFile::readBinaryHeader()
{
    headerReader r(fileName, "hsResultFile::readHeader: ");
    mInfo.reset();
    // Version 0 carries no version word: it is recognised by age alone.
    const fixedHeader h = readFixedFields(r, dateModified >= cutoffDate && headerVersion > 0);
    r.refreshSize();
    headerVersion = h.version;
    mInfo.layerType = h.layerType;
    mInfo.headerField3 = h.headerField3;
    if (h.version > 4)
        mInfo.offsetDepth = h.offsetDepth;
    mInfo.modeltype = h.modeltype;
    headerSize = h.headerSize;
    mInfo.startDT = h.startDT;
    mInfo.timestep = h.timestep;
    mInfo.noTimestep = h.noTimestep;
    mInfo.noLayer = h.noLayer;
    readItemDirectory(r, h, itemNameVec, itemLengthVec);
    walkStatics(
        r, h, [](const std::string&) { return true; },
        [&](staticItem& rec, std::vector<char>& block) {
            const bool known = rec.name == "elemBathy" || rec.name == "mesh" ||
                               rec.name == "dz" || rec.name == "proj" ||
                               (rec.name == "enol" && h.version >= 4);
            if (known) {
                takeStaticBlock(r, rec.name, block, rec.count, h.version);
                return;
            }
            auto owned = std::make_unique<char[]>(block.size());
            if (!block.empty())
                std::memcpy(owned.get(), block.data(), block.size());
            rec.data = ownBlock(std::move(owned));
            staticItemVec.push_back(rec);
        });
    mInfo.init();
    if (h.version == 0)
        itemLengthVec.assign(itemNameVec.size(), mInfo.noCells);
    const long long record = totItemSize64(nItem());
    if (record > INT_MAX)
        r.fail("the items hold more than " + str(INT_MAX) + " values per timestep");
    // Readers size their buffers by the timestep count: it must be backed by data.
    if (record > 0 && mInfo.noTimestep > (r.size - headerSize) / (4 * record))
        r.fail(str(mInfo.noTimestep) + " timesteps of " + str(record) +
               " values after a header of " + str(headerSize) + " bytes do not fit in the file");
    relabelBinaryFormat();
    refused_ = refusedNext();
    handedOut_ = false;
    seen_.assign(1, firstSight(*r.file, mInfo.noTimestep, seriesHeadOf(*r.file, h, fileName)));
}

hsResultFile::fixedHeader hsResultFile::readFixedFields(headerReader& r, bool versionWord)
{
    fixedHeader h;
    if (versionWord) {
        if (r.size < 4)
            r.fail("not a result file: it is too short to hold a header");
        const int32_t v = r.i32("the header version");
        // A later version of this format would still count up from 8.
        if (v > 8 && v < 256)
            r.fail("unknown header version " + str(v));
        if (v < 1 || v > 8)
            r.fail("not a result file: its first word (" + str(v) +
                   ") is not a header version of this format (1 to 8)");
        h.version = v;
        h.layerType = r.i32("the layer type");
        if (h.version > 4) {
            h.headerField3 = r.i32("header field 3");
            r.i32("the constant 1");
            r.f32("the constant pi");
            h.offsetDepth = r.f32("the offset depth");
        }
    }
    const int32_t modeltype = r.i32("the model type");
    h.modeltype = modeltype < 10 ? 0 : modeltype;
    h.headerSize = r.count("the header size");
    if (h.headerSize > r.size)
        r.fail("header size " + str(h.headerSize) + " exceeds the file");
    h.startDT = h.version >= 8 ? r.i64("the start time") : r.i32("the start time");
    h.timestep = r.f32("the timestep");
    h.noTimestep = r.count("the number of timesteps");
    h.itemCount = r.count("the number of items");
    h.itemOffset = r.count("the item directory offset");
    h.staticCount = r.count("the number of static items");
    h.staticOffset = r.count("the static item offset");
    h.noLayer = r.i32("the number of layers");
    return h;
}

void hsResultFile::readItemDirectory(headerReader& r, const fixedHeader& h,
                                     std::vector<std::string>& names, std::vector<int>& lengths)
{
    r.seek(h.itemOffset, "the item directory");
    r.requireRoom(h.itemCount * (h.version >= 1 ? 8LL : 4LL),
                  "the item directory of " + str(h.itemCount) + " entries");
    for (int i = 0; i < h.itemCount; ++i) {
        ZCoreLib::ZCancel::poll();
        if (h.version >= 1)
            lengths.push_back(r.count("an item length"));
        const int32_t n = r.count("an item name length");
        names.push_back(r.text(n, "an item name"));
    }
}

// Versions 3 and later: named blocks right after the item directory.
// Versions 0 to 2: (byte length, count) pairs at the static offset, then the
// blocks in order: elemBathy, mesh, dz; further blocks are skipped. Blocks
// that want refuses are skipped unread.
void hsResultFile::walkStatics(headerReader& r, const fixedHeader& h, const staticWant& want,
                               const staticTake& take)
{
    auto block = [&](staticItem& rec, const std::string& what) {
        r.requireRoom(rec.byteLength, what);
        if (!want(rec.name)) {
            r.seek(r.pos + rec.byteLength, "the end of a static block");
            return;
        }
        std::vector<char> data(static_cast<size_t>(rec.byteLength));
        r.read(data.data(), rec.byteLength, what.c_str());
        take(rec, data);
    };
    if (h.version >= 3) {
        r.requireRoom(h.staticCount * 16LL, str(h.staticCount) + " static items");
        for (int i = 0; i < h.staticCount; ++i) {
            ZCoreLib::ZCancel::poll();
            staticItem rec;
            rec.byteLength = r.count("a static item's byte length");
            rec.count = r.count("a static item's count");
            const int32_t nameLen = r.count("a static item's name length");
            const int32_t typeLen = r.count("a static item's type length");
            rec.name = r.text(nameLen, "a static item's name");
            rec.type = r.text(typeLen, "a static item's type");
            const std::string what = "static item '" + printable(rec.name) + "'";
            if (rec.count < 1 && rec.byteLength != 0)
                r.fail(what + " has no values but " + str(rec.byteLength) + " bytes");
            if ((rec.type == "f" || rec.type == "i") && rec.byteLength != 4LL * rec.count)
                r.fail(what + " of type " + printable(rec.type) + " has " + str(rec.count) +
                       " values in " +
                       str(rec.byteLength) + " bytes");
            block(rec, what);
        }
        return;
    }
    static const char* const names[] = {"elemBathy", "mesh", "dz"};
    r.seek(h.staticOffset, "the static items");
    r.requireRoom(h.staticCount * 8LL, str(h.staticCount) + " static items");
    std::vector<int32_t> lengths, counts;
    for (int i = 0; i < h.staticCount; ++i) {
        ZCoreLib::ZCancel::poll();
        lengths.push_back(r.count("a static item's byte length"));
        counts.push_back(r.count("a static item's count"));
    }
    for (int i = 0; i < h.staticCount; ++i) {
        ZCoreLib::ZCancel::poll();
        if (i >= 3) {
            r.seek(r.pos + lengths[i], "the end of a static block");
            continue;
        }
        staticItem rec;
        rec.byteLength = lengths[i];
        rec.count = counts[i];
        rec.name = names[i];
        const std::string what = "static block " + str(i) + " (" + names[i] + ")";
        if (i != 1 && rec.byteLength != 4LL * rec.count)
            r.fail(what + " has " + str(rec.count) + " values in " + str(rec.byteLength) +
                   " bytes");
        block(rec, what);
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
        r.fail("static item '" + printable(name) + "' has " + str(count) + " values in " +
               str(bytes) +
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

hsResultFile::seriesHead hsResultFile::seriesHeadOf(const openFile& f, const fixedHeader& fixed,
                                                    const std::string& name)
{
    seriesHead h;
    h.headerSize = fixed.headerSize;
    h.nt = fixed.noTimestep;
    h.version = fixed.version;
    h.startDT = fixed.startDT;
    h.timestep = fixed.timestep;
    h.shape = headerShape(f, fixed.version, fixed.headerSize, name);
    return h;
}

// What the series compares of a file: its fixed fields and the digest of its
// whole header. Used on a descriptor the caller has open (and checked).
hsResultFile::seriesHead hsResultFile::readSeriesHead(const openFile& f,
                                                      const std::string& name) const
{
    headerReader r(f, name, "hsResultFile::totalTimesteps: ");
    const long long modified = r.file->stat().modifiedNs / 1000000000LL;
    return seriesHeadOf(f, readFixedFields(r, modified >= cutoffDate), name);
}

std::string hsResultFile::countUnbacked(const seriesHead& h, long long size,
                                        const std::string& name) const
{
    const long long record = totItemSize64(nItem());
    if (record <= 0 || h.nt <= (size - h.headerSize) / (4 * record))
        return "";
    return "hsResultFile::totalTimesteps: " + str(h.nt) + " timesteps of " + str(record) +
           " values after a header of " + str(h.headerSize) +
           " bytes do not fit in the file (file " + name + ", " + str(size) + " bytes).";
}

} // namespace hestor
