#include "ZNetCdf.h"

#include <netcdf.h>

#include <new>

#include "ZNetCdfType.h"

namespace ZCoreLib {

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
    if (src->varTypes[srcVar] != varTypes[dstVar])
        throw ZException("Cannot copy the data of '" + src->varNames[srcVar] + "' into '"
                         + varNames[dstVar] + "': the variables differ in type.");
    auto copy = [&](bool oneRecord, size_t record) {
        const std::unique_ptr<int[]> buf = src->readSelection(srcVar, oneRecord, record);
        const int st = writeSelection(dstVar, oneRecord, record, buf.get());
        if (st != NC_NOERR)
            throwNcError(st, "writing '" + varNames[dstVar] + "'");
    };
    // Record by record, so that memory does not grow with the records.
    const std::vector<int>& dims = src->varDimIds[srcVar];
    if (dims.empty() || dims[0] != src->unlimDimId) {
        copy(false, 0);
        return;
    }
    const size_t records = static_cast<size_t>(src->dimLens[dims[0]]);
    for (size_t r = 0; r < records; ++r)
        copy(true, r);
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

void ZNetCdf::copyVarsFrom(ZNetCdf* src, bool flag, bool copyData)
{
    for (int v = 0; v < src->nvars; ++v)
        copyVarFrom(src, v, flag, copyData, "");
    endDefine();
    init(false);
}

void ZNetCdf::copyDimFrom(ZNetCdf* src, int dim, bool copyVars, std::string newName)
{
    if (!newName.empty() && copyVars)
        throw ZException("Cannot copy var when renaming dimension (dimensions a mapped by name).");
    if (dim < 0 || dim >= static_cast<int>(src->dimNames.size()))
        throw ZException("Invalid dimension id " + std::to_string(dim) + " in " + src->fileName);
    if (newName.empty())
        newName = src->dimNames[dim];
    createDim(newName, dim == src->unlimDimId ? -1 : src->dimLens[dim]);
    int coordVar = -1;
    if (copyVars && nc_inq_varid(src->ncid, newName.c_str(), &coordVar) == NC_NOERR)
        copyVarFrom(src, coordVar, true, true, newName);
}

void ZNetCdf::copyDimsFrom(ZNetCdf* src, bool copyVars)
{
    for (int d = 0; d < src->ndims; ++d)
        copyDimFrom(src, d, copyVars, "");
}

} // namespace ZCoreLib
