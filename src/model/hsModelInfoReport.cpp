// Text forms of a model set-up: the summary report, the blow-up report on
// one cell and the tag-text block that records the set-up.

#include "hsModelInfo.h"

#include <algorithm>
#include <cmath>

#include "ZArray.h"
#include "ZDT.h"
#include "ZMessage.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZArray;
using ZCoreLib::ZException;
using ZCoreLib::ZStr;
using ZCoreLib::num;
using ZCoreLib::str;

namespace {

template <typename T>
std::string list(T* values, int n)
{
    return ZArray::join(values, n, ",");
}

// Running extremes of indexed values. An entry replaces an extreme only when
// strictly beyond it, so the first of equal extremes wins, and an index stays
// -1 while no entry has beaten the start value.
struct Extremes {
    double max;
    double min;
    int maxAt = -1;
    int minAt = -1;

    Extremes(double maxStart, double minStart) : max(maxStart), min(minStart) {}
    void add(int i, double v)
    {
        if (v > max) {
            max = v;
            maxAt = i;
        }
        if (v < min) {
            min = v;
            minAt = i;
        }
    }
};

// Mean, shortest and longest of n values (all 0 for none).
struct Spread {
    double mean = 0, min = 0, max = 0;

    Spread(const double* v, int n)
    {
        if (n < 1)
            return;
        double sum = 0;
        min = max = v[0];
        for (int i = 0; i < n; ++i) {
            sum += v[i];
            min = std::min(min, v[i]);
            max = std::max(max, v[i]);
        }
        mean = sum / n;
    }
};

} // namespace

std::string hsModelInfo::toString(int level) const
{
    const hsMesh2D& m = mesh2d;
    const std::string& NL = newLine;
    std::string s;
    s += std::string(m.orthogonal ? "The mesh is orthogonal" : "The mesh is not orthogonal") + NL;
    s += "Projection:\t" + m.proj + NL;
    s += "No. timesteps:\t" + str(noTimestep) + NL;
    s += "Timestep seconds:\t" + num(timestep) + NL;
    if (dz) {
        s += "No. Layers:\t" + str(noLayer) + NL;
        s += std::string("LayerType:\t") + (layerType == ZLAYER ? "ZLayer" : "Sigma") + NL;
        s += "LayerThickness: " + list(dz, noLayer) + NL;
        // The centre depths exist once init() has run.
        if (layerDepth)
            s += "LayerDepths (center): " + list(layerDepth, noLayer) + NL;
    }
    s += "Mesh has " + str(m.noe) + " elements and " + str(m.non) + " nodes." + NL;
    s += "Mesh area center: (" + num(m.areaCenterX) + "," + num(m.areaCenterY) + ")" + NL;
    // The mesh keeps its box only once its outline has been traced; the box
    // of the nodes is the same and always at hand.
    const int non = m.nX && m.nY ? m.non : 0;
    const Spread xs(m.nX, non), ys(m.nY, non);
    s += "Mesh extendX: (" + num(xs.min) + "," + num(xs.max) + ")" + NL;
    s += "Mesh extendY: (" + num(ys.min) + "," + num(ys.max) + ")" + NL;

    if (noCells > 0 && cellVolume) {
        Extremes vol(0, 1e37);
        double total = 0;
        for (int c = 0; c < noCells; ++c) {
            total += cellVolume[c];
            vol.add(c, cellVolume[c]);
        }
        s += "No. Computational cells: " + str(noCells) + NL;
        s += "Total mesh volume: " + num(total) + NL;
        s += "Largest cell: " + str(vol.maxAt) + ", volume=" + num(vol.max) + NL;
        s += "Smallest cell: " + str(vol.minAt) + ", volume=" + num(vol.min) + NL;
    }

    const int noe = m.eArea ? m.noe : 0;
    Extremes area(0, 1e37);
    double totalArea = 0;
    for (int e = 0; e < noe; ++e) {
        totalArea += m.eArea[e];
        area.add(e, m.eArea[e]);
    }
    const double meanArea = noe > 0 ? totalArea / noe : 0;
    s += "Total mesh area: " + num(totalArea) + NL;
    s += "Average element area: " + num(meanArea) + ", sqrt(area)=" + num(std::sqrt(meanArea)) +
         NL;
    s += "Largest element is element no. " + str(area.maxAt) + ", size=" + num(area.max) +
         ", sqrt(area)=" + num(std::sqrt(area.max)) + NL;
    s += "Smallest element is element no. " + str(area.minAt) + ", size=" + num(area.min) +
         ", sqrt(area)=" + num(std::sqrt(area.min)) + NL;

    Extremes bathy(0, 999999);
    if (elemBathy)
        for (int e = 0; e < m.noe; ++e)
            bathy.add(e, elemBathy[e]);
    s += "Maximum bathymetry is " + num(bathy.max) + " in element no. " + str(bathy.maxAt) + NL;
    s += "Minimum bathymetry is " + num(bathy.min) + " in element no. " + str(bathy.minAt) + NL;

    const Spread len(m.vfLength, m.vfLength ? m.novf : 0);
    s += "Average face length is " + num(len.mean) + ", shortest face is " + num(len.min) +
         ", longest is " + num(len.max) + NL;
    if (level > 0) {
        const Spread dist(m.vfDist, m.vfDist ? m.novf : 0);
        s += "Average element distance: " + num(dist.mean) + NL;
        s += "Shortest element distance: " + num(dist.min) + NL;
        s += "Longest element distance: " + num(dist.max) + NL;
    }

    const int nob = m.bt ? m.nob : 0;
    s += str(nob) + " boundaries, numbers: " + list(m.bt, nob) + NL;
    if (level >= 6 && dz)
        for (int i = 0; i < nob; ++i)
            s += boundaryReport(i);
    return s;
}

// The faces of open boundary i: their inner elements and, where the
// boundary faces are model faces, the area of their face-cells.
std::string hsModelInfo::boundaryReport(int i) const
{
    const hsMesh2D& m = mesh2d;
    const int first = m.bFirstVF[i];
    const int count = m.bNoVF[i];
    std::string s = "\tBoundary " + str(i) + " has number " + str(m.bt[i]) + newLine;
    s += "\t" + str(count) + " elems: " + list(m.bvfe + first, count) + newLine;
    if (!bndFaces || !fdz)
        return s;
    double area = 0;
    for (int b = first; b < first + count; ++b) {
        const int f = m.noivf + b;
        for (int j = 0; j < noLayer - fbli[f]; ++j)
            area += m.vfLength[f] * fdz[f][j];
    }
    return s + "\tTotal boundary area: " + num(area) + newLine;
}

std::string hsModelInfo::blowupReport(int cell) const
{
    requireInit("blowupReport");
    if (cell < 0 || cell >= noCells)
        throw ZException("hsModelInfo::blowupReport: cell " + str(cell) +
                         " is not one of the " + str(noCells) + " element cells.");
    const std::string& NL = newLine;
    const int e = cell2elem[cell];
    const int m = noLayer - ebli[e];
    std::string s = NL + " " + std::string(15, '-') + " Hestor modelInfo Blowup report, cell=" +
                    str(cell) + ", elem=" + str(e) + ", layer=" + str(cell2layer[cell]) + " " +
                    std::string(22, '-') + NL;
    s += "elemBathy\t=" + num(elemBathy[e]) + NL;
    s += "enol\t=" + str(enol[e]) + " (of " + str(noLayer) + ")" + NL;
    s += "ebli\t=" + str(ebli[e]) + NL;
    s += "etli\t=" + str(etli[e]);
    if (isWetDry)
        s += " (previous timestep: " + str(etliPrev[e]) + ")";
    s += NL;
    s += "edz \t=" + list(edz[e], m) + " (previous timestep: " + list(edzPrev[e], m) + ")" + NL;
    s += "faces:" + NL;
    const int* faces = mesh2d.evf + mesh2d.eStart[e];
    for (int k = 0; k < mesh2d.nivfpe[e] + mesh2d.nbvfpe[e]; ++k) {
        const int f = faces[k];
        // Without boundary faces an open-boundary face has no face-cells.
        if (f >= noFaces)
            continue;
        const int mf = noLayer - fbli[f];
        s += "face " + str(f) + ":\tfdz=" + list(fdz[f], mf) + " (previous timestep: " +
             list(fdzPrev[f], mf) + ")" + NL;
    }
    return s;
}

std::string hsModelInfo::toXML(int nts)
{
    const std::string& NL = newLine;
    std::string s =
        ZStr::xmlInsTag(hsGlobal::modelTypeEnum2str(static_cast<modelTypeEnum>(modeltype)), "Type",
                        false) +
        NL;
    s += mesh2d.toXML();
    s += ZStr::xmlInsTag(bathyStr, "Bathymetry", false) + NL;
    s += ZStr::xmlInsTag(list(dz, dz ? noLayer : 0), "LayerThickness", false) + NL;
    s += ZStr::xmlInsTag(hsGlobal::str2layerTypeEnum(static_cast<layerTypeEnum>(layerType)),
                         "LayerType", false) +
         NL;
    s += ZStr::xmlInsTag(ZCoreLib::ZDT::longDT2StrDT(startDT), "StartDT", false) + NL;
    s += ZStr::xmlInsTag(num(timestep), "DT", false) + NL;
    s += ZStr::xmlInsTag(str(nts >= 1 ? nts : noTimestep), "NoTimesteps", false) + NL;
    s += ZStr::xmlInsTag("true", "CheckBlowUp", false) + NL;
    return ZStr::xmlInsTag(s, "General", true);
}

} // namespace hestor
