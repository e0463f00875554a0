#include <gtest/gtest.h>
#include <netcdf.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <string>
#include <type_traits>
#include <vector>

#include "ZNetCdf.h"
#include "test_ZNetCdfUtil.h"

using ZCoreLib::ZNetCdf;
using testutil::thrownMessage;

static_assert(!std::is_copy_constructible<ZNetCdf>::value && !std::is_copy_assignable<ZNetCdf>::value,
              "two objects would close one file");

namespace {

class ZNetCdfFile : public testutil::TempDirTest {
protected:
    // time (unlimited), y 2, x 3, z 4; crs scalar int, temp (time, y, x)
    // float, depth (y, x) double, vol (time, z, y, x) short.
    std::string makeSample()
    {
        const std::string path = at("sample.nc");
        ZNetCdf nc(path, true);
        EXPECT_EQ(nc.createDim("time", -1), 0);
        EXPECT_EQ(nc.createDim("y", 2), 1);
        EXPECT_EQ(nc.createDim("x", 3), 2);
        EXPECT_EQ(nc.createDim("z", 4), 3);
        EXPECT_EQ(nc.defVar("crs", {}, NC_INT), 0);
        EXPECT_EQ(nc.defVar("temp", {0, 1, 2}, NC_FLOAT), 1);
        EXPECT_EQ(nc.defVar("depth", {1, 2}, NC_DOUBLE), 2);
        EXPECT_EQ(nc.defVar("vol", {0, 3, 1, 2}, NC_SHORT), 3);
        nc.metaDone();
        return path;
    }
};

} // namespace

TEST(ZNetCdfTypes, AtomicSizesAreOurOwn)
{
    // The library's internal function of that name answers 8 for strings.
    const int sizes[] = {0, 0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8, 0, 0};
    for (int t = -1; t <= 13; ++t)
        EXPECT_EQ(ZCoreLib::NC_atomictypelen(t), sizes[t + 1]) << t;
}

TEST(ZNetCdfTypes, CountProductRefusesWhatIntCannotHold)
{
    const size_t big[] = {65536, 65536, 0};
    EXPECT_EQ(ZCoreLib::NC_countProduct(0, big), 1);
    EXPECT_EQ(ZCoreLib::NC_countProduct(3, big), 0);
    EXPECT_EQ(thrownMessage([&] { ZCoreLib::NC_countProduct(2, big); }),
              "The selection holds more than 2147483647 values.");
}

TEST_F(ZNetCdfFile, OpenAndCreateFailures)
{
    const std::string missing = at("missing.nc");
    EXPECT_EQ(thrownMessage([&] { ZNetCdf nc(missing, false); }), "No such file: '" + missing + "'");
    testutil::writeText(at("text.nc"), "not netCDF\n");
    EXPECT_EQ(thrownMessage([&] { ZNetCdf nc(at("text.nc"), false); }), nc_strerror(NC_ENOTNC));
}

TEST_F(ZNetCdfFile, DefinitionsAndCachesFollowTheFile)
{
    const std::string path = at("defs.nc");
    {
        ZNetCdf nc(path, true);
        EXPECT_EQ(nc.createDim("time", -1), 0);
        EXPECT_EQ(nc.dimLens, std::vector<int>{0});
        EXPECT_EQ(nc.unlimDimId, 0);
        EXPECT_EQ(nc.createDim("x", 3), 1);
        // Failed definitions return the status and leave the caches alone.
        EXPECT_EQ(nc.createDim("x", 5), NC_ENAMEINUSE);
        EXPECT_EQ(nc.defVar("v", {0, 1}, NC_FLOAT), 0);
        const std::string bad = thrownMessage([&] { nc.defVar("bad", {7}, NC_FLOAT); });
        EXPECT_EQ(bad, std::string(nc_strerror(NC_EBADDIM)) + " (defining variable 'bad' in " + path + ")");
        // A refused compression leaves the variable in the file, so it stays cached.
        nc.deflateLevel = 10;
        EXPECT_EQ(thrownMessage([&] { nc.defVar("w", {1}, NC_FLOAT); }),
                  std::string(nc_strerror(NC_EINVAL)) + " (compressing variable 'w' in " + path + ")");
        EXPECT_EQ(nc.dimNames, (std::vector<std::string>{"time", "x"}));
        EXPECT_EQ(nc.varNames, (std::vector<std::string>{"v", "w"}));
        nc.metaDone();
        nc.metaDone(); // the file has left define mode already
        nc.close();
        EXPECT_EQ(nc.ncid, -1);
    }
    ZNetCdf nc(makeSample(), false);
    EXPECT_EQ(nc.dimNames, (std::vector<std::string>{"time", "y", "x", "z"}));
    EXPECT_EQ(nc.dimLens, (std::vector<int>{0, 2, 3, 4}));
    EXPECT_EQ(nc.unlimDimId, 0);
    EXPECT_EQ(nc.varNames, (std::vector<std::string>{"crs", "temp", "depth", "vol"}));
    EXPECT_EQ(nc.varTypes, (std::vector<int>{NC_INT, NC_FLOAT, NC_DOUBLE, NC_SHORT}));
    EXPECT_EQ(nc.varNdims, (std::vector<int>{0, 3, 2, 4}));
    EXPECT_EQ(nc.varDimIds[3], (std::vector<int>{0, 3, 1, 2}));
    EXPECT_EQ(nc.valuesPerStep2D, 6);
    EXPECT_EQ(nc.valuesPerStep3D, 24);
    EXPECT_EQ(nc.test(), NC_NOERR);
}

TEST_F(ZNetCdfFile, EveryVariableWithDimensionsIsCompressed)
{
    if (!nctest::haveNcdump())
        GTEST_SKIP() << "ncdump (netcdf-bin) is absent";
    const std::string dump = nctest::ncdump("-hs", makeSample());
    for (const char* v : {"temp", "depth", "vol"}) {
        EXPECT_NE(dump.find(std::string(v) + ":_DeflateLevel = 2 ;"), std::string::npos) << v;
        EXPECT_NE(dump.find(std::string(v) + ":_Shuffle = \"true\" ;"), std::string::npos) << v;
    }
    EXPECT_EQ(dump.find("crs:_DeflateLevel"), std::string::npos);
}

TEST_F(ZNetCdfFile, Lookups)
{
    const std::string path = makeSample();
    ZNetCdf nc(path, false);
    EXPECT_EQ(nc.dimId("X", true), 2);
    EXPECT_EQ(nc.dimId("X", false), -1);
    EXPECT_EQ(nc.dimIds("x,,y"), (std::vector<int>{2, -1, 1}));
    EXPECT_EQ(nc.csv2varIds("3,depth,none"), (std::vector<int>{3, 2, -1}));
    EXPECT_EQ(nc.dimLen("y"), 2);
    EXPECT_EQ(nc.varId(std::vector<std::string>{"temp", "nope"}, false), (std::vector<int>{1, -1}));
    EXPECT_EQ(thrownMessage([&] { nc.varId(std::vector<std::string>{"temp", "nope"}, true); }),
              "ZNetCdf:: variable 'nope' not found in '" + path + "')");
    EXPECT_EQ(nc.varTotLength(0, false), 1);
    EXPECT_EQ(nc.varTotLength(1, true), 6);
    EXPECT_EQ(nc.varTotLength(3, true), 24);
    EXPECT_EQ(thrownMessage([&] { nc.varTotLength(4, true); }), "Invalid variable id 4 in " + path);
    EXPECT_EQ(nc.findFirstVarId(3, "", true, -1), 1);
    EXPECT_EQ(nc.findFirstVarId(2, "", false, 6), 2);
    EXPECT_EQ(nc.findFirstVarId(3, "units", false, -1), -1);
}

TEST_F(ZNetCdfFile, SizesBeyondIntAreRefused)
{
    {
        nctest::RawNc raw(at("big.nc"));
        raw.dim("big", 3000000000u);
    }
    EXPECT_EQ(thrownMessage([&] { ZNetCdf nc(at("big.nc"), false); }),
              "Dimension 'big' in " + at("big.nc") + " is too long: 3000000000 values.");
    {
        nctest::RawNc raw(at("wide.nc"));
        raw.var("v", NC_FLOAT, {raw.dim("a", 65536), raw.dim("b", 65536)});
    }
    ZNetCdf nc(at("wide.nc"), false);
    EXPECT_EQ(thrownMessage([&] { nc.varTotLength(0, false); }),
              "Variable 'v' in " + at("wide.nc") + " holds more than 2147483647 values.");
    EXPECT_EQ(thrownMessage([&] { delete[] nc.getAllData(0); }),
              "The selection holds more than 2147483647 values.");
    // One such record variable leaves the rest of the file readable.
    {
        nctest::RawNc raw(at("huge.nc"));
        raw.var("huge", NC_FLOAT, {raw.dim("time", NC_UNLIMITED), raw.dim("a", 65536), raw.dim("b", 65536)});
        raw.put(raw.var("small", NC_INT, {raw.dim("x", 2)}), {2}, std::vector<int>{4, 5});
    }
    ZNetCdf huge(at("huge.nc"), false);
    EXPECT_EQ(huge.valuesPerStep2D, -1);
    const std::unique_ptr<int[]> small(huge.getAllData(1));
    EXPECT_EQ(std::vector<int>(small.get(), small.get() + 2), (std::vector<int>{4, 5}));
    EXPECT_EQ(thrownMessage([&] { delete[] huge.getTimestepData(0, 0); }),
              "The selection holds more than 2147483647 values.");
}

// Dimension ids: a, then the subgroup's b, then c.
TEST_F(ZNetCdfFile, SubgroupDimensionsAreNoRootDimensions)
{
    const std::string path = at("groups.nc");
    {
        nctest::RawNc raw(path);
        const int a = raw.dim("a", 2);
        int g = -1, b = -1;
        EXPECT_EQ(nc_def_grp(raw.id, "g", &g), NC_NOERR);
        EXPECT_EQ(nc_def_dim(g, "b", 5, &b), NC_NOERR);
        raw.put(raw.var("v", NC_INT, {a, raw.dim("c", 3)}), {2, 3}, std::vector<int>{1, 2, 3, 4, 5, 6});
    }
    ZNetCdf nc(path, false);
    EXPECT_EQ(nc.dimNames, (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(nc.dimLens, (std::vector<int>{2, -1, 3}));
    EXPECT_EQ((std::vector<int>{nc.ndims, nc.dimLen("c"), nc.dimLen("b"), nc.varTotLength(0, false)}),
              (std::vector<int>{2, 3, -1, 6}));
    ZNetCdf out(at("copy.nc"), true);
    EXPECT_EQ(thrownMessage([&] { out.copyDimsFrom(&nc, false); }),
              "Cannot copy every dimension of " + path + ": it has the group 'g', and only the root group is copied.");
}

// In a child under a file-size limit, which compressed data meets when the
// chunk cache is flushed at closing. After a failed close the HDF5 library
// may crash at normal exit: the child leaves with _exit, its code naming
// the check that failed.
TEST_F(ZNetCdfFile, FailedCloseIsReported)
{
    const std::string path = at("limited.nc");
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        dup2(open("/dev/null", O_WRONLY), 2); // the HDF5 error stack
        const rlimit limit = {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<float> values(200000);
        for (size_t i = 0; i < values.size(); ++i) // incompressible
            values[i] = static_cast<float>(std::sin(static_cast<double>(i) * 12.9898) * 43758.5453);
        try {
            ZNetCdf nc(path, true);
            const int v = nc.defVar("v", {nc.createDim("x", 200000)}, NC_FLOAT);
            nc.metaDone();
            if (nc.putAllData(v, reinterpret_cast<int*>(values.data())) != NC_NOERR)
                _exit(2);
            const std::string expected = std::string(nc_strerror(NC_EHDFERR)) + " (closing the file in " + path + ")";
            _exit(thrownMessage([&] { nc.close(); }) != expected ? 3 : nc.ncid != -1 ? 4 : 0);
        } catch (...) {
            _exit(5);
        }
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
