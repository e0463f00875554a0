#include "ZNetCdf.h"

#include <netcdf.h>

#include <algorithm>
#include <cstdlib>

#include "ZStr.h"

namespace ZCoreLib {

int NC_atomictypelen(int type)
{
    static const int sizes[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    return type >= 1 && type <= 11 ? sizes[type] : 0;
}

int ZNetCdf::varId(std::string name)
{
    int id = -1;
    return nc_inq_varid(ncid, name.c_str(), &id) == NC_NOERR ? id : -1;
}

std::vector<int> ZNetCdf::varId(std::vector<std::string> names, bool throwIfMissing)
{
    std::vector<int> ids;
    for (const std::string& name : names) {
        ids.push_back(varId(name));
        if (ids.back() < 0 && throwIfMissing)
            throw ZException("ZNetCdf:: variable '" + name + "' not found in '" + fileName + "')");
    }
    return ids;
}

int ZNetCdf::dimId(std::string name, bool ignoreCase)
{
    const std::string lower = ignoreCase ? ZStr::toLower(name) : name;
    // Ids of no root dimension have length -1 and match nothing.
    for (size_t d = 0; d < dimNames.size(); ++d)
        if (dimLens[d] >= 0 && (dimNames[d] == name || (ignoreCase && ZStr::toLower(dimNames[d]) == lower)))
            return static_cast<int>(d);
    return -1;
}

int ZNetCdf::dimLen(std::string name)
{
    const int d = dimId(name, false);
    return d >= 0 ? dimLens[d] : -1;
}

std::vector<int> ZNetCdf::dimIds(std::string csv)
{
    std::vector<int> ids;
    for (const std::string& item : ZStr::Split(csv, ",", false, false))
        ids.push_back(dimId(item, false));
    return ids;
}

int ZNetCdf::dimNameCsv2dimIdArr(std::string csv, int*& ids)
{
    const std::vector<int> v = dimIds(csv);
    ids = new int[v.size()];
    std::copy(v.begin(), v.end(), ids);
    return static_cast<int>(v.size());
}

std::vector<int> ZNetCdf::csv2varIds(std::string csv)
{
    std::vector<int> ids;
    for (const std::string& item : ZStr::Split(csv, ",", false, false))
        ids.push_back(ZStr::isInteger(item) ? std::atoi(item.c_str()) : varId(item));
    return ids;
}

int ZNetCdf::findFirstVarId(int ndims, std::string attName, bool firstDimUnlimited, int totLen)
{
    for (int v = 0; v < static_cast<int>(varNames.size()); ++v) {
        if (varNdims[v] != ndims)
            continue;
        if (firstDimUnlimited && (ndims < 1 || varDimIds[v][0] != unlimDimId))
            continue;
        if (!attName.empty() && nc_inq_attid(ncid, v, attName.c_str(), nullptr) != NC_NOERR)
            continue;
        if (totLen < 0 || totLen == varTotLength(v, true))
            return v;
    }
    return -1;
}

int ZNetCdf::typeSize(int type)
{
    size_t size = 0;
    nc_inq_type(ncid, type, nullptr, &size);
    return static_cast<int>(size);
}

int ZNetCdf::test()
{
    return nc_inq_var(ncid, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
}

} // namespace ZCoreLib
