#ifndef HESTOR_TEST_ZNETCDFUTIL_H
#define HESTOR_TEST_ZNETCDFUTIL_H

// Helpers of the netCDF tests: files written with the library directly,
// independently of the wrapper under test, and ncdump's view of a file.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testUtil.h"

namespace nctest {

// A netCDF-4 file made and closed with the C library alone.
class RawNc {
public:
    explicit RawNc(const std::string& path)
    {
        if (nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &id) != NC_NOERR)
            throw std::runtime_error("cannot create " + path);
    }
    ~RawNc() { close(); }
    RawNc(const RawNc&) = delete;
    RawNc& operator=(const RawNc&) = delete;

    int dim(const char* name, size_t len)
    {
        int d = -1;
        EXPECT_EQ(nc_def_dim(id, name, len, &d), NC_NOERR) << name;
        return d;
    }
    int var(const char* name, nc_type type, const std::vector<int>& dims)
    {
        int v = -1;
        EXPECT_EQ(nc_def_var(id, name, type, static_cast<int>(dims.size()), dims.data(), &v), NC_NOERR)
            << name;
        return v;
    }
    template <typename T>
    void att(int v, const char* name, nc_type type, const std::vector<T>& values)
    {
        EXPECT_EQ(nc_put_att(id, v, name, type, values.size(), values.data()), NC_NOERR) << name;
    }
    void text(int v, const char* name, const std::string& value)
    {
        EXPECT_EQ(nc_put_att_text(id, v, name, value.size(), value.c_str()), NC_NOERR) << name;
    }
    // Values in the variable's own type, the whole variable as its shape is
    // given: count holds one entry per dimension.
    template <typename T>
    void put(int v, const std::vector<size_t>& count, const std::vector<T>& values)
    {
        const std::vector<size_t> start(count.size(), 0);
        EXPECT_EQ(nc_put_vara(id, v, start.data(), count.data(), values.data()), NC_NOERR);
    }
    void close()
    {
        if (id >= 0)
            nc_close(id);
        id = -1;
    }

    int id = -1;
};

inline bool haveNcdump()
{
    return std::system("command -v ncdump >/dev/null 2>&1") == 0;
}

// ncdump's output of a file, without its first line (which names the file).
inline std::string ncdump(const std::string& options, const std::string& path)
{
    const std::string cmd = "ncdump " + options + " '" + path + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    char buf[4096];
    size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0)
        out.append(buf, n);
    return out.substr(std::min(out.size(), out.find('\n') + 1));
}

#define SKIP_WITHOUT_NCDUMP()                                \
    do {                                                     \
        if (!nctest::haveNcdump())                           \
            GTEST_SKIP() << "ncdump (netcdf-bin) is absent"; \
    } while (0)

} // namespace nctest

#endif
