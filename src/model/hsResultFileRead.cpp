// Reading item values out of binary result files: whole items, element lists,
// layers, profiles and time series across the files of a series.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "ZArray.h"
#include "ZCancel.h"
#include "ZMessage.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "Result files hold little-endian values, which these readers copy unchanged."
#endif

namespace hestor {

using ZCoreLib::ZArray;
using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

bool isMissing(float v) { return v == missingValue; }

// The uppermost value of a column (bottom first) that is not missing; the
// bottom value when all are.
float uppermost(const float* col, int m)
{
    for (int k = m - 1; k > 0; --k)
        if (!isMissing(col[k]))
            return col[k];
    return m > 0 ? col[0] : missingValue;
}

std::string endsBefore(const std::string& name, long long n, long long pos)
{
    return "hsResultFile: result file '" + name + "' ends before the " + str(n) +
           " values at byte " + str(pos) + ".";
}

// Where an item's values lie in the timestep records of a file.
struct itemLayout {
    long long total;  // floats per timestep record
    long long before; // floats of the items before this one
    int length;
};

// File k of a series opened for reads at byte positions, through the
// descriptor its identity was checked on. A time series of one cell reads
// four bytes per timestep, so nothing is read ahead.
class valueReader {
public:
    valueReader(hsResultFile& owner, int k)
        : name_(hsResultFile::seriesFileName(owner.fileName, k)),
          file_(owner.openSeriesFile(k, start_))
    {
    }

    // n values from value j of the item at local timestep ts.
    void read(const itemLayout& lay, int ts, long long j, float* dst, long long n)
    {
        if (n <= 0)
            return;
        const long long pos =
            start_ + 4 * (static_cast<long long>(ts) * lay.total + lay.before + j);
        if (file_->readAt(pos, dst, 4 * n) != 4 * n)
            throw ZException(endsBefore(name_, n, pos));
    }

private:
    std::string name_;
    long long start_ = 0;
    std::unique_ptr<hsResultFile::openFile> file_;
};

void checkItem(const hsResultFile& f, int item, const std::string& where)
{
    const int n = std::min<int>(f.nItem(), static_cast<int>(f.itemLengthVec.size()));
    if (item < 0 || item >= n)
        throw ZException(where + " Invalid item number " + str(item) + "; " + f.fileName +
                         " has " + str(n) + " items.");
}

itemLayout layoutOf(const hsResultFile& f, int item, const std::string& where)
{
    checkItem(f, item, where);
    return {f.totItemSize(), f.totItemSize(item), f.itemLengthVec[item]};
}

void checkElem(const hsResultFile& f, int elem, const std::string& where)
{
    const int noe = f.mInfo.mesh2d.noe;
    if (elem < 0 || elem >= noe)
        throw ZException(where + " Invalid element number " + str(elem) + "; the mesh has " +
                         str(noe) + " elements.");
}

// The z-layer readers index cells through the model's column tables.
void requireColumns(const hsResultFile& f, const std::string& where)
{
    if (!f.mInfo.ebli || !f.mInfo.elemFirstCell)
        throw ZException(where + " The model description of " + f.fileName +
                         " has no cell tables.");
}

// Values [first, first + n) must lie within the item's record.
void checkSpan(const itemLayout& lay, long long first, long long n, int item,
               const std::string& where)
{
    if (first < 0 || n < 0 || first + n > lay.length)
        throw ZException(where + " Item " + str(item) + " holds " + str(lay.length) +
                         " values per timestep, but values " + str(first) + " to " +
                         str(first + n - 1) + " are needed.");
}

// Layer codes: -1 bottom, 0 .. noLayer-1 a layer, 999 and above the top value.
void checkLayerCode(int layer, int noLayer, const std::string& where)
{
    if (layer < -1 || (layer >= noLayer && layer < 999))
        throw ZException(where + " Invalid layer " + str(layer) + "; the model has layers 0 to " +
                         str(noLayer - 1) + " (-1: bottom cell, 999: uppermost value).");
}

// The file of the series (its number) that holds global timestep ts; ts
// becomes local. getFilename(int&) moves fileNo; the readers leave it where
// it was.
int fileOfTimestep(hsResultFile& f, int& ts)
{
    const int fileNo = f.fileNo;
    const bool first = ts >= 0 && ts < f.mInfo.noTimestep;
    try {
        f.getFilename(ts);
    } catch (...) {
        f.fileNo = fileNo;
        throw;
    }
    const int k = first ? 0 : f.fileNo;
    f.fileNo = fileNo;
    return k;
}

// The formats whose items lie in timestep records.
bool holdsRecords(const hsResultFile& f)
{
    return f.fileFmt == EMB || f.fileFmt == RESTART || f.fileFmt == DECOUPLED;
}

// Readers that place values by element or cell refuse an item they cannot
// place, rather than take its values by one layout or the other.
void checkPlaced(const hsResultFile& f, int item, const std::string& where)
{
    const std::string fault = f.unplacedItem(item);
    if (!fault.empty())
        throw ZException(where + ": " + fault);
}

// The values of an item at global timestep ts. The file holds the record: its
// count, checked against its size when first seen, covers ts.
std::vector<float> readRecord(hsResultFile& f, int item, int ts, const std::string& where)
{
    const itemLayout lay = layoutOf(f, item, where);
    const int k = fileOfTimestep(f, ts);
    valueReader r(f, k);
    std::vector<float> rec(static_cast<size_t>(std::max(lay.length, 0)));
    r.read(lay, ts, 0, rec.data(), lay.length);
    return rec;
}

long long sum(const std::vector<int>& counts)
{
    long long n = 0;
    for (int c : counts)
        n += c;
    return n;
}

// The end of a time-series range; a negative end is the end of the series.
// The counts are the ones totalTimesteps gives.
int seriesEnd(hsResultFile& f, int from, int to)
{
    const int nt = f.mInfo.noTimestep;
    if (to < 0) {
        const long long total = sum(f.seriesTimesteps(-1));
        to = total > INT_MAX ? INT_MAX : static_cast<int>(total);
    } else if (to > nt && sum(f.seriesTimesteps(to)) < to) {
        throw ZException("Invalid timeStepTo");
    }
    if (to < from)
        throw ZException("timeStepFrom>timeStepTo");
    return to;
}

// Calls read(reader, local timestep, k) for the global timesteps from .. to-1,
// k counting from 0. Each file holds the timesteps counted when it was first
// seen; the series is counted once and each file opened once.
template <typename F>
void walkSeries(hsResultFile& f, int from, int to, F read)
{
    if (from >= to)
        return;
    if (from < 0) {
        int ts = from;
        fileOfTimestep(f, ts); // throws the negative-timestep message
    }
    const std::vector<int> counts = f.seriesTimesteps(to);
    long long first = 0; // global number of file k's first timestep
    for (size_t k = 0; first < to; ++k) {
        ZCoreLib::ZCancel::poll();
        if (k >= counts.size())
            throw ZException("Invalid timeStepTo");
        const long long end = first + counts[k];
        if (from < end) {
            valueReader r(f, static_cast<int>(k));
            const long long stop = std::min<long long>(to, end);
            for (long long t = std::max<long long>(from, first); t < stop; ++t)
                read(r, static_cast<int>(t - first), t - from);
        }
        first = end;
    }
}

int checkedCount(long long n, const std::string& where)
{
    if (n > INT_MAX)
        throw ZException(where + " The result would hold " + str(n) +
                         " values, more than can be counted.");
    return static_cast<int>(n);
}

// The timestep count of a series comes from its files: room for the values is
// reserved only up to a bound and grows as timesteps are actually read, so a
// damaged count is refused by the first missing read, not by a huge allocation.
std::vector<double> reserveSeries(long long n)
{
    std::vector<double> v;
    v.reserve(static_cast<size_t>(std::min<long long>(std::max(n, 0LL), 1LL << 20)));
    return v;
}

// A copy the caller owns (delete[]).
double* copyOut(const std::vector<double>& v)
{
    std::unique_ptr<double[]> a(new double[v.size()]);
    std::copy(v.begin(), v.end(), a.get());
    return a.release();
}

// One value per element of a sigma-layer record (noLayer values per element);
// -1 is the bottom layer, 999 and above the uppermost value.
void sigmaLayer(const float* rec, int noe, int n, int layer, float* values)
{
    for (int e = 0; e < noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const float* col = rec + static_cast<size_t>(e) * n;
        values[e] = layer >= 999 ? uppermost(col, n) : col[std::max(layer, 0)];
    }
}

// One value per element of a z-layer record of cells; missing where the
// element has no cell in the layer.
void zLayer(const hsModelInfo& mi, const float* rec, int layer, float* values)
{
    for (int e = 0; e < mi.mesh2d.noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const int b = mi.ebli[e];
        const float* col = rec + mi.elemFirstCell[e];
        if (layer == -1)
            values[e] = col[0];
        else if (layer >= 999)
            values[e] = uppermost(col, mi.noLayer - b);
        else
            values[e] = layer >= b ? col[layer - b] : missingValue;
    }
}

} // namespace

std::string hsResultFile::unplacedItem(int item) const
{
    if (!holdsRecords(*this) || item < 0 || item >= static_cast<int>(itemLengthVec.size()))
        return "";
    const long long n = itemLengthVec[item];
    const long long noe = mInfo.mesh2d.noe;
    if (n == noe || (mInfo.layerType == ZLAYER ? n == mInfo.noCells : n == noe * mInfo.noLayer))
        return "";
    const std::string name =
        item < static_cast<int>(itemNameVec.size()) ? " ('" + itemNameVec[item] + "')" : "";
    return "item " + str(item) + name + " holds " + str(n) +
           " values per timestep, neither one per element (" + str(noe) +
           ") nor one per cell (" + str(mInfo.noCells) + ").";
}

int hsResultFile::readItemData(int item, int ts, float* values)
{
    switch (fileFmt) {
    case TEXT0D:
        throw ZException(
            "hsResultFile::readItemData Data cannot be read by timestep for TEXT0D files.");
    case EMT:
        throw ZException("hsResultFile::readItemData Not implemented for EMT files.");
    case EMB:
    case RESTART:
    case DECOUPLED:
        break;
    default:
        throw ZException("hsResultFile::readItemData undefined format.");
    }
    const itemLayout lay = layoutOf(*this, item, "hsResultFile::readItemData");
    const int k = fileOfTimestep(*this, ts);
    valueReader(*this, k).read(lay, ts, 0, values, lay.length);
    return 0;
}

int hsResultFile::readItemData(int item, int ts, double* values)
{
    // Any other format is refused by the float form, with no values.
    std::vector<float> tmp;
    if (holdsRecords(*this))
        tmp = readRecord(*this, item, ts, "hsResultFile::readItemData");
    else
        readItemData(item, ts, tmp.data());
    std::copy(tmp.begin(), tmp.end(), values);
    return 0;
}

int hsResultFile::readItemData(int item, int ts, int* elems, int nElems, double*& out)
{
    const std::string where = "hsResultFile::readItemData";
    const itemLayout lay = layoutOf(*this, item, where);
    if (nElems < 0)
        throw ZException(where + " Negative element count " + str(nElems) + ".");
    std::vector<double> all;
    if (holdsRecords(*this)) {
        checkPlaced(*this, item, where);
        const std::vector<float> rec = readRecord(*this, item, ts, where);
        all.assign(rec.begin(), rec.end());
    } else {
        readItemData(item, ts, all.data()); // refuses the format
    }
    const int n = mInfo.noLayer;
    const double missing = missingValue;
    std::vector<double> res;
    if (lay.length == mInfo.mesh2d.noe) {
        // One value per element: that value is the element's whole column, as
        // readLayer takes it.
        for (int k = 0; k < nElems; ++k) {
            ZCoreLib::ZCancel::poll();
            const int e = elems[k];
            if (e >= 0) {
                checkElem(*this, e, where);
                res.push_back(all[static_cast<size_t>(e)]);
            } else if (mInfo.layerType == SIGMA) {
                res.push_back(missing);
            }
        }
    } else if (mInfo.layerType == SIGMA) {
        res.reserve(static_cast<size_t>(n) * nElems);
        for (int k = 0; k < nElems; ++k) {
            ZCoreLib::ZCancel::poll();
            const int e = elems[k];
            if (e < 0) {
                res.insert(res.end(), static_cast<size_t>(n), missing);
                continue;
            }
            checkElem(*this, e, where);
            const long long first = static_cast<long long>(e) * n;
            checkSpan(lay, first, n, item, where);
            res.insert(res.end(), all.begin() + first, all.begin() + first + n);
        }
    } else {
        requireColumns(*this, where);
        for (int k = 0; k < nElems; ++k) {
            ZCoreLib::ZCancel::poll();
            const int e = elems[k];
            if (e < 0)
                continue;
            checkElem(*this, e, where);
            const long long first = mInfo.elemFirstCell[e];
            const long long m = std::max(n - mInfo.ebli[e], 0);
            checkSpan(lay, first, m, item, where);
            res.insert(res.end(), all.begin() + first, all.begin() + first + m);
        }
    }
    const int count = checkedCount(static_cast<long long>(res.size()), where);
    out = new double[res.size()];
    std::copy(res.begin(), res.end(), out);
    return count;
}

long long hsResultFile::readNextItemTimestep(int item, double*& values)
{
    checkItem(*this, item, "hsResultFile::readNextItemTimestep");
    if (!itemRead)
        throw ZException("hsResultFile::readNextItemTimestep: no header of " + fileName +
                         " has been read.");
    if (itemRead[item]) {
        ++curTimestep;
        std::fill(itemRead, itemRead + nItem(), false);
    }
    itemRead[item] = true;
    if (fileFmt != EMB && fileFmt != DECOUPLED)
        throw ZException("hsResultFile::readItemData undefined format.");
    readItemData(item, curTimestep, values);
    const double t = curTimestep * mInfo.timestep + static_cast<double>(mInfo.startDT);
    // A damaged timestep length gives a time no long date-time can hold.
    if (!std::isfinite(t) || std::fabs(t) >= 9.2e18)
        throw ZException("hsResultFile::readNextItemTimestep: timestep " + str(curTimestep) +
                         " of " + fileName + " has no valid date-time.");
    return static_cast<long long>(t);
}

int hsResultFile::readLayer(int item, int ts, int layer, float*& values)
{
    const std::string where = "hsResultFile::readLayer";
    switch (fileFmt) {
    case EMB:
        break;
    case EMT:
        throw ZException("hsResultFile::readLayer Not implemented for TEXT1 files.");
    case NC:
        if (mInfo.layerType == SIGMA)
            throw ZException("Not implemented.");
        throw ZException("hsResultFile::readItemData undefined format.");
    default:
        throw ZException("hsResultFile::readLayer undefined format.");
    }
    if (mInfo.layerType != ZLAYER && mInfo.layerType != SIGMA)
        throw ZException("hsResultFile::readLayer unsupported layerType.");
    const itemLayout lay = layoutOf(*this, item, where);
    checkPlaced(*this, item, where);
    const std::vector<float> rec = readRecord(*this, item, ts, where);
    const int noe = mInfo.mesh2d.noe;
    const int n = mInfo.noLayer;
    if (mInfo.layerType == SIGMA) {
        checkLayerCode(layer, n, where);
        checkSpan(lay, 0, static_cast<long long>(noe) * n, item, where);
        sigmaLayer(rec.data(), noe, n, layer, values);
    } else if (lay.length == noe) {
        std::copy(rec.begin(), rec.end(), values);
    } else {
        checkLayerCode(layer, n, where);
        requireColumns(*this, where);
        checkSpan(lay, 0, mInfo.noCells, item, where);
        zLayer(mInfo, rec.data(), layer, values);
    }
    return noe;
}

int hsResultFile::readLayer(int item, int ts, int layer, double*& values)
{
    std::vector<float> tmp(static_cast<size_t>(std::max(mInfo.mesh2d.noe, 0)));
    float* p = tmp.data();
    const int n = readLayer(item, ts, layer, p);
    values = ZArray::fArr2dArr(p, mInfo.mesh2d.noe);
    return n;
}

int hsResultFile::readProfile(int item, int ts, int elem, float* values)
{
    const std::string where = "hsResultFile::readProfile";
    if (fileFmt == EMT)
        throw ZException("hsResultFile::readProfile Not implemented for TEXT1 files.");
    if (fileFmt != EMB)
        throw ZException("hsResultFile::readProfile undefined format.");
    const itemLayout lay = layoutOf(*this, item, where);
    checkPlaced(*this, item, where);
    checkElem(*this, elem, where);
    requireColumns(*this, where);
    const int k = fileOfTimestep(*this, ts);
    const int b = mInfo.ebli[elem];
    const int n = mInfo.noLayer - b;
    const long long first = mInfo.elemFirstCell[elem];
    checkSpan(lay, first, n, item, where);
    std::fill(values, values + mInfo.noLayer, 0.0f);
    valueReader(*this, k).read(lay, ts, first, values + b, n);
    return n;
}

int hsResultFile::readProfile(int item, int ts, int elem, double* values)
{
    std::vector<float> tmp(static_cast<size_t>(std::max(mInfo.noLayer, 0)));
    const int n = readProfile(item, ts, elem, tmp.data());
    std::copy(tmp.begin(), tmp.end(), values);
    return n;
}

int hsResultFile::readTimeSeries(int item, int elem, int layer, double*& values, int from,
                                 int to)
{
    const std::string where = "hsResultFile::readTimeSeries";
    to = seriesEnd(*this, from, to);
    if (fileFmt == EMB) {
        checkElem(*this, elem, where);
        requireColumns(*this, where);
        const int b = mInfo.ebli[elem];
        if (layer < b)
            throw ZException("Layer " + str(layer) + " is below bottom. There are " +
                             str(mInfo.noLayer - b) + " layers in element " + str(elem) +
                             ", numbered (bottom) " + str(b) + " to " + str(mInfo.noLayer - 1) +
                             " (surface).");
    }
    if (fileFmt == EMT)
        throw ZException("hsResultFile::readTimeSeries Not implemented for TEXT1 files.");
    if (fileFmt != EMB)
        throw ZException("hsResultFile::readTimeSeries undefined format.");
    const itemLayout lay = layoutOf(*this, item, where);
    checkPlaced(*this, item, where);
    const bool layered = lay.length == mInfo.noCells;
    const bool top = layered && layer >= 999;
    long long first = elem; // value index; for the top value, the column's bottom
    int span = 1;
    if (layered) {
        checkLayerCode(layer, mInfo.noLayer, where);
        const int b = mInfo.ebli[elem];
        first = mInfo.elemFirstCell[elem] + (top ? 0 : layer - b);
        span = top ? mInfo.noLayer - b : 1;
    }
    checkSpan(lay, first, span, item, where);
    std::vector<double> res = reserveSeries(static_cast<long long>(to - from));
    std::vector<float> col(static_cast<size_t>(span));
    walkSeries(*this, from, to, [&](valueReader& r, int ts, long long) {
        ZCoreLib::ZCancel::poll();
        r.read(lay, ts, first, col.data(), span);
        res.push_back(top ? uppermost(col.data(), span) : col[0]);
    });
    values = copyOut(res);
    return to - from;
}

int hsResultFile::readTimeSeriesProfile(int item, int elem, double*& values, int from, int to)
{
    const std::string where = "hsResultFile::readTimeSeriesProfile";
    checkItem(*this, item, where);
    checkPlaced(*this, item, where);
    if (itemLengthVec[item] != mInfo.noCells)
        throw ZException(
            "readTimeSeriesProfile only supports 3D items. Use readTimeSeries for 2D items.");
    to = seriesEnd(*this, from, to);
    if (fileFmt == EMT)
        throw ZException("hsResultFile::readTimeSeriesProfile Not implemented for TEXT1 files.");
    if (fileFmt != EMB)
        throw ZException("hsResultFile::readTimeSeriesProfile undefined format.");
    const itemLayout lay = layoutOf(*this, item, where);
    checkElem(*this, elem, where);
    requireColumns(*this, where);
    const int m = std::max(mInfo.noLayer - mInfo.ebli[elem], 0);
    const long long first = mInfo.elemFirstCell[elem];
    checkSpan(lay, first, m, item, where);
    const int count = checkedCount(static_cast<long long>(to - from) * m, where);
    std::vector<double> res = reserveSeries(count);
    std::vector<float> col(static_cast<size_t>(m));
    walkSeries(*this, from, to, [&](valueReader& r, int ts, long long) {
        ZCoreLib::ZCancel::poll();
        r.read(lay, ts, first, col.data(), m);
        res.insert(res.end(), col.begin(), col.end());
    });
    values = copyOut(res);
    return count;
}

} // namespace hestor
