#include "ZNetCdf.h"

#include <netcdf.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <type_traits>

#include "ZNetCdfType.h"
#include "ZStr.h"

namespace ZCoreLib {

namespace {

const unsigned long long intCap = static_cast<unsigned long long>(INT_MAX) + 1;

// Multiplies with every factor capped, so the product cannot wrap and a
// zero factor still gives 0.
unsigned long long cappedProduct(unsigned long long p, unsigned long long factor)
{
    return std::min(p, intCap) * std::min(factor, intCap);
}

std::unique_ptr<size_t[]> newIndexArray(int ndims)
{
    return std::unique_ptr<size_t[]>(new size_t[std::max(NC_MAX_VAR_DIMS, ndims)]());
}

// Unpacks in the values' own type: integers truncated toward zero, and
// refused when the result leaves the type's range. Without scale and offset
// nothing changes, not even 64-bit integers that double cannot hold.
template <typename T>
void unpack(T* values, int n, double scale, double offset, const T* fill, const std::string& where)
{
    if (scale == 1 && offset == 0)
        return;
    for (int i = 0; i < n; ++i) {
        if (fill != nullptr && values[i] == *fill)
            continue;
        const double u = static_cast<double>(values[i]) * scale + offset;
        if constexpr (std::is_floating_point<T>::value) {
            values[i] = static_cast<T>(u);
        } else {
            const double t = std::trunc(u);
            // The upper bound is a power of two, exact as double.
            const double lo = static_cast<double>(std::numeric_limits<T>::min());
            const double hi = -lo;
            if (!(t >= lo && t < hi))
                throw ZException("Unpacked value " + ZStr::toString<double>(u) + " of " + where
                                 + " does not fit the variable's type.");
            values[i] = static_cast<T>(t);
        }
    }
}

// Start and count of one record or of the whole variable; returns the number
// of values selected.
int fillSelection(const ZNetCdf& nc, int varId, bool oneRecord, size_t record, size_t* start,
                  size_t* count)
{
    const std::vector<int>& dims = nc.varDimIds[varId];
    const int ndims = static_cast<int>(dims.size());
    const int first = oneRecord ? 1 : 0;
    if (oneRecord) {
        start[0] = record;
        count[0] = 1;
    }
    for (int k = first; k < ndims; ++k) {
        start[k] = 0;
        count[k] = static_cast<size_t>(nc.dimLens[dims[k]]);
    }
    return NC_countProduct(ndims - first, count + first);
}

} // namespace

int NC_countProduct(int n, const size_t* count)
{
    unsigned long long p = 1;
    for (int i = 0; i < n; ++i)
        p = cappedProduct(p, count[i]);
    if (p > static_cast<unsigned long long>(INT_MAX))
        throw ZException("The selection holds more than " + std::to_string(INT_MAX) + " values.");
    return static_cast<int>(p);
}

unsigned long long ZNetCdf::cappedDimProduct(int varId, int from, bool skipUnlimited) const
{
    const std::vector<int>& dims = varDimIds[varId];
    unsigned long long p = 1;
    for (size_t k = static_cast<size_t>(from); k < dims.size(); ++k)
        if (!(skipUnlimited && dims[k] == unlimDimId))
            p = cappedProduct(p, static_cast<unsigned long long>(dimLens[dims[k]]));
    return p;
}

int ZNetCdf::dimProduct(int varId, int from, bool skipUnlimited) const
{
    const unsigned long long p = cappedDimProduct(varId, from, skipUnlimited);
    if (p > static_cast<unsigned long long>(INT_MAX))
        throw ZException("Variable '" + varNames[varId] + "' in " + fileName + " holds more than "
                         + std::to_string(INT_MAX) + " values.");
    return static_cast<int>(p);
}

int ZNetCdf::varTotLength(int varId, bool skipUnlimited)
{
    checkVarId(varId);
    return dimProduct(varId, 0, skipUnlimited);
}

int ZNetCdf::getStartAndCountArr(int varId, int timestep, size_t*& start, size_t*& count)
{
    checkVarId(varId);
    std::unique_ptr<size_t[]> s = newIndexArray(varNdims[varId]), c = newIndexArray(varNdims[varId]);
    const int n = fillSelection(*this, varId, true, static_cast<size_t>(timestep), s.get(), c.get());
    start = s.release();
    count = c.release();
    return n;
}

int ZNetCdf::getStartAndCountArr(int varId, size_t*& start, size_t*& count)
{
    checkVarId(varId);
    std::unique_ptr<size_t[]> s = newIndexArray(varNdims[varId]), c = newIndexArray(varNdims[varId]);
    const int n = fillSelection(*this, varId, false, 0, s.get(), c.get());
    start = s.release();
    count = c.release();
    return n;
}

int ZNetCdf::getStartAndCountTotLen(int n, size_t* /*start*/, size_t* count)
{
    return n == 0 ? 0 : NC_countProduct(n, count);
}

void ZNetCdf::checkClaim(int varId, unsigned long long n) const
{
    const unsigned long long size = static_cast<unsigned long long>(std::max(1, NC_atomictypelen(varTypes[varId])));
    if (fileBytes_ >= 0 && n > static_cast<unsigned long long>(fileBytes_) / size)
        throw ZException("Variable '" + varNames[varId] + "' in " + fileName + " claims " + std::to_string(n)
                         + " values, more than the file's " + std::to_string(fileBytes_) + " bytes hold.");
}

void ZNetCdf::readInto(int varId, const size_t* start, const size_t* count, int n, void* values)
{
    onNcDataType(varTypes[varId], [&](auto tag) {
        typedef decltype(tag) T;
        const int st = nc_get_vara(ncid, varId, start, count, values);
        if (st != NC_NOERR)
            throwNcError(st, "reading '" + varNames[varId] + "'");
        if (scaled(varId))
            unpack(static_cast<T*>(values), n, scaleFactors[varId], addOffsets[varId],
                   static_cast<const T*>(fillValues[varId]), "'" + varNames[varId] + "' in " + fileName);
        return 0;
    });
}

std::unique_ptr<int[]> ZNetCdf::readSelection(int varId, bool oneRecord, size_t record)
{
    checkVarId(varId);
    return onNcDataType(varTypes[varId], [&](auto tag) {
        typedef decltype(tag) T;
        std::unique_ptr<size_t[]> start = newIndexArray(varNdims[varId]);
        std::unique_ptr<size_t[]> count = newIndexArray(varNdims[varId]);
        const int n = fillSelection(*this, varId, oneRecord, record, start.get(), count.get());
        checkClaim(varId, static_cast<unsigned long long>(n));
        // One int per byte of the values, as the buffers have always been.
        std::unique_ptr<int[]> buf = newValues<int>(static_cast<size_t>(n) * sizeof(T), *this, varId);
        readInto(varId, start.get(), count.get(), n, buf.get());
        return buf;
    });
}

int ZNetCdf::writeSelection(int varId, bool oneRecord, size_t record, const int* data)
{
    int type = 0;
    const int st = nc_inq_vartype(ncid, varId, &type);
    if (st != NC_NOERR)
        return st;
    onNcDataType(type, [](auto) { return 0; }); // refuses the other types
    checkVarId(varId);
    std::unique_ptr<size_t[]> start = newIndexArray(varNdims[varId]);
    std::unique_ptr<size_t[]> count = newIndexArray(varNdims[varId]);
    fillSelection(*this, varId, oneRecord, record, start.get(), count.get());
    return nc_put_vara(ncid, varId, start.get(), count.get(), data);
}

int* ZNetCdf::getAllData(int varId)
{
    return readSelection(varId, false, 0).release();
}

int* ZNetCdf::getTimestepData(int varId, int timestep)
{
    checkVarId(varId);
    if (varTypes[varId] == NC_INT64)
        throw ZException("Unsupported nc type: " + std::to_string(NC_INT64));
    return readSelection(varId, true, static_cast<size_t>(timestep)).release();
}

int ZNetCdf::putAllData(int varId, int* data)
{
    return writeSelection(varId, false, 0, data);
}

int ZNetCdf::putTimestepData(int varId, int timestep, int* data)
{
    checkVarId(varId);
    if (varNdims[varId] == 0 || dimLens[varDimIds[varId][0]] != 0)
        throw ZException("putTimestepData: first dim must be unlimited.");
    return writeSelection(varId, true, static_cast<size_t>(timestep), data);
}

std::unique_ptr<double[]> ZNetCdf::readAllAsDouble(int varId, int& n)
{
    size_t* s = nullptr;
    size_t* c = nullptr;
    n = getStartAndCountArr(varId, s, c);
    const std::unique_ptr<size_t[]> start(s), count(c);
    // A size the file cannot back is refused before the memory is taken.
    checkClaim(varId, static_cast<unsigned long long>(n));
    std::unique_ptr<double[]> values = newValues<double>(static_cast<size_t>(n), *this, varId);
    double* out = values.get();
    getDataIntoGivenType<double>(varId, out, start.get(), count.get());
    return values;
}

template <>
void ZNetCdf::getDataIntoGivenType<double>(int varId, double*& out, size_t* start, size_t* count)
{
    checkVarId(varId);
    const int type = varTypes[varId];
    if (type < 1 || type > 12)
        throw ZException("Unsupported type.");
    // A scalar holds one value.
    const int n = NC_countProduct(varNdims[varId], count);
    onNcDataType(type, [&](auto tag) {
        typedef decltype(tag) T;
        checkClaim(varId, static_cast<unsigned long long>(n));
        std::unique_ptr<T[]> own;
        T* raw;
        if constexpr (std::is_same<T, double>::value) {
            raw = out;
        } else {
            own = newValues<T>(static_cast<size_t>(n), *this, varId);
            raw = own.get();
        }
        const int st = nc_get_vara(ncid, varId, start, count, raw);
        if (st != NC_NOERR)
            throwNcError(st, "reading '" + varNames[varId] + "'");
        if (!scaled(varId)) {
            if constexpr (!std::is_same<T, double>::value)
                std::copy(raw, raw + n, out);
            return 0;
        }
        const T* fill = static_cast<const T*>(fillValues[varId]);
        const double scale = scaleFactors[varId], offset = addOffsets[varId];
        for (int i = 0; i < n; ++i)
            out[i] = fill != nullptr && raw[i] == *fill ? static_cast<double>(*fill)
                                                        : static_cast<double>(raw[i]) * scale + offset;
        return 0;
    });
}

} // namespace ZCoreLib
