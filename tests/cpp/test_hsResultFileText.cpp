#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ZDT.h"
#include "hsResultFile.h"
#include "testUtil.h"

using hestor::hsResultFile;
using ZCoreLib::ZDT;
using testutil::readText;
using testutil::TempDir;
using testutil::thrownMessage;
using testutil::writeText;

namespace {

const double kMissing = static_cast<double>(-1e-30f);
const long long kEnd = 2147483647LL;
const long long kStart = 1338508800; // 2012-06-01 00:00:00

std::string crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// One timestep of a TEXT0D/TEXT1D file: its time and columns of rows.
struct Step {
    long long dt = 0;
    std::vector<std::vector<double>> cols;
};

// m: the column count the first row of the timestep should fix.
Step next(hsResultFile& f, int m = 1)
{
    double** data = nullptr;
    int rows = -1;
    Step s;
    s.dt = f.readNextTimestep(data, rows);
    if (s.dt == kEnd) {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(rows, -1);
        return s;
    }
    // Column-major: the columns follow each other in one block.
    for (int c = 0; c < m; ++c) {
        EXPECT_EQ(data[c], data[0] + static_cast<long long>(c) * rows);
        s.cols.emplace_back(data[c], data[c] + rows);
    }
    f.readNextTimestepFreeMem(data);
    return s;
}

class ResultFileText : public ::testing::Test {
protected:
    TempDir dir;
    std::string path(const std::string& n) { return dir.at(n); }
};

TEST_F(ResultFileText, EmtHeaderAndDataLines)
{
    hsResultFile w(path("out.emt"), hestor::EMT);
    w.mInfo.startDT = kStart;
    w.mInfo.timestep = 3600;
    w.mInfo.noTimestep = 2;
    w.mInfo.noLayer = 3;
    w.addItem("temp", 2);
    w.addItem("salt", 2);
    w.writeHeader();
    float v[4][2] = {{0.12345f, 17.5f}, {-1e-30f, 12345.6f}, {0.0f, 100.0f}, {2.5f, -3.0f}};
    for (auto& r : v)
        w.writeData(r, 2);
    w.flushBuf();
    EXPECT_EQ(readText(path("out.emt")), "ModelType: water\n"
                                      "StartDT: 2012-06-01 00:00:00\n"
                                      "Timestep: 3600\n"
                                      "No. timesteps: 2\n"
                                      "No. items: 2\n"
                                      "Item names: temp,salt\n"
                                      "No. Layers: 3\n"
                                      "Data: \n"
                                      "t=00000,i=00\t0.1235\t17.5\t\n"
                                      "t=00000,i=01\t-1e-30\t1.235e+04\t\n"
                                      "t=00001,i=00\t0\t100\t\n"
                                      "t=00001,i=01\t2.5\t-3\t\n");
    EXPECT_EQ(w.writeTimestep, 1);
    EXPECT_EQ(w.writeItem, 2);
}

TEST_F(ResultFileText, EmtLineLongerThanTheBuffer)
{
    hsResultFile w(path("long.emt"), hestor::EMT);
    w.mInfo.startDT = kStart;
    w.mInfo.timestep = 60;
    w.addItem("a", 1);
    w.addItem("b", 3000);
    w.writeHeader();
    const std::string head = readText(path("long.emt"));
    float one = 1.0f;
    std::vector<float> many(3000, 123.5f);
    w.writeData(&one, 1);
    w.writeData(many.data(), 3000);
    w.writeData(&one, 1);
    w.flushBuf();
    std::string longLine = "t=00000,i=01\t";
    for (int i = 0; i < 3000; ++i)
        longLine += "123.5\t";
    EXPECT_EQ(readText(path("long.emt")),
              head + "t=00000,i=00\t1\t\n" + longLine + "\n" + "t=00001,i=00\t1\t\n");
}

TEST_F(ResultFileText, EmfColumnsAndValueFields)
{
    hsResultFile w(path("out.emf"), hestor::EMF);
    w.mInfo.startDT = kStart;
    w.mInfo.timestep = 3600;
    w.mInfo.noCells = 3;
    w.addItem("temperature_x", 3);
    w.addItem("s", 3);
    w.writeHeader();
    float a[] = {12.5f, 0.001f, 0.0f};
    float b[] = {-1e-30f, 123456789.0f, -5.25f};
    float c[] = {1.0f, 2.0f, 3.0f};
    w.writeData(a, 3);
    w.writeData(b, 3);
    w.writeData(c, 3);
    w.writeData(c, 2);
    w.flushBuf();
    EXPECT_EQ(readText(path("out.emf")),
              "DateTime           CellNotemperature_           s\n"
              "2012-06-01 00:00:00     0       12.50   -1.00e-30\n"
              "2012-06-01 00:00:00     1    1.00e-03    1.23e+08\n"
              "2012-06-01 00:00:00     2        0.00       -5.25\n"
              "2012-06-01 01:00:00     0        1.00        1.00\n"
              "2012-06-01 01:00:00     1        2.00        2.00\n");
    EXPECT_EQ(w.writeTimestep, 2);
    EXPECT_EQ(w.writeItem, 0);
    // More values than cells would run past the lines of the cells.
    w.mInfo.noCells = 2;
    EXPECT_NE(thrownMessage([&] { w.writeData(a, 3); }), "<no exception>");
}

TEST_F(ResultFileText, EmfWiderColumns)
{
    hsResultFile w(path("w.emf"), hestor::EMF);
    w.mInfo.startDT = kStart;
    w.mInfo.timestep = 90.5;
    w.mInfo.noCells = 1;
    w.colWidth = 14;
    w.addItem("x", 1);
    w.writeHeader();
    float a[] = {3.25f};
    float b[] = {1e12f};
    w.writeData(a, 1);
    w.writeData(b, 1);
    w.writeData(a, 1);
    w.flushBuf();
    EXPECT_EQ(readText(path("w.emf")), "DateTime           CellNo             x\n"
                                    "2012-06-01 00:00:00     0        3.2500\n"
                                    "2012-06-01 00:01:30     0    1.0000e+12\n"
                                    "2012-06-01 00:03:01     0        3.2500\n");
}

TEST_F(ResultFileText, FirstLineNamesTheItems)
{
    writeText(path("a.txt"), "Date\tflow\tlevel\n2012-06-01 00:00:00\t1.5\t2.5\n");
    hsResultFile a(path("a.txt"), hestor::TEXT0D);
    EXPECT_EQ(a.itemNameVec, (std::vector<std::string>{"flow", "level"}));
    EXPECT_EQ(a.itemLengthVec, (std::vector<int>{1, 1}));
    EXPECT_EQ(static_cast<long long>(a.dataStartPos), 16);

    writeText(path("b.txt"), "2012-06-01\t1.5\t2.5\n2012-06-02\t3\t4\n");
    hsResultFile b(path("b.txt"), hestor::TEXT0D);
    EXPECT_EQ(b.itemNameVec, (std::vector<std::string>{"Itm1", "Itm2"}));
    const Step s = next(b, 2);
    EXPECT_EQ(s.dt, ZDT::strDT2longDT("2012-06-01"));
    EXPECT_EQ(s.cols, (std::vector<std::vector<double>>{{1.5}, {2.5}}));

    writeText(path("c.txt"), "2012-06-01 12:00:00\t1.5\n2012-06-02 00:00:00\t7\n");
    hsResultFile c(path("c.txt"), hestor::TEXT0D);
    EXPECT_EQ(c.itemNameVec, (std::vector<std::string>{"12:00:00", "1.5"}));
    EXPECT_EQ(next(c).cols, (std::vector<std::vector<double>>{{7}}));

    writeText(path("d.txt"), "depth,a, b\r\n");
    hsResultFile d(path("d.txt"), hestor::TEXT1D);
    EXPECT_EQ(d.itemNameVec, (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(d.itemLengthVec, (std::vector<int>{0, 0, 0})); // no layers known
    EXPECT_EQ(next(d).dt, kEnd);

    writeText(path("e.txt"), "");
    hsResultFile e(path("e.txt"), hestor::TEXT0D);
    EXPECT_EQ(e.nItem(), 0);
    EXPECT_EQ(next(e).dt, kEnd);
}

TEST_F(ResultFileText, ProfilesByTimestep)
{
    const std::string text = "Date\ta\tb\n"
                             "2012-06-01\t1,2\n"
                             "2012-06-01\t3,4,5,6\n"
                             "\n"
                             "2012-06-01\t7\n"
                             "2012-06-02\t1.5,,2\n"
                             "2012-06-03\tx,\t-4\n"
                             "2012-06-04\t9\n";
    for (const std::string& t : {text + "2012-06-05\t1", crlf(text) + "2012-06-05\t1"}) {
        writeText(path("p.txt"), t);
        hsResultFile f(path("p.txt"), hestor::TEXT1D);
        EXPECT_EQ(f.itemNameVec, (std::vector<std::string>{"a", "b"}));
        Step s = next(f, 2);
        EXPECT_EQ(s.dt, ZDT::strDT2longDT("2012-06-01"));
        // The first row fixes two columns: longer rows are cut, shorter padded.
        EXPECT_EQ(s.cols, (std::vector<std::vector<double>>{{1, 3, 7}, {2, 4, kMissing}}));
        s = next(f, 3);
        EXPECT_EQ(s.cols, (std::vector<std::vector<double>>{{1.5}, {kMissing}, {2}}));
        s = next(f, 3);
        EXPECT_EQ(s.cols, (std::vector<std::vector<double>>{{0}, {kMissing}, {-4}}));
        s = next(f);
        EXPECT_EQ(s.dt, ZDT::strDT2longDT("2012-06-04"));
        // The last line has no line end: it may still be being written.
        EXPECT_EQ(next(f).dt, kEnd);
        EXPECT_EQ(next(f).dt, kEnd);
    }
}

TEST_F(ResultFileText, TimestepsResumeWhereTheLastEnded)
{
    writeText(path("q.txt"), "Date\tv\n2012-06-01\t1\n2012-06-01\t2\n2012-06-01\t3\n2012-06-02\t4\n");
    hsResultFile f(path("q.txt"), hestor::TEXT1D);
    EXPECT_EQ(next(f).cols, (std::vector<std::vector<double>>{{1, 2, 3}}));
    EXPECT_EQ(static_cast<long long>(f.dataStartPos), 7 + 3 * 13);
    // Lines appended since are read on the next call.
    std::ofstream(path("q.txt"), std::ios::app) << "2012-06-02\t5\n";
    EXPECT_EQ(next(f).cols, (std::vector<std::vector<double>>{{4, 5}}));
    EXPECT_EQ(next(f).dt, kEnd);
    // A pipe put in the file's place is refused, never waited on.
    testutil::HangGuard guard;
    ASSERT_FALSE(mkfifo(path("p").c_str(), 0600) || std::rename(path("p").c_str(), path("q.txt").c_str()));
    EXPECT_EQ(thrownMessage([&] { next(f); }),
              "hsResultFile::readNextTimestep: cannot open '" + path("q.txt") + "'.");

    writeText(path("r.txt"), "Date\tv\nno tab here\n");
    hsResultFile r(path("r.txt"), hestor::TEXT0D);
    double** data = nullptr;
    int rows = 0;
    EXPECT_EQ(thrownMessage([&] { r.readNextTimestep(data, rows); }),
              "Invalid line in file " + path("r.txt"));
}

TEST_F(ResultFileText, TimeSeriesOfOneColumn)
{
    const std::string text = "Date\tflow\tlevel\n"
                             "2012-06-01 00:00:00\t1.5\t10\n"
                             "2012-06-01 01:00:00\t2.5\t20\r\n"
                             "2012-06-01 02:00:00\t3.5\n"
                             "\n"
                             "2012-06-01 03:00:00\tx\t40\n"
                             "2012-06-01 04:00:00\t5.5,50\r\n";
    writeText(path("s.txt"), text);
    hsResultFile f(path("s.txt"), hestor::TEXT0D);
    auto get = [&](int col, long long from, long long to, int filterCol, double lo, double hi) {
        long long* times = nullptr;
        double* values = nullptr;
        const int n = f.readTimeSeriesUET(col, times, values, from, to, filterCol, lo, hi);
        std::vector<std::pair<long long, double>> out;
        for (int i = 0; i < n; ++i)
            out.emplace_back((times[i] - kStart) / 3600, values[i]);
        delete[] times;
        delete[] values;
        return out;
    };
    using P = std::vector<std::pair<long long, double>>;
    const long long h3 = kStart + 3 * 3600;
    EXPECT_EQ(get(0, kStart, h3, -1, 0, 0), (P{{0, 1.5}, {1, 2.5}, {2, 3.5}}));
    EXPECT_EQ(get(0, kStart, kEnd, 1, 15, 100), (P{{1, 2.5}, {4, 5.5}}));
    // The line of 02:00 has no level: skipped, not read past its end.
    EXPECT_EQ(get(1, kStart, kEnd, -1, 0, 0), (P{{0, 10}, {1, 20}, {3, 40}, {4, 50}}));
    EXPECT_EQ(get(2, kStart, kEnd, -1, 0, 0), P{});
    EXPECT_EQ(get(0, kStart + 1, kStart + 3599, -1, 0, 0), P{});

    writeText(path("s.txt"), crlf(text));
    EXPECT_EQ(get(1, kStart, kEnd, 0, 2, 6), (P{{1, 20}, {4, 50}}));
    std::filesystem::remove(path("s.txt"));
    EXPECT_NE(thrownMessage([&] { get(0, 0, kEnd, -1, 0, 0); }), "<no exception>");
}

TEST_F(ResultFileText, FormatsWithoutATextReader)
{
    writeText(path("t.txt"), "Date\tv\n");
    hsResultFile f(path("t.txt"), hestor::TEXT1D);
    double** data = nullptr;
    int rows = 0;
    long long* times = nullptr;
    double* values = nullptr;
    auto nextMsg = [&] { return thrownMessage([&] { f.readNextTimestep(data, rows); }); };
    auto uet = [&] {
        return thrownMessage([&] { f.readTimeSeriesUET(0, times, values, 0, 1, -1, 0, 0); });
    };
    EXPECT_EQ(uet(), "hsResultFile::readTimeSeries unsuppored format.");
    f.fileFmt = hestor::EMB;
    EXPECT_EQ(nextMsg(), "hsResultFile::readNextTimestep Not implemented for EMB files.");
    f.readNextTimestepFreeMem(nullptr);
    f.fileFmt = hestor::EMT;
    EXPECT_EQ(nextMsg(), "hsResultFile::readNextTimestep Not implemented for EMT files.");
    f.fileFmt = hestor::EMF;
    EXPECT_EQ(nextMsg(), "hsResultFile::readItemData undefined format.");
    EXPECT_EQ(uet(), "hsResultFile::readTimeSeries unsuppored format.");
}

} // namespace
