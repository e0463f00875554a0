#include "ZNetCdf.h"

#include <netcdf.h>

#include <algorithm>
#include <new>
#include <numeric>

#include "ZNetCdfType.h"

namespace ZCoreLib {

namespace {

// Throws, naming them, when a whole-file copy would meet variables (ids of
// src) it cannot carry: with their values only the data types go, and
// without them every atomic type, since a user-defined type's id means
// nothing in another file. Refused before anything is written, the target
// is never left half-copied.
void refuseTypes(const ZNetCdf& src, const std::vector<int>& vars, bool withData, const std::string& what)
{
    std::string names;
    size_t n = 0;
    for (int v : vars) {
        const int type = src.varTypes[v];
        if (withData ? isNcDataType(type) : type <= NC_MAX_ATOMIC_TYPE)
            continue;
        char typeName[NC_MAX_NAME + 1] = "?";
        nc_inq_type(src.ncid, type, typeName, nullptr);
        names += (n++ == 0 ? "'" : ", '") + src.varNames[v] + "' ("
            + (type > NC_MAX_ATOMIC_TYPE ? "user-defined type '" + std::string(typeName) + "'" : typeName) + ")";
    }
    if (n == 0)
        return;
    throw ZException("Cannot copy every " + what + " of " + src.fileName + ": it has the variable"
                     + (n > 1 ? "s " : " ") + names
                     + (withData ? ", and only variables of the types short, int, float, double and int64"
                                   " are copied with their values."
                                 : ", and variables of user-defined types are not copied."));
}

} // namespace

int NC_copy_att(int ncidIn, int varIn, const char* name, int ncidOut, int varOut)
{
    nc_type type = NC_NAT;
    size_t len = 0;
    int st = nc_inq_att(ncidIn, varIn, name, &type, &len);
    if (st != NC_NOERR)
        return st;
    try {
        if (type == NC_STRING) {
            NcStrings strings(len);
            st = nc_get_att_string(ncidIn, varIn, name, strings.p.data());
            if (st == NC_NOERR)
                st = nc_put_att_string(ncidOut, varOut, name, len,
                                       const_cast<const char**>(strings.p.data()));
            return st;
        }
        if (type > NC_STRING)
            return NC_NOERR;
        std::vector<char> buf(len * static_cast<size_t>(NC_atomictypelen(type)));
        st = nc_get_att(ncidIn, varIn, name, buf.data());
        if (st == NC_NOERR)
            st = nc_put_att(ncidOut, varOut, name, type, len, buf.data());
        return st;
    } catch (const std::bad_alloc&) {
        return NC_ENOMEM;
    }
}

int ZNetCdf::copyVarAttribFrom(ZNetCdf* src, int srcVar, int dstVar, int attNum)
{
    char name[NC_MAX_NAME + 1];
    const int st = nc_inq_attname(src->ncid, srcVar, attNum, name);
    if (st != NC_NOERR)
        return st;
    return NC_copy_att(src->ncid, srcVar, name, ncid, dstVar);
}

void ZNetCdf::copyVarAttribsFrom(ZNetCdf* src, int srcVar, int dstVar)
{
    const std::string what = srcVar == NC_GLOBAL ? std::string("the global attributes")
                                                 : "the attributes of variable " + std::to_string(srcVar);
    int n = 0;
    int st = nc_inq_varnatts(src->ncid, srcVar, &n);
    if (st != NC_NOERR)
        src->throwNcError(st, "reading " + what);
    for (int a = 0; a < n; ++a) {
        st = copyVarAttribFrom(src, srcVar, dstVar, a);
        if (st != NC_NOERR)
            throwNcError(st, "copying " + what + " of " + src->fileName);
    }
}

void ZNetCdf::copyDataFrom(ZNetCdf* src, int srcVar, int dstVar)
{
    src->checkVarId(srcVar);
    checkVarId(dstVar);
    const std::string what = "Cannot copy the data of '" + src->varNames[srcVar] + "' into '" + varNames[dstVar] + "': ";
    if (src->varTypes[srcVar] != varTypes[dstVar])
        throw ZException(what + "the variables differ in type.");
    const size_t valueSize = onNcDataType(varTypes[dstVar], [](auto tag) { return sizeof(tag); });
    const std::vector<int>& srcDims = src->varDimIds[srcVar];
    const std::vector<int>& dstDims = varDimIds[dstVar];
    if (srcDims.size() != dstDims.size())
        throw ZException(what + "the variables differ in number of dimensions.");
    // The source's current lengths, unlimited dimensions included wherever
    // they stand; a dimension unlimited here grows to them.
    const std::vector<int> unlimited = unlimitedDims();
    const size_t rank = srcDims.size();
    std::vector<size_t> extent(rank);
    for (size_t k = 0; k < rank; ++k) {
        extent[k] = static_cast<size_t>(src->dimLens[srcDims[k]]);
        const bool grows = std::find(unlimited.begin(), unlimited.end(), dstDims[k]) != unlimited.end();
        if (!grows && static_cast<size_t>(dimLens[dstDims[k]]) != extent[k])
            throw ZException(what + "dimension '" + dimNames[dstDims[k]] + "' is "
                             + std::to_string(extent[k]) + " long in " + src->fileName + " and "
                             + std::to_string(dimLens[dstDims[k]]) + " here.");
    }
    const unsigned long long total = src->cappedDimProduct(srcVar, 0, false);
    src->checkClaim(srcVar, total);
    if (total == 0)
        return;
    // The stored values move as they are, whatever unpacking the source has
    // switched on: the copied scale and offset apply to them again, and an
    // unpacked integer would be cut or out of its type's range.
    auto copyBlock = [&](const size_t* start, const size_t* count, char* buf) {
        int st = nc_get_vara(src->ncid, srcVar, start, count, buf);
        if (st != NC_NOERR)
            src->throwNcError(st, "reading '" + src->varNames[srcVar] + "'");
        st = nc_put_vara(ncid, dstVar, start, count, buf);
        if (st != NC_NOERR)
            throwNcError(st, "writing '" + varNames[dstVar] + "'");
    };
    if (rank == 0) {
        const size_t zero = 0;
        std::unique_ptr<char[]> buf = newValues<char>(valueSize, *src, srcVar);
        copyBlock(&zero, &zero, buf.get());
        return;
    }
    // Memory stays bounded, and a variable within the budget (a time axis)
    // goes in one read and one write. The innermost dimensions that fit the
    // budget go whole into a block; the block takes as many indices of the
    // dimension s before them as fit, and one of each dimension before s.
    const size_t budget = 64u << 20;
    size_t k = rank, fit = 1;
    while (k > 0 && fit * extent[k - 1] * valueSize <= budget)
        fit *= extent[--k];
    const size_t s = k == 0 ? 0 : k - 1;
    size_t inner = 1;
    for (size_t d = s + 1; d < rank; ++d)
        inner *= extent[d];
    const size_t take = k == 0 ? extent[0] : std::max<size_t>(1, budget / (inner * valueSize));
    std::vector<size_t> start(rank, 0), count(extent);
    std::fill(count.begin(), count.begin() + static_cast<std::ptrdiff_t>(s), 1);
    std::unique_ptr<char[]> buf = newValues<char>(take * inner * valueSize, *src, srcVar);
    auto next = [&]() {
        start[s] += count[s];
        if (start[s] < extent[s])
            return true;
        start[s] = 0;
        for (size_t d = s; d-- > 0;) {
            if (++start[d] < extent[d])
                return true;
            start[d] = 0;
        }
        return false;
    };
    do {
        count[s] = std::min(take, extent[s] - start[s]);
        copyBlock(start.data(), count.data(), buf.get());
    } while (next());
}

int ZNetCdf::copyVarFrom(ZNetCdf* src, int srcVar, bool, bool copyData, std::string)
{
    std::string name;
    int type = 0;
    std::vector<int> srcDims;
    const int st = inqVar(src->ncid, srcVar, name, type, srcDims);
    if (st != NC_NOERR)
        src->throwNcError(st, "reading variable " + std::to_string(srcVar));
    // Dimensions are matched by name; -1 where this file lacks one.
    std::vector<int> dims;
    for (int d : srcDims)
        dims.push_back(d >= 0 && d < static_cast<int>(src->dimNames.size()) ? dimId(src->dimNames[d], false)
                                                                             : -1);
    const int id = defVar(name, dims, type);
    copyVarAttribsFrom(src, srcVar, id);
    if (copyData)
        copyDataFrom(src, srcVar, id);
    return id;
}

void ZNetCdf::refuseGroups(const std::string& what) const
{
    if (groupNames_.empty())
        return;
    std::string names;
    for (const std::string& g : groupNames_)
        names += (names.empty() ? "'" : ", '") + g + "'";
    throw ZException("Cannot copy every " + what + " of " + fileName + ": it has the group"
                     + (groupNames_.size() > 1 ? "s " : " ") + names
                     + ", and only the root group is copied.");
}

void ZNetCdf::copyVarsFrom(ZNetCdf* src, bool flag, bool copyData)
{
    src->refuseGroups("variable");
    std::vector<int> all(src->varTypes.size());
    std::iota(all.begin(), all.end(), 0);
    refuseTypes(*src, all, copyData, "variable");
    for (int v = 0; v < src->nvars; ++v)
        copyVarFrom(src, v, flag, copyData, "");
    endDefine();
    init(false);
}

void ZNetCdf::copyDimFrom(ZNetCdf* src, int dim, bool copyVars, std::string newName)
{
    if (!newName.empty() && copyVars)
        throw ZException("Cannot copy var when renaming dimension (dimensions a mapped by name).");
    if (dim < 0 || dim >= static_cast<int>(src->dimNames.size()) || src->dimLens[dim] < 0)
        throw ZException("Invalid dimension id " + std::to_string(dim) + " in " + src->fileName);
    if (newName.empty())
        newName = src->dimNames[dim];
    const std::vector<int> unlimited = src->unlimitedDims();
    const bool isUnlimited = std::find(unlimited.begin(), unlimited.end(), dim) != unlimited.end();
    createDim(newName, isUnlimited ? -1 : src->dimLens[dim]);
    int coordVar = -1;
    if (copyVars && nc_inq_varid(src->ncid, newName.c_str(), &coordVar) == NC_NOERR)
        copyVarFrom(src, coordVar, true, true, newName);
}

void ZNetCdf::copyDimsFrom(ZNetCdf* src, bool copyVars)
{
    src->refuseGroups("dimension");
    // Ids of no root dimension are gaps in the caches.
    std::vector<int> coordVars;
    if (copyVars) {
        for (int d = 0; d < static_cast<int>(src->dimLens.size()); ++d) {
            const int v = src->dimLens[d] >= 0 ? src->varId(src->dimNames[d]) : -1;
            if (v >= 0)
                coordVars.push_back(v);
        }
        refuseTypes(*src, coordVars, true, "dimension");
    }
    // Every dimension before any coordinate variable: one may span a
    // dimension defined after its own, as lat(lat, lon) does. The ids come
    // out in the source's order either way.
    for (int d = 0; d < static_cast<int>(src->dimLens.size()); ++d)
        if (src->dimLens[d] >= 0)
            copyDimFrom(src, d, false, "");
    for (int v : coordVars)
        copyVarFrom(src, v, true, true, "");
}

} // namespace ZCoreLib
