#include <gtest/gtest.h>
#include <netcdf.h>

#include <memory>
#include <string>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

namespace {

const short fill = -32767;

// Variables 0 to 5 and global attributes, written with the library alone.
class ZNetCdfData : public testutil::TempDirTest {
protected:
    enum { TEMP, SPEED, COUNT, BIG, LEVEL, BLOB };

    void SetUp() override
    {
        nctest::RawNc raw(path);
        const int t = raw.dim("time", NC_UNLIMITED), y = raw.dim("y", 2), x = raw.dim("x", 3);
        const int temp = raw.var("temp", NC_SHORT, {t, y, x});
        raw.att(temp, "scale_factor", NC_DOUBLE, std::vector<double>{0.01});
        raw.att(temp, "add_offset", NC_FLOAT, std::vector<float>{10});
        raw.att(temp, "_FillValue", NC_SHORT, std::vector<short>{fill});
        raw.att(temp, "missing", NC_DOUBLE, std::vector<double>{fill});
        raw.put(temp, {2, 2, 3}, std::vector<short>{100, fill, 0, 1, -1, 3, 200, 1, fill, 4, 5, 6});
        const int speed = raw.var("speed", NC_FLOAT, {y, x});
        raw.att(speed, "scale_factor", NC_FLOAT, std::vector<float>{2});
        raw.att(speed, "add_offset", NC_DOUBLE, std::vector<double>{0.5});
        raw.att(speed, "_FillValue", NC_FLOAT, std::vector<float>{-9});
        raw.put(speed, {2, 3}, std::vector<float>{1.25f, -9, 2.5f, 0, -1, 3});
        raw.put(raw.var("count", NC_INT64, {t}), {2}, std::vector<long long>{9007199254740993LL, -5});
        const int big = raw.var("big", NC_SHORT, {y});
        raw.att(big, "scale_factor", NC_INT, std::vector<int>{1000});
        raw.put(big, {2}, std::vector<short>{100, 1});
        raw.put(raw.var("level", NC_INT, {}), {}, std::vector<int>{7});
        nc_type blob;
        EXPECT_EQ(nc_def_opaque(raw.id, 4, "blob_t", &blob), NC_NOERR);
        raw.var("blob", blob, {y});
        raw.text(NC_GLOBAL, "title", "Sample");
        raw.att(NC_GLOBAL, "many", NC_DOUBLE, std::vector<double>{2.5, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        raw.att(NC_GLOBAL, "flag", NC_BYTE, std::vector<signed char>{-56});
        const char* names[] = {"first", "second"};
        EXPECT_EQ(nc_put_att_string(raw.id, NC_GLOBAL, "names", 2, names), NC_NOERR);
    }

    std::vector<double> asDouble(ZNetCdf& nc, int v)
    {
        size_t *s = nullptr, *c = nullptr;
        const int n = nc.getStartAndCountArr(v, s, c);
        const std::unique_ptr<size_t[]> start(s), count(c);
        std::vector<double> out(static_cast<size_t>(n));
        double* p = out.data();
        nc.getDataIntoGivenType<double>(v, p, s, c);
        return out;
    }

    template <typename T>
    static std::vector<T> values(int* buf, size_t n)
    {
        const std::unique_ptr<int[]> owned(buf);
        const T* p = reinterpret_cast<const T*>(buf);
        return std::vector<T>(p, p + n);
    }

    const std::string path = at("data.nc");
};

} // namespace

TEST_F(ZNetCdfData, StartAndCount)
{
    ZNetCdf nc(path, false);
    size_t *start = nullptr, *count = nullptr;
    EXPECT_EQ(nc.getStartAndCountArr(TEMP, 5, start, count), 6);
    EXPECT_EQ(std::vector<size_t>(start, start + 3), (std::vector<size_t>{5, 0, 0}));
    EXPECT_EQ(std::vector<size_t>(count, count + 3), (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(nc.getStartAndCountTotLen(0, start, count), 0);
    delete[] start;
    delete[] count;
    EXPECT_EQ(nc.getStartAndCountArr(TEMP, start, count), 12);
    EXPECT_EQ(std::vector<size_t>(count, count + 3), (std::vector<size_t>{2, 2, 3}));
    delete[] start;
    delete[] count;
}

TEST_F(ZNetCdfData, ValuesAsDoubleWithAndWithoutUnpacking)
{
    ZNetCdf nc(path, false);
    EXPECT_EQ(asDouble(nc, SPEED), (std::vector<double>{1.25, -9, 2.5, 0, -1, 3}));
    EXPECT_EQ(asDouble(nc, LEVEL), std::vector<double>{7});
    nc.enableScaleOffset("scale_factor", "add_offset", "_FillValue");
    const std::vector<double> temp = asDouble(nc, TEMP);
    EXPECT_DOUBLE_EQ(temp[0], 11.0);
    EXPECT_EQ(temp[1], fill);
    EXPECT_DOUBLE_EQ(temp[3], 10.01);
    EXPECT_EQ(asDouble(nc, SPEED), (std::vector<double>{3, -9, 5.5, 0.5, -1.5, 6.5}));
    // A fill attribute of another type is compared in the variable's type.
    nc.enableScaleOffset("scale_factor", "", "missing");
    EXPECT_EQ(nc.addOffsets[TEMP], 0);
    EXPECT_EQ(asDouble(nc, TEMP)[1], fill);
    EXPECT_DOUBLE_EQ(asDouble(nc, TEMP)[0], 1.0);
    EXPECT_EQ(thrownMessage([&] { asDouble(nc, BLOB); }), "Unsupported type.");
}

TEST_F(ZNetCdfData, WholeAndTimestepBuffersInTheVariablesType)
{
    ZNetCdf nc(path, false);
    EXPECT_EQ(thrownMessage([&] { delete[] nc.getTimestepData(COUNT, 0); }), "Unsupported nc type: 10");
    nc.enableScaleOffset("scale_factor", "add_offset", "_FillValue");
    EXPECT_EQ(values<long long>(nc.getAllData(COUNT), 2), (std::vector<long long>{9007199254740993LL, -5}));
    EXPECT_EQ(values<short>(nc.getTimestepData(TEMP, 0), 6), (std::vector<short>{11, fill, 10, 10, 9, 10}));
    EXPECT_EQ(values<short>(nc.getTimestepData(TEMP, 1), 6), (std::vector<short>{12, 10, fill, 10, 10, 10}));
    EXPECT_EQ(values<float>(nc.getAllData(SPEED), 6), (std::vector<float>{3, -9, 5.5f, 0.5f, -1.5f, 6.5f}));
    EXPECT_EQ(thrownMessage([&] { delete[] nc.getTimestepData(TEMP, 2); }),
              std::string(nc_strerror(NC_EINVALCOORDS)) + " (reading 'temp' in " + path + ")");
    EXPECT_EQ(thrownMessage([&] { delete[] nc.getAllData(BIG); }),
              "Unpacked value 100000 of 'big' in " + path + " does not fit the variable's type.");
}

TEST_F(ZNetCdfData, WrittenValuesReadBack)
{
    const std::string out = at("out.nc");
    std::vector<short> step0{1, 2, 3, 4, 5, 6}, step1{-1, -2, -3, -4, -5, -6};
    std::vector<int> fixed{10, 20, 30, 40, 50, 60};
    {
        ZNetCdf nc(out, true);
        const int t = nc.createDim("time", -1), y = nc.createDim("y", 2), x = nc.createDim("x", 3);
        const int v = nc.defVar("v", {t, y, x}, NC_SHORT), f = nc.defVar("f", {y, x}, NC_INT);
        EXPECT_EQ(nc.putTimestepData(v, 0, reinterpret_cast<int*>(step0.data())), NC_NOERR);
        EXPECT_EQ(nc.putTimestepData(v, 1, reinterpret_cast<int*>(step1.data())), NC_NOERR);
        // The caches still say no records: the read follows them, not the file.
        EXPECT_EQ(values<short>(nc.getAllData(v), 0), std::vector<short>{});
        EXPECT_EQ(nc.putAllData(f, fixed.data()), NC_NOERR);
        EXPECT_EQ(thrownMessage([&] { nc.putTimestepData(f, 0, fixed.data()); }),
                  "putTimestepData: first dim must be unlimited.");
        EXPECT_EQ(nc.putAllData(99, fixed.data()), NC_ENOTVAR);
        nc.metaDone();
    }
    ZNetCdf nc(out, false);
    EXPECT_EQ(values<short>(nc.getTimestepData(0, 1), 6), step1);
    EXPECT_EQ(values<short>(nc.getAllData(0), 6), step0);
    EXPECT_EQ(values<int>(nc.getAllData(1), 6), fixed);
}

TEST_F(ZNetCdfData, Attributes)
{
    ZNetCdf nc(path, false);
    EXPECT_TRUE(nc.hasAttrib("title", NC_GLOBAL));
    EXPECT_FALSE(nc.hasAttrib("absent", NC_GLOBAL));
    EXPECT_EQ(nc.status, NC_ENOTATT);
    // Multi-valued attributes: the single-value getters give the first.
    EXPECT_EQ(nc.getDoubleAttribValue("many", NC_GLOBAL), 2.5);
    EXPECT_EQ(nc.getFloatAttribValue("many", NC_GLOBAL), 2.5f);
    EXPECT_EQ(nc.getIntAttribValue("many", NC_GLOBAL), 2);
    EXPECT_EQ(nc.status, NC_NOERR);
    EXPECT_EQ(nc.getNumAttribValue("many", NC_GLOBAL), 2.5);
    const std::unique_ptr<char[]> many(static_cast<char*>(nc.getAttribValue("many", NC_GLOBAL)));
    EXPECT_EQ(reinterpret_cast<const double*>(many.get())[9], 9);
    EXPECT_EQ(nc.getNumAttribValue("flag", NC_GLOBAL), 200);
    EXPECT_EQ(nc.getNumAttribValue("scale_factor", BIG), 1000);
    EXPECT_EQ(thrownMessage([&] { nc.getNumAttribValue("title", NC_GLOBAL); }), "Unsupported nc type: 2");
    EXPECT_EQ(thrownMessage([&] { nc.getAttribValue("names", NC_GLOBAL); }), "Unsupported nc type: 12");
    EXPECT_EQ(thrownMessage([&] { nc.getNumAttribValue("absent", NC_GLOBAL); }), nc_strerror(NC_ENOTATT));
    EXPECT_EQ(nc.getIntAttribValue("names", NC_GLOBAL), 0);
    EXPECT_NE(nc.status, NC_NOERR);
    EXPECT_EQ(nc.getStringAttribValue("names", NC_GLOBAL), "first");
    EXPECT_EQ(nc.getStringAttribValue("title", NC_GLOBAL), "Sample");
    EXPECT_EQ(nc.getStringAttribValue("absent", NC_GLOBAL), "");
}
