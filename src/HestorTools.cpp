// R-facing functions of the module. Rcpp's attribute tooling generates the
// routines, the registration table and R_init_HestorTools from the
// [[Rcpp::export]] marks in this file (RcppExports.cpp, R/RcppExports.R).
//
// Index arguments are 0-based. R's NA arrives as INT_MIN, so the lower
// bounds below refuse it together with the negative numbers.

#include <Rcpp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "HestorTools_types.h"
#include "ZFile.h"
#include "ZStr.h"
#include "rConvert.h"
#include "rHandle.h"
#include "rHeaderList.h"
#include "rStop.h"

using hestor::hsResultFile;
using ZCoreLib::ZFile;

namespace {

void checkItem(const hsResultFile& file, int item)
{
    if (item < 0 || item >= file.nItem())
        rStop("Invalid item number.");
}

void checkTimestep(const hsResultFile& file, int timestep)
{
    if (timestep < 0 || timestep >= file.mInfo.noTimestep)
        rStop("Invalid timestep number.");
}

void checkElement(const hsResultFile& file, int element)
{
    if (element < 0 || element >= file.mInfo.mesh2d.noe)
        rStop("Invalid element number.");
}

// A negative entry is passed on (it contributes nothing); NA and entries at
// or beyond noe are refused before anything is read.
void checkElementList(const hsResultFile& file, const Rcpp::NumericVector& elements)
{
    for (double e : elements)
        if (std::isnan(e) || e >= file.mInfo.mesh2d.noe)
            rStop("Invalid element number.");
}

// Static item values: count 32-bit ints or 64-bit doubles, widened to double.
template <typename T>
Rcpp::NumericVector staticValues(const hestor::staticItem& s)
{
    const long long need = static_cast<long long>(s.count) * static_cast<long long>(sizeof(T));
    if (s.count < 0 || need > s.byteLength || (s.count > 0 && s.data == nullptr))
        rStop("getStaticItem: static item '" + s.name + "' holds " +
              std::to_string(s.byteLength) + " bytes, fewer than its count of " +
              std::to_string(s.count) + " values needs.");
    Rcpp::NumericVector v(s.count);
    for (int i = 0; i < s.count; ++i) {
        T x;
        std::memcpy(&x, s.data + static_cast<size_t>(i) * sizeof(T), sizeof(T));
        v[i] = static_cast<double>(x);
    }
    return v;
}

// An item at a timestep of the opened file, read straight into the R vector:
// the float32 values fill its upper half and are widened in place from the
// front, a block at a time. Values i .. i+k-1 become bytes [8i, 8(i+k)), which
// lie below every float of a later block (from 4n + 4(i+k) on), and the block's
// own floats are copied out first. Records hold millions of values; this needs
// no buffer of their size besides the result. The header reader has checked
// that the file holds every record its timestep count promises, so the length
// is backed by data before anything of that size is allocated.
Rcpp::NumericVector readItemValues(hsResultFile& file, int item, int timestep)
{
    const long long n = std::max(file.itemLengthVec[item], 0);
    Rcpp::NumericVector values(Rcpp::no_init(static_cast<R_xlen_t>(n)));
    char* bytes = reinterpret_cast<char*>(values.begin());
    file.readItemData(item, timestep, reinterpret_cast<float*>(bytes + 4 * n));
    constexpr long long block = 4096;
    float floats[block];
    double* out = values.begin();
    for (long long i = 0; i < n; i += block) {
        const long long k = std::min(block, n - i);
        std::memcpy(floats, bytes + 4 * (n + i), static_cast<size_t>(4 * k));
        for (long long j = 0; j < k; ++j)
            out[i + j] = floats[j];
    }
    return values;
}

// The writer's stream is open from writeHeader until writeHSDataClose; a
// handle opened for reading never opens it.
bool isWriting(const hsResultFile& file)
{
    return file.fileStream.is_open();
}

int writeFormat(const std::string& format)
{
    const std::string name = ZCoreLib::ZStr::toLower(format);
    if (name == "nc")
        return hestor::NC;
    if (name == "emb")
        return hestor::EMB;
    rStop("writeHSFile: invalid file format.");
}

} // namespace

// [[Rcpp::export]]
Rcpp::XPtr<hestor::hsResultFile> openHSFile(std::string fileName)
{
    if (!ZFile::fileExists(fileName))
        rStop("readHeader failed.");
    const int fmt = ZFile::getExtension(fileName) == "mesh" ? hestor::MESH : -1;
    std::unique_ptr<hsResultFile> obj(new hsResultFile(fileName, fmt));
    return adoptHandle(obj);
}

// [[Rcpp::export]]
Rcpp::List getHeader(Rcpp::XPtr<hestor::hsResultFile> f)
{
    hsResultFile& file = *f.checked_get();
    Rcpp::List h = mInfo2header(file.mInfo);
    const int n = file.nItem();
    const int nLen = std::min(n, static_cast<int>(file.itemLengthVec.size()));
    h.push_back(Rcpp::CharacterVector(file.itemNameVec.begin(), file.itemNameVec.end()),
                "itemNames");
    h.push_back(array2NumVec(file.itemLengthVec.data(), nLen), "itemLengths");
    h.push_back(long2DateTime(file.dateModified), "dateModified");
    return h;
}

// [[Rcpp::export]]
Rcpp::NumericVector readItemData(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep)
{
    hsResultFile& file = *f.checked_get();
    checkItem(file, item);
    checkTimestep(file, timestep);
    return readItemValues(file, item, timestep);
}

// [[Rcpp::export]]
Rcpp::NumericVector readItemDataElem(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep,
                                     Rcpp::NumericVector elements)
{
    hsResultFile& file = *f.checked_get();
    checkItem(file, item);
    checkTimestep(file, timestep);
    checkElementList(file, elements);
    int m = 0;
    std::unique_ptr<int[]> elems(numVec2intarray(elements, m));
    double* out = nullptr;
    const int k = file.readItemData(item, timestep, elems.get(), m, out);
    std::unique_ptr<double[]> values(out);
    return array2NumVec(values.get(), k);
}

// [[Rcpp::export]]
Rcpp::NumericVector readTimeseries(Rcpp::XPtr<hestor::hsResultFile> f, int item, int element,
                                   int layer)
{
    hsResultFile& file = *f.checked_get();
    checkItem(file, item);
    // Every layer of 999 or more stands for the uppermost cell holding a value.
    if (layer < 0 || (layer >= file.mInfo.noLayer && layer < 999))
        rStop("Invalid layer number.");
    checkElement(file, element);
    double* out = nullptr;
    const int k = file.readTimeSeries(item, element, layer, out, 0, -1);
    std::unique_ptr<double[]> values(out);
    return array2NumVec(values.get(), k);
}

// [[Rcpp::export]]
Rcpp::NumericVector readLayer(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep,
                              int layer)
{
    hsResultFile& file = *f.checked_get();
    checkItem(file, item);
    checkTimestep(file, timestep);
    if ((layer >= file.mInfo.noLayer && layer != 999) || layer < -1)
        rStop("Invalid layer number.");
    const int noe = file.mInfo.mesh2d.noe;
    std::vector<float> buffer(static_cast<size_t>(noe));
    float* p = buffer.data();
    file.readLayer(item, timestep, layer, p);
    Rcpp::NumericVector values = array2NumVec(buffer.data(), noe);
    const int* ebli = file.mInfo.ebli;
    if (layer != -1 && ebli)
        for (int e = 0; e < noe; ++e)
            if (ebli[e] > layer)
                values[e] = R_NaReal;
    return values;
}

// [[Rcpp::export]]
Rcpp::NumericVector getStaticItem(Rcpp::XPtr<hestor::hsResultFile> f, std::string name)
{
    hsResultFile& file = *f.checked_get();
    for (const hestor::staticItem& s : file.staticItemVec) {
        if (s.name != name)
            continue;
        if (s.type == "int")
            return staticValues<int32_t>(s);
        if (s.type == "double")
            return staticValues<double>(s);
        rStop("Unsupported static item type.");
    }
    return Rcpp::NumericVector(0);
}

// [[Rcpp::export]]
int totalTimesteps(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return f.checked_get()->totalTimesteps();
}

// [[Rcpp::export]]
Rcpp::Datetime test()
{
    return Rcpp::Datetime(0.0);
}

// The format and the whole list are checked before an existing file of that
// name is removed, so a mistyped call leaves the user's file alone. The whole
// series of that name goes: a later file of an earlier run would otherwise
// read as part of the new one.
// [[Rcpp::export]]
Rcpp::XPtr<hestor::hsResultFile> writeHSFile(Rcpp::List header, std::string fileName,
                                             std::string format)
{
    const int fmt = writeFormat(format);
    const headerModel model = readHeaderModel(header);
    const headerItems items = readHeaderItems(header);
    const std::string stuck = hsResultFile::removeSeries(fileName);
    if (!stuck.empty())
        rStop("writeHSFile: could not remove the existing file '" + stuck + "'.");
    std::unique_ptr<hsResultFile> obj(new hsResultFile(fileName, fmt));
    header2mInfo(model, &obj->mInfo);
    for (size_t i = 0; i < items.names.size(); ++i)
        obj->addItem(items.names[i], items.lengths[i]);
    obj->writeHeader();
    return adoptHandle(obj);
}

// [[Rcpp::export]]
int writeHSData(Rcpp::XPtr<hestor::hsResultFile> f, Rcpp::NumericVector values)
{
    hsResultFile& file = *f.checked_get();
    if (!isWriting(file))
        rStop("writeHSData: the file is not open for writing (closed, or opened for reading).");
    const int item = file.writeItem;
    if (item < 0 || item >= file.nItem() || item >= static_cast<int>(file.itemLengthVec.size()))
        rStop("writeHSData: the file expects no further item.");
    const int n = static_cast<int>(values.size());
    if (n != file.itemLengthVec[item])
        rStop("writeHSData: item " + std::to_string(item) + " ('" + file.itemNameVec[item] +
              "') takes " + std::to_string(file.itemLengthVec[item]) + " values, not " +
              std::to_string(n) + ".");
    std::vector<float> floats(values.begin(), values.end());
    return file.writeData(floats.data(), n);
}

// Harmless on a handle that is already closed or was never written.
// [[Rcpp::export]]
void writeHSDataClose(Rcpp::XPtr<hestor::hsResultFile> f)
{
    hsResultFile& file = *f.checked_get();
    if (isWriting(file))
        file.flushBuf();
}
