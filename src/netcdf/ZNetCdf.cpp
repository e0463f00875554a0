#include "ZNetCdf.h"

#include <netcdf.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "ZFile.h"

namespace ZCoreLib {

ZNetCdf::ZNetCdf(std::string fileName, bool create)
    : status(NC_NOERR), deflateLevel(2), ncid(-1), reserved(1), ndims(0), nvars(0), ngatts(0),
      unlimDimId(-1), valuesPerStep2D(-1), valuesPerStep3D(-1), fileName(fileName),
      scaleFactors(nullptr), addOffsets(nullptr), fillValues(nullptr)
{
    int st;
    if (create) {
        st = nc_create(fileName.c_str(), NC_NETCDF4, &ncid);
    } else {
        if (!ZFile::fileExists(fileName))
            throw ZException("No such file: '" + fileName + "'");
        st = nc_open(fileName.c_str(), NC_NOWRITE, &ncid);
    }
    if (st != NC_NOERR) {
        ncid = -1;
        throw ZException(nc_strerror(st));
    }
    try {
        init(create);
    } catch (...) {
        closeQuietly();
        throw;
    }
}

ZNetCdf::~ZNetCdf()
{
    closeQuietly();
    releaseScaleTables();
}

void ZNetCdf::close()
{
    if (ncid < 0)
        return;
    // Buffered data reaches the disk here: a failure means the file is lost.
    const int st = nc_close(ncid);
    ncid = -1;
    if (st != NC_NOERR)
        throwNcError(st, "closing the file");
}

void ZNetCdf::closeQuietly() noexcept
{
    if (ncid >= 0)
        nc_close(ncid);
    ncid = -1;
}

void ZNetCdf::releaseScaleTables() noexcept
{
    delete[] scaleFactors;
    delete[] addOffsets;
    if (fillValues != nullptr)
        for (int v = 0; v < scaleTableLen_; ++v)
            delete[] static_cast<char*>(fillValues[v]);
    delete[] fillValues;
    scaleFactors = nullptr;
    addOffsets = nullptr;
    fillValues = nullptr;
    scaleTableLen_ = 0;
}

void ZNetCdf::init(bool empty)
{
    dimNames.clear();
    dimLens.clear();
    varNames.clear();
    varNdims.clear();
    varTypes.clear();
    varDimIds.clear();
    groupNames_.clear();
    if (empty) {
        ndims = nvars = 0;
        return;
    }
    if (nc_inq(ncid, &ndims, &nvars, &ngatts, &unlimDimId) != NC_NOERR)
        throw ZException("Error reading file.");
    int groups = 0;
    if (nc_inq_grps(ncid, &groups, nullptr) != NC_NOERR)
        throw ZException("Error reading file.");
    std::vector<int> groupIds(static_cast<size_t>(groups));
    if (groups > 0 && nc_inq_grps(ncid, &groups, groupIds.data()) != NC_NOERR)
        throw ZException("Error reading file.");
    char name[NC_MAX_NAME + 1];
    for (int g : groupIds) {
        if (nc_inq_grpname(g, name) != NC_NOERR)
            throw ZException("Error reading file.");
        groupNames_.push_back(name);
    }
    fileBytes_ = classicFileBytes();
    // The root group's dimension ids need not be 0 .. ndims-1: a subgroup's
    // dimension may take an id between two of them. The caches are indexed
    // by id, and an id of no root dimension holds an empty name and -1.
    std::vector<int> ids(static_cast<size_t>(std::max(ndims, 0)));
    int n = 0;
    if (nc_inq_dimids(ncid, &n, ids.data(), 0) != NC_NOERR || n != ndims)
        throw ZException("Error reading file.");
    for (int d : ids) {
        if (d < 0)
            throw ZException("Error reading file.");
        size_t len = 0;
        if (nc_inq_dimlen(ncid, d, &len) != NC_NOERR)
            throw ZException("Error reading dimension length from NetCdf file.");
        if (nc_inq_dimname(ncid, d, name) != NC_NOERR)
            throw ZException("Error reading dimension name from NetCdf file.");
        // The caches and every size derived from them are int.
        if (len > static_cast<size_t>(INT_MAX))
            throw ZException("Dimension '" + std::string(name) + "' in " + fileName
                             + " is too long: " + std::to_string(len) + " values.");
        cacheDim(d, name, static_cast<int>(len));
    }
    for (int v = 0; v < nvars; ++v) {
        std::string varName;
        int type = 0;
        std::vector<int> dims;
        if (inqVar(ncid, v, varName, type, dims) != NC_NOERR)
            throw ZException("Error reading variable info from NetCdf file.");
        // Dimension ids index the caches.
        for (int d : dims)
            if (d < 0 || d >= static_cast<int>(dimLens.size()) || dimLens[d] < 0)
                throw ZException("Variable '" + varName + "' in " + fileName
                                 + " uses dimension id " + std::to_string(d)
                                 + ", which is not one of the file's own.");
        varNames.push_back(varName);
        varNdims.push_back(static_cast<int>(dims.size()));
        varTypes.push_back(type);
        varDimIds.push_back(dims);
    }
    // A record too large for int leaves its size -1: reads of it are
    // refused, the rest of the file stays usable.
    auto perStep = [this](int v) {
        const unsigned long long p = cappedDimProduct(v, 1, false);
        return p > static_cast<unsigned long long>(INT_MAX) ? -1 : static_cast<int>(p);
    };
    bool found2D = false, found3D = false;
    valuesPerStep2D = valuesPerStep3D = -1;
    for (int v = 0; v < nvars; ++v) {
        if (varNdims[v] < 3 || varDimIds[v][0] != unlimDimId)
            continue;
        if (varNdims[v] == 3 && !found2D) {
            valuesPerStep2D = perStep(v);
            found2D = true;
        }
        if (varNdims[v] == 4 && !found3D) {
            valuesPerStep3D = perStep(v);
            found3D = true;
        }
    }
}

void ZNetCdf::cacheDim(int id, const std::string& name, int len)
{
    if (id >= static_cast<int>(dimLens.size())) {
        dimNames.resize(static_cast<size_t>(id) + 1);
        dimLens.resize(static_cast<size_t>(id) + 1, -1);
    }
    dimNames[id] = name;
    dimLens[id] = len;
}

long long ZNetCdf::classicFileBytes() const
{
    int format = 0;
    if (nc_inq_format(ncid, &format) != NC_NOERR)
        return -1;
    if (format != NC_FORMAT_CLASSIC && format != NC_FORMAT_64BIT_OFFSET && format != NC_FORMAT_CDF5)
        return -1;
    return ZFile::fileSize(fileName);
}

std::vector<int> ZNetCdf::unlimitedDims() const
{
    int n = 0;
    if (nc_inq_unlimdims(ncid, &n, nullptr) != NC_NOERR || n <= 0)
        return {};
    std::vector<int> ids(static_cast<size_t>(n));
    if (nc_inq_unlimdims(ncid, &n, ids.data()) != NC_NOERR)
        return {};
    ids.resize(static_cast<size_t>(n));
    return ids;
}

int ZNetCdf::inqVar(int ncid, int varId, std::string& name, int& type, std::vector<int>& dims)
{
    char buf[NC_MAX_NAME + 1];
    int n = 0;
    int st = nc_inq_varndims(ncid, varId, &n);
    if (st != NC_NOERR)
        return st;
    dims.assign(static_cast<size_t>(n), -1);
    st = nc_inq_var(ncid, varId, buf, &type, nullptr, dims.data(), nullptr);
    if (st == NC_NOERR)
        name = buf;
    return st;
}

void ZNetCdf::endDefine()
{
    // A netCDF-4 file leaves define mode by itself when data is written.
    const int st = nc_enddef(ncid);
    if (st != NC_NOERR && st != NC_ENOTINDEFINE)
        throwNcError(st, "ending the definitions");
}

void ZNetCdf::metaDone()
{
    endDefine();
    init(false);
}

int ZNetCdf::createDim(std::string name, int len)
{
    int id = -1;
    const int st = nc_def_dim(ncid, name.c_str(), len < 0 ? NC_UNLIMITED : static_cast<size_t>(len), &id);
    if (st != NC_NOERR)
        return st;
    if (len < 0)
        unlimDimId = id;
    cacheDim(id, name, len < 0 ? 0 : len);
    ++ndims;
    return id;
}

int ZNetCdf::defVar(std::string name, std::vector<int> dimIds, int type)
{
    char ncName[NC_MAX_NAME + 1] = {};
    std::strncpy(ncName, name.c_str(), NC_MAX_NAME);
    int id = -1;
    int st = nc_def_var(ncid, ncName, type, static_cast<int>(dimIds.size()), dimIds.data(), &id);
    if (st != NC_NOERR)
        throwNcError(st, "defining variable '" + name + "'");
    varNames.push_back(ncName);
    varNdims.push_back(static_cast<int>(dimIds.size()));
    varTypes.push_back(type);
    varDimIds.push_back(dimIds);
    ++nvars;
    // The library compresses no scalar and no value of variable length; the
    // variable stays cached either way, since the file holds it now.
    if (!dimIds.empty() && !variableLength(type)) {
        st = nc_def_var_deflate(ncid, id, 1, 1, deflateLevel);
        if (st != NC_NOERR)
            throwNcError(st, "compressing variable '" + name + "'");
    }
    return id;
}

bool ZNetCdf::variableLength(int type) const
{
    if (type == NC_STRING)
        return true;
    int typeClass = 0;
    return type > NC_MAX_ATOMIC_TYPE
        && nc_inq_user_type(ncid, type, nullptr, nullptr, nullptr, nullptr, &typeClass) == NC_NOERR
        && typeClass == NC_VLEN;
}

void ZNetCdf::checkVarId(int varId) const
{
    if (varId < 0 || varId >= static_cast<int>(varNames.size()))
        throw ZException("Invalid variable id " + std::to_string(varId) + " in " + fileName);
}

void ZNetCdf::throwNcError(int st, const std::string& what) const
{
    throw ZException(std::string(nc_strerror(st)) + " (" + what + " in " + fileName + ")");
}

} // namespace ZCoreLib
