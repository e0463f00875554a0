// Reading binary result headers of every version from files built byte by
// byte here, and hostile or damaged variants of them.

#include <gtest/gtest.h>

#include <random>

#include "hsResultFile.h"
#include "test_hsResultFileUtil.h"

using hestor::hsResultFile;
using ZCoreLib::ZException;
using namespace rftest;

namespace {

struct Item {
    std::string name;
    int len;
};

struct Static {
    std::string name, type;
    int count;
    std::vector<char> data;
};

struct FileLayout {
    int version = 8;
    int layerType = 0;
    int field3 = 7;
    float offsetDepth = 0.25f;
    int modeltype = 10;
    long long startDT = 1700000000LL;
    float timestep = 1800.f;
    int nt = 2;
    int noLayer = 3;
    int itemOffset = 128;
    int staticGap = 0; // positional statics: bytes between items and statics
    std::vector<Item> items{{"salt", 5}, {"h", 2}};
    std::vector<Static> statics;
};

// The statics of the test model: 3 layers of 1 m, bottoms 2.5 m and 1.2 m,
// so 3 + 2 = 5 cells.
std::vector<Static> modelStatics(int version)
{
    Bytes enol;
    enol.i32(3).i32(2);
    return {{"proj", "c", 5, Bytes().str("UTM33").b},
            {"enol", "i", 2, enol.b},
            {"dz", "f", 3, floatBytes({1.f, 1.f, 1.f})},
            {"elemBathy", "f", 2, floatBytes({2.5f, 1.2f})},
            {"mesh", "c", 0, meshBlock(version <= 1, version > 6)}};
}

std::vector<char> build(FileLayout s, int* headerSizeOut = nullptr)
{
    Bytes f;
    if (s.version > 0)
        f.i32(s.version).i32(s.layerType);
    if (s.version > 4)
        f.i32(s.field3).i32(1).f32(3.1415927f).f32(s.offsetDepth);
    f.i32(s.modeltype);
    const size_t hsAt = f.size();
    f.i32(0);
    if (s.version >= 8)
        f.i64(s.startDT);
    else
        f.i32(static_cast<int32_t>(s.startDT));
    f.f32(s.timestep).i32(s.nt).i32(static_cast<int>(s.items.size())).i32(s.itemOffset);
    f.i32(static_cast<int>(s.statics.size()));
    const size_t soAt = f.size();
    f.i32(0).i32(s.noLayer);
    f.zeros(s.itemOffset - f.size());
    for (const Item& it : s.items) {
        if (s.version >= 1)
            f.i32(it.len);
        f.i32(static_cast<int>(it.name.size())).str(it.name);
    }
    f.zeros(s.version >= 3 ? 0 : s.staticGap);
    const int32_t staticOffset = static_cast<int32_t>(f.size());
    if (s.version >= 3) {
        for (const Static& st : s.statics) {
            f.i32(static_cast<int>(st.data.size())).i32(st.count ? st.count : static_cast<int>(st.data.size()));
            f.i32(static_cast<int>(st.name.size())).i32(static_cast<int>(st.type.size()));
            f.str(st.name).str(st.type).bytes(st.data);
        }
    } else {
        for (const Static& st : s.statics)
            f.i32(static_cast<int>(st.data.size())).i32(st.count);
        for (const Static& st : s.statics)
            f.bytes(st.data);
    }
    const int32_t hs = static_cast<int32_t>(f.size());
    std::memcpy(&f.b[hsAt], &hs, 4);
    std::memcpy(&f.b[soAt], &staticOffset, 4);
    int T = 0;
    for (const Item& it : s.items)
        T += it.len;
    for (int t = 0; t < s.nt; ++t)
        for (int j = 0; j < T; ++j)
            f.f32(static_cast<float>(t * 1000 + j));
    if (headerSizeOut)
        *headerSizeOut = hs;
    return f.b;
}

FileLayout layout(int version)
{
    FileLayout s;
    s.version = version;
    s.statics = modelStatics(version);
    if (version < 3) // positional: elemBathy, mesh, dz
        s.statics = {s.statics[3], s.statics[4], s.statics[2]};
    return s;
}

class ResultHeader : public TempDir {
protected:
    std::string put(const std::vector<char>& bytes, const std::string& name = "r.emb")
    {
        const std::string path = at(name);
        writeBytes(path, bytes);
        return path;
    }
};

void expectModel(const hsResultFile& f)
{
    const hestor::hsModelInfo& m = f.mInfo;
    EXPECT_TRUE(m.isInit);
    EXPECT_EQ(m.mesh2d.non, 6);
    EXPECT_EQ(m.mesh2d.noe, 2);
    EXPECT_EQ(m.noLayer, 3);
    ASSERT_NE(m.dz, nullptr);
    EXPECT_EQ(m.dz[0], 1.0);
    EXPECT_EQ(m.dz[2], 1.0);
    ASSERT_NE(m.elemBathy, nullptr); // its values follow the bottom-cell rule of init()
    EXPECT_EQ(m.noCells, 5);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(m.mesh2d.nt[i], 99) << "node " << i;
}

} // namespace

TEST_F(ResultHeader, Version8EveryField)
{
    FileLayout s = layout(8);
    s.statics.push_back({"notes", "c", 5, Bytes().str("hello").b});
    s.statics.push_back({"weights", "f", 2, floatBytes({0.5f, -2.f})});
    s.layerType = 0;
    s.startDT = 5000000000LL; // needs the 64-bit field
    int hs = 0;
    const std::string path = put(build(s, &hs));
    hsResultFile f(path, -1);
    EXPECT_EQ(f.fileFmt, hestor::EMB);
    EXPECT_EQ(f.headerVersion, 8);
    EXPECT_EQ(f.headerSize, hs);
    EXPECT_EQ(f.getNToffset(), 44);
    EXPECT_EQ(f.mInfo.layerType, 0);
    EXPECT_EQ(f.mInfo.headerField3, 7);
    EXPECT_EQ(f.mInfo.offsetDepth, 0.25);
    EXPECT_EQ(f.mInfo.modeltype, 10);
    EXPECT_EQ(f.mInfo.startDT, 5000000000LL);
    EXPECT_EQ(f.mInfo.timestep, 1800.0);
    EXPECT_EQ(f.mInfo.noTimestep, 2);
    EXPECT_EQ(f.itemNameVec, (std::vector<std::string>{"salt", "h"}));
    EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 2}));
    EXPECT_EQ(f.totItemSize(), 7);
    EXPECT_EQ(f.curTimestep, 0);
    ASSERT_NE(f.itemRead, nullptr);
    EXPECT_FALSE(f.itemRead[0] || f.itemRead[1]);
    EXPECT_EQ(f.mInfo.mesh2d.proj, "UTM33");
    ASSERT_NE(f.mInfo.enol, nullptr);
    EXPECT_EQ(f.mInfo.enol[0], 3);
    EXPECT_EQ(f.mInfo.enol[1], 2);
    expectModel(f);
    // Voronoi points come from the file (version above 6).
    EXPECT_EQ(f.mInfo.mesh2d.eVoronoiX[1], 1.5);
    // Unknown statics are kept, data included; known ones are not.
    ASSERT_EQ(f.staticItemVec.size(), 2u);
    EXPECT_EQ(f.staticItemVec[0].name, "notes");
    EXPECT_EQ(f.staticItemVec[0].type, "c");
    EXPECT_EQ(f.staticItemVec[0].count, 5);
    EXPECT_EQ(std::string(f.staticItemVec[0].data, 5), "hello");
    EXPECT_EQ(f.staticItemVec[1].name, "weights");
    EXPECT_EQ(f.staticItemVec[1].byteLength, 8);
    EXPECT_EQ(floatAt(std::vector<char>(f.staticItemVec[1].data, f.staticItemVec[1].data + 8), 4),
              -2.f);
}

TEST_F(ResultHeader, Versions5to7)
{
    for (int v = 5; v <= 7; ++v) {
        SCOPED_TRACE(v);
        FileLayout s = layout(v);
        s.startDT = -3600; // int32, sign-extended
        s.modeltype = 5;   // below 10 reads as water
        s.field3 = -4;
        s.offsetDepth = 1.5f;
        s.timestep = 60.f;
        int hs = 0;
        hsResultFile f(put(build(s, &hs), "v" + std::to_string(v) + ".emb"), -1);
        EXPECT_EQ(f.headerVersion, v);
        EXPECT_EQ(f.headerSize, hs);
        EXPECT_EQ(f.getNToffset(), 40);
        EXPECT_EQ(f.mInfo.startDT, -3600);
        EXPECT_EQ(f.mInfo.modeltype, 0);
        EXPECT_EQ(f.mInfo.headerField3, -4);
        EXPECT_EQ(f.mInfo.offsetDepth, 1.5);
        EXPECT_EQ(f.mInfo.timestep, 60.0);
        EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 2}));
        expectModel(f);
        EXPECT_TRUE(f.staticItemVec.empty());
    }
}

TEST_F(ResultHeader, EnolKeptInVersion3TakenFrom4)
{
    FileLayout s3 = layout(3), s4 = layout(4);
    s3.modeltype = 20;
    hsResultFile f3(put(build(s3), "v3.emb"), hestor::EMB);
    EXPECT_EQ(f3.headerVersion, 3);
    EXPECT_EQ(f3.getNToffset(), 24);
    EXPECT_EQ(f3.mInfo.modeltype, 20);
    EXPECT_EQ(f3.mInfo.headerField3, -1); // absent before version 5
    ASSERT_EQ(f3.staticItemVec.size(), 1u);
    EXPECT_EQ(f3.staticItemVec[0].name, "enol");
    EXPECT_EQ(f3.staticItemVec[0].type, "i");
    expectModel(f3);

    hsResultFile f4(put(build(s4), "v4.emb"), hestor::EMB);
    EXPECT_TRUE(f4.staticItemVec.empty());
    ASSERT_NE(f4.mInfo.enol, nullptr);
    EXPECT_EQ(f4.mInfo.enol[1], 2);
}

TEST_F(ResultHeader, Version2PositionalBlocks)
{
    FileLayout s = layout(2);
    s.itemOffset = 100; // read where the header says, not at 128
    s.staticGap = 12;   // statics at their offset, not after the items
    s.statics.push_back({"extra", "f", 1, floatBytes({9.f})}); // dropped
    int hs = 0;
    hsResultFile f(put(build(s, &hs)), -1);
    EXPECT_EQ(f.headerVersion, 2);
    EXPECT_EQ(f.headerSize, hs);
    EXPECT_EQ(f.getNToffset(), 24);
    EXPECT_EQ(f.itemNameVec, (std::vector<std::string>{"salt", "h"}));
    EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 2}));
    EXPECT_EQ(f.mInfo.mesh2d.proj, "UTM32"); // no proj block before version 3
    EXPECT_TRUE(f.staticItemVec.empty());
    expectModel(f);
}

TEST_F(ResultHeader, Version0RecognisedByAge)
{
    FileLayout s = layout(0);
    s.modeltype = 20;
    s.items = {{"a", 5}, {"bb", 5}}; // lengths not stored in version 0: noCells, for the data
    const std::string path = put(build(s));
    setModified(path, cutoff - 1);
    hsResultFile f(path, -1);
    EXPECT_EQ(f.headerVersion, 0);
    EXPECT_EQ(f.getNToffset(), 16);
    EXPECT_EQ(f.mInfo.modeltype, 20);
    EXPECT_EQ(f.mInfo.noTimestep, 2);
    EXPECT_EQ(f.dateModified, cutoff - 1);
    EXPECT_EQ(f.itemNameVec, (std::vector<std::string>{"a", "bb"}));
    EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 5})); // noCells each
    expectModel(f); // node types stored one higher are converted
}

TEST_F(ResultHeader, VersionWordReadAtCutoff)
{
    FileLayout s = layout(1);
    const std::string path = put(build(s));
    setModified(path, cutoff);
    hsResultFile f(path, -1);
    EXPECT_EQ(f.headerVersion, 1);
    EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 2}));
    expectModel(f);
}

TEST_F(ResultHeader, RelabelRestartAndDecoupled)
{
    FileLayout s = layout(8);
    s.items = {{"hdrst_u", 5}};
    hsResultFile restart(put(build(s), "a.emb"), -1);
    EXPECT_EQ(restart.fileFmt, hestor::RESTART);

    const int faceCells = restart.mInfo.noFaceCells;
    for (const char* name : {"uFlux", "hddcp_uFlux"}) {
        s.items = {{name, faceCells}, {"x", 1}};
        hsResultFile d(put(build(s), "b.emb"), -1);
        EXPECT_EQ(d.fileFmt, hestor::DECOUPLED) << name;
    }
    s.items = {{"uFlux", faceCells + 1}};
    hsResultFile other(put(build(s), "c.emb"), -1);
    EXPECT_EQ(other.fileFmt, hestor::EMB);
    s.items = {{"x", 1}, {"hdrst_u", 5}}; // only the first item counts
    hsResultFile second(put(build(s), "d.emb"), -1);
    EXPECT_EQ(second.fileFmt, hestor::EMB);
}

namespace {

// Builds a version 8 file, lets change() damage the layout or the bytes, and
// expects a ZException naming the file.
template <typename F>
void expectRejected(const std::string& dir, const std::string& name, F change)
{
    FileLayout s = layout(8);
    std::vector<char> bytes;
    change(s, bytes);
    if (bytes.empty())
        bytes = build(s);
    const std::string path = dir + "/" + name + ".emb";
    writeBytes(path, bytes);
    try {
        hsResultFile f(path, -1);
        ADD_FAILURE() << name << ": accepted";
    } catch (const ZException& e) {
        EXPECT_FALSE(e.message.empty()) << name;
    }
}

} // namespace

TEST_F(ResultHeader, HostileFieldsRejected)
{
    auto patch = [](size_t at, int32_t v) {
        return [at, v](FileLayout& s, std::vector<char>& b) {
            b = build(s);
            std::memcpy(&b[at], &v, 4);
        };
    };
    expectRejected(dir, "version9", patch(0, 9));
    expectRejected(dir, "versionNeg", patch(0, -1));
    expectRejected(dir, "headerSizeBeyond", patch(28, 1 << 30));
    expectRejected(dir, "ntNegative", patch(44, -2));
    expectRejected(dir, "itemsHuge", patch(48, 0x7fffffff));
    expectRejected(dir, "itemsNegative", patch(48, -1));
    expectRejected(dir, "itemOffsetBeyond", patch(52, 1 << 30));
    expectRejected(dir, "staticsHuge", patch(56, 0x10000000));
    expectRejected(dir, "itemLengthNegative", patch(128, -5));
    expectRejected(dir, "nameLengthHuge", patch(132, 0x7ffffff0));
    expectRejected(dir, "nameLengthNegative", patch(132, -1));
    expectRejected(dir, "layersDiffer", patch(64, 4)); // dz holds 3
    expectRejected(dir, "floatBytes", [](FileLayout& s, std::vector<char>&) {
        s.statics[2].data.push_back(0); // 3 floats in 13 bytes
    });
    expectRejected(dir, "bathyCount", [](FileLayout& s, std::vector<char>&) {
        s.statics[3] = {"elemBathy", "f", 3, floatBytes({1.f, 2.f, 3.f})};
    });
    expectRejected(dir, "dzCount", [](FileLayout& s, std::vector<char>&) {
        s.statics[2] = {"dz", "f", 2, floatBytes({1.f, 2.f})};
    });
    expectRejected(dir, "enolCount", [](FileLayout& s, std::vector<char>&) {
        s.statics[1] = {"enol", "i", 1, Bytes().i32(3).b};
    });
    expectRejected(dir, "meshShort", [](FileLayout& s, std::vector<char>&) {
        s.statics[4].data.resize(s.statics[4].data.size() - 4);
    });
    expectRejected(dir, "noMesh", [](FileLayout& s, std::vector<char>&) {
        s.statics.pop_back(); // elemBathy of 2 for a mesh of none
    });
    expectRejected(dir, "noDz", [](FileLayout& s, std::vector<char>&) {
        s.statics.erase(s.statics.begin() + 2);
    });
}

TEST_F(ResultHeader, ZeroCountStaticWithBytesRejected)
{
    FileLayout s = layout(8);
    std::vector<char> b = build(s);
    // The "proj" entry follows the item directory at 128 + 12 + 9.
    const size_t entry = 128 + (8 + 4) + (8 + 1);
    ASSERT_EQ(wordAt(b, entry), 5);
    const int32_t zero = 0;
    std::memcpy(&b[entry + 4], &zero, 4); // count 0, byte length 5
    writeBytes(at("z.emb"), b);
    EXPECT_THROW(hsResultFile(at("z.emb"), -1), ZException);
}

TEST_F(ResultHeader, PositionalBlocksChecked)
{
    FileLayout s = layout(2);
    s.statics[0].data.resize(4); // elemBathy: 2 values in 4 bytes
    writeBytes(at("p.emb"), build(s));
    EXPECT_THROW(hsResultFile(at("p.emb"), -1), ZException);
    s = layout(2);
    s.statics.resize(2); // no dz block
    writeBytes(at("q.emb"), build(s));
    EXPECT_THROW(hsResultFile(at("q.emb"), -1), ZException);
}

// Every prefix of a valid file: a prefix that cuts the header or the data
// its timestep count promises throws; the whole file reads.
TEST_F(ResultHeader, EveryTruncationThrowsOrReads)
{
    for (int v : {8, 6, 2}) {
        int hs = 0;
        const std::vector<char> full = build(layout(v), &hs);
        for (size_t len = 0; len <= full.size(); ++len) {
            SCOPED_TRACE("version " + std::to_string(v) + ", length " + std::to_string(len));
            const std::string path = at("t.emb");
            writeBytes(path, std::vector<char>(full.begin(), full.begin() + len));
            if (len < full.size()) {
                EXPECT_THROW(hsResultFile(path, -1), ZException);
                continue;
            }
            hsResultFile f(path, -1);
            EXPECT_EQ(f.headerSize, hs);
            EXPECT_EQ(f.nItem(), 2);
        }
    }
}

// Random damage to the header: every outcome is a ZException or a header
// whose parts agree with each other and with the file.
TEST_F(ResultHeader, RandomByteFlipsThrowOrReadConsistently)
{
    int hs = 0;
    const std::vector<char> good = build(layout(8), &hs);
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> where(0, hs - 1), flips(1, 3), mask(1, 255);
    int accepted = 0;
    for (int run = 0; run < 3000; ++run) {
        std::vector<char> b = good;
        const int n = flips(rng);
        for (int k = 0; k < n; ++k)
            b[where(rng)] ^= static_cast<char>(mask(rng));
        const std::string path = at("f.emb");
        writeBytes(path, b);
        try {
            hsResultFile f(path, -1);
            ++accepted;
            ASSERT_EQ(f.itemNameVec.size(), f.itemLengthVec.size());
            ASSERT_GE(f.headerSize, 0);
            ASSERT_LE(static_cast<size_t>(f.headerSize), b.size());
            ASSERT_GE(f.totItemSize(), 0);
            ASSERT_GE(f.mInfo.noTimestep, 0);
            ASSERT_TRUE(f.mInfo.isInit);
            for (const hestor::staticItem& st : f.staticItemVec) {
                ASSERT_GE(st.byteLength, 0);
                ASSERT_TRUE(st.byteLength == 0 || st.data != nullptr);
                // Touch every byte: the sanitizers see any overrun.
                long sum = 0;
                for (int i = 0; i < st.byteLength; ++i)
                    sum += st.data[i];
                (void)sum;
            }
        } catch (const ZException&) {
        }
    }
    // Flips in values that are not checked (names, data) leave readable files.
    EXPECT_GT(accepted, 0);
}

TEST_F(ResultHeader, MessagesNameTheFaultAndTheFile)
{
    std::vector<char> b = build(layout(8));
    const int32_t nine = 9;
    std::memcpy(&b[0], &nine, 4);
    const std::string path = put(b);
    try {
        hsResultFile f(path, -1);
        ADD_FAILURE() << "accepted";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "hsResultFile::readHeader: unknown header version 9 (file " + path +
                                 ", " + std::to_string(b.size()) + " bytes).");
    }
    // Text is not a result file; a name read from the file shows no raw bytes.
    const std::string text = put(Bytes().str("text, not a result file").b);
    EXPECT_EQ(testutil::thrownMessage([&] { hsResultFile f(text, -1); }),
              "hsResultFile::readHeader: not a result file: its first word (1954047348) is not a "
              "header version of this format (1 to 8) (file " + text + ", 23 bytes).");
    FileLayout s = layout(8);
    s.statics.push_back({std::string("x\x01\xff", 3), "f", 2, floatBytes({1.f})});
    const std::string named = put(build(s));
    EXPECT_NE(testutil::thrownMessage([&] { hsResultFile f(named, -1); })
                  .find("static item 'x\\x01\\xFF' of type f has 2 values in 4 bytes"),
              std::string::npos);
}
