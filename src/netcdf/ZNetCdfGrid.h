#ifndef ZCORELIB_ZNETCDFGRID_H
#define ZCORELIB_ZNETCDFGRID_H

// A regular grid read from coordinate variables of a netCDF file.

#include <string>

namespace ZCoreLib {

struct ZNetCdfGrid {
    double x0 = 0;
    double y0 = 0;
    double dx = 0;
    double dy = 0;
    int nx = 0;
    int ny = 0;
    int nValues = 1;
    long long reserved1 = 0;
    // nValues values (caller frees with delete[]); null without values.
    double* values = nullptr;
    double noData = -1e-37;
    std::string name;
    long long reserved2 = 0;
    int reserved3 = 0;
    int reserved4 = -1;
    long long reserved5 = -1;
};

} // namespace ZCoreLib

#endif
