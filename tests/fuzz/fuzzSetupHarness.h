#ifndef HESTOR_FUZZSETUPHARNESS_H
#define HESTOR_FUZZSETUPHARNESS_H

// What the fuzz targets of the text parsers of a model set-up do with one
// input: the bathymetry as text and as a file, the layer text of the set-up
// from text, date-time lists and the units text of a netCDF time axis. Shared
// by the libFuzzer targets and the regression tests that replay findings.
//
// These parsers answer bad text with a ZException. Any other exception (an
// out_of_range of a substring, a bad_alloc from a count taken on trust)
// escapes and is a finding, as are crashes, leaks and hangs.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ZNetCdf.h"
#include "ZStr.h"
#include "fuzzHarness.h"
#include "hsModelInfo.h"

namespace fuzz {

// Runs one step; true when it ran, false when it refused with a ZException.
template <typename F>
bool accepts(F f)
{
    try {
        f();
        return true;
    } catch (const ZCoreLib::ZException&) {
    }
    return false;
}

// One triangle; two squares with an open boundary; four triangles around a
// centre node.
inline const char* setupMesh(int i)
{
    static const char* const meshes[] = {
        "3 1\n0 0\n1 0\n0 1\n0 1 2\n",
        "6 2\n0 0 99\n1 0 99\n1 1 99\n0 1 99\n2 0 1\n2 1 1\n0 1 2 3\n1 4 5 2\n",
        "5 4\n0 0\n100 0\n100 100\n0 100\n50 50\n0 1 4\n1 2 4\n2 3 4\n3 0 4\n"};
    return meshes[i % 3];
}

// A text without "," that is not one number names a bathymetry file; the
// text targets leave those to the file form, so no file of the machine is read.
inline bool namesFile(const std::string& text)
{
    return text.find(',') == std::string::npos && !ZCoreLib::ZStr::isNumeric(text, true);
}

// The tables init() derived, read as far as their counts say.
inline void touchModel(const hestor::hsModelInfo& mi)
{
    const int noe = mi.mesh2d.noe;
    touch(mi.layerDepth, mi.noLayer);
    touch(mi.elemBathy, noe);
    touch(mi.enol, noe);
    touch(mi.ebli, noe);
    touch(mi.elemFirstCell, noe);
    touch(mi.cellDepth, mi.noCells);
    touch(mi.cellVolume, mi.noCells);
    touch(mi.faceFirstCell, mi.mesh2d.noivf);
    for (int e = 0; e < noe; ++e)
        for (double depth : {0.0, 0.5, mi.elemBathy[e]})
            sink = sink + mi.layer(e, depth);
}

// First byte: bits 0-1 the mesh, bits 2-3 the layer count less one (layers of
// 1 m), bit 7 the file form; the rest is the bathymetry text or file.
inline bool bathymetry(const uint8_t* data, size_t size)
{
    if (size < 1)
        return false;
    const uint8_t way = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (way & 0x80)
        text = writeInput("fz.bathy", data + 1, size - 1);
    else if (namesFile(text))
        return false;
    hestor::hsModelInfo mi;
    mi.mesh2d.fromString(setupMesh(way & 3), -1);
    if (!accepts([&] { mi.setElemBathy(text); }))
        return false;
    touch(mi.elemBathy, mi.mesh2d.noe);
    touch(mi.enol, mi.enol ? mi.mesh2d.noe : 0);
    const int n = 1 + (way >> 2) % 4;
    double* dz = new double[n];
    std::fill(dz, dz + n, 1.0);
    mi.noLayer = n;
    mi.adoptDz(dz, n);
    if (accepts([&] { mi.init(); }))
        touchModel(mi);
    return true;
}

// First byte: the offset depth; the rest is the layer text, then, after a
// NUL byte, the bathymetry text (3 m everywhere when there is none). The mesh
// file is the two squares.
inline bool setupText(const uint8_t* data, size_t size)
{
    if (size < 1)
        return false;
    const double inf = std::numeric_limits<double>::infinity();
    const double offsets[] = {0, 0.25, -1, 2, 1e300, -inf, inf, std::nan("")};
    const double offset = offsets[data[0] % 8];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t nul = rest.find('\0');
    const std::string layers = rest.substr(0, nul);
    const std::string bathy = nul == std::string::npos ? "3" : rest.substr(nul + 1);
    if (namesFile(bathy))
        return false;
    const std::string mesh = setupMesh(1);
    static const std::string meshFile =
        writeInput("fz.mesh", reinterpret_cast<const uint8_t*>(mesh.data()), mesh.size());
    hestor::hsModelInfo mi;
    if (!accepts([&] { mi.init(layers, meshFile, bathy, offset); }))
        return false;
    touchModel(mi);
    return true;
}

// First byte: the time axis (start and timestep length); the rest is the text
// of date-times and timestep numbers.
inline bool dateTimeText(const uint8_t* data, size_t size)
{
    if (size < 1)
        return false;
    const long long starts[] = {1600000000LL, 0, -1, std::numeric_limits<long long>::min(),
                                std::numeric_limits<long long>::max()};
    const double steps[] = {600, 0.5, 0, -1, 1e300, -1e-300, std::nan(""), 3600};
    hestor::hsModelInfo mi;
    mi.startDT = starts[data[0] % 5];
    mi.timestep = steps[(data[0] / 5) % 8];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    accepts([&] { sink = sink + mi.string2DT(text); });
    std::vector<long long> dts;
    if (!accepts([&] { dts = mi.csv2DT(text); }))
        return false;
    touch(dts.data(), static_cast<long long>(dts.size()));
    return true;
}

// The units text of a time variable ("hours since 1970-01-01 00:00:00").
inline bool timeUnits(const uint8_t* data, size_t size)
{
    const std::string units(reinterpret_cast<const char*>(data), size);
    int factor = 0;
    long long reference = 0;
    if (!accepts([&] { ZCoreLib::ZNetCdf::parseTimeUnits(units, "fz.nc", factor, reference); }))
        return false;
    if (factor != 1 && factor != 60 && factor != 3600)
        std::abort();
    sink = sink + static_cast<double>(reference);
    return true;
}

} // namespace fuzz

#endif
