#include "ZNetCdf.h"

#include <netcdf.h>

#include <algorithm>
#include <cstring>

#include "ZNetCdfType.h"

namespace ZCoreLib {

namespace {

int getAtt(int nc, int v, const char* name, short* p) { return nc_get_att_short(nc, v, name, p); }
int getAtt(int nc, int v, const char* name, int* p) { return nc_get_att_int(nc, v, name, p); }
int getAtt(int nc, int v, const char* name, float* p) { return nc_get_att_float(nc, v, name, p); }
int getAtt(int nc, int v, const char* name, double* p) { return nc_get_att_double(nc, v, name, p); }
int getAtt(int nc, int v, const char* name, long long* p) { return nc_get_att_longlong(nc, v, name, p); }

// Every value of the attribute converted by the library to T (zeros where
// the conversion failed); st receives the library's status.
template <typename T>
std::vector<T> readAttAs(int ncid, int varId, const std::string& name, int& st)
{
    int type = 0;
    size_t len = 0;
    st = nc_inq_att(ncid, varId, name.c_str(), &type, &len);
    if (st != NC_NOERR)
        return {};
    // Strings and user-defined types hold no numbers to convert.
    if (type > NC_UINT64) {
        st = NC_EBADTYPE;
        return {};
    }
    std::vector<T> values(len);
    if (len > 0)
        st = getAtt(ncid, varId, name.c_str(), values.data());
    return values;
}

template <typename T>
T firstAttValue(int ncid, int varId, const std::string& name, int& st)
{
    const std::vector<T> values = readAttAs<T>(ncid, varId, name, st);
    return values.empty() ? T() : values[0];
}

template <typename T>
double firstValue(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<double>(v);
}

} // namespace

void ZNetCdf::enableScaleOffset(std::string scaleName, std::string offsetName, std::string fillName)
{
    const int n = static_cast<int>(varNames.size());
    std::unique_ptr<double[]> scales(new double[n]), offsets(new double[n]);
    std::vector<std::unique_ptr<char[]>> fills(n);
    std::unique_ptr<void*[]> fillTable(new void*[n]);
    auto present = [&](const std::string& att, int v) {
        return !att.empty() && (status = nc_inq_att(ncid, v, att.c_str(), nullptr, nullptr)) == NC_NOERR;
    };
    for (int v = 0; v < n; ++v) {
        scales[v] = present(scaleName, v) ? getNumAttribValue(scaleName, v) : 1.0;
        offsets[v] = present(offsetName, v) ? getNumAttribValue(offsetName, v) : 0.0;
        if (present(fillName, v))
            fills[v] = fillValueInVarType(fillName, v);
    }
    releaseScaleTables();
    for (int v = 0; v < n; ++v)
        fillTable[v] = fills[v].release();
    scaleFactors = scales.release();
    addOffsets = offsets.release();
    fillValues = fillTable.release();
    scaleTableLen_ = n;
}

std::unique_ptr<char[]> ZNetCdf::fillValueInVarType(const std::string& name, int varId)
{
    // Data of other types is never unpacked; a fill value that the type
    // cannot hold matches no value.
    if (!isNcDataType(varTypes[varId]))
        return nullptr;
    return onNcDataType(varTypes[varId], [&](auto tag) {
        typedef decltype(tag) T;
        int st = NC_NOERR;
        const std::vector<T> values = readAttAs<T>(ncid, varId, name, st);
        std::unique_ptr<char[]> fill;
        if (st == NC_NOERR && !values.empty()) {
            fill.reset(new char[sizeof(T)]);
            std::memcpy(fill.get(), values.data(), sizeof(T));
        }
        return fill;
    });
}

bool ZNetCdf::hasAttrib(std::string name, int varId)
{
    status = nc_inq_att(ncid, varId, name.c_str(), nullptr, nullptr);
    return status == NC_NOERR;
}

int ZNetCdf::getIntAttribValue(std::string name, int varId)
{
    return firstAttValue<int>(ncid, varId, name, status);
}

float ZNetCdf::getFloatAttribValue(std::string name, int varId)
{
    return firstAttValue<float>(ncid, varId, name, status);
}

double ZNetCdf::getDoubleAttribValue(std::string name, int varId)
{
    return firstAttValue<double>(ncid, varId, name, status);
}

std::unique_ptr<char[]> ZNetCdf::readNumAttrib(const std::string& name, int varId, int& type)
{
    size_t len = 0;
    status = nc_inq_att(ncid, varId, name.c_str(), &type, &len);
    if (status != NC_NOERR)
        throw ZException(nc_strerror(status));
    if (type != NC_FLOAT && type != NC_DOUBLE && type != NC_SHORT && type != NC_INT && type != NC_BYTE)
        throw ZException("Unsupported nc type: " + std::to_string(type));
    // Room for every value, and for one when there is none.
    std::unique_ptr<char[]> buf(new char[std::max<size_t>(len, 1) * NC_atomictypelen(type)]());
    if (len > 0)
        status = type == NC_BYTE
            ? nc_get_att_ubyte(ncid, varId, name.c_str(), reinterpret_cast<unsigned char*>(buf.get()))
            : nc_get_att(ncid, varId, name.c_str(), buf.get());
    return buf;
}

double ZNetCdf::getNumAttribValue(std::string name, int varId)
{
    int type = 0;
    const std::unique_ptr<char[]> buf = readNumAttrib(name, varId, type);
    switch (type) {
    case NC_FLOAT: return firstValue<float>(buf.get());
    case NC_DOUBLE: return firstValue<double>(buf.get());
    case NC_SHORT: return firstValue<short>(buf.get());
    case NC_INT: return firstValue<int>(buf.get());
    default: return firstValue<unsigned char>(buf.get());
    }
}

void* ZNetCdf::getAttribValue(std::string name, int varId)
{
    int type = 0;
    return readNumAttrib(name, varId, type).release();
}

std::string ZNetCdf::getStringAttribValue(std::string name, int varId)
{
    int type = 0;
    size_t len = 0;
    if (nc_inq_att(ncid, varId, name.c_str(), &type, &len) != NC_NOERR || len == 0)
        return "";
    if (type == NC_STRING) {
        NcStrings strings(len);
        if (nc_get_att_string(ncid, varId, name.c_str(), strings.p.data()) != NC_NOERR
            || strings.p[0] == nullptr)
            return "";
        return strings.p[0];
    }
    // User-defined types have no text form.
    const size_t size = static_cast<size_t>(NC_atomictypelen(type));
    if (size == 0)
        return "";
    std::vector<char> buf(len * size);
    nc_get_att(ncid, varId, name.c_str(), buf.data());
    return std::string(buf.data(), len);
}

} // namespace ZCoreLib
