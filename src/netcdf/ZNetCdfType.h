#ifndef ZCORELIB_ZNETCDFTYPE_H
#define ZCORELIB_ZNETCDFTYPE_H

// Internal to the ZNetCdf sources: the variable types it transfers data of,
// and the text pointers of string attributes.

#include <netcdf.h>

#include <string>
#include <vector>

#include "ZException.h"

namespace ZCoreLib {

inline bool isNcDataType(int type)
{
    return type == NC_SHORT || type == NC_INT || type == NC_FLOAT || type == NC_DOUBLE
        || type == NC_INT64;
}

// Calls f with a value of the C++ type that holds the variable type's values.
template <typename F>
auto onNcDataType(int type, F&& f)
{
    switch (type) {
    case NC_SHORT: return f(short());
    case NC_INT: return f(int());
    case NC_FLOAT: return f(float());
    case NC_DOUBLE: return f(double());
    case NC_INT64: return f(static_cast<long long>(0));
    }
    throw ZException("Unsupported nc type: " + std::to_string(type));
}

// Text pointers for a string attribute; frees what the library allocated
// into them, also when copying them throws.
struct NcStrings {
    explicit NcStrings(size_t n) : p(n, nullptr) {}
    ~NcStrings() { nc_free_string(p.size(), p.data()); }
    NcStrings(const NcStrings&) = delete;
    NcStrings& operator=(const NcStrings&) = delete;
    std::vector<char*> p;
};

} // namespace ZCoreLib

#endif
