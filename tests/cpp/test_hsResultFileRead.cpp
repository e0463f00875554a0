#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ZCancel.h"
#include "hsResultFile.h"
#include "testUtil.h"
#include "test_hsMesh2DHelpers.h"

using hestor::hsResultFile;
using testutil::TempDir;
using testutil::thrownMessage;

namespace {

const float kMissing = -1e-30f;

// Six elements in six layers; the columns hold enol cells each.
const int kLayers = 6;
const std::vector<int> kEnol = {6, 1, 3, 4, 2, 5};

void buildModel(hestor::hsModelInfo& mi)
{
    meshtest::build(mi.mesh2d, meshtest::squareGrid(3, 2, 10.0));
    mi.noLayer = kLayers;
    mi.adoptDz(new double[kLayers], kLayers);
    for (int k = 0; k < kLayers; ++k)
        mi.dz[k] = 2.0;
    const int noe = mi.mesh2d.noe;
    mi.adoptElemBathy(new double[noe], noe);
    mi.adoptEnol(new int[noe], noe);
    for (int e = 0; e < noe; ++e) {
        mi.enol[e] = kEnol[e];
        mi.elemBathy[e] = 2.0 * kEnol[e] - 1.0;
    }
    mi.startDT = 1338508800; // 2012-06-01 00:00:00
    mi.timestep = 1800.0;
    mi.init();
}

// The model's cell layout, computed here from enol alone.
struct Columns {
    std::vector<int> bottom, first;
    int cells = 0;
    Columns()
    {
        for (int n : kEnol) {
            bottom.push_back(kLayers - n);
            first.push_back(cells);
            cells += n;
        }
    }
};

// Value j of item i at global timestep t; element 3 has its two top cells and
// element 1 its only cell missing in item 1, so the uppermost-value search has
// something to skip.
float val(int t, int item, int j)
{
    if (item == 1 && (j == 12 || j == 13 || j == 6))
        return kMissing;
    return 100000.0f * item + 1000.0f * t + j + 0.25f;
}

const int kHeader = 140; // not 128: readers must honour headerSize

void putInt(std::vector<char>& b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); }

// A result file written byte by byte: a header block holding the version and
// NT words, then the records of timesteps t0 .. t0+nt-1.
void writeFile(const std::string& name, int t0, int nt, const std::vector<int>& lengths,
               std::size_t cutAt = SIZE_MAX)
{
    std::vector<char> b(kHeader, 0);
    putInt(b, 0, 8);
    putInt(b, 28, kHeader);
    putInt(b, 44, nt);
    for (int t = t0; t < t0 + nt; ++t)
        for (size_t i = 0; i < lengths.size(); ++i)
            for (int j = 0; j < lengths[i]; ++j) {
                const float v = val(t, static_cast<int>(i), j);
                const char* p = reinterpret_cast<const char*>(&v);
                b.insert(b.end(), p, p + 4);
            }
    if (cutAt < b.size())
        b.resize(cutAt);
    testutil::writeBytes(name, b);
}

class ResultFileRead : public ::testing::Test {
protected:
    TempDir dir;
    Columns cols;
    std::string name;
    std::unique_ptr<hsResultFile> f;
    std::vector<int> lengths;

    void SetUp() override
    {
        name = dir.path + "/run.emb";
        f = std::make_unique<hsResultFile>(name, hestor::EMB);
        buildModel(f->mInfo);
        const int noe = f->mInfo.mesh2d.noe;
        lengths = {noe, cols.cells, cols.cells};
        f->itemNameVec = {"wl", "temp", "u"};
        f->itemLengthVec = lengths;
        f->headerSize = kHeader;
        f->itemRead = new bool[3]();
    }

    // Files of a series holding nts[0], nts[1], ... timesteps.
    void writeSeries(const std::vector<int>& nts)
    {
        int t0 = 0;
        for (size_t k = 0; k < nts.size(); ++k) {
            const std::string file =
                k == 0 ? name : dir.path + "/run^" + std::to_string(k) + ".emb";
            writeFile(file, t0, nts[k], lengths);
            t0 += nts[k];
        }
        f->mInfo.noTimestep = nts[0];
        f->forgetDiskFiles();
    }

    std::vector<double> series(int item, int elem, int layer, int from, int to)
    {
        double* v = nullptr;
        const int n = f->readTimeSeries(item, elem, layer, v, from, to);
        std::vector<double> out(v, v + n);
        delete[] v;
        return out;
    }
};

TEST_F(ResultFileRead, ModelLayoutIsTheOneTheTestsAssume)
{
    ASSERT_EQ(f->mInfo.noCells, cols.cells);
    for (int e = 0; e < 6; ++e) {
        EXPECT_EQ(f->mInfo.ebli[e], cols.bottom[e]);
        EXPECT_EQ(f->mInfo.elemFirstCell[e], cols.first[e]);
    }
}

TEST_F(ResultFileRead, ItemDataFromTheFileHoldingTheTimestep)
{
    writeSeries({3, 3, 2});
    for (int t : {0, 2, 3, 7}) {
        for (int item = 0; item < 3; ++item) {
            std::vector<float> fv(lengths[item], 7.0f);
            std::vector<double> dv(lengths[item], 7.0);
            EXPECT_EQ(f->readItemData(item, t, fv.data()), 0);
            f->readItemData(item, t, dv.data());
            for (int j = 0; j < lengths[item]; ++j) {
                ASSERT_EQ(fv[j], val(t, item, j)) << t << " " << item << " " << j;
                ASSERT_EQ(dv[j], static_cast<double>(val(t, item, j)));
            }
        }
    }
    // A read from file 2 does not make later reads of file 0 go there.
    std::vector<float> v(lengths[0]);
    f->readItemData(0, 1, v.data());
    EXPECT_EQ(v[4], val(1, 0, 4));
    EXPECT_EQ(series(0, 4, 5, 0, 3), (std::vector<double>{val(0, 0, 4), val(1, 0, 4), val(2, 0, 4)}));
}

TEST_F(ResultFileRead, ShortOrMissingFilesThrow)
{
    writeSeries({3, 3});
    const int rec = 6 + 2 * cols.cells;
    // File 1 ends inside the record of its timestep 1 (global 4).
    writeFile(dir.path + "/run^1.emb", 3, 3, lengths, kHeader + 4 * (rec + 10));
    std::vector<float> v(cols.cells);
    // The short file cannot hold the three timesteps it claims: refused when
    // first seen, by every reader that reaches it.
    for (int k = 0; k < 2; ++k)
        EXPECT_NE(thrownMessage([&] { f->readItemData(0, 4, v.data()); })
                      .find("do not fit in the file (file " + dir.path + "/run^1.emb"),
                  std::string::npos);
    double* out = nullptr;
    EXPECT_NE(thrownMessage([&] { f->readTimeSeriesProfile(1, 0, out, 3, 6); }).find("do not fit in the file"),
              std::string::npos);
    EXPECT_EQ(series(2, 0, 0, 0, 3).size(), 3u);
    std::filesystem::remove(name);
    EXPECT_EQ(thrownMessage([&] { f->readItemData(0, 0, v.data()); }),
              "hsResultFile: the result file '" + name +
                  "' is gone: it was deleted or renamed after this handle read it.");
}

TEST_F(ResultFileRead, ElementLists)
{
    writeSeries({2});
    double* out = nullptr;
    int list[] = {3, -1, 1, 0};
    const int n = f->readItemData(1, 1, list, 4, out);
    std::vector<double> expect;
    for (int e : {3, 1, 0})
        for (int k = 0; k < kEnol[e]; ++k)
            expect.push_back(val(1, 1, cols.first[e] + k));
    ASSERT_EQ(n, static_cast<int>(expect.size()));
    EXPECT_EQ(std::vector<double>(out, out + n), expect);
    delete[] out;

    out = nullptr;
    EXPECT_EQ(f->readItemData(1, 1, list, 0, out), 0);
    EXPECT_NE(out, nullptr);
    delete[] out;

    // An item of one value per element: each listed element's own value.
    out = nullptr;
    int many[] = {5, 3, -1, 1, 3};
    ASSERT_EQ(f->readItemData(0, 1, many, 5, out), 4);
    EXPECT_EQ(std::vector<double>(out, out + 4),
              (std::vector<double>{val(1, 0, 5), val(1, 0, 3), val(1, 0, 1), val(1, 0, 3)}));
    delete[] out;

    int bad[] = {6};
    EXPECT_EQ(thrownMessage([&] { f->readItemData(0, 1, bad, 1, out); }),
              "hsResultFile::readItemData Invalid element number 6; the mesh has 6 elements.");
    EXPECT_EQ(thrownMessage([&] { f->readItemData(1, 1, bad, 1, out); }),
              "hsResultFile::readItemData Invalid element number 6; the mesh has 6 elements.");
    EXPECT_EQ(thrownMessage([&] { f->readItemData(3, 1, list, 1, out); }),
              "hsResultFile::readItemData Invalid item number 3; " + name + " has 3 items.");
}

TEST_F(ResultFileRead, SigmaLayers)
{
    // Sigma files keep noLayer values for every element.
    f->mInfo.layerType = hestor::SIGMA;
    lengths = {6 * kLayers};
    f->itemNameVec = {"s"};
    f->itemLengthVec = lengths;
    writeSeries({1});
    double* out = nullptr;
    int list[] = {3, -1, 5};
    ASSERT_EQ(f->readItemData(0, 0, list, 3, out), 3 * kLayers);
    for (int k = 0; k < kLayers; ++k) {
        EXPECT_EQ(out[k], val(0, 0, 3 * kLayers + k));
        EXPECT_EQ(out[kLayers + k], static_cast<double>(kMissing));
        EXPECT_EQ(out[2 * kLayers + k], val(0, 0, 5 * kLayers + k));
    }
    delete[] out;
    // One value per element: a negative entry gives one missing value.
    f->itemLengthVec = lengths = {6};
    writeSeries({1});
    ASSERT_EQ(f->readItemData(0, 0, list, 3, out), 3);
    EXPECT_EQ(std::vector<double>(out, out + 3),
              (std::vector<double>{val(0, 0, 3), static_cast<double>(kMissing), val(0, 0, 5)}));
    delete[] out;
    f->itemLengthVec = lengths = {6 * kLayers};
    writeSeries({1});

    std::vector<float> buf(6);
    float* p = buf.data();
    for (int layer : {0, 4, -1})
        for (int e = 0; e < 6; ++e) {
            f->readLayer(0, 0, layer, p);
            EXPECT_EQ(buf[e], val(0, 0, e * kLayers + std::max(layer, 0)));
        }
    f->readLayer(0, 0, 999, p);
    EXPECT_EQ(buf[2], val(0, 0, 2 * kLayers + kLayers - 1));
    EXPECT_NE(thrownMessage([&] { f->readLayer(0, 0, kLayers, p); }).find("Invalid layer 6"),
              std::string::npos);
}

TEST_F(ResultFileRead, LayerCodes)
{
    writeSeries({2});
    std::vector<float> buf(6, 7.0f);
    float* p = buf.data();
    // Independent per-element positions, as a reader seeking value by value would.
    auto cell = [&](int e, int layer) { return cols.first[e] + layer - cols.bottom[e]; };
    for (int layer = 0; layer < kLayers; ++layer) {
        ASSERT_EQ(f->readLayer(1, 1, layer, p), 6);
        for (int e = 0; e < 6; ++e)
            EXPECT_EQ(buf[e], layer >= cols.bottom[e] ? val(1, 1, cell(e, layer)) : kMissing)
                << layer << " " << e;
    }
    f->readLayer(2, 1, -1, p);
    for (int e = 0; e < 6; ++e)
        EXPECT_EQ(buf[e], val(1, 2, cols.first[e]));
    f->readLayer(1, 1, 999, p);
    EXPECT_EQ(buf[0], val(1, 1, 5));
    EXPECT_EQ(buf[1], kMissing);                    // all missing: the bottom one
    EXPECT_EQ(buf[3], val(1, 1, cell(3, 3)));       // two missing above it
    EXPECT_EQ(buf[5], val(1, 1, cell(5, 5)));
    f->readLayer(1, 1, 1000, p);
    EXPECT_EQ(buf[3], val(1, 1, cell(3, 3)));
    // A 2-D item gives its value per element whatever the code.
    for (int layer : {-1, 0, 3, 999}) {
        f->readLayer(0, 1, layer, p);
        for (int e = 0; e < 6; ++e)
            EXPECT_EQ(buf[e], val(1, 0, e));
    }
    double* d = nullptr;
    ASSERT_EQ(f->readLayer(1, 0, 2, d), 6);
    for (int e = 0; e < 6; ++e)
        EXPECT_EQ(d[e], 2 >= cols.bottom[e] ? val(0, 1, cell(e, 2)) : kMissing);
    delete[] d;
    EXPECT_NE(thrownMessage([&] { f->readLayer(1, 0, 6, p); }).find("Invalid layer 6"),
              std::string::npos);
    EXPECT_NE(thrownMessage([&] { f->readLayer(1, 0, -2, p); }).find("Invalid layer -2"),
              std::string::npos);
}

TEST_F(ResultFileRead, Profiles)
{
    writeSeries({2, 2});
    std::vector<float> fv(kLayers, 7.0f);
    EXPECT_EQ(f->readProfile(1, 3, 3, fv.data()), 4);
    EXPECT_EQ(fv[0], 0.0f);
    EXPECT_EQ(fv[1], 0.0f);
    for (int k = 2; k < kLayers; ++k)
        EXPECT_EQ(fv[k], val(3, 1, cols.first[3] + k - 2));
    std::vector<double> dv(kLayers, 7.0);
    EXPECT_EQ(f->readProfile(2, 0, 1, dv.data()), 1);
    for (int k = 0; k < kLayers - 1; ++k)
        EXPECT_EQ(dv[k], 0.0);
    EXPECT_EQ(dv[5], val(0, 2, cols.first[1]));
}

TEST_F(ResultFileRead, AnItemOfNeitherLengthIsPlacedByNoReader)
{
    f->itemLengthVec = lengths = {6, cols.cells, cols.cells + 1}; // every placing read fits in it
    writeSeries({1});
    float v[kLayers], *p = v;
    double* d = nullptr;
    int one[] = {1};
    for (auto [where, read] : std::vector<std::pair<std::string, std::function<void()>>>{
             {"readItemData", [&] { f->readItemData(2, 0, one, 1, d); }}, {"readLayer", [&] { f->readLayer(2, 0, 999, p); }},
             {"readProfile", [&] { f->readProfile(2, 0, 1, v); }}, {"readTimeSeries", [&] { f->readTimeSeries(2, 1, 5, d, 0, 1); }},
             {"readTimeSeriesProfile", [&] { f->readTimeSeriesProfile(2, 1, d, 0, 1); }},
             {"extractSectionCart", [&] { f->extractSectionCart(2, 0, d, d, 0, d, 0, d); }}})
        EXPECT_EQ(thrownMessage(read), "hsResultFile::" + where + ": item 2 ('u') holds 22 values "
                  "per timestep, neither one per element (6) nor one per cell (21).");
}

TEST_F(ResultFileRead, NextItemTimestepWalksThroughTimesteps)
{
    writeSeries({3});
    std::vector<double> v(cols.cells);
    double* p = v.data();
    const long long start = f->mInfo.startDT;
    EXPECT_EQ(f->readNextItemTimestep(0, p), start);
    EXPECT_EQ(v[2], val(0, 0, 2));
    EXPECT_EQ(f->readNextItemTimestep(1, p), start);
    EXPECT_EQ(v[2], val(0, 1, 2));
    EXPECT_EQ(f->readNextItemTimestep(0, p), start + 1800);
    EXPECT_EQ(v[2], val(1, 0, 2));
    EXPECT_EQ(f->readNextItemTimestep(0, p), start + 3600);
    EXPECT_EQ(f->curTimestep, 2);
}

TEST_F(ResultFileRead, TimeSeriesAcrossASeries)
{
    writeSeries({10, 10, 4});
    const int j3 = cols.first[3] + 1; // element 3, layer 3
    std::vector<double> v = series(1, 3, 3, 5, -1);
    ASSERT_EQ(v.size(), 19u);
    for (int t = 5; t < 24; ++t)
        EXPECT_EQ(v[t - 5], val(t, 1, j3)) << t;
    // The uppermost value skips the two missing top cells.
    v = series(1, 3, 999, 9, 21);
    ASSERT_EQ(v.size(), 12u);
    for (int t = 9; t < 21; ++t)
        EXPECT_EQ(v[t - 9], val(t, 1, j3));
    v = series(0, 2, 5, 18, 24);
    for (int t = 18; t < 24; ++t)
        EXPECT_EQ(v[t - 18], val(t, 0, 2));
    // Within the first file, after reads that walked the series.
    v = series(2, 0, 0, 2, 4);
    EXPECT_EQ(v, (std::vector<double>{val(2, 2, 0), val(3, 2, 0)}));
    EXPECT_EQ(f->fileNo, 0);

    double* out = nullptr;
    EXPECT_EQ(f->readTimeSeries(1, 3, 3, out, 7, 7), 0);
    EXPECT_NE(out, nullptr);
    delete[] out;

    const int n = f->readTimeSeriesProfile(1, 4, out, 8, 12);
    ASSERT_EQ(n, 4 * 2);
    for (int t = 8; t < 12; ++t)
        for (int k = 0; k < 2; ++k)
            EXPECT_EQ(out[(t - 8) * 2 + k], val(t, 1, cols.first[4] + k));
    delete[] out;
}

// Each file holds the count of its own header: 3 + 4, and 3 + 2 + 3.
TEST_F(ResultFileRead, SeriesOfFilesOfDifferentLengths)
{
    for (const std::vector<int>& nts : {std::vector<int>{3, 4}, std::vector<int>{3, 2, 3}}) {
        writeSeries(nts);
        int total = 0;
        for (int n : nts)
            total += n;
        SCOPED_TRACE(total);
        EXPECT_EQ(f->totalTimesteps(), total);
        const int j = cols.first[3] + 1; // element 3, layer 3
        std::vector<double> v = series(1, 3, 3, 0, -1);
        ASSERT_EQ(v.size(), static_cast<size_t>(total));
        for (int t = 0; t < total; ++t) {
            EXPECT_EQ(v[t], val(t, 1, j)) << t;
            std::vector<float> fv(kLayers);
            ASSERT_EQ(f->readProfile(2, t, 3, fv.data()), 4);
            EXPECT_EQ(fv[3], val(t, 2, j)) << t;
        }
        EXPECT_EQ(thrownMessage([&] { series(1, 3, 3, 0, total + 1); }), "Invalid timeStepTo");
        std::filesystem::remove(dir.path + "/run^2.emb");
    }
}

TEST_F(ResultFileRead, TimeSeriesBoundaries)
{
    writeSeries({10, 10, 4});
    double* out = nullptr;
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeries(1, 3, 3, out, 0, 25); }), "Invalid timeStepTo");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeriesProfile(1, 3, out, 0, 25); }),
              "Invalid timeStepTo");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeries(1, 3, 3, out, 5, 3); }),
              "timeStepFrom>timeStepTo");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeriesProfile(1, 3, out, 5, 3); }),
              "timeStepFrom>timeStepTo");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeries(1, 3, -1, out, 0, 5); }),
              "Layer -1 is below bottom. There are 4 layers in element 3, numbered (bottom) 2 to "
              "5 (surface).");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeries(1, 1, 4, out, 0, 5); }),
              "Layer 4 is below bottom. There are 1 layers in element 1, numbered (bottom) 5 to "
              "5 (surface).");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeriesProfile(0, 3, out, 0, 5); }),
              "readTimeSeriesProfile only supports 3D items. Use readTimeSeries for 2D items.");
    EXPECT_EQ(thrownMessage([&] { f->readTimeSeries(1, 3, 3, out, -1, 5); }),
              "Negative timestep requested from  (" + name + "). " + hestor::errSuffix);
    EXPECT_EQ(series(1, 3, 3, 0, 24).size(), 24u);
    EXPECT_EQ(out, nullptr);
}

// A hook that asks to stop ends a long read with ZCancelled, which no reader
// turns into a message; the object reads the whole series afterwards.
TEST_F(ResultFileRead, CancelledReadLeavesTheObjectUsable)
{
    writeSeries({40, 100, 100});
    const std::vector<double> whole = series(1, 3, 3, 0, -1);
    ASSERT_EQ(whole.size(), 240u);
    static int asked;
    asked = 0; // again on a repeated run
    ZCoreLib::ZCancel::setHook([] { return ++asked > 0; });
    EXPECT_THROW(series(1, 3, 3, 0, -1), ZCoreLib::ZCancelled);
    ZCoreLib::ZCancel::setHook(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f->fileNo, 0);
    EXPECT_EQ(series(1, 3, 3, 0, -1), whole);
}

TEST_F(ResultFileRead, FormatsWithoutAReader)
{
    writeSeries({1});
    std::vector<float> fv(cols.cells);
    float* p = fv.data();
    double* d = nullptr;
    auto item = [&] { return thrownMessage([&] { f->readItemData(0, 0, fv.data()); }); };
    auto layer = [&] { return thrownMessage([&] { f->readLayer(0, 0, 0, p); }); };
    auto profile = [&] { return thrownMessage([&] { f->readProfile(1, 0, 0, fv.data()); }); };
    auto ts = [&] { return thrownMessage([&] { f->readTimeSeries(1, 0, 0, d, 0, 1); }); };
    auto tsp = [&] { return thrownMessage([&] { f->readTimeSeriesProfile(1, 0, d, 0, 1); }); };
    const std::string undef = "hsResultFile::readItemData undefined format.";

    f->fileFmt = hestor::TEXT0D;
    EXPECT_EQ(item(), "hsResultFile::readItemData Data cannot be read by timestep for TEXT0D files.");
    EXPECT_EQ(layer(), "hsResultFile::readLayer undefined format.");
    EXPECT_EQ(profile(), "hsResultFile::readProfile undefined format.");
    EXPECT_EQ(ts(), "hsResultFile::readTimeSeries undefined format.");
    EXPECT_EQ(tsp(), "hsResultFile::readTimeSeriesProfile undefined format.");
    f->fileFmt = hestor::EMT;
    EXPECT_EQ(item(), "hsResultFile::readItemData Not implemented for EMT files.");
    EXPECT_EQ(layer(), "hsResultFile::readLayer Not implemented for TEXT1 files.");
    EXPECT_EQ(profile(), "hsResultFile::readProfile Not implemented for TEXT1 files.");
    EXPECT_EQ(ts(), "hsResultFile::readTimeSeries Not implemented for TEXT1 files.");
    EXPECT_EQ(tsp(), "hsResultFile::readTimeSeriesProfile Not implemented for TEXT1 files.");
    f->fileFmt = hestor::NC;
    EXPECT_EQ(item(), undef);
    EXPECT_EQ(layer(), undef);
    f->mInfo.layerType = hestor::SIGMA;
    EXPECT_EQ(layer(), "Not implemented.");
    f->fileFmt = hestor::EMB;
    f->mInfo.layerType = 2;
    EXPECT_EQ(layer(), "hsResultFile::readLayer unsupported layerType.");
    f->mInfo.layerType = hestor::ZLAYER;
    // RESTART and DECOUPLED files read by item; the other readers are EMB's.
    f->fileFmt = hestor::RESTART;
    EXPECT_EQ(item(), "<no exception>");
    EXPECT_EQ(layer(), "hsResultFile::readLayer undefined format.");
    std::vector<double> v(cols.cells);
    double* vp = v.data();
    f->itemRead[0] = true;
    EXPECT_EQ(thrownMessage([&] { f->readNextItemTimestep(0, vp); }), undef);
    f->fileFmt = hestor::DECOUPLED;
    f->curTimestep = -1; // the flag set above moves it to 0
    f->itemRead[0] = true;
    EXPECT_EQ(thrownMessage([&] { f->readNextItemTimestep(0, vp); }), "<no exception>");
}

// Our writer and header reader around the readers: a series written with a
// small timestep limit, read back across its files.
TEST(ResultFileReadRoundTrip, SeriesWrittenByTheWriter)
{
    TempDir dir;
    const std::string name = dir.path + "/rt.emb";
    Columns cols;
    {
        hsResultFile w(name, hestor::EMB);
        buildModel(w.mInfo);
        w.addItem("wl", 6);
        w.addItem("temp", cols.cells);
        w.maxTimestepsPerFile = 10;
        w.writeHeader();
        for (int t = 0; t < 24; ++t)
            for (int item = 0; item < 2; ++item) {
                std::vector<float> v(item == 0 ? 6 : cols.cells);
                for (size_t j = 0; j < v.size(); ++j)
                    v[j] = val(t, item, static_cast<int>(j));
                w.writeData(v.data(), static_cast<int>(v.size()));
            }
        w.flushBuf();
    }
    hsResultFile r(name, -1);
    ASSERT_EQ(r.mInfo.noTimestep, 10);
    ASSERT_EQ(r.mInfo.noCells, cols.cells);
    double* out = nullptr;
    const int n = r.readTimeSeries(1, 3, 3, out, 5, -1);
    ASSERT_EQ(n, 19);
    for (int t = 5; t < 24; ++t)
        EXPECT_EQ(out[t - 5], val(t, 1, cols.first[3] + 1));
    delete[] out;
    std::vector<float> buf(6);
    float* p = buf.data();
    r.readLayer(1, 9, 999, p);
    EXPECT_EQ(buf[3], val(9, 1, cols.first[3] + 1));
    std::vector<double> prof(kLayers);
    EXPECT_EQ(r.readProfile(1, 23, 2, prof.data()), 3);
    EXPECT_EQ(prof[5], val(23, 1, cols.first[2] + 2));
}

// File 1 of a series written apart, with one change: the series holds it only
// when its header is file 0's but for the start and the count, and it starts
// where file 0 ends. Otherwise the series ends before it, without an error.
TEST(ResultFileReadRoundTrip, AFileContinuesASeriesOnlyExactly)
{
    TempDir dir;
    const std::string first = dir.path + "/s.emb";
    using change = std::function<void(hsResultFile&)>;
    auto steps = [](hsResultFile& w, int from, int to) {
        for (int t = from; t < to; ++t)
            for (int len : w.itemLengthVec)
                w.writeData(std::vector<float>(static_cast<size_t>(len), t).data(), len);
    };
    auto write = [&](int k, int t0, int nt, const change& c) {
        const std::string name = hsResultFile::seriesFileName(first, k);
        std::filesystem::remove(name); // else its header would be read
        auto w = std::make_unique<hsResultFile>(name, hestor::EMB);
        buildModel(w->mInfo);
        w->mInfo.startDT += t0 * 1800LL;
        w->addItem("wl", 6);
        w->addItem("temp", Columns().cells);
        c(*w);
        w->writeHeader();
        steps(*w, t0, t0 + nt);
        return w;
    };
    auto shift = [](long long s) { return [s](hsResultFile& g) { g.mInfo.startDT += s; }; };
    const change same = shift(0);
    const std::vector<std::pair<change, int>> cases = {
        {same, 5},
        {[](hsResultFile& g) { for (int i = 0; i < 12; ++i) g.mInfo.mesh2d.nX[i] += 5000; }, 3},
        // Bathymetry and starts off by half a timestep: the writer's table.
        {[](hsResultFile& g) { g.mInfo.timestep = 900; }, 3},
        // 1 s early is the writer's start from a double just below 1800.
        {shift(1), 3}, {shift(-1), 5},
        // Other items; file 0's longer records would not fit in it.
        {[](hsResultFile& g) { g.itemNameVec.pop_back(); g.itemLengthVec.pop_back(); }, 3},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        write(0, 0, 3, same);
        write(1, 3, 2, cases[i].first);
        hsResultFile r(first, -1);
        EXPECT_EQ(r.totalTimesteps(), cases[i].second);
        double* out = nullptr;
        EXPECT_EQ(r.readTimeSeries(0, 1, 999, out, 0, -1), cases[i].second);
        EXPECT_EQ(out[cases[i].second - 1], cases[i].second - 1.0);
        delete[] out;
    }
    // A handle that counted 3 timesteps of file 0 while its writer was at
    // work: the next file starts after file 0's fourth timestep, which the
    // handle does not hold (with 0.1 s, at the same second).
    std::filesystem::remove(hsResultFile::seriesFileName(first, 1)); // the roll-over makes it
    auto w = write(0, 0, 3, [](hsResultFile& g) { g.mInfo.timestep = 0.1; g.maxTimestepsPerFile = 4; });
    hsResultFile early(first, -1);
    steps(*w, 3, 6);
    w->flushBuf();
    EXPECT_EQ(early.totalTimesteps(), 3);
    EXPECT_EQ(hsResultFile(first, -1).totalTimesteps(), 6);
}

} // namespace
