#ifndef HESTOR_TEST_ZNETCDFUTIL_H
#define HESTOR_TEST_ZNETCDFUTIL_H

// Helpers of the netCDF tests: files written with the C library alone,
// independently of the wrapper under test, and ncdump's view of a file.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testUtil.h"

namespace nctest {

// A netCDF-4 file (or of the format mode names), closed by the destructor.
struct RawNc {
    explicit RawNc(const std::string& path, int mode = NC_NETCDF4)
    {
        if (nc_create(path.c_str(), mode | NC_CLOBBER, &id) != NC_NOERR)
            throw std::runtime_error("cannot create " + path);
    }
    ~RawNc() { nc_close(id); }
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
        EXPECT_EQ(nc_def_var(id, name, type, static_cast<int>(dims.size()), dims.data(), &v), NC_NOERR) << name;
        return v;
    }
    template <typename T>
    void att(int v, const char* name, nc_type type, const std::vector<T>& values)
    {
        EXPECT_EQ(nc_put_att(id, v, name, type, values.size(), values.data()), NC_NOERR) << name;
    }
    void text(int v, const char* name, const std::string& value)
    {
        att(v, name, NC_CHAR, std::vector<char>(value.begin(), value.end()));
    }
    // The whole variable, count giving its shape, values in its own type.
    template <typename T>
    void put(int v, const std::vector<size_t>& count, const std::vector<T>& values)
    {
        const std::vector<size_t> start(count.size(), 0);
        EXPECT_EQ(nc_put_vara(id, v, start.data(), count.data(), values.data()), NC_NOERR);
    }

    int id = -1;
};

// n values of a variable from start, as the library reads them.
template <typename T>
std::vector<T> get(const std::string& path, const char* var, std::vector<size_t> start, std::vector<size_t> count, size_t n)
{
    int id = -1, v = -1;
    std::vector<T> out(n);
    EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << path;
    EXPECT_EQ(nc_inq_varid(id, var, &v), NC_NOERR) << var;
    EXPECT_EQ(nc_get_vara(id, v, start.data(), count.data(), out.data()), NC_NOERR) << var;
    nc_close(id);
    return out;
}

// Peak resident size of the process in kB (VmHWM).
inline long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && line.rfind("VmHWM:", 0) != 0) {}
    return line.empty() ? 0L : std::stol(line.substr(6));
}

inline bool haveNcdump()
{
    return std::system("command -v ncdump >/dev/null 2>&1") == 0;
}

// ncdump's output without its first line, which names the file.
inline std::string ncdump(const std::string& options, const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(("ncdump " + options + " '" + path + "'").c_str(), "r"), pclose);
    std::string out;
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0;)
        out.append(buf, n);
    return out.substr(out.find('\n') == std::string::npos ? out.size() : out.find('\n') + 1);
}

} // namespace nctest

#endif
