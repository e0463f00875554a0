#ifndef HESTORTOOLS_RHEADERLIST_H
#define HESTORTOOLS_RHEADERLIST_H

// The header list: the named R list that describes a model (mesh, layers,
// time axis, items). Built from a mesh, a model description or a result
// file; read back into a new model description for writing.
//
// Reading is split in two: readHeaderModel converts and checks every element
// the writer uses, so that a list that does not fit together is refused with
// an R error before any object is touched; header2mInfo then fills a model
// description from the checked values.

#include <Rcpp.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "hsGlobal.h"
#include "hsMesh2D.h"
#include "hsModelInfo.h"
#include "hsResultFile.h"
#include "rConvert.h"
#include "rStop.h"
#include "ZMessage.h"

// ---- building the list

inline Rcpp::IntegerVector rInt(int n) { return Rcpp::IntegerVector::create(n); }

// One small vector per element, made with R's own calls: through Rcpp each
// would also cost a protection record, and meshes have millions of elements.
// The list is protected while it fills; an allocation failure becomes an
// exception (unwindProtect) instead of a jump over the caller's frames.
inline Rcpp::List elemNodes2list(const hestor::hsMesh2D& mesh)
{
    const int noe = mesh.noe > 0 ? mesh.noe : 0;
    const bool hasNodes = mesh.eStart && mesh.enon && mesh.en;
    SEXP nodes = Rcpp::unwindProtect([&]() -> SEXP {
        SEXP list = PROTECT(Rf_allocVector(VECSXP, noe));
        for (int e = 0; hasNodes && e < noe; ++e) {
            rInterrupt::checkEvery1024(e);
            const int n = mesh.enon[e] > 0 ? mesh.enon[e] : 0;
            const int* from = mesh.en + mesh.eStart[e];
            SEXP v = Rf_allocVector(REALSXP, n);
            double* to = REAL(v);
            for (int j = 0; j < n; ++j)
                to[j] = from[j];
            SET_VECTOR_ELT(list, e, v);
        }
        UNPROTECT(1);
        return list;
    });
    return Rcpp::List(nodes);
}

inline Rcpp::List mesh2header(hestor::hsMesh2D& mesh)
{
    const int noe = mesh.noe;
    const int non = mesh.non;
    Rcpp::List h;
    h.push_back(rInt(noe), "noElem");
    h.push_back(rInt(non), "noNode");
    h.push_back(array2NumVec(mesh.eX, noe), "elemXCoor");
    h.push_back(array2NumVec(mesh.eY, noe), "elemYCoor");
    h.push_back(array2NumVec(mesh.nX, non), "nodeXCoor");
    h.push_back(array2NumVec(mesh.nY, non), "nodeYCoor");
    h.push_back(array2NumVec(mesh.nt, non), "nodeType");
    h.push_back(array2NumVec(mesh.eVoronoiX, noe), "eVoronoiX");
    h.push_back(array2NumVec(mesh.eVoronoiY, noe), "eVoronoiY");
    h.push_back(Rcpp::CharacterVector::create(mesh.proj), "proj");
    h.push_back(elemNodes2list(mesh), "elemNodes");
    return h;
}

inline Rcpp::List mInfo2header(hestor::hsModelInfo& mInfo)
{
    Rcpp::List h = mesh2header(mInfo.mesh2d);
    const auto type = static_cast<hestor::modelTypeEnum>(mInfo.modeltype);
    h.push_back(Rcpp::CharacterVector::create(hestor::hsGlobal::modelTypeEnum2str(type)),
                "modeltype");
    h.push_back(long2DateTime(mInfo.startDT), "startDT");
    h.push_back(Rcpp::NumericVector::create(mInfo.timestep), "timestep");
    h.push_back(rInt(mInfo.noTimestep), "noTimestep");
    h.push_back(rInt(mInfo.noLayer), "noLayer");
    h.push_back(rInt(mInfo.noCells), "length");
    h.push_back(Rcpp::NumericVector::create(mInfo.offsetDepth), "offsetDepth");
    if (mInfo.noLayer > 0) {
        h.push_back(array2NumVec(mInfo.layerDepth, mInfo.noLayer), "layerDepth");
        h.push_back(array2NumVec(mInfo.dz, mInfo.noLayer), "dz");
    }
    if (mInfo.elemBathy)
        h.push_back(array2NumVec(mInfo.elemBathy, mInfo.mesh2d.noe), "elemBathy");
    return h;
}

// ---- reading the list

struct headerMesh {
    int non = 0;
    int noe = 0;
    std::vector<double> nX, nY;
    bool hasVoronoi = false;
    std::vector<double> eVoronoiX, eVoronoiY;
    std::vector<int> nt;
    std::vector<int> enon, en;
    bool hasProj = false;
    std::string proj;
};

struct headerModel {
    headerMesh mesh;
    long long startDT = 0;
    double timestep = 0.0;
    int noLayer = 0;
    bool hasOffsetDepth = false;
    double offsetDepth = 0.0;
    std::vector<double> dz, elemBathy;
    bool hasModeltype = false;
    int modeltype = 0;
};

struct headerItems {
    std::vector<std::string> names;
    std::vector<int> lengths;
};

[[noreturn]] inline void headerStop(const std::string& what)
{
    rStop("header: " + what);
}

// A count as Rcpp converts a length-1 element; NA and negatives are refused.
inline int headerCount(Rcpp::List& h, const char* name)
{
    const int n = Rcpp::as<int>(h[name]);
    if (n == NA_INTEGER || n < 0)
        headerStop(std::string(name) + " is NA or negative.");
    return n;
}

inline std::vector<double> headerDoubles(Rcpp::List& h, const char* name, int count,
                                         const char* countName)
{
    Rcpp::NumericVector v = h[name];
    if (v.size() != count)
        headerStop(std::string(name) + " holds " + std::to_string(v.size()) + " values, but " +
                   countName + " is " + std::to_string(count) + ".");
    return std::vector<double>(v.begin(), v.end());
}

// Values that would give a broken model (NaN depths, negative cell volumes)
// are refused by field and position; a scalar field is named alone.
inline std::string headerField(const char* name, size_t i, size_t n)
{
    return n == 1 && i == 0 ? std::string(name)
                            : std::string(name) + "[" + std::to_string(i) + "] (0-based)";
}

inline void headerFinite(const std::vector<double>& v, const char* name, bool scalar = false)
{
    for (size_t i = 0; i < v.size(); ++i)
        if (!std::isfinite(v[i]))
            headerStop(headerField(name, i, scalar ? 1 : 0) + " is NA or infinite.");
}

inline void headerPositive(const std::vector<double>& v, const char* name, bool scalar = false)
{
    headerFinite(v, name, scalar);
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] <= 0)
            headerStop(headerField(name, i, scalar ? 1 : 0) + " is " + ZCoreLib::num(v[i]) +
                       "; it must be above 0.");
}

// The file stores these values as 32-bit floats: a value beyond their range
// would read back as infinite, a nonzero one below the smallest normal float
// as 0 or with few digits left.
inline void headerFloat32(const std::vector<double>& v, const char* name, bool scalar = false)
{
    for (size_t i = 0; i < v.size(); ++i) {
        const double a = std::fabs(v[i]);
        if (a > FLT_MAX || (a != 0 && a < FLT_MIN))
            headerStop(headerField(name, i, scalar ? 1 : 0) + " is " + ZCoreLib::num(v[i]) +
                       "; the file stores it as a 32-bit float, which holds magnitudes from " +
                       ZCoreLib::num(FLT_MIN) + " to " + ZCoreLib::num(FLT_MAX) +
                       " (it would read back as " + (a > FLT_MAX ? "Inf" : "0") + ").");
    }
}

// Every element must pass the mesh's own element rule here, before a file
// is removed or written: a list the mesh would refuse never reaches it.
inline void readElemNodes(Rcpp::List& h, headerMesh& m)
{
    Rcpp::List lst = h["elemNodes"];
    if (lst.size() != m.noe)
        rStop("header2mesh: enLst.size()!=mesh->noe.");
    m.enon.resize(m.noe);
    for (int e = 0; e < m.noe; ++e) {
        ZCoreLib::ZCancel::poll();
        Rcpp::IntegerVector nodes = lst[e];
        if (static_cast<long long>(m.en.size()) + nodes.size() > INT_MAX)
            headerStop("elemNodes holds too many node numbers.");
        if (std::find(nodes.begin(), nodes.end(), NA_INTEGER) != nodes.end())
            headerStop("elemNodes: element " + std::to_string(e) + " refers to node NA.");
        const std::string problem =
            hestor::hsMesh2D::elemProblem(e, nodes.begin(), nodes.size(), m.non, m.nX.data(), m.nY.data());
        if (!problem.empty())
            headerStop("elemNodes: " + problem);
        m.enon[e] = static_cast<int>(nodes.size());
        m.en.insert(m.en.end(), nodes.begin(), nodes.end());
    }
}

inline headerMesh readHeaderMesh(Rcpp::List& h)
{
    headerMesh m;
    m.non = headerCount(h, "noNode");
    m.noe = headerCount(h, "noElem");
    m.nX = headerDoubles(h, "nodeXCoor", m.non, "noNode");
    m.nY = headerDoubles(h, "nodeYCoor", m.non, "noNode");
    headerFinite(m.nX, "nodeXCoor");
    headerFinite(m.nY, "nodeYCoor");
    headerFloat32(m.nX, "nodeXCoor");
    headerFloat32(m.nY, "nodeYCoor");
    // getHeader names the Voronoi points eVoronoiX/eVoronoiY; a list it made
    // writes back with them. The writer's own names win when both are there.
    for (const char* prefix : {"elemVoronoi", "eVoronoi"}) {
        const std::string x = std::string(prefix) + "X", y = std::string(prefix) + "Y";
        if (!h.containsElementNamed(x.c_str()) || !h.containsElementNamed(y.c_str()))
            continue;
        m.hasVoronoi = true;
        m.eVoronoiX = headerDoubles(h, x.c_str(), m.noe, "noElem");
        m.eVoronoiY = headerDoubles(h, y.c_str(), m.noe, "noElem");
        headerFinite(m.eVoronoiX, x.c_str());
        headerFinite(m.eVoronoiY, y.c_str());
        headerFloat32(m.eVoronoiX, x.c_str());
        headerFloat32(m.eVoronoiY, y.c_str());
        break;
    }
    if (h.containsElementNamed("nodeType")) {
        const std::vector<double> t = headerDoubles(h, "nodeType", m.non, "noNode");
        m.nt.reserve(t.size());
        for (double v : t)
            m.nt.push_back(double2int(v));
    } else {
        m.nt.assign(m.non, 99);
    }
    readElemNodes(h, m);
    if (h.containsElementNamed("proj")) {
        m.hasProj = true;
        m.proj = Rcpp::as<std::string>(h["proj"]);
    }
    return m;
}

inline int headerModeltype(Rcpp::List& h)
{
    const std::string text = Rcpp::as<std::string>(h["modeltype"]);
    bool known = true;
    int type = 0;
    try {
        type = hestor::hsGlobal::str2modelTypeEnum(text);
    } catch (const ZCoreLib::ZException&) {
        known = false;
    }
    if (!known)
        headerStop("modeltype '" + text + "' is none of water, sediment, abm.");
    return type;
}

inline headerModel readHeaderModel(Rcpp::List& h)
{
    headerModel m;
    m.mesh = readHeaderMesh(h);
    // A Date counts days: it stands for midnight UTC of its day.
    Rcpp::RObject startDT = h["startDT"];
    double start = Rcpp::as<double>(startDT);
    if (startDT.inherits("Date"))
        start = std::floor(start) * 86400.0;
    // The seconds are kept as a 64-bit integer. R rounds date-times down to
    // the second (-0.5 s is 1969-12-31 23:59:59); truncation would move a
    // start before 1970 one second late.
    if (!std::isfinite(start) || std::fabs(start) >= 9.2e18)
        headerStop("startDT is not a finite date-time.");
    m.startDT = static_cast<long long>(std::floor(start));
    m.timestep = Rcpp::as<double>(h["timestep"]);
    if (!std::isfinite(m.timestep))
        headerStop("timestep is not a finite number of seconds.");
    headerPositive({m.timestep}, "timestep", true);
    headerFloat32({m.timestep}, "timestep", true);
    m.noLayer = headerCount(h, "noLayer");
    if (h.containsElementNamed("offsetDepth")) {
        m.hasOffsetDepth = true;
        m.offsetDepth = Rcpp::as<double>(h["offsetDepth"]);
        headerFinite({m.offsetDepth}, "offsetDepth", true);
        headerFloat32({m.offsetDepth}, "offsetDepth", true);
    }
    m.dz = headerDoubles(h, "dz", m.noLayer, "noLayer");
    headerPositive(m.dz, "dz");
    headerFloat32(m.dz, "dz");
    m.elemBathy = headerDoubles(h, "elemBathy", m.mesh.noe, "noElem");
    headerFinite(m.elemBathy, "elemBathy");
    headerFloat32(m.elemBathy, "elemBathy");
    if (h.containsElementNamed("modeltype")) {
        m.hasModeltype = true;
        m.modeltype = headerModeltype(h);
    }
    return m;
}

// itemLengths is looked up before itemNames; lengths beyond the names are ignored.
inline headerItems readHeaderItems(Rcpp::List& h)
{
    Rcpp::IntegerVector lengths = h["itemLengths"];
    Rcpp::CharacterVector names = h["itemNames"];
    if (lengths.size() < names.size())
        headerStop("itemLengths holds " + std::to_string(lengths.size()) +
                   " values, but itemNames holds " + std::to_string(names.size()) + ".");
    headerItems items;
    for (R_xlen_t i = 0; i < names.size(); ++i) {
        if (Rcpp::CharacterVector::is_na(names[i]))
            headerStop("itemNames[" + std::to_string(i) + "] (0-based) is NA.");
        const std::string name = Rcpp::as<std::string>(names[i]);
        if (lengths[i] == NA_INTEGER || lengths[i] < 0)
            headerStop("itemLengths holds NA or a negative length for item '" + name + "'.");
        items.names.push_back(name);
        items.lengths.push_back(lengths[i]);
    }
    return items;
}

// ---- filling a model description from checked values

template <typename T>
void replaceArray(T*& field, const std::vector<T>& v)
{
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    delete[] field;
    field = a;
}

template <typename T>
T* newArray(const std::vector<T>& v)
{
    std::unique_ptr<T[]> a(new T[v.size()]);
    std::copy(v.begin(), v.end(), a.get());
    return a.release();
}

inline void header2mesh(const headerMesh& in, hestor::hsMesh2D* mesh)
{
    mesh->non = in.non;
    mesh->noe = in.noe;
    replaceArray(mesh->nX, in.nX);
    replaceArray(mesh->nY, in.nY);
    if (in.hasVoronoi) {
        replaceArray(mesh->eVoronoiX, in.eVoronoiX);
        replaceArray(mesh->eVoronoiY, in.eVoronoiY);
        mesh->voronoiPopped = true;
    }
    replaceArray(mesh->nt, in.nt);
    replaceArray(mesh->enon, in.enon);
    replaceArray(mesh->en, in.en);
    if (in.hasProj)
        mesh->proj = in.proj;
}

inline void header2mInfo(const headerModel& in, hestor::hsModelInfo* mInfo)
{
    header2mesh(in.mesh, &mInfo->mesh2d);
    mInfo->startDT = in.startDT;
    mInfo->timestep = in.timestep;
    mInfo->noLayer = in.noLayer;
    if (in.hasOffsetDepth)
        mInfo->offsetDepth = in.offsetDepth;
    mInfo->adoptDz(newArray(in.dz), static_cast<int>(in.dz.size()));
    mInfo->adoptElemBathy(newArray(in.elemBathy), static_cast<int>(in.elemBathy.size()));
    if (in.hasModeltype)
        mInfo->modeltype = in.modeltype;
    mInfo->mesh2d.initMesh();
    mInfo->init();
}

#endif
