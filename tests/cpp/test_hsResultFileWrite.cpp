// Writing binary result files and series of them; the text buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <numeric>

#include <sys/stat.h>
#include <sys/wait.h>

#include "ZCancel.h"
#include "ZFile.h"
#include "ZPlatform.h"
#include "hsResultFile.h"
#include "test_hsResultFileUtil.h"

using hestor::hsResultFile;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using namespace rftest;

namespace {

const long long start = 1600000000LL;

// The two-square mesh, 3 layers of 1 m from the surface, bottoms 2.5 m and
// 1.2 m: 3 + 2 = 5 cells.
void fillInfo(hestor::hsModelInfo& mi)
{
    const std::vector<char> m = meshBlock(false, false);
    mi.mesh2d.fromBinary(m.data(), m.size(), -1);
    mi.noLayer = 3;
    mi.adoptDz(new double[3]{1, 1, 1}, 3);
    mi.adoptElemBathy(new double[2]{2.5, 1.2}, 2);
    mi.startDT = start;
    mi.timestep = 600;
    mi.modeltype = 10;
    mi.headerField3 = 3;
    mi.offsetDepth = 0;
    mi.init();
}

void fillModel(hsResultFile& f) { fillInfo(f.mInfo); }

std::string message(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ZException& e) {
        return e.message;
    }
    return "(no exception)";
}

float value(int ts, int item, int j) { return static_cast<float>(ts * 100 + item * 10 + j); }

// Timesteps of items "a" (5 values, written as doubles) and "b" (2 floats).
void writeSteps(hsResultFile& f, int from, int to)
{
    for (int t = from; t < to; ++t) {
        double a[5];
        float b[2];
        for (int j = 0; j < 5; ++j)
            a[j] = value(t, 0, j);
        for (int j = 0; j < 2; ++j)
            b[j] = value(t, 1, j);
        ASSERT_EQ(f.writeData(a, 5), 0);
        ASSERT_EQ(f.writeData(b, 2), 0);
    }
}

std::unique_ptr<hsResultFile> create(const std::string& name)
{
    return hsResultFile::createWriter(name, hestor::EMB, fillInfo, {"a", "b"}, {5, 2});
}

// Every entry of a folder, hidden ones too, with its bytes ("/" for a folder).
std::map<std::string, std::vector<char>> entries(const std::string& dir)
{
    std::map<std::string, std::vector<char>> all;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        all[e.path().filename()] = e.is_directory() ? std::vector<char>{'/'} : readBytes(e.path());
    return all;
}

class ResultWrite : public TempDir {
protected:
    std::unique_ptr<hsResultFile> writer(const std::string& name, int maxPerFile = -1,
                                         const std::function<void(hsResultFile&)>& change = {})
    {
        auto f = std::make_unique<hsResultFile>(at(name), hestor::EMB);
        fillModel(*f);
        f->addItem("a", 5);
        f->addItem("b", 2);
        f->maxTimestepsPerFile = maxPerFile;
        if (change)
            change(*f);
        f->writeHeader();
        return f;
    }
};

} // namespace

TEST_F(ResultWrite, HeaderByteForByte)
{
    auto f = writer("w.emb");
    const std::vector<char> got = readBytes(at("w.emb"));

    char* meshRaw = nullptr;
    const int meshLen = f->mInfo.mesh2d.toBinary(meshRaw);
    const std::vector<char> mesh(meshRaw, meshRaw + meshLen);
    delete[] meshRaw;
    ASSERT_NE(f->mInfo.enol, nullptr);

    Bytes e;
    e.i32(8).i32(0).i32(3).i32(1).f32(3.1415927f).f32(0.f).i32(10).i32(0 /* size */);
    e.i64(start).f32(600.f).i32(0).i32(2).i32(128).i32(5).i32(128 + 9 + 9).i32(3);
    e.zeros(60);
    e.i32(5).i32(1).str("a").i32(2).i32(1).str("b");
    e.i32(5).i32(5).i32(4).i32(1).str("proj").str("c").str("UTM32");
    e.i32(8).i32(2).i32(4).i32(1).str("enol").str("i").i32(f->mInfo.enol[0]).i32(f->mInfo.enol[1]);
    e.i32(12).i32(3).i32(2).i32(1).str("dz").str("f").f32(1).f32(1).f32(1);
    e.i32(8).i32(2).i32(9).i32(1).str("elemBathy").str("f").f32(2.5f).f32(1.2f);
    e.i32(meshLen).i32(meshLen).i32(4).i32(1).str("mesh").str("c").bytes(mesh);
    const int32_t size = static_cast<int32_t>(e.size());
    std::memcpy(&e.b[28], &size, 4);

    EXPECT_EQ(f->headerSize, size);
    EXPECT_EQ(f->headerVersion, 8);
    ASSERT_EQ(got.size(), e.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], e.b[i]) << "byte " << i;
    for (size_t i = 68; i < 128; ++i)
        ASSERT_EQ(got[i], 0) << "reserved byte " << i;
    EXPECT_EQ(f->staticItemVec.size(), 5u);
    // Floats per file: (2e9 - header) / (4 x 7), truncated.
    EXPECT_EQ(f->maxTimestepsPerFile, static_cast<int>((2e9 - size) / 28));
}

TEST_F(ResultWrite, RoundTripThroughReader)
{
    {
        auto f = writer("rt.emb");
        writeSteps(*f, 0, 4);
        f->flushBuf();
    }
    hsResultFile r(at("rt.emb"), -1);
    EXPECT_EQ(r.mInfo.noTimestep, 4);
    EXPECT_EQ(r.mInfo.startDT, start);
    EXPECT_EQ(r.mInfo.timestep, 600.0);
    EXPECT_EQ(r.mInfo.headerField3, 3);
    EXPECT_EQ(r.mInfo.offsetDepth, 0.0);
    EXPECT_EQ(r.mInfo.modeltype, 10);
    EXPECT_EQ(r.mInfo.noCells, 5);
    EXPECT_EQ(r.itemNameVec, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(r.itemLengthVec, (std::vector<int>{5, 2}));
    EXPECT_TRUE(r.staticItemVec.empty());
    const std::vector<char> b = readBytes(at("rt.emb"));
    EXPECT_EQ(b.size(), static_cast<size_t>(r.headerSize) + 4 * 7 * 4);
    EXPECT_EQ(floatAt(b, r.headerSize + 4 * (3 * 7 + 5 + 1)), value(3, 1, 1));
}

TEST_F(ResultWrite, SeriesOverLimit)
{
    auto f = writer("s.emb", 3);
    writeSteps(*f, 0, 8);
    f->flushBuf();
    const std::string names[] = {at("s.emb"), at("s^1.emb"), at("s^2.emb")};
    EXPECT_FALSE(ZFile::fileExists(at("s^3.emb")));
    const int nts[] = {3, 3, 2};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const std::vector<char> b = readBytes(names[k]);
        const int hs = wordAt(b, 28);
        EXPECT_EQ(wordAt(b, 44), nts[k]);
        EXPECT_EQ(word64At(b, 32), start + k * 3 * 600);
        ASSERT_EQ(b.size(), static_cast<size_t>(hs) + 4u * 7 * nts[k]);
        for (int t = 0; t < nts[k]; ++t)
            for (int j = 0; j < 7; ++j)
                ASSERT_EQ(floatAt(b, hs + 4 * (t * 7 + j)), value(3 * k + t, j < 5 ? 0 : 1, j < 5 ? j : j - 5));
    }
    EXPECT_EQ(f->totalTimesteps(), 8);

    hsResultFile r(at("s.emb"), -1);
    EXPECT_EQ(r.mInfo.noTimestep, 3);
    EXPECT_EQ(r.totalTimesteps(), 8);
    EXPECT_EQ(r.fileNo, 0);
    int ts = 7;
    EXPECT_EQ(r.getFilename(ts), at("s^2.emb"));
    EXPECT_EQ(ts, 1);
    ts = 2; // below NT: the first file, even with fileNo moved
    EXPECT_EQ(r.getFilename(ts), at("s.emb"));
    EXPECT_EQ(ts, 2);
    // Past the end, ts is reduced by what each file holds: 3 + 3 + 2.
    for (int past : {8, 9}) {
        ts = past;
        EXPECT_EQ(message([&] { r.getFilename(ts); }),
                  "Not that many timesteps in file (" + at("s.emb") + "). fileNo=3, timestep=" +
                      std::to_string(past - 8));
        EXPECT_EQ(r.fileNo, 3);
    }
    ts = -1;
    EXPECT_EQ(message([&] { r.getFilename(ts); }),
              "Negative timestep requested from  (" + at("s.emb") + "). " + hestor::errSuffix);
}

TEST_F(ResultWrite, SeriesExactlyFull)
{
    auto f = writer("x.emb", 3);
    writeSteps(*f, 0, 6);
    f->flushBuf();
    EXPECT_EQ(wordAt(readBytes(at("x.emb")), 44), 3);
    EXPECT_EQ(wordAt(readBytes(at("x^1.emb")), 44), 3);
    const std::vector<char> last = readBytes(at("x^2.emb"));
    EXPECT_EQ(wordAt(last, 44), 0);
    EXPECT_EQ(word64At(last, 32), start + 6 * 600);
    EXPECT_EQ(last.size(), static_cast<size_t>(wordAt(last, 28)));
    hsResultFile r(at("x.emb"), -1);
    EXPECT_EQ(r.totalTimesteps(), 6);
    // A file whose header cannot be read continues nothing: the series ends
    // before it. A handle that counted the file refuses it by name.
    const std::vector<char> middle = readBytes(at("x^1.emb"));
    writeBytes(at("x^1.emb"), std::vector<char>(middle.begin(), middle.begin() + 46));
    EXPECT_EQ(hsResultFile(at("x.emb"), -1).totalTimesteps(), 3);
    EXPECT_NE(message([&] { r.totalTimesteps(); }).find("x^1.emb' was cut short"), std::string::npos);
    writeBytes(at("x^1.emb"), middle);
    EXPECT_EQ(r.totalTimesteps(), 6);
    std::remove(at("x^1.emb").c_str());
    EXPECT_NE(message([&] { r.totalTimesteps(); }).find("x^1.emb' is gone"), std::string::npos);
}

// File 1 of a series of three is replaced by a file written apart, with one
// change: it stays in the series only when it continues file 0, and a file
// that does not ends the series there.
TEST_F(ResultWrite, SeriesEndsAtAFileThatDoesNotContinueIt)
{
    auto f = writer("x.emb", 3);
    writeSteps(*f, 0, 8);
    f->flushBuf();
    auto shift = [](long long s) { return [s](hsResultFile& g) { g.mInfo.startDT += s; }; };
    auto bathy = [](double d) {
        return [d](hsResultFile& g) {
            g.mInfo.startDT += 1800;
            g.mInfo.elemBathy[0] = d;
            g.mInfo.enol[0] = 0;
            g.mInfo.init();
        };
    };
    const std::vector<std::pair<std::function<void(hsResultFile&)>, int>> cases = {
        {shift(1800), 8},       // the genuine start
        {shift(1800 - 1), 8},   // the writer's, from a double just below 600
        {shift(1800 + 1), 3},
        {shift(1800 + 299), 3}, // within half a timestep
        {shift(1800 + 301), 3},
        {shift(1800 - 301), 3},
        {[](hsResultFile& g) { g.mInfo.startDT += 1800; g.itemNameVec[1] = "c"; }, 3},
        {bathy(2.4), 3}, // another bathymetry, the same cells
        {bathy(1.5), 3}, // one cell fewer
        // Another header, longer: its records start later than the first file's.
        {[](hsResultFile& g) { g.mInfo.startDT += 1800; g.mInfo.mesh2d.proj += " (zone 33)"; }, 3},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string y = "y" + std::to_string(i) + ".emb";
        auto g = writer(y, -1, cases[i].first);
        writeSteps(*g, 3, 6);
        g->flushBuf();
        ZFile::copyFile(at(y), at("x^1.emb"));
        hsResultFile r(at("x.emb"), -1);
        EXPECT_EQ(r.totalTimesteps(), cases[i].second) << i;
        int ts = 4;
        if (cases[i].second == 3)
            EXPECT_THROW(r.getFilename(ts), ZException) << i;
        else
            EXPECT_EQ(r.getFilename(ts), at("x^1.emb")) << i;
        float a[5] = {};
        if (cases[i].second == 8)
            r.readItemData(0, 4, a);
        EXPECT_EQ(a[3], cases[i].second == 8 ? value(4, 0, 3) : 0.0f) << i;
    }
}

// Files written apart, each continuing the one before at its own length: the
// series holds what every file holds, and each global timestep maps to the
// file and local timestep that hold it. A file without timesteps ends the
// series unless it is the last.
TEST_F(ResultWrite, SeriesOfFilesOfDifferentLengths)
{
    const std::vector<std::pair<std::vector<int>, int>> cases = {
        {{3, 4}, 7}, {{3, 2, 3}, 8}, {{1, 5, 2, 1}, 9}, {{3, 0}, 3}, {{3, 0, 2}, 3}, {{2, 2}, 4},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string first = "d" + std::to_string(i) + ".emb";
        int t0 = 0;
        std::vector<std::pair<std::string, int>> owner; // file and local timestep of each
        for (size_t k = 0; k < cases[i].first.size(); ++k) {
            const int n = cases[i].first[k];
            const std::string name = hsResultFile::seriesFileName(first, static_cast<int>(k));
            auto g = writer(name, -1, [t0](hsResultFile& h) { h.mInfo.startDT += 600LL * t0; });
            writeSteps(*g, t0, t0 + n);
            g->flushBuf();
            for (int t = 0; t < n; ++t)
                owner.emplace_back(at(name), t);
            t0 += n;
        }
        hsResultFile r(at(first), -1);
        const int total = cases[i].second;
        EXPECT_EQ(r.totalTimesteps(), total);
        for (int t = 0; t < total; ++t) {
            int ts = t;
            EXPECT_EQ(r.getFilename(ts), owner[t].first) << t;
            EXPECT_EQ(ts, owner[t].second) << t;
        }
        int ts = total;
        EXPECT_THROW(r.getFilename(ts), ZException);
    }
}

// The writer truncates each file's start to whole seconds, from the timestep
// it was given; the header keeps a float32 of it. Timesteps below two
// seconds, and doubles a few units off a whole or half second (as R's
// arithmetic gives them), must still read whole.
TEST_F(ResultWrite, SeriesOfShortTimestepsReadsWhole)
{
    std::vector<double> steps = {0.1, 0.3, 1.7};
    for (double whole : {435.0, 1800.0, 220.0, 7.5, 0.5})
        for (int ulps = -3; ulps <= 3; ++ulps)
            steps.push_back(whole + ulps * (std::nextafter(whole, 1e9) - whole));
    for (size_t i = 0; i < steps.size(); ++i) {
        const double dt = steps[i];
        auto f = writer("s" + std::to_string(i) + ".emb", 7, [dt](hsResultFile& g) { g.mInfo.timestep = dt; });
        writeSteps(*f, 0, 30);
        f->flushBuf();
        EXPECT_EQ(hsResultFile(f->fileName, -1).totalTimesteps(), 30) << dt;
        EXPECT_EQ(f->totalTimesteps(), 30) << dt;
    }
    // 3e7 s is a float32 whose neighbours lie 2 s away: over 3 timesteps any
    // start within 3 s of the span could be the writer's, and none further.
    // 600 + 2^-14 has an odd last bit: the doubles halfway to its neighbours
    // round away from it, so over 2^15 timesteps the span runs from 19660801
    // to 19660803 s, both ends open.
    const struct { double ts; int nt; long long gap; bool joins; } spans[] = {
        {3e7, 3, 90000000 - 4, false}, {3e7, 3, 90000000 - 3, true},
        {3e7, 3, 90000000 + 3, true},  {3e7, 3, 90000000 + 4, false},
        {600 + 0x1p-14, 32768, 19660802, true}, {600 + 0x1p-14, 32768, 19660803, false},
    };
    for (size_t i = 0; i < std::size(spans); ++i) {
        const std::string name = "w" + std::to_string(i) + ".emb";
        for (int k = 0; k < 2; ++k) {
            auto f = writer(hsResultFile::seriesFileName(name, k), -1, [&](hsResultFile& g) {
                g.mInfo.timestep = spans[i].ts;
                g.mInfo.startDT += k * spans[i].gap;
            });
            writeSteps(*f, k * spans[i].nt, spans[i].nt + k);
            f->flushBuf();
        }
        EXPECT_EQ(hsResultFile(at(name), -1).totalTimesteps(), spans[i].nt + spans[i].joins) << i;
    }
}

TEST_F(ResultWrite, ClosedByDestructor)
{
    {
        auto f = writer("d.emb");
        writeSteps(*f, 0, 2);
        float part[5] = {};
        f->writeData(part, 5); // an unfinished timestep is not counted
    }
    const std::vector<char> b = readBytes(at("d.emb"));
    EXPECT_EQ(wordAt(b, 44), 2);
    EXPECT_EQ(b.size(), static_cast<size_t>(wordAt(b, 28)) + 4u * (2 * 7 + 5));
}

TEST_F(ResultWrite, FlushAfterHeaderAndWriteNT)
{
    auto f = writer("n.emb");
    f->flushBuf();
    std::vector<char> b = readBytes(at("n.emb"));
    EXPECT_EQ(wordAt(b, 44), 0);
    EXPECT_EQ(f->writeNT(5), 0);
    EXPECT_EQ(f->mInfo.noTimestep, 5);
    std::vector<char> after = readBytes(at("n.emb"));
    EXPECT_EQ(wordAt(after, 44), 5);
    std::memcpy(&b[44], &after[44], 4);
    EXPECT_EQ(after, b); // nothing else changed
    EXPECT_THROW(f->writeData(static_cast<float*>(nullptr), 0), ZException); // closed
}

TEST_F(ResultWrite, ValueCountsChecked)
{
    auto f = writer("v.emb");
    std::vector<double> d(6, 1.0);
    std::vector<float> fl(6, 1.f);
    EXPECT_EQ(message([&] { f->writeData(d.data(), 6); }),
              "hsResultFile::writeData: 6 values given, but no item of " + at("v.emb") +
                  " holds more than 5.");
    EXPECT_THROW(f->writeData(fl.data(), 6), ZException);
    EXPECT_THROW(f->writeData(fl.data(), -1), ZException);
    f->flushBuf();
    EXPECT_EQ(readBytes(at("v.emb")).size(), static_cast<size_t>(f->headerSize));
}

TEST_F(ResultWrite, ZeroLengthItemsNeverRollOver)
{
    hsResultFile f(at("z.emb"), hestor::EMB);
    fillModel(f);
    f.addItem("empty", 0);
    f.writeHeader();
    EXPECT_EQ(f.maxTimestepsPerFile, 0);
    for (int i = 0; i < 5; ++i)
        f.writeData(static_cast<float*>(nullptr), 0);
    EXPECT_EQ(f.fileNo, 0);
    f.flushBuf();
    EXPECT_EQ(wordAt(readBytes(at("z.emb")), 44), 5);
    EXPECT_FALSE(ZFile::fileExists(at("z^1.emb")));
}

TEST_F(ResultWrite, HeaderFailures)
{
    hsResultFile f(at("nope/e.emb"), hestor::EMB);
    fillModel(f);
    f.addItem("a", 5);
    EXPECT_EQ(message([&] { f.writeHeader(); }), "No such folder: '" + at("nope") + "'");

    hsResultFile empty(at("e.emb"), hestor::EMB);
    EXPECT_EQ(message([&] { empty.writeHeader(); }),
              "hsResultFile::writeHeader: itemNameVec is empty.");
    empty.addItem("a", 5);
    empty.itemNameVec.push_back("b");
    EXPECT_EQ(message([&] { empty.writeHeader(); }),
              "hsResultFile::writeHeader: itemNameVec.Size()!=itemLengthVec.size().");

    hsResultFile text(at("e.txt"), hestor::TEXT0D);
    text.addItem("a", 1);
    EXPECT_EQ(message([&] { text.writeHeader(); }), "hsResultFile::writeHeader undefined format.");
    EXPECT_EQ(message([&] { text.writeData(static_cast<float*>(nullptr), 0); }),
              "hsResultFile::readItemData undefined format.");

    // A folder in place of the file cannot be opened for writing.
    std::filesystem::create_directory(at("dir.emb"));
    hsResultFile blocked(at("dir.emb"), hestor::EMB);
    fillModel(blocked);
    blocked.addItem("a", 5);
    EXPECT_THROW(blocked.writeHeader(), ZException);

    hsResultFile noData(at("u.emb"), hestor::EMB);
    EXPECT_THROW(noData.writeData(static_cast<float*>(nullptr), 0), ZException);
}

TEST_F(ResultWrite, WriteHeaderWithCount)
{
    hsResultFile f(at("c.emb"), hestor::EMB);
    fillModel(f);
    f.writeHeader(3);
    EXPECT_EQ(f.itemNameVec, (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(f.itemLengthVec, (std::vector<int>{5, 5, 5}));
    EXPECT_EQ(f.maxItemLength, 5);
}

TEST_F(ResultWrite, TextBufferKeepsOrderAndLongLines)
{
    std::string expected;
    {
        hsResultFile f(at("t.emt"), hestor::EMT);
        for (int i = 0; i < 300; ++i) {
            const std::string line = std::string(99, static_cast<char>('a' + i % 26)) + "\n";
            f.write2file(line);
            expected += line;
            ASSERT_LT(f.bufLen, hsResultFile::bufSize);
        }
        const std::string longLine(25000, 'L');
        f.write2file(longLine);
        expected += longLine;
        f.write2file("end\n");
        expected += "end\n";
        // not flushed: the destructor writes the rest
    }
    EXPECT_EQ(ZFile::readFile(at("t.emt")), expected);
}

TEST_F(ResultWrite, TotalTimestepsWithoutFiles)
{
    hsResultFile f(at("none.emb"), hestor::EMB);
    EXPECT_EQ(f.totalTimesteps(), 0);
    EXPECT_EQ(f.fileNo, 0);
}

// Each timestep is counted in its file's header as soon as its last item is
// written, so a writer that ends without closing loses nothing complete; a
// file begun by roll-over counts 0 until its first timestep is complete.
TEST_F(ResultWrite, CountKeptCurrent)
{
    auto f = writer("c.emb", 3);
    const std::string second = hsResultFile::seriesFileName(at("c.emb"), 1);
    // After t complete timesteps: the count of c.emb and of c^1.emb (-1: absent).
    const int expect[][2] = {{0, -1}, {1, -1}, {2, -1}, {3, 0}, {3, 1}, {3, 2}};
    const auto countOf = [](const std::string& name) {
        return ZFile::fileExists(name) ? wordAt(readBytes(name), 44) : -1;
    };
    for (int t = 0; t <= 5; ++t) {
        if (t > 0) {
            double a[5] = {};
            float b[2] = {};
            f->writeData(a, 5); // half a timestep is not counted
            EXPECT_EQ(countOf(f->getFilename()), expect[t - 1][f->fileNo]) << t;
            f->writeData(b, 2);
        }
        EXPECT_EQ(countOf(at("c.emb")), expect[t][0]) << t;
        EXPECT_EQ(countOf(second), expect[t][1]) << t;
        const std::vector<char> bytes = readBytes(f->getFilename());
        EXPECT_EQ(bytes.size(), static_cast<size_t>(f->headerSize) + 4u * 7 * wordAt(bytes, 44)) << t;
    }
}

// A second writer of a name is refused until the first closes; a new run
// replaces the file (its readers are told) and leaves no other file behind.
TEST_F(ResultWrite, OneWriterPerFile)
{
    const std::string name = at("l.emb");
    const auto create = [&] {
        return hsResultFile::createWriter(name, hestor::EMB, fillInfo, {"a", "b"}, {5, 2});
    };
    const auto refusal = [&](hestor::writerRefused::Kind kind) {
        try {
            create();
        } catch (const hestor::writerRefused& e) {
            return e.kind == kind ? e.message : "kind " + std::to_string(e.kind);
        }
        return std::string("(no refusal)");
    };
    auto first = create();
    writeSteps(*first, 0, 2);
    EXPECT_EQ(refusal(hestor::writerRefused::BUSY),
              "the file '" + name + "' is being written by another writer.");
    first->flushBuf();
    hsResultFile reader(name, -1);
    EXPECT_EQ(reader.mInfo.noTimestep, 2);
    // A lock that outlives its writer by a moment, past the busy hook, costs
    // no run.
    static int late;
    static bool hooked;
    bool busy = false;
    int error = 0;
    late = ZCoreLib::ZPlatform::lockFile(name, false, busy, error), hooked = false;
    hsResultFile::setBusyHook([] { hooked = true; });
    ZCoreLib::ZCancel::setHook([] { return hooked && (ZCoreLib::ZPlatform::unlockFile(late), false); });
    create()->flushBuf();
    ZCoreLib::ZCancel::setHook(nullptr);
    hsResultFile::setBusyHook(nullptr);
    float values[5];
    EXPECT_EQ(message([&] { reader.readItemData(0, 0, values); }),
              "hsResultFile: the result file '" + name +
                  "' was replaced by another file after this handle read it.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no new file left
}

// A writer of create's items, perFile timesteps a file, past timesteps 0 .. n - 1.
std::unique_ptr<hsResultFile> started(const std::string& name, int perFile, int n)
{
    auto f = create(name);
    f->maxTimestepsPerFile = perFile;
    writeSteps(*f, 0, n);
    return f;
}

// The old series of the new-run tests: 7 timesteps in 4 files.
void oldRun(const std::string& first) { started(first, 2, 7)->flushBuf(); }

// At any step of a new run over an old series: an interrupt leaves the whole
// old run or the whole new one, and no hidden file; a kill leaves readers the
// same, and the next run removes what it left, a file beyond a gap and hidden
// files of writers that are gone. A handle that has counted nothing yet counts
// the whole old run, or the new one once it has the name; one that counted the
// old run is told it was replaced.
TEST_F(ResultWrite, NewRunInterruptedKilledOrReadAtEveryStep)
{
    const std::string first = at("run.emb");
    oldRun(first);
    const auto before = entries(dir);
    static int asked, stopAt;
    for (stopAt = 1; stopAt < 20; ++stopAt) {
        asked = 0;
        ZCoreLib::ZCancel::setHook([] { return ++asked == stopAt; });
        try {
            create(first)->flushBuf();
            break;
        } catch (const ZCoreLib::ZCancelled&) {
            EXPECT_EQ(entries(dir), before) << stopAt;
        }
    }
    ZCoreLib::ZCancel::setHook(nullptr);
    EXPECT_EQ(stopAt, 5); // asked before each of the 3 old files and past them
    EXPECT_EQ(entries(dir).size(), 1u);
    EXPECT_EQ(wordAt(readBytes(first), 44), 0);

    static int steps, killAt;
    for (killAt = 1; killAt < 20; ++killAt) {
        oldRun(first);
        ZFile::copyFile(at("run^1.emb"), at("run^6.emb"));
        writeBytes(at(".run^4.emb.999999999.1.old"), {'x'}); // beyond any pid
        const pid_t child = fork();
        if (child == 0) {
            hsResultFile::setStepHook([] { if (++steps == killAt) _exit(3); });
            create(first)->flushBuf();
            _exit(0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        // The name locked, 4 old files checked, then the rename.
        EXPECT_EQ(hsResultFile(first, -1).totalTimesteps(), killAt <= 6 ? 7 : 0) << killAt;
        create(first)->flushBuf();
        EXPECT_EQ(entries(dir).size(), 1u) << killAt;
        if (status == 0)
            break;
    }
    EXPECT_EQ(killAt, 14); // and 4 old files removed, 2 hidden files, the name looked at

    // Killed inside a roll-over (each takes two steps, from the fourth on):
    // the next run takes what it left. A hidden file that nothing holds goes
    // once it is older than a writer takes to lock it, whatever its number;
    // one that is no regular file stays.
    const std::string live = at(".run.emb." + std::to_string(getppid()) + ".1.new");
    const std::string pipe = at(".run^2.emb.999999999.1.new");
    for (killAt = 4; killAt < 8; ++killAt) {
        const pid_t child = fork();
        if (child == 0) {
            hsResultFile::setStepHook([] { if (++steps == killAt) _exit(3); });
            started(first, 1, 3);
            _exit(0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        writeBytes(live, {'x'});
        setModified(live, time(nullptr) - (killAt == 4 ? 0 : 10));
        ASSERT_EQ(killAt != 5 || mkfifo(pipe.c_str(), 0600) == 0, true);
        create(first)->flushBuf();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}),
                  killAt <= 5 ? 2 : 1) << killAt;
        std::filesystem::remove(live);
        std::filesystem::remove(pipe);
    }

    oldRun(first);
    static std::vector<std::unique_ptr<hsResultFile>> unread;
    static std::unique_ptr<hsResultFile> counted;
    static std::vector<std::pair<int, std::string>> seen;
    seen.clear();
    for (int i = 0; i < 10; ++i)
        unread.push_back(std::make_unique<hsResultFile>(first, -1));
    counted = std::make_unique<hsResultFile>(first, -1);
    counted->totalTimesteps();
    hsResultFile::setStepHook([] {
        const std::vector<int> counts = unread[seen.size()]->seriesTimesteps(-1);
        seen.emplace_back(std::accumulate(counts.begin(), counts.end(), 0),
                          message([] { counted->totalTimesteps(); }));
    });
    create(first)->flushBuf();
    hsResultFile::setStepHook(nullptr);
    std::vector<std::pair<int, std::string>> expect(5, {7, "(no exception)"});
    expect.resize(10, {0, "hsResultFile: the result file '" + first +
                             "' was replaced by another file after this handle read it."});
    EXPECT_EQ(seen, expect);
    unread.clear();
    counted.reset();
}

// Another program's file renamed into a new run's way, in the moment between
// a lock and the look at the name it was taken by: the name locked (step 1),
// the last old file to remove (step 6), the last look at the name (step 10).
TEST_F(ResultWrite, NewRunLooksAtTheNameAfterEachLock)
{
    const std::string first = at("run.emb");
    static std::string from, to;
    static int steps, when;
    from = at("x");
    const std::pair<int, std::string> cases[] = {
        {1, first}, {6, at("run^3.emb")}, {10, first}};
    for (const auto& [step, target] : cases) {
        oldRun(first);
        writeBytes(from, {'x'});
        to = target, when = step, steps = 0;
        hsResultFile::setStepHook([] {
            if (++steps == when)
                std::rename(from.c_str(), to.c_str());
        });
        const std::string refused = message([&] { create(first); });
        hsResultFile::setStepHook(nullptr);
        EXPECT_EQ(refused, step == 6 ? "(no exception)"
                                     : "the file '" + first + "' is being written by another writer.")
            << step;
        EXPECT_EQ(readBytes(target), std::vector<char>{'x'}) << step; // left alone
        std::remove(target.c_str());
    }
}

// A new run that may not remove the last file of the old series (another
// user's, in a sticky folder) leaves the old run whole.
TEST_F(ResultWrite, NewRunRefusedByTheLastOldFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "acting as two users needs root";
    const std::string shared = at("shared"), name = shared + "/a.emb";
    std::filesystem::create_directory(shared);
    ASSERT_EQ(chmod(dir.c_str(), 0755) | chmod(shared.c_str(), 01777), 0);
    started(name, 1, 2)->flushBuf(); // a.emb, a^1.emb and a^2.emb, which stays root's
    for (const std::string& f : {name, shared + "/a^1.emb"})
        ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
    const auto before = entries(shared);
    const pid_t child = fork();
    if (child == 0)
        _exit(setgid(65534) | setuid(65534) ||
              message([&] { create(name); }) !=
                  "could not remove the existing file '" + shared + "/a^2.emb' (file 2 of the "
                  "series of '" + name + "', which a new run removes): Operation not permitted.");
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0); // refused with the reason
    EXPECT_EQ(entries(shared), before);
}

// One writer per file of a series: a roll-over to a name that is taken is
// refused and the current file keeps every timestep; a new run refuses an
// old series file that another writer holds; a roll-over file is held.
TEST_F(ResultWrite, OneWriterPerFileOfASeries)
{
    const std::string first = at("run.emb"), second = at("run^1.emb");
    const std::string why[] = {"the file is being written by another writer",
                               "the file exists; this writer did not make it", "Is a directory"};
    for (int c = 0; c < 3; ++c) {
        std::filesystem::remove_all(second);
        auto a = started(first, 2, 1);
        auto b = c < 2 ? create(second) : nullptr;
        if (c == 1)
            b.reset(); // a finished file of another run
        if (c == 2)
            std::filesystem::create_directory(second);
        EXPECT_EQ(message([&] { writeSteps(*a, 1, 2); }),
                  "hsResultFile::writeData: the next file of the series, " + second +
                      ", could not be started (" + why[c] + "); " + first +
                      " holds its 2 complete timesteps, the one completed last included, and no "
                      "timestep was lost. Close the writer; it takes no further values.");
        a->flushBuf();
        EXPECT_EQ(hsResultFile(first, -1).totalTimesteps(), 2) << c;
        if (b) {
            EXPECT_EQ(message([&] { create(first); }),
                      "the file '" + second + "' is being written by another writer.");
            writeSteps(*b, 0, 2);
            b->flushBuf();
            EXPECT_EQ(hsResultFile(second, -1).totalTimesteps(), 2);
        }
    }
    auto a = started(at("s.emb"), 1, 0);
    static std::vector<std::string> rolling;
    static int held;
    held = 0;
    rolling = {at("s.emb"), at("s^1.emb")};
    // The current file stays held until the next one is.
    hsResultFile::setStepHook([] {
        for (const std::string& f : rolling) {
            bool busy = false;
            int error = 0;
            ZCoreLib::ZPlatform::unlockFile(ZCoreLib::ZPlatform::lockFile(f, false, busy, error));
            held += busy;
        }
    });
    writeSteps(*a, 0, 1);
    hsResultFile::setStepHook(nullptr);
    EXPECT_EQ(held, 3); // the next file hidden, then under its name
    // The writer holds its name to the end, also when it rolls over at every
    // step of a new run.
    static hsResultFile* writing;
    writing = a.get();
    hsResultFile::setStepHook([] {
        hsResultFile::setStepHook(nullptr);
        writeSteps(*writing, 1, 2);
        hsResultFile::setStepHook([] { writeSteps(*writing, 2, 3); });
    });
    for (const std::string& f : rolling)
        EXPECT_EQ(message([&] { create(f); }),
                  "the file '" + f + "' is being written by another writer.");
    hsResultFile::setStepHook(nullptr);
    // Held but written no more, the first file is checked whole at once.
    hsResultFile r(rolling[0], -1);
    std::vector<char> b = readBytes(rolling[0]);
    b[static_cast<size_t>(wordAt(b, 28) - 1)] ^= 1;
    writeBytes(rolling[0], b);
    float v[5];
    EXPECT_EQ(message([&] { r.readItemData(0, 0, v); }),
              "hsResultFile: the result file '" + rolling[0] +
                  "' was rewritten: its header differs from the one this handle read.");
}

// A new run is refused before anything changes when the folder cannot be
// listed (it may hide an old tail) or a series name is a symbolic link.
TEST_F(ResultWrite, NewRunRefusedByWhatItCannotSee)
{
    const std::string drop = at("drop"), first = drop + "/run.emb";
    std::filesystem::create_directory(drop);
    oldRun(first);
    const auto before = entries(drop);
    for (const char* to : {"run.emb", "gone.emb"}) { // the name itself, and nothing
        std::filesystem::create_symlink(to, drop + "/run^7.emb");
        EXPECT_EQ(message([&] { create(first); }),
                  "'" + drop + "/run^7.emb' is a symbolic link, but its name makes it file 7 of "
                  "the series of '" + first + "', which a new run removes; move or rename it first.");
        std::filesystem::remove(drop + "/run^7.emb");
    }
    // Root reads any folder: the listing is refused to another user.
    const bool root = geteuid() == 0;
    for (const auto& e : std::filesystem::directory_iterator(drop))
        ASSERT_EQ(!root || chown(e.path().c_str(), 65534, 65534) == 0, true);
    ASSERT_EQ((root ? chown(drop.c_str(), 65534, 65534) : 0) | chmod(dir.c_str(), 0755) |
                  chmod(drop.c_str(), 0333), 0);
    const pid_t child = fork();
    if (child == 0)
        _exit((root && (setgid(65534) | setuid(65534))) ||
              message([&] { create(first); }) !=
                  "the folder '" + drop + "' cannot be listed (Permission denied), so the "
                  "further files of an old series of '" + first + "', which a new run removes, "
                  "cannot be found; make the folder readable.");
    int status = -1;
    waitpid(child, &status, 0);
    chmod(drop.c_str(), 0755);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(entries(drop).size(), before.size());
}
