// Replays the fuzz targets' inputs without libFuzzer: the seed corpora must
// still open (they are valid files, so a format change that breaks them shows
// here), and every input that once crashed a target must now be refused or
// read cleanly.
//
// Findings live in data/fuzz/<target>/, seeds in tests/fuzz/corpus/<target>/.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "../fuzz/fuzzHarness.h"
#include "../fuzz/fuzzSetupHarness.h"

// Under AddressSanitizer the allocator can be watched: a file of a few hundred
// bytes must not make the library ask for gigabytes before it finds out that
// the file does not hold them.
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_WATCH_ALLOCATIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_WATCH_ALLOCATIONS 1
#endif
#endif

#ifdef FUZZ_WATCH_ALLOCATIONS
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, size_t), void (*free_hook)(const volatile void*));
#endif

namespace {

using hestor::hsResultFile;
using ZCoreLib::ZException;

bool watching = false;
size_t largest = 0;

// Largest single allocation while f runs; 0 when the allocator cannot be watched.
size_t largestAllocation(const std::function<void()>& f)
{
#ifdef FUZZ_WATCH_ALLOCATIONS
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(
                                   [](const volatile void*, size_t n) {
                                       if (watching && n > largest)
                                           largest = n;
                                   },
                                   [](const volatile void*) {}) != 0;
#else
    const bool hooked = false;
#endif
    largest = 0;
    watching = hooked;
    f();
    watching = false;
    return largest;
}

// Far more than any sound reading of a file of a few kilobytes needs.
const size_t allocationCap = 16u << 20;

namespace fs = std::filesystem;

struct Target {
    const char* name;
    bool (*run)(const uint8_t*, size_t);
};

const Target targets[] = {
    {"resultFile", [](const uint8_t* d, size_t n) { return fuzz::resultFile(d, n, false); }},
    {"resultFileOld", [](const uint8_t* d, size_t n) { return fuzz::resultFile(d, n, true); }},
    {"meshBinary", fuzz::meshBinary},
    {"meshText", fuzz::meshText},
    {"text0D", [](const uint8_t* d, size_t n) { return fuzz::textFile(d, n, false); }},
    {"text1D", [](const uint8_t* d, size_t n) { return fuzz::textFile(d, n, true); }},
    {"bathymetry", fuzz::bathymetry},
    {"setupText", fuzz::setupText},
    {"dateTimeText", fuzz::dateTimeText},
    {"timeUnits", fuzz::timeUnits},
};

const fs::path findings = fs::path(HESTOR_TEST_DATA) / "fuzz";
// tests/cpp/data -> tests/fuzz/corpus, without relying on data/ existing.
const fs::path seeds = fs::path(HESTOR_TEST_DATA).parent_path().parent_path() / "fuzz" / "corpus";

std::vector<fs::path> filesIn(const fs::path& dir)
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file())
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint8_t> bytesOf(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

bool replay(const Target& t, const fs::path& p)
{
    const std::vector<uint8_t> b = bytesOf(p);
    return t.run(b.data(), b.size());
}

} // namespace

TEST(FuzzSeeds, EverySeedIsAValidFile)
{
    for (const Target& t : targets) {
        const std::vector<fs::path> files = filesIn(seeds / t.name);
        EXPECT_FALSE(files.empty()) << "no seeds for " << t.name;
        for (const fs::path& p : files)
            EXPECT_TRUE(replay(t, p)) << t.name << " refuses its seed " << p.filename();
    }
}

TEST(FuzzRegressions, EveryFindingIsHandled)
{
    for (const Target& t : targets)
        for (const fs::path& p : filesIn(findings / t.name)) {
            SCOPED_TRACE(std::string(t.name) + "/" + p.filename().string());
            EXPECT_LT(largestAllocation([&] { replay(t, p); }), allocationCap);
        }
}

namespace {

// A small valid result file by the library's writer: the two-square mesh,
// 3 layers (5 cells), items "a" (one value per cell) and "b" (per element),
// nt timesteps.
std::vector<char> validFile(int nt)
{
    const std::string path = fuzz::tempDir() + "/valid.emb";
    std::remove(path.c_str());
    {
        hsResultFile f(path, hestor::EMB);
        f.mInfo.mesh2d.fromString("6 2\n0 0\n1 0\n1 1\n0 1\n2 0\n2 1\n0 1 2 3\n1 4 5 2\n", -1);
        f.mInfo.noLayer = 3;
        f.mInfo.adoptDz(new double[3]{1, 1, 1}, 3);
        f.mInfo.adoptElemBathy(new double[2]{2.5, 1.2}, 2);
        f.mInfo.startDT = 1600000000LL;
        f.mInfo.timestep = 600;
        f.mInfo.init();
        f.addItem("a", f.mInfo.noCells);
        f.addItem("b", 2);
        f.writeHeader();
        std::vector<float> a(static_cast<size_t>(f.mInfo.noCells), 1.5f), b(2, 2.5f);
        for (int t = 0; t < nt; ++t) {
            f.writeData(a.data(), static_cast<int>(a.size()));
            f.writeData(b.data(), 2);
        }
        f.flushBuf();
    }
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
void patch(std::vector<char>& b, size_t at, T v)
{
    ASSERT_LE(at + sizeof v, b.size());
    std::memcpy(b.data() + at, &v, sizeof v);
}

// Opens the bytes as an .emb file; null when the header is refused.
std::unique_ptr<hsResultFile> openBytes(const std::vector<char>& b)
{
    const std::string path = fuzz::writeInput("patched.emb", reinterpret_cast<const uint8_t*>(b.data()), b.size());
    try {
        return std::make_unique<hsResultFile>(path, -1);
    } catch (const ZException&) {
        return nullptr;
    }
}

template <typename F>
bool refused(F f)
{
    try {
        f();
    } catch (const ZException&) {
        return true;
    }
    return false;
}

// Version 8 offsets.
const size_t ntAt = 44, timestepAt = 40, firstItemLengthAt = 128;

} // namespace

TEST(FuzzRegressions, ValidFileReadsBack)
{
    auto f = openBytes(validFile(2));
    ASSERT_TRUE(f);
    ASSERT_EQ(f->mInfo.noTimestep, 2);
    double* out = nullptr;
    ASSERT_EQ(f->readTimeSeries(1, 0, 0, out, 0, -1), 2);
    EXPECT_EQ(out[0], 2.5);
    EXPECT_EQ(out[1], 2.5);
    delete[] out;
}

// Found by resultFile (timestepsBeyondFile.emb): a header whose NT promises
// more timestep records than the file holds made the time-series readers
// allocate NT values first, gigabytes for a file of a few hundred bytes.
TEST(FuzzRegressions, TimestepCountBeyondTheFileIsRefusedBeforeAllocating)
{
    std::vector<char> b = validFile(1);
    patch<int32_t>(b, ntAt, 200000000);
    const size_t most = largestAllocation([&] {
        auto f = openBytes(b);
        if (!f)
            return; // refused by the header reader: sound
        double* out = nullptr;
        EXPECT_TRUE(refused([&] { f->readTimeSeries(1, 0, 0, out, 0, -1); }));
        EXPECT_TRUE(refused([&] { f->readTimeSeries(0, 0, 999, out, 0, -1); }));
        EXPECT_TRUE(refused([&] { f->readTimeSeriesProfile(0, 0, out, 0, -1); }));
        EXPECT_TRUE(refused([&] { f->readTimeSeries(1, 0, 0, out, 199999990, 199999999); }));
    });
    EXPECT_LT(most, allocationCap);
}

// Found by resultFile (itemLengthBeyondFile.emb): an item length far beyond
// the file made the readers allocate the whole record before reading it.
TEST(FuzzRegressions, ItemLengthBeyondTheFileIsRefusedBeforeAllocating)
{
    std::vector<char> b = validFile(1);
    patch<int32_t>(b, firstItemLengthAt, 300000000);
    const size_t most = largestAllocation([&] {
        auto f = openBytes(b);
        if (!f)
            return;
        ASSERT_EQ(f->itemLengthVec[0], 300000000);
        float* layer = new float[2];
        EXPECT_TRUE(refused([&] { f->readLayer(0, 0, 0, layer); }));
        delete[] layer;
        int elems[1] = {0};
        double* out = nullptr;
        EXPECT_TRUE(refused([&] { f->readItemData(0, 0, elems, 1, out); }));
        // The item behind it is out of the file as well.
        double values[2];
        EXPECT_TRUE(refused([&] { f->readItemData(1, 0, values); }));
    });
    EXPECT_LT(most, allocationCap);
}

// Found by resultFileOld (nanTimestep.emb): the time of a timestep was
// converted to an integer from a timestep length that is not a number.
TEST(FuzzRegressions, TimestepLengthThatIsNoNumberGivesNoTime)
{
    for (float step : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 3e38f}) {
        SCOPED_TRACE(step);
        std::vector<char> b = validFile(2);
        patch<float>(b, timestepAt, step);
        auto f = openBytes(b);
        if (!f)
            continue; // refused by the header reader: sound
        std::vector<double> values(static_cast<size_t>(f->itemLengthVec[0]));
        double* v = values.data();
        // Timestep 0 lies at the start time when its time can be computed;
        // timestep 1 has no time that an integer can hold: refused.
        long long t = 0;
        const bool noTime = refused([&] { t = f->readNextItemTimestep(0, v); });
        if (!noTime) {
            EXPECT_EQ(t, 1600000000LL);
        }
        EXPECT_TRUE(refused([&] { f->readNextItemTimestep(0, v); }));
    }
}

// Found by resultFile (versionWordZero.emb): a file newer than the cutoff
// whose version word is 0 has its NT at byte 24 for the header reader, but
// totalTimesteps read it at byte 16 (the start time), so the whole-series
// readers asked for start-time-many values.
TEST(FuzzRegressions, VersionWordZeroCountsTheTimestepsTheHeaderRead)
{
    std::vector<uint8_t> v1 = bytesOf(seeds / "resultFile" / "v1_squares.emb");
    ASSERT_GT(v1.size(), 28u);
    std::vector<char> b(v1.begin(), v1.end());
    patch<int32_t>(b, 0, 0);
    auto f = openBytes(b);
    if (!f)
        return; // refused: sound
    EXPECT_EQ(f->headerVersion, 0);
    EXPECT_EQ(f->mInfo.noTimestep, 2);
    EXPECT_EQ(f->totalTimesteps(), f->mInfo.noTimestep);
}

// Found by meshBinary and resultFileOld (nodeTypeOverflow): versions 0 and 1
// store node types one higher, and lowering the smallest int overflowed.
TEST(FuzzRegressions, OldNodeTypesDoNotOverflow)
{
    std::vector<char> block;
    auto i32 = [&](int32_t v) { block.insert(block.end(), reinterpret_cast<char*>(&v), reinterpret_cast<char*>(&v) + 4); };
    auto f32 = [&](float v) { block.insert(block.end(), reinterpret_cast<char*>(&v), reinterpret_cast<char*>(&v) + 4); };
    i32(3);
    i32(1);
    for (float x : {0.f, 1.f, 0.f})
        f32(x);
    for (float y : {0.f, 0.f, 1.f})
        f32(y);
    for (int32_t t : {0, 2, INT_MIN})
        i32(t);
    i32(3);
    for (int32_t n : {0, 1, 2})
        i32(n);
    for (int version : {0, 1}) {
        hestor::hsMesh2D m;
        if (refused([&] { m.fromBinary(block.data(), block.size(), version); }))
            continue; // an impossible node type refused: sound
        EXPECT_EQ(m.nt[0], 99);
        EXPECT_EQ(m.nt[1], 1);
    }
}
