// netCDF files the wrapper must survive: variables of every type it does not
// transfer, attributes of many values and of string type, time variables
// without usable units, and files that are not netCDF at all. Every case is a
// ZException or a sound value; the sanitizers see any crash or leak.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

namespace {

const std::string hours = "hours since 1970-01-01 00:00:00";

struct Unsupported {
    const char* name;
    nc_type type; // 0: the file's user-defined type of that name
    const char* message;
};

// Every type but short, int, float, double and 64-bit int.
const Unsupported unsupported[] = {
    {"byte", NC_BYTE, "Unsupported nc type: 1"},
    {"char", NC_CHAR, "Unsupported nc type: 2"},
    {"ubyte", NC_UBYTE, "Unsupported nc type: 7"},
    {"ushort", NC_USHORT, "Unsupported nc type: 8"},
    {"uint", NC_UINT, "Unsupported nc type: 9"},
    {"uint64", NC_UINT64, "Unsupported nc type: 11"},
    {"string", NC_STRING, "Unsupported nc type: 12"},
    {"opaque", 0, "Unsupported type."},
    {"vlen", 0, "Unsupported type."},
    {"compound", 0, "Unsupported type."},
    {"enum", 0, "Unsupported type."},
};

class ZNetCdfHostile : public testutil::TempDirTest {
protected:
    // One variable of each unsupported type over "n" (2), each with a scale
    // factor and time units, and a double coordinate "n".
    std::string makeTypes()
    {
        const std::string path = at("types.nc");
        nctest::RawNc raw(path);
        const int n = raw.dim("n", 2);
        nc_type opaque, vlen, compound, enumType;
        EXPECT_EQ(nc_def_opaque(raw.id, 3, "opaque_t", &opaque), NC_NOERR);
        EXPECT_EQ(nc_def_vlen(raw.id, "vlen_t", NC_INT, &vlen), NC_NOERR);
        EXPECT_EQ(nc_def_compound(raw.id, 8, "compound_t", &compound), NC_NOERR);
        EXPECT_EQ(nc_insert_compound(raw.id, compound, "a", 0, NC_INT), NC_NOERR);
        EXPECT_EQ(nc_insert_compound(raw.id, compound, "b", 4, NC_FLOAT), NC_NOERR);
        EXPECT_EQ(nc_def_enum(raw.id, NC_BYTE, "enum_t", &enumType), NC_NOERR);
        const signed char one = 1;
        EXPECT_EQ(nc_insert_enum(raw.id, enumType, "one", &one), NC_NOERR);
        const nc_type user[] = {opaque, vlen, compound, enumType};
        int k = 0;
        for (const Unsupported& u : unsupported) {
            const int v = raw.var(u.name, u.type != 0 ? u.type : user[k++], {n});
            raw.att(v, "scale_factor", NC_DOUBLE, std::vector<double>{2});
            raw.text(v, "units", hours);
        }
        raw.put(raw.var("n", NC_DOUBLE, {n}), {2}, std::vector<double>{0, 1});
        return path;
    }
};

} // namespace

TEST_F(ZNetCdfHostile, VariablesOfEveryUnsupportedTypeAreRefused)
{
    const std::string path = makeTypes();
    ZNetCdf nc(path, false);
    const int coord = nc.varId("n");
    ASSERT_EQ(coord, static_cast<int>(std::size(unsupported)));
    nc.enableScaleOffset("scale_factor", "", "");
    for (int v = 0; v < coord; ++v) {
        const Unsupported& u = unsupported[v];
        SCOPED_TRACE(u.name);
        EXPECT_EQ(nc.varTotLength(v, false), 2);
        const std::string typeMessage = u.type != 0 ? u.message : "Unsupported nc type: " +
                                                                      std::to_string(nc.varTypes[v]);
        EXPECT_EQ(thrownMessage([&] { delete[] nc.getAllData(v); }), typeMessage);
        EXPECT_EQ(thrownMessage([&] { delete[] nc.getTimestepData(v, 0); }), typeMessage);
        EXPECT_EQ(thrownMessage([&] { std::vector<int> d(8); nc.putAllData(v, d.data()); }), typeMessage);
        EXPECT_EQ(thrownMessage([&] { nc.getDT(v, ""); }), u.message);
        EXPECT_EQ(thrownMessage([&] { nc.getGrid(coord, v, -1); }), u.message);
        EXPECT_EQ(thrownMessage([&] { nc.getGrid(coord, coord, v); }), u.message);
        // Copying defines the variable, or is refused by the library, but
        // never copies its data.
        ZNetCdf out(at(std::string("copy_") + u.name + ".nc"), true);
        out.copyDimsFrom(&nc, false);
        EXPECT_NE(thrownMessage([&] { out.copyVarFrom(&nc, v, true, true, ""); }), "<no exception>");
    }
    // The supported coordinate still reads, scaled as asked.
    const ZCoreLib::ZNetCdfGrid g = nc.getGrid(coord, coord, -1);
    EXPECT_EQ(g.x0, 0);
    EXPECT_EQ(g.dx, 1);
}

TEST_F(ZNetCdfHostile, AttributesOfManyValuesAndOfStringType)
{
    const std::string path = at("atts.nc");
    std::vector<double> many(1000000);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<double>(i) + 0.5;
    std::vector<std::string> texts(1000);
    std::vector<const char*> pointers;
    for (size_t i = 0; i < texts.size(); ++i) {
        texts[i] = i == 0 ? hours : "text " + std::to_string(i);
        pointers.push_back(texts[i].c_str());
    }
    const std::string longUnits = "seconds since 1970-01-01 00:00:00" + std::string(100000, ' ');
    {
        nctest::RawNc raw(path);
        const int t = raw.dim("time", NC_UNLIMITED);
        raw.att(NC_GLOBAL, "many", NC_DOUBLE, many);
        EXPECT_EQ(nc_put_att_string(raw.id, NC_GLOBAL, "strings", pointers.size(), pointers.data()), NC_NOERR);
        const char* empty[] = {""};
        EXPECT_EQ(nc_put_att_string(raw.id, NC_GLOBAL, "emptyString", 1, empty), NC_NOERR);
        raw.att(NC_GLOBAL, "none", NC_DOUBLE, std::vector<double>{});
        // Time variables whose units are many strings, a long text, a number.
        const int a = raw.var("a", NC_DOUBLE, {t});
        EXPECT_EQ(nc_put_att_string(raw.id, a, "units", pointers.size(), pointers.data()), NC_NOERR);
        raw.put(a, {2}, std::vector<double>{1, 2});
        const int b = raw.var("b", NC_DOUBLE, {t});
        raw.text(b, "units", longUnits);
        raw.put(b, {2}, std::vector<double>{1, 2});
        const int c = raw.var("c", NC_DOUBLE, {t});
        raw.att(c, "units", NC_DOUBLE, many);
        raw.put(c, {2}, std::vector<double>{1, 2});
        const int d = raw.var("d", NC_DOUBLE, {t});
        EXPECT_EQ(nc_put_att_string(raw.id, d, "units", 1, empty), NC_NOERR);
        // Unpacking attributes of string type and of many values.
        EXPECT_EQ(nc_put_att_string(raw.id, d, "fill", pointers.size(), pointers.data()), NC_NOERR);
        raw.att(d, "offset", NC_DOUBLE, many);
        raw.put(d, {2}, std::vector<double>{1, 2});
        EXPECT_EQ(nc_put_att_string(raw.id, c, "scale", 1, empty), NC_NOERR);
    }
    ZNetCdf nc(path, false);
    EXPECT_EQ(nc.getNumAttribValue("many", NC_GLOBAL), 0.5);
    EXPECT_EQ(nc.getIntAttribValue("many", NC_GLOBAL), 0);
    EXPECT_EQ(nc.getDoubleAttribValue("many", NC_GLOBAL), 0.5);
    const std::unique_ptr<char[]> all(static_cast<char*>(nc.getAttribValue("many", NC_GLOBAL)));
    EXPECT_EQ(reinterpret_cast<const double*>(all.get())[999999], 999999.5);
    EXPECT_EQ(nc.getStringAttribValue("strings", NC_GLOBAL), hours);
    EXPECT_EQ(nc.getStringAttribValue("emptyString", NC_GLOBAL), "");
    EXPECT_EQ(thrownMessage([&] { nc.getNumAttribValue("strings", NC_GLOBAL); }), "Unsupported nc type: 12");
    EXPECT_EQ(nc.getStringAttribValue("none", NC_GLOBAL), "");
    EXPECT_EQ(thrownMessage([&] { nc.getNumAttribValue("none", NC_GLOBAL); }), "<no exception>");

    EXPECT_EQ(nc.getDT(nc.varId("a"), ""), (std::vector<long long>{3600, 7200}));
    EXPECT_EQ(nc.getDT(nc.varId("b"), ""), (std::vector<long long>{1, 2}));
    // A number's bytes are no units text.
    EXPECT_EQ(thrownMessage([&] { nc.getDT(nc.varId("c"), ""); }), "Could not parse time unit in netcdf file.");
    EXPECT_EQ(thrownMessage([&] { nc.getDT(nc.varId("d"), ""); }),
              "Could not find 'units' attribute of time var in " + path);

    // A fill value of string type matches nothing; an offset of many values
    // is its first; a scale factor of string type is refused.
    nc.enableScaleOffset("", "offset", "fill");
    EXPECT_EQ(nc.getDT(nc.varId("d"), hours), (std::vector<long long>{5400, 9000}));
    EXPECT_EQ(thrownMessage([&] { nc.enableScaleOffset("scale", "", ""); }), "Unsupported nc type: 12");

    // Copying carries every value and every string.
    const std::string copy = at("copy.nc");
    {
        ZNetCdf out(copy, true);
        out.copyVarAttribsFrom(&nc, NC_GLOBAL, NC_GLOBAL);
        out.metaDone();
    }
    ZNetCdf back(copy, false);
    const std::unique_ptr<char[]> copied(static_cast<char*>(back.getAttribValue("many", NC_GLOBAL)));
    EXPECT_EQ(reinterpret_cast<const double*>(copied.get())[999999], 999999.5);
    EXPECT_EQ(back.getStringAttribValue("strings", NC_GLOBAL), hours);
}

TEST_F(ZNetCdfHostile, TimeVariablesWithoutUsableUnits)
{
    const std::string path = at("time.nc");
    {
        nctest::RawNc raw(path);
        const int t = raw.dim("time", NC_UNLIMITED);
        raw.put(raw.var("bare", NC_DOUBLE, {t}), {2}, std::vector<double>{0, 1});
        const int shortRef = raw.var("short", NC_DOUBLE, {t});
        raw.text(shortRef, "units", "hours since 1970");
        raw.put(shortRef, {2}, std::vector<double>{0, 1});
    }
    ZNetCdf nc(path, false);
    // The only time variable with units is found, and its reference refused.
    EXPECT_EQ(thrownMessage([&] { nc.getDT(-1, ""); }), "Invalid date: 1970");
    EXPECT_EQ(thrownMessage([&] { nc.getDT(0, ""); }), "Could not find 'units' attribute of time var in " + path);
    EXPECT_EQ(nc.getDT(0, hours), (std::vector<long long>{0, 3600}));
}

// A classic file holds every value it claims, uncompressed: claims beyond
// its size are refused before memory is taken for them.
TEST_F(ZNetCdfHostile, ClaimsBeyondAClassicFilesSizeAreRefused)
{
    const std::string sound = at("sound.nc"), path = at("claims.nc");
    {
        nctest::RawNc raw(sound, 0); // the classic format
        const int t = raw.dim("time", NC_UNLIMITED), time = raw.var("t", NC_DOUBLE, {t});
        raw.text(time, "units", hours);
        const int v = raw.var("v", NC_FLOAT, {t, raw.dim("x", 2)});
        EXPECT_EQ(nc_enddef(raw.id), NC_NOERR);
        raw.put(time, {1}, std::vector<double>{1});
        raw.put(v, {1, 2}, std::vector<float>{1, 2});
    }
    EXPECT_EQ(ZNetCdf(sound, false).getDT(-1, ""), std::vector<long long>{3600});
    // Header offsets of the record count and of x's length, patched big-endian.
    const std::vector<char> bytes = testutil::readBytes(sound);
    const size_t recs = 4, xLen = std::string(bytes.data(), bytes.size()).find(std::string("\0\0\0\1x\0\0\0", 8)) + 8;
    struct Case { size_t offset; unsigned value; std::function<void(ZNetCdf&)> read; std::string claim; };
    const Case cases[] = {
        {xLen, 0x7fffffff, [](ZNetCdf& nc) { delete[] nc.getTimestepData(1, 0); }, "'v' in " + path + " claims 2147483647"},
        {xLen, 1000000000, [](ZNetCdf& nc) { delete[] nc.getAllData(1); }, "'v' in " + path + " claims 1000000000"},
        {recs, 0x7fffffff, [](ZNetCdf& nc) { nc.getDT(-1, ""); }, "'t' in " + path + " claims 2147483647"},
        {recs, 13000000, [&](ZNetCdf& nc) {
             ZNetCdf out(at("copy.nc"), true);
             out.copyDimsFrom(&nc, false);
             out.copyVarsFrom(&nc, false, true);
         }, "'t' in " + path + " claims 13000000"},
    };
    for (const Case& c : cases) {
        std::vector<char> patched = bytes;
        for (int i = 0; i < 4; ++i)
            patched[c.offset + i] = static_cast<char>(c.value >> (24 - 8 * i));
        testutil::writeBytes(path, patched);
        ZNetCdf nc(path, false);
        EXPECT_EQ(thrownMessage([&] { c.read(nc); }),
                  "Variable " + c.claim + " values, more than the file's " + std::to_string(bytes.size()) + " bytes hold.");
    }
}

TEST_F(ZNetCdfHostile, FilesThatAreNotNetCdfAreRefused)
{
    const std::string valid = at("valid.nc");
    {
        nctest::RawNc raw(valid);
        raw.put(raw.var("v", NC_DOUBLE, {raw.dim("x", 100)}), {100}, std::vector<double>(100, 1.5));
    }
    std::ifstream in(valid, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 1000u);
    struct Case {
        std::string name, content;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"text", "netcdf x {\ndimensions:\n x = 1 ;\n}\n"},
        {"classic magic", std::string("CDF\x01", 4) + std::string(60, '\xff')},
        {"64-bit magic", std::string("CDF\x02", 4) + std::string(4, '\0') + std::string(60, '\x7f')},
        {"hdf5 signature", std::string("\x89HDF\r\n\x1a\n", 8) + std::string(500, '\0')},
    };
    for (size_t n : {8u, 100u, 512u, 1000u})
        cases.push_back({"netCDF-4 cut at " + std::to_string(n), bytes.substr(0, n)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = at("bad.nc");
        testutil::writeText(path, c.content);
        EXPECT_NE(thrownMessage([&] { ZNetCdf nc(path, false); }), "<no exception>");
    }
    EXPECT_EQ(thrownMessage([&] { ZNetCdf nc(dir, false); }), "No such file: '" + dir + "'");
}
