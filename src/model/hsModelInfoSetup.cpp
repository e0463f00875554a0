// The time axis, bathymetry and layers from text, and model descriptions made
// from this one: a full copy and the description of one open boundary.

#include "hsModelInfo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "ZDT.h"
#include "ZFile.h"
#include "ZMessage.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZDT;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZStr;
using ZCoreLib::str;

namespace {

// The leading integer of a text as the C library reads it ("3.7" is 3, "" is
// 0), saturated to int instead of overflowing.
int leadingInt(const std::string& text)
{
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, v)));
}

template <typename T>
std::unique_ptr<T[]> copyOf(const T* src, int n)
{
    std::unique_ptr<T[]> a(new T[std::max(n, 0)]);
    if (src != nullptr)
        std::copy(src, src + std::max(n, 0), a.get());
    return a;
}

// Entries of an input that may be read: the length it was handed over with,
// or, when unknown, what the model needs.
template <typename T>
int readable(const T* field, const T* adopted, int adoptedLen, int need)
{
    if (field == nullptr)
        return 0;
    return field == adopted && adoptedLen >= 0 ? adoptedLen : need;
}

// Timestep i's date-time; i is 64 bits wide so that endDT's noTimestep - 1
// cannot overflow.
long long timeOfStep(const char* who, long long start, double timestep, long long i)
{
    const double offset = static_cast<double>(i) * timestep;
    long long dt = 0;
    // Beyond +-9.2e18 s no long date-time can hold the offset.
    if (!(std::fabs(offset) < 9.2e18) ||
        __builtin_add_overflow(start, static_cast<long long>(offset), &dt))
        throw ZException(std::string(who) + ": timestep " + std::to_string(i) +
                         " (timestep length " + ZStr::toString(timestep) +
                         " s) lies outside the date-time range.");
    return dt;
}

} // namespace

long long hsModelInfo::ts2DT(int i) const
{
    return timeOfStep("hsModelInfo::ts2DT", startDT, timestep, i);
}

long long hsModelInfo::endDT() const
{
    return timeOfStep("hsModelInfo::endDT", startDT, timestep, noTimestep - 1LL);
}

std::string hsModelInfo::ts2StrDT(int i) const { return ZDT::longDT2StrDT(ts2DT(i)); }

int hsModelInfo::findTimestep(long long dt, int mode) const
{
    long long diff = 0;
    const double span = __builtin_sub_overflow(dt, startDT, &diff)
                            ? static_cast<double>(dt) - static_cast<double>(startDT)
                            : static_cast<double>(diff);
    const double x = span / timestep;
    const double n = noTimestep;
    if (mode < 0) {
        const double r = std::floor(x + 0.5);
        if (r != x || r < 0 || r >= n) // also when x is not a number
            return -1;
        return static_cast<int>(r);
    }
    double r = mode == 1 ? std::floor(x) : mode == 2 ? std::ceil(x) : std::floor(x + 0.5);
    // 0/0: the date-time is the start of an axis of zero-length timesteps.
    if (std::isnan(r))
        r = 0;
    if (r < 0)
        return 0;
    if (r >= n)
        return noTimestep - 1;
    return static_cast<int>(r);
}

long long hsModelInfo::string2DT(const std::string& text) const
{
    if (!ZStr::isNumeric(text, true))
        return ZDT::strDT2longDT(text);
    errno = 0;
    const long ts = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || ts < INT_MIN || ts > INT_MAX)
        throw ZException("hsModelInfo::string2DT: timestep '" + text + "' is out of range.");
    return ts2DT(static_cast<int>(ts));
}

std::vector<long long> hsModelInfo::csv2DT(const std::string& text) const
{
    std::vector<long long> out;
    for (const std::string& piece : ZStr::Split(text, ",", true, false))
        out.push_back(string2DT(piece));
    return out;
}

int hsModelInfo::setStartDT(const std::string& text)
{
    startDT = ZDT::strDT2longDT(text);
    return 0;
}

// Everything is parsed into new arrays first: a missing file or a wrong count
// leaves the previous bathymetry in place.
int hsModelInfo::setElemBathy(const std::string& text)
{
    const int n = mesh2d.noe;
    if (n < 1)
        throw ZException(
            "hsModelInfo::setElemBathy initialize mesh2d before calling this function. " +
            errSuffix);
    std::unique_ptr<double[]> bathy(new double[n]);
    std::unique_ptr<int[]> layers;
    if (ZStr::isNumeric(text, true)) {
        std::fill(bathy.get(), bathy.get() + n, std::strtod(text.c_str(), nullptr));
    } else {
        std::string content;
        if (text.find(',') == std::string::npos) {
            if (!ZFile::fileExists(text))
                throw ZException("hsModelInfo::setElemBathy: No such file: '" + text + "'");
            content = ZFile::readFile(text);
        } else {
            content = ZStr::replace(text, ",", "\n");
        }
        std::vector<std::string> lines = ZStr::Split(content, "\r\n", false, false);
        lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
        if (lines.size() != static_cast<size_t>(n))
            throw ZException("Wrong number of values in bathymetry.");
        layers.reset(new int[n]);
        for (int e = 0; e < n; ++e) {
            const std::vector<std::string> fields = ZStr::Split(lines[e], "\t ;", false, false);
            bathy[e] = std::strtod(fields[0].c_str(), nullptr);
            layers[e] = fields.size() > 1 ? leadingInt(fields[1]) : -1;
        }
    }
    adoptElemBathy(bathy.release(), n);
    const int nLayers = layers ? n : 0;
    adoptEnol(layers.release(), nLayers);
    bathyStr = text;
    return 0;
}

void hsModelInfo::resetBathy(double depth, int n)
{
    const int noe = std::max(mesh2d.noe, 0);
    std::unique_ptr<double[]> bathy(new double[noe]);
    std::fill(bathy.get(), bathy.get() + noe, depth);
    adoptElemBathy(bathy.release(), noe);
    if (n > 0) {
        // Thicknesses in single precision, as the model files keep them.
        std::unique_ptr<double[]> thick(new double[n]);
        std::fill(thick.get(), thick.get() + n, static_cast<double>(1.0f / static_cast<float>(n)));
        noLayer = n;
        adoptDz(thick.release(), n);
    }
    adoptEnol(nullptr, 0);
    init();
}

void hsModelInfo::init(const std::string& layers, const std::string& meshFile,
                       const std::string& bathy, double offset)
{
    // The layers are checked before anything is read or replaced.
    const std::vector<std::string> pieces = ZStr::Split(layers, ",", false, false);
    const int n = static_cast<int>(pieces.size());
    std::unique_ptr<double[]> thick(new double[n]);
    for (int k = 0; k < n; ++k) {
        std::istringstream is(pieces[k]);
        if (!(is >> thick[k]) || !(thick[k] > 0) || !std::isfinite(thick[k]))
            throw ZException("hsModelInfo::init: layer thickness '" + pieces[k] + "' (piece " +
                             str(k + 1) + " of '" + layers + "') is not a positive number.");
    }
    // The tables of the old mesh must not outlive it.
    releaseDerived();
    mesh2d.readMeshFromFile(meshFile);
    setElemBathy(bathy);
    dzStr = layers;
    offsetDepth = offset;
    noLayer = n;
    adoptDz(thick.release(), n);
    init();
}

hsModelInfo* hsModelInfo::copy()
{
    std::unique_ptr<hsModelInfo> c(new hsModelInfo());
    c->startDT = startDT;
    c->timestep = timestep;
    c->noTimestep = noTimestep;
    c->modeltype = modeltype;
    c->headerField3 = headerField3;
    c->minDzFrac = minDzFrac;
    c->bndFaces = bndFaces;
    c->noLayer = noLayer;
    c->offsetDepth = offsetDepth;
    c->layerType = layerType;
    c->bathyStr = bathyStr;
    c->dzStr = dzStr;
    c->mesh2d = mesh2d;
    // The copy gets the inputs with the lengths they have here, so that its
    // init() accepts or refuses them as this object's would.
    const int noe = mesh2d.noe;
    const int nDz = readable<double>(dz, adoptedDz_, adoptedDzLen_, noLayer);
    const int nBathy = readable<double>(elemBathy, adoptedBathy_, adoptedBathyLen_, noe);
    const int nEnol = readable<int>(enol, adoptedEnol_, adoptedEnolLen_, noe);
    if (dz)
        c->adoptDz(copyOf(dz, nDz).release(), nDz);
    if (elemBathy)
        c->adoptElemBathy(copyOf(elemBathy, nBathy).release(), nBathy);
    if (enol)
        c->adoptEnol(copyOf(enol, nEnol).release(), nEnol);
    c->init();
    return c.release();
}

hsModelInfo* hsModelInfo::bndMInfo(int b, bool oneLayer)
{
    const std::string where = "hsModelInfo::bndMInfo: ";
    const hsMesh2D& m = mesh2d;
    if (b < 0 || b >= m.nob || !m.bNoVF || !m.bFirstVF || !m.bvfe)
        throw ZException(where + "boundary " + str(b) + " is not one of the " + str(m.nob) +
                         " open boundaries of the mesh.");
    const int nDz = std::min(readable<double>(dz, adoptedDz_, adoptedDzLen_, noLayer), noLayer);
    if (nDz < 1)
        throw ZException(where + "the model has no layer thicknesses.");
    const int noe = m.noe;
    const int nBathy = readable<double>(elemBathy, adoptedBathy_, adoptedBathyLen_, noe);
    const int nEnol = readable<int>(enol, adoptedEnol_, adoptedEnolLen_, noe);
    if (!oneLayer && nBathy < noe)
        throw ZException(where + "elemBathy holds " + str(nBathy) + " values, but the mesh has " +
                         str(noe) + " elements.");
    if (!oneLayer && enol && nEnol < noe)
        throw ZException(where + "enol holds " + str(nEnol) + " values, but the mesh has " +
                         str(noe) + " elements.");

    std::unique_ptr<hsModelInfo> c(new hsModelInfo());
    c->layerType = layerType;
    {
        const std::unique_ptr<hsMesh2D> strip(mesh2d.bndMesh(b));
        c->mesh2d = *strip;
    }
    const int k = c->mesh2d.noe; // one element per face of the boundary
    std::unique_ptr<double[]> bathy(new double[k]);
    std::unique_ptr<int[]> layers(enol ? new int[k] : nullptr);
    if (oneLayer) {
        // A model of one layer has no second layer to take the thickness of.
        c->noLayer = 1;
        c->adoptDz(copyOf(dz + (nDz > 1 ? 1 : 0), 1).release(), 1);
        std::fill(bathy.get(), bathy.get() + k, 1.0);
        if (layers)
            std::fill(layers.get(), layers.get() + k, 0);
    } else {
        c->noLayer = noLayer;
        c->adoptDz(copyOf(dz, nDz).release(), nDz);
        for (int j = 0; j < k; ++j) {
            const int e = m.bvfe[m.bFirstVF[b] + j];
            bathy[j] = elemBathy[e];
            if (layers)
                layers[j] = enol[e];
        }
    }
    c->adoptElemBathy(bathy.release(), k);
    if (layers)
        c->adoptEnol(layers.release(), k);
    c->startDT = startDT;
    c->timestep = timestep;
    c->offsetDepth = offsetDepth;
    c->noTimestep = noTimestep;
    c->init();
    return c.release();
}

std::string hsModelInfo::fileExt() const
{
    return modeltype == 2 || modeltype == 3 ? "emu" : "emc";
}

} // namespace hestor
