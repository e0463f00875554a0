#ifndef ZCORELIB_ZNETCDFTYPE_H
#define ZCORELIB_ZNETCDFTYPE_H

// Internal to the ZNetCdf sources: the variable types it transfers data of,
// and the text pointers of string attributes.

#include <netcdf.h>

#include <memory>
#include <new>
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

// new T[n] for values of variable varId of nc, an allocation failure
// reported as a ZException.
template <typename T, typename Nc>
std::unique_ptr<T[]> newValues(size_t n, const Nc& nc, int varId)
{
    try {
        return std::unique_ptr<T[]>(new T[n]);
    } catch (const std::bad_alloc&) {
        throw ZException("Not enough memory for " + std::to_string(n * sizeof(T)) + " bytes of '"
                         + nc.varNames[varId] + "' in " + nc.fileName + ".");
    }
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
