// R-facing functions of the module. Rcpp's attribute tooling generates the
// routines, the registration table and R_init_HestorTools from the
// [[Rcpp::export]] marks in this file (RcppExports.cpp, R/RcppExports.R).
//
// Index arguments are 0-based. R's NA arrives as INT_MIN, so the lower
// bounds below refuse it together with the negative numbers.

#include <Rcpp.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "HestorTools_types.h"
#include "ZFile.h"
#include "ZStr.h"
#include "rConvert.h"
#include "rHandle.h"
#include "rHeaderList.h"
#include "rMeshTables.h"
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
    // Full blocks have a fixed length, so that the compiler widens several
    // values per instruction at the package's default optimisation.
    long long i = 0;
    for (; i + block <= n; i += block) {
        std::memcpy(floats, bytes + 4 * (n + i), 4 * block);
        for (long long j = 0; j < block; ++j)
            out[i + j] = floats[j];
    }
    const long long k = n - i;
    std::memcpy(floats, bytes + 4 * (n + i), static_cast<size_t>(4 * k));
    for (long long j = 0; j < k; ++j)
        out[i + j] = floats[j];
    return values;
}

// The end (exclusive) of a range of timesteps of the whole series; a negative
// end stands for the series' end. The series is counted only when the opened
// file does not hold the range.
int seriesRangeEnd(hsResultFile& file, int from, int to)
{
    if (from < 0 || to == NA_INTEGER)
        rStop("Invalid timestep number.");
    if (to >= from && to <= file.mInfo.noTimestep)
        return to;
    const int total = file.totalTimesteps();
    const int end = to < 0 ? total : to;
    if (from > end || end > total)
        rStop("Invalid timestep number.");
    return end;
}

// Cells of an element's column, bottom layer to surface; a column without
// cells is refused before anything is divided by its size.
int columnCells(const hsResultFile& file, int element, const std::string& where)
{
    const hestor::hsModelInfo& mi = file.mInfo;
    const int n = mi.ebli && mi.layerDepth ? mi.noLayer - mi.ebli[element] : 0;
    if (n < 1 || n > mi.noLayer)
        rStop(where + ": element " + std::to_string(element) + " has no layers.");
    return n;
}

// The writer's stream is open from writeHeader until writeHSDataClose; a
// handle opened for reading never opens it.
bool isWriting(const hsResultFile& file)
{
    return file.fileStream.is_open();
}

// The object behind a writer's handle describes the file as the header list
// gave it, not as written (its timestep count, the files of its series), so
// the data readers refuse it. Only a writer writes a header, which sizes the
// files of the series; a handle opened for reading never sets that.
// The run is settled before the readers check their timesteps against it, so
// that a read answers for the run it was checked against.
hsResultFile& readerObject(hsHandle& f, const char* routine)
{
    hsResultFile& file = handleObject(f, routine);
    if (isWriting(file) || file.madeForWriting())
        rStop(std::string(routine) +
              ": the handle was made by writeHSFile; open the file with openHSFile to read it.");
    file.settleRun();
    return file;
}

// The readers that place values by element or cell refuse an item of
// neither length, which other model types store, before reading it.
void checkPlacedItem(const hsResultFile& file, int item, const std::string& routine)
{
    const std::string fault = file.unplacedItem(item);
    if (!fault.empty())
        rStop(routine + ": " + fault);
}

// The profile readers take an item's values as cells; an item of another
// layout (one value per element) would give other elements' values, or none.
void checkCellItem(const hsResultFile& file, int item, const std::string& routine)
{
    checkPlacedItem(file, item, routine);
    if (file.itemLengthVec[item] != file.mInfo.noCells)
        rStop(routine + ": item " + std::to_string(item) + " ('" + file.itemNameVec[item] +
              "') holds " + std::to_string(file.itemLengthVec[item]) +
              " values per timestep, not one per cell (" + std::to_string(file.mInfo.noCells) +
              ").");
}

// Mesh files and text result files carry no layers, so the model tables
// (bottom layers, cell and face-cell numbering) do not exist for them.
void requireLayers(const hsResultFile& file, const char* routine)
{
    if (file.mInfo.isInit)
        return;
    if (file.fileFmt == hestor::MESH)
        rStop(std::string(routine) + ": the file holds only a mesh, no layers.");
    rStop(std::string(routine) + ": the file holds no model layers.");
}

// Mesh tables of count entries, as numeric vectors.
template <typename T>
Rcpp::NumericVector meshTable(hsHandle& f, const char* routine, T* hestor::hsMesh2D::*table,
                              int hestor::hsMesh2D::*count)
{
    const hestor::hsMesh2D& m = handleObject(f, routine).mInfo.mesh2d;
    return array2NumVec(m.*table, m.*count);
}

// Per-element model tables: only the first noe entries, not those of the
// boundary pseudo-elements that follow.
Rcpp::NumericVector elemModelTable(hsHandle& f, const char* routine,
                                   int* hestor::hsModelInfo::*table)
{
    hsResultFile& file = handleObject(f, routine);
    requireLayers(file, routine);
    return array2NumVec(file.mInfo.*table, file.mInfo.mesh2d.noe);
}

void checkPolyline(const Rcpp::NumericVector& x, const Rcpp::NumericVector& y)
{
    if (x.size() != y.size())
        rStop("intersectionVMesh: x holds " + std::to_string(x.size()) + " values but y holds " +
              std::to_string(y.size()) + "; give one y per x.");
    if (x.size() < 2)
        rStop("intersectionVMesh: the polyline needs at least two vertices; x and y hold " +
              std::to_string(x.size()) + ".");
    for (R_xlen_t i = 0; i < x.size(); ++i)
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            rStop("intersectionVMesh: vertex " + std::to_string(i) +
                  " (0-based) has a missing or non-finite coordinate.");
    // A section of no length would be made of quadrilaterals of no width; the
    // mesh skips segments shorter than rounding, so they count as no length.
    if (!hestor::hsMesh2D::polylineHasLength(x.begin(), y.begin(), static_cast<int>(x.size())))
        rStop("intersectionVMesh: the polyline has no length; all its vertices lie at one point "
              "(or closer together than the rounding of their coordinates).");
}

// Why openHSFile cannot read a file, for the condition it raises. The probe
// opens as every reader does: a pipe is refused, not waited on, and a
// device or a socket is refused without being opened.
std::string unopenableReason(const std::string& name)
{
    const std::string quoted = "'" + name + "'";
    int err = 0;
    const int fd = ZFile::openForReading(name, err);
    if (fd >= 0) {
        ::close(fd);
        return "openHSFile: the file " + quoted + " cannot be read.";
    }
    if (err == EISDIR)
        return "openHSFile: " + quoted + " is a folder, not a file.";
    if (err == ZFile::notRegular)
        return "openHSFile: " + quoted +
               " is not a regular file (a pipe, a device or a socket); a result file cannot be "
               "read from it.";
    if (err == ENOENT)
        return "openHSFile: the file " + quoted + " does not exist.";
    return "openHSFile: the file " + quoted + " cannot be read: " + std::strerror(err) + ".";
}

// Only emb yields a file; nc is a format name, but there is no writer for it.
int writeFormat(const std::string& format)
{
    const std::string name = ZCoreLib::ZStr::toLower(format);
    if (name == "nc")
        rStop("writeHSFile: the format 'nc' cannot be written; only 'emb' files can.");
    if (name == "emb")
        return hestor::EMB;
    rStop("writeHSFile: invalid file format.");
}

// The library's refusal of a name, with the R calls that remedy it.
std::string refusalInR(const hestor::writerRefused& e)
{
    if (e.kind == hestor::writerRefused::BUSY)
        return "the file '" + e.file + "' is being written by another writer (in this or "
               "another R session); close that writer with writeHSDataClose first.";
    if (e.kind == hestor::writerRefused::NO_FORMAT)
        return "the name '" + e.file + "' has no extension that names a format (openHSFile "
               "could not open the file); end the name in '.emb'.";
    return e.message;
}

// A writer whose handle was dropped lets go of its file when R collects it.
void collectDroppedWriters() { R_gc(); }

// A forked worker (parallel::mclapply, mcparallel) has a copy of the
// parent's handle, but the file and its position are the parent's.
void checkWriterProcess(const hsResultFile& file, const std::string& routine)
{
    if (!file.writerOfThisProcess())
        rStop(routine + ": the writer belongs to another process (pid " +
              std::to_string(file.ownerProcess()) +
              ", the R session that made it with writeHSFile); a forked worker can neither "
              "write through it nor close it.");
}

// A warning that options(warn = 2) may turn into an error: the jump is made
// an exception first, as rStop does.
void rWarn(const std::string& message)
{
    Rcpp::unwindProtect([&message]() -> SEXP {
        Rf_warningcall(R_NilValue, "%s", message.c_str());
        return R_NilValue;
    });
}

} // namespace

// [[Rcpp::export]]
Rcpp::XPtr<hestor::hsResultFile> openHSFile(rFileName fileName)
{
    return libraryCall([&]() -> hsHandle {
        if (!ZFile::fileExists(fileName))
            rStopWhy("readHeader failed.", unopenableReason(fileName));
        reclaimDroppedHandles();
        const int fmt = ZFile::getExtension(fileName) == "mesh" ? hestor::MESH : -1;
        std::unique_ptr<hsResultFile> obj(new hsResultFile(fileName, fmt));
        // The name can change after the check: the object stays empty when
        // nothing readable was there any more.
        if (!obj->headerRead)
            rStopWhy("readHeader failed.", unopenableReason(fileName));
        return adoptHandle(obj);
    });
}

// [[Rcpp::export]]
Rcpp::List getHeader(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::List {
        hsResultFile& file = handleObject(f, "getHeader");
        // Its start, count and modification time are the run's own.
        file.settleRun();
        Rcpp::List h = mInfo2header(file.mInfo);
        const int n = file.nItem();
        const int nLen = std::min(n, static_cast<int>(file.itemLengthVec.size()));
        h.push_back(Rcpp::CharacterVector(file.itemNameVec.begin(), file.itemNameVec.end()),
                    "itemNames");
        h.push_back(array2NumVec(file.itemLengthVec.data(), nLen), "itemLengths");
        h.push_back(long2DateTime(file.dateModified), "dateModified");
        return h;
    });
}

// A point with a missing or non-finite coordinate lies in no element.
// [[Rcpp::export]]
int pointElem(Rcpp::XPtr<hestor::hsResultFile> f, double x, double y)
{
    return libraryCall([&]() -> int {
        hsResultFile& file = handleObject(f, "pointElem");
        if (!std::isfinite(x) || !std::isfinite(y))
            return -1;
        return file.mInfo.mesh2d.pointElem(x, y);
    });
}

// [[Rcpp::export]]
int pointElemNearest(Rcpp::XPtr<hestor::hsResultFile> f, double x, double y, int mode)
{
    return libraryCall([&]() -> int {
        hsResultFile& file = handleObject(f, "pointElemNearest");
        if (!std::isfinite(x) || !std::isfinite(y))
            return -1;
        return file.mInfo.mesh2d.pointElemNearest(x, y, mode);
    });
}

// [[Rcpp::export]]
int layerNo(Rcpp::XPtr<hestor::hsResultFile> f, int element, int depth)
{
    return libraryCall([&]() -> int {
        hsResultFile& file = handleObject(f, "layerNo");
        requireLayers(file, "layerNo");
        checkElement(file, element);
        if (depth == NA_INTEGER)
            rStop("layerNo: depth is NA.");
        return file.mInfo.layer(element, static_cast<double>(depth));
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector readItemData(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        hsResultFile& file = readerObject(f, "readItemData");
        checkItem(file, item);
        checkTimestep(file, timestep);
        return readItemValues(file, item, timestep);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector readItemDataElem(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep,
                                     Rcpp::NumericVector elements)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        hsResultFile& file = readerObject(f, "readItemDataElem");
        checkItem(file, item);
        checkTimestep(file, timestep);
        checkElementList(file, elements);
        checkPlacedItem(file, item, "readItemDataElem");
        int m = 0;
        std::unique_ptr<int[]> elems(numVec2intarray(elements, m));
        double* out = nullptr;
        const int k = file.readItemData(item, timestep, elems.get(), m, out);
        std::unique_ptr<double[]> values(out);
        return array2NumVec(values.get(), k);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector readTimeseries(Rcpp::XPtr<hestor::hsResultFile> f, int item, int element,
                                   int layer)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        hsResultFile& file = readerObject(f, "readTimeseries");
        checkItem(file, item);
        // Every layer of 999 or more stands for the uppermost cell holding a value.
        if (layer < 0 || (layer >= file.mInfo.noLayer && layer < 999))
            rStop("Invalid layer number.");
        checkElement(file, element);
        checkPlacedItem(file, item, "readTimeseries");
        double* out = nullptr;
        const int k = file.readTimeSeries(item, element, layer, out, 0, -1);
        std::unique_ptr<double[]> values(out);
        return array2NumVec(values.get(), k);
    });
}

// Long form: one row per timestep and layer, timesteps in order and each
// timestep's column from the surface down. The reader fetches each
// timestep's column with one read.
// [[Rcpp::export]]
Rcpp::DataFrame readTimeseriesProfile(Rcpp::XPtr<hestor::hsResultFile> f, int item, int element,
                                      int fromTimestep, int toTimestep)
{
    return libraryCall([&]() -> Rcpp::DataFrame {
        hsResultFile& file = readerObject(f, "readTimeseriesProfile");
        checkItem(file, item);
        checkElement(file, element);
        checkCellItem(file, item, "readTimeseriesProfile");
        const int end = seriesRangeEnd(file, fromTimestep, toTimestep);
        double* out = nullptr;
        const int n = file.readTimeSeriesProfile(item, element, out, fromTimestep, end);
        std::unique_ptr<double[]> values(out);
        const int nLay = columnCells(file, element, "readTimeseriesProfile");
        const int nTs = n / nLay;
        const R_xlen_t rows = static_cast<R_xlen_t>(nTs) * nLay;
        Rcpp::NumericVector dt(Rcpp::no_init(rows)), depth(Rcpp::no_init(rows)),
            value(Rcpp::no_init(rows));
        dt.attr("tzone") = "GMT";
        dt.attr("class") = Rcpp::CharacterVector::create("POSIXct", "POSIXt");
        const hestor::hsModelInfo& mi = file.mInfo;
        for (int j = 0; j < nTs; ++j) {
            const double t = static_cast<double>(mi.ts2DT(fromTimestep + j));
            const R_xlen_t first = static_cast<R_xlen_t>(j) * nLay;
            for (int k = 0; k < nLay; ++k) {
                dt[first + k] = t;
                depth[first + k] = mi.layerDepth[mi.noLayer - 1 - k];
                value[first + k] = values[first + nLay - 1 - k];
            }
        }
        return Rcpp::DataFrame::create(Rcpp::Named("dt") = dt, Rcpp::Named("depth") = depth,
                                       Rcpp::Named(file.itemNameVec[item]) = value);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector readLayer(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep,
                              int layer)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        hsResultFile& file = readerObject(f, "readLayer");
        checkItem(file, item);
        checkTimestep(file, timestep);
        if ((layer >= file.mInfo.noLayer && layer != 999) || layer < -1)
            rStop("Invalid layer number.");
        checkPlacedItem(file, item, "readLayer");
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
    });
}

// One row per layer of the element, bottom layer first. A timestep in a later
// file of the series is accepted.
// [[Rcpp::export]]
Rcpp::DataFrame readProfile(Rcpp::XPtr<hestor::hsResultFile> f, int item, int timestep,
                            int element)
{
    return libraryCall([&]() -> Rcpp::DataFrame {
        hsResultFile& file = readerObject(f, "readProfile");
        checkItem(file, item);
        if (timestep < 0 ||
            (timestep >= file.mInfo.noTimestep && timestep >= file.totalTimesteps()))
            rStop("Invalid timestep number.");
        checkElement(file, element);
        checkCellItem(file, item, "readProfile");
        const int nl = std::max(file.mInfo.noLayer, 0);
        std::vector<float> buffer(static_cast<size_t>(nl));
        file.readProfile(item, timestep, element, buffer.data());
        const int n = columnCells(file, element, "readProfile");
        const double* layerDepth = file.mInfo.layerDepth;
        // The frame as.data.frame would make of the two columns, made directly:
        // a call into R's as.data.frame costs many times the read itself.
        return numericFrame(frameColumns<2>{"depth", "value"}, n, [&](std::size_t c, int j) {
            return c == 0 ? layerDepth[nl - n + j] : static_cast<double>(buffer[nl - n + j]);
        });
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector getStaticItem(Rcpp::XPtr<hestor::hsResultFile> f, std::string name)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        // Static items are header bytes that every run a handle may take
        // shares with its own: nothing to settle.
        hsResultFile& file = handleObject(f, "getStaticItem");
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
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector getBottomLayerIdx(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return elemModelTable(f, "getBottomLayerIdx", &hestor::hsModelInfo::ebli);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector botlayerIdx(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return elemModelTable(f, "botlayerIdx", &hestor::hsModelInfo::elemFirstCell);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector cellDepth(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        const hestor::hsModelInfo& mi = handleObject(f, "cellDepth").mInfo;
        return array2NumVec(mi.cellDepth, mi.noCells);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector cellVolume(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        const hestor::hsModelInfo& mi = handleObject(f, "cellVolume").mInfo;
        return array2NumVec(mi.cellVolume, mi.noCells);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector elemArea(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return meshTable(f, "elemArea", &hestor::hsMesh2D::eArea, &hestor::hsMesh2D::noe);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector nodeArea(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return meshTable(f, "nodeArea", &hestor::hsMesh2D::nArea, &hestor::hsMesh2D::non);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector facebotlayerIdx(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        hsResultFile& file = handleObject(f, "facebotlayerIdx");
        requireLayers(file, "facebotlayerIdx");
        const hestor::hsMesh2D& m = file.mInfo.mesh2d;
        return array2NumVec(file.mInfo.faceFirstCell, m.noivf + (file.mInfo.bndFaces ? m.nobvf : 0));
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector circumferenceNodes(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        int* out = nullptr;
        const int m = handleObject(f, "circumferenceNodes").mInfo.mesh2d.circumferenceNodes(out);
        std::unique_ptr<int[]> nodes(out);
        return array2NumVec(nodes.get(), m);
    });
}

// [[Rcpp::export]]
Rcpp::DataFrame verticalFaces(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::DataFrame {
        return verticalFaces2frame(handleObject(f, "verticalFaces").mInfo.mesh2d);
    });
}

// [[Rcpp::export]]
int totalTimesteps(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> int {
        return handleObject(f, "totalTimesteps").totalTimesteps();
    });
}

// [[Rcpp::export]]
Rcpp::List elemInfo(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::List {
        return elemInfo2list(handleObject(f, "elemInfo").mInfo.mesh2d);
    });
}

// [[Rcpp::export]]
Rcpp::List nodeInfo(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::List {
        return nodeInfo2list(handleObject(f, "nodeInfo").mInfo.mesh2d);
    });
}

// [[Rcpp::export]]
Rcpp::List bndElems(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::List {
        return bndElems2list(handleObject(f, "bndElems").mInfo.mesh2d);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector nivfpe(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return meshTable(f, "nivfpe", &hestor::hsMesh2D::nivfpe, &hestor::hsMesh2D::noe);
    });
}

// [[Rcpp::export]]
Rcpp::NumericVector nbvfpe(Rcpp::XPtr<hestor::hsResultFile> f)
{
    return libraryCall([&]() -> Rcpp::NumericVector {
        return meshTable(f, "nbvfpe", &hestor::hsMesh2D::nbvfpe, &hestor::hsMesh2D::noe);
    });
}

// [[Rcpp::export]]
Rcpp::Datetime test()
{
    return libraryCall([&]() -> Rcpp::Datetime {
        return Rcpp::Datetime(0.0);
    });
}

// A polyline that misses the mesh gives its outside pieces (element -1) and
// the header of an empty section mesh.
// [[Rcpp::export]]
Rcpp::List intersectionVMesh(Rcpp::XPtr<hestor::hsResultFile> f, Rcpp::NumericVector x,
                             Rcpp::NumericVector y)
{
    return libraryCall([&]() -> Rcpp::List {
        hsResultFile& file = handleObject(f, "intersectionVMesh");
        requireLayers(file, "intersectionVMesh");
        checkPolyline(x, y);
        std::vector<double> xs(x.begin(), x.end()), ys(y.begin(), y.end());
        int* e = nullptr;
        double* d = nullptr;
        const int k = file.mInfo.mesh2d.sectionIntersections(xs.data(), ys.data(),
                                                             static_cast<int>(xs.size()), e, d);
        std::unique_ptr<int[]> elems(e);
        std::unique_ptr<double[]> dists(d);
        std::unique_ptr<hestor::hsMesh2D> section(
            file.mInfo.ise2VMesh(elems.get(), dists.get(), k, nullptr));
        Rcpp::List out;
        out.push_back(array2NumVec(elems.get(), k), "IntersecElem");
        out.push_back(array2NumVec(dists.get(), k), "IntersecDist");
        out.push_back(mesh2header(*section), "IntersecHeader");
        return out;
    });
}

// The list is converted and checked here; the library checks the name,
// builds the model and makes the file (see hsResultFile::createWriter).
// A refused or interrupted call leaves the folder as it was.
// [[Rcpp::export]]
Rcpp::XPtr<hestor::hsResultFile> writeHSFile(Rcpp::List header, rFileName fileName,
                                             std::string format)
{
    return libraryCall([&]() -> hsHandle {
        const int fmt = writeFormat(format);
        const headerModel model = readHeaderModel(header);
        const headerItems items = readHeaderItems(header);
        if (items.names.empty())
            rStop("writeHSFile: itemNames is empty; a file needs at least one item.");
        reclaimDroppedHandles();
        hsResultFile::setBusyHook(collectDroppedWriters);
        std::unique_ptr<hsResultFile> obj;
        std::string refused;
        try {
            obj = hsResultFile::createWriter(
                fileName, fmt, [&](hestor::hsModelInfo& m) { header2mInfo(model, &m); },
                items.names, items.lengths);
        } catch (const hestor::writerRefused& e) {
            refused = refusalInR(e);
        }
        if (!refused.empty())
            rStop("writeHSFile: " + refused);
        return adoptHandle(obj);
    });
}

// [[Rcpp::export]]
int writeHSData(Rcpp::XPtr<hestor::hsResultFile> f, Rcpp::NumericVector values)
{
    return libraryCall([&]() -> int {
        hsResultFile& file = handleObject(f, "writeHSData");
        if (!isWriting(file))
            rStop("writeHSData: the file is not open for writing (closed, or opened for reading).");
        checkWriterProcess(file, "writeHSData");
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
    });
}

// Harmless on a handle that is already closed or was never written.
// [[Rcpp::export]]
void writeHSDataClose(Rcpp::XPtr<hestor::hsResultFile> f)
{
    libraryCall([&] {
        hsResultFile& file = handleObject(f, "writeHSDataClose");
        if (isWriting(file)) {
            checkWriterProcess(file, "writeHSDataClose");
            file.flushBuf();
            // The close after a failed write: the file holds less than given.
            if (file.writeFailed())
                rWarn("writeHSDataClose: " + file.failureNote());
        }
        file.releaseHold();
    });
}
