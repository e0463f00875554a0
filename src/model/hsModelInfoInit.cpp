// init(): columns, cells, face-cells and node-cells of a model set-up.

#include "hsModelInfo.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ZCancel.h"
#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

const std::string initWhere = "hsModelInfo::init: ";

// Cell counts are int throughout the model; refuse set-ups that do not fit.
int checkedCount(long long n, const char* what)
{
    if (n > INT_MAX)
        throw ZException(initWhere + "the model would have " + str(n) + " " + what +
                         ", more than the model can number.");
    return static_cast<int>(n);
}

// Thickness rows of count columns of n layers, column i standing on layer
// bli[i] with a bottom cell bottom(i) thick; centres holds the distances
// between cell centres (half the cell in a column of one), prev a copy.
template <typename BottomFn>
void fillColumns(int count, int n, const int* bli, const double* dz, BottomFn bottom,
                 hsRagged<double>& rows, hsRagged<double>& centres, hsRagged<double>& prev)
{
    auto cells = [n, bli](int i) { return n - bli[i]; };
    rows.build(count, cells);
    prev.build(count, cells);
    centres.build(count, [n, bli](int i) { return std::max(n - bli[i] - 1, 1); });
    for (int i = 0; i < count; ++i) {
        ZCoreLib::ZCancel::poll();
        const int b = bli[i];
        const int m = n - b;
        double* col = rows[i];
        col[0] = bottom(i);
        for (int j = 1; j < m; ++j) {
            col[j] = dz[b + j];
            centres[i][j - 1] = 0.5 * col[j] + 0.5 * col[j - 1];
        }
        if (m == 1)
            centres[i][0] = 0.5 * col[0];
        std::copy(col, col + m, prev[i]);
    }
}

} // namespace

int hsModelInfo::init()
{
    releaseDerived();
    try {
        checkInputs();
        initLayerDepths();
        initBottomLayers();
        std::vector<double> botDz(static_cast<size_t>(mesh2d.noe));
        initBottomCells(botDz.data());
        initElemColumns(botDz.data());
        initBoundaryColumns();
        initFaces();
        initFaceColumns();
        initNodes();
        initBoundaryCells();
        initCellTables();
        initElemFaceBli();
        initBoundaryCellTables();
    } catch (...) {
        // A failed init leaves no half-built tables behind; the inputs stay.
        releaseDerived();
        throw;
    }
    isInit = true;
    return 0;
}

void hsModelInfo::checkInputs() const
{
    if (layerType == SIGMA)
        throw ZException("Sigma layers no longer supported.");
    if (noLayer < 1)
        throw ZException(initWhere + "noLayer is " + str(noLayer) +
                         ", but a model needs at least one layer.");
    if (!dz)
        throw ZException(initWhere + "no layer thicknesses (dz) are given.");
    if (dz == adoptedDz_ && adoptedDzLen_ != noLayer)
        throw ZException(initWhere + "dz holds " + str(adoptedDzLen_) +
                         " layer thicknesses, but noLayer is " + str(noLayer) + ".");
    const int noe = mesh2d.noe;
    if (noe < 0 || mesh2d.nobvf < 0 || mesh2d.noivf < 0)
        throw ZException(initWhere + "the mesh is not initialised.");
    if (noe > 0 && (!mesh2d.eArea || !mesh2d.eStart || !mesh2d.evf || !mesh2d.vfe ||
                    !mesh2d.nivfpe || !mesh2d.nbvfpe || (mesh2d.nobvf > 0 && !mesh2d.bvfe)))
        throw ZException(initWhere + "the mesh is not initialised.");
    if (noe > 0 && !elemBathy)
        throw ZException(initWhere + "no bathymetry (elemBathy) is given.");
    if (elemBathy && elemBathy == adoptedBathy_ && adoptedBathyLen_ != noe)
        throw ZException(initWhere + "elemBathy holds " + str(adoptedBathyLen_) +
                         " values, but the mesh has " + str(noe) + " elements.");
    if (!enol)
        return;
    if (enol == adoptedEnol_ && adoptedEnolLen_ != noe)
        throw ZException(initWhere + "enol holds " + str(adoptedEnolLen_) +
                         " values, but the mesh has " + str(noe) + " elements.");
    // Entries of 0 or less ask init() to derive the column from the bathymetry.
    for (int e = 0; e < noe; ++e)
        if (enol[e] > noLayer)
            throw ZException(initWhere + "element " + str(e) + " has enol " + str(enol[e]) +
                             ", more than noLayer (" + str(noLayer) + ").");
}

// Centre depths from the surface down.
void hsModelInfo::initLayerDepths()
{
    const int n = noLayer;
    layerDepth = new double[n];
    layerDepth[n - 1] = 0.5 * dz[n - 1] + offsetDepth;
    for (int k = n - 2; k >= 0; --k)
        layerDepth[k] = 0.5 * dz[k + 1] + layerDepth[k + 1] + 0.5 * dz[k];
}

// The layer each element's bottom lies in, unless enol fixes the column.
void hsModelInfo::initBottomLayers()
{
    const int n = noLayer;
    const int noe = mesh2d.noe;
    const int ne = noColumns();
    elemLastCell = new int[ne];
    elemFirstCell = new int[ne];
    ebli = new int[ne];
    etli = new int[ne];
    if (!enol) {
        enol = new int[noe]();
        adoptedEnol_ = enol;
        adoptedEnolLen_ = noe;
    }
    for (int e = 0; e < noe; ++e) {
        ZCoreLib::ZCancel::poll();
        etli[e] = n - 1;
        if (enol[e] > 0) {
            ebli[e] = n - enol[e];
            continue;
        }
        int k = 0;
        while (k < n - 1 && !(elemBathy[e] > top(k)))
            ++k;
        ebli[e] = k;
        enol[e] = n - k;
    }
}

// The bottom-cell rule: a bottom cell thinner than minDzFrac of its layer is
// deepened to that fraction, or, with a negative minDzFrac, dropped. Writes
// the final bottom-cell thicknesses to botDz and may move elemBathy.
void hsModelInfo::initBottomCells(double* botDz)
{
    const int n = noLayer;
    const double f = minDzFrac;
    for (int e = 0; e < mesh2d.noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const int b = ebli[e];
        const double t = top(b);
        double d = elemBathy[e] - t;
        if (f < 0 && b < n - 1 && d < -f * dz[b]) {
            ebli[e] = b + 1;
            elemBathy[e] = layerDepth[b + 1] + 0.5 * dz[b + 1];
            d = dz[b + 1];
        } else if (d < f * dz[b]) {
            elemBathy[e] = t + f * dz[b];
            d = elemBathy[e] - t;
        }
        botDz[e] = d;
        enol[e] = n - ebli[e];
    }
}

// Element cell numbering and the per-element thickness rows.
void hsModelInfo::initElemColumns(const double* botDz)
{
    const int n = noLayer;
    const int noe = mesh2d.noe;
    long long next = 0;
    for (int e = 0; e < noe; ++e) {
        ZCoreLib::ZCancel::poll();
        elemFirstCell[e] = static_cast<int>(next);
        next += n - ebli[e];
        elemLastCell[e] = checkedCount(next, "cells") - 1;
    }
    noCells = static_cast<int>(next);

    fillColumns(noe, n, ebli, dz, [botDz](int e) { return botDz[e]; }, edz, edzc, edzPrev);
}

// Each open-boundary face's pseudo-element carries its inner element's column.
void hsModelInfo::initBoundaryColumns()
{
    const int n = noLayer;
    const int noe = mesh2d.noe;
    long long next = noCells;
    for (int b = 0; b < mesh2d.nobvf; ++b) {
        ZCoreLib::ZCancel::poll();
        const int p = noe + b;
        ebli[p] = ebli[mesh2d.bvfe[b]];
        etli[p] = n - 1;
        elemFirstCell[p] = checkedCount(next, "cells");
        next += n - ebli[p];
        elemLastCell[p] = checkedCount(next, "cells") - 1;
    }
}

// Bottom layers, numbering and layer offsets of the model faces.
void hsModelInfo::initFaces()
{
    const int n = noLayer;
    const int noivf = mesh2d.noivf;
    noFaces = noivf + (bndFaces ? mesh2d.nobvf : 0);
    fbli = new int[noFaces];
    ftli = new int[noFaces];
    faceFirstCell = new int[noFaces];
    faceLayerOffset = new int[2 * static_cast<size_t>(noFaces)];
    long long intCells = 0;
    long long bndCells = 0;
    for (int f = 0; f < noFaces; ++f) {
        ZCoreLib::ZCancel::poll();
        ftli[f] = n - 1;
        faceFirstCell[f] = checkedCount(intCells + bndCells, "face-cells");
        const int e0 = mesh2d.vfe[2 * f];
        if (f < noivf) {
            const int e1 = mesh2d.vfe[2 * f + 1];
            fbli[f] = std::max(ebli[e0], ebli[e1]);
            intCells += n - fbli[f];
            faceLayerOffset[2 * f] = fbli[f] - ebli[e0];
            faceLayerOffset[2 * f + 1] = fbli[f] - ebli[e1];
        } else {
            fbli[f] = ebli[e0];
            bndCells += n - fbli[f];
            faceLayerOffset[2 * f] = 0;
            faceLayerOffset[2 * f + 1] = 0;
        }
    }
    noIntFaceCells = checkedCount(intCells, "face-cells");
    noBndFaceCells = static_cast<int>(bndCells);
    noFaceCells = checkedCount(intCells + bndCells, "face-cells");
}

// Face-cell thickness rows; the bottom face-cell is the thinner of the two
// bottom cells, or that of the element reaching less deep.
void hsModelInfo::initFaceColumns()
{
    const int n = noLayer;
    const int noivf = mesh2d.noivf;
    auto bottom = [this, noivf](int f) {
        const int e0 = mesh2d.vfe[2 * f];
        if (f >= noivf)
            return edz[e0][0];
        const int e1 = mesh2d.vfe[2 * f + 1];
        if (ebli[e0] == ebli[e1])
            return std::min(edz[e0][0], edz[e1][0]);
        return ebli[e1] > ebli[e0] ? edz[e1][0] : edz[e0][0];
    };
    fillColumns(noFaces, n, fbli, dz, bottom, fdz, fdzc, fdzPrev);
}

// Node layers: an interior node spans the layers of the faces meeting it.
void hsModelInfo::initNodes()
{
    const int non = mesh2d.non > 0 ? mesh2d.non : 0;
    nbli = new int[non];
    ntli = new int[non];
    nodeFirstCell = new int[non];
    long long count = 0;
    for (int i = 0; i < non; ++i) {
        ZCoreLib::ZCancel::poll();
        int lo = 99999;
        int hi = -99999;
        if (mesh2d.nt[i] == 0 && mesh2d.nvfCount) {
            const int* faces = mesh2d.nf + mesh2d.nvfStart[i];
            for (int k = 0; k < mesh2d.nvfCount[i]; ++k) {
                const int f = faces[k];
                if (f < 0 || f >= noFaces)
                    continue;
                lo = std::min(lo, fbli[f]);
                hi = std::max(hi, ftli[f]);
            }
        }
        // Boundary nodes, and any node without a model face, hold no node-cells.
        if (hi < lo) {
            lo = -1;
            hi = -2;
        }
        nbli[i] = lo;
        ntli[i] = hi;
        nodeFirstCell[i] = checkedCount(count, "node-cells");
        count += hi - lo + 1;
    }
    noNodeCells = checkedCount(count, "node-cells");
}

void hsModelInfo::initBoundaryCells()
{
    const int n = noLayer;
    const int nob = mesh2d.nob > 0 ? mesh2d.nob : 0;
    bndNoCells = new int[nob];
    long long total = 0;
    for (int i = 0; i < nob; ++i) {
        ZCoreLib::ZCancel::poll();
        long long cells = 0;
        const int first = mesh2d.bFirstVF[i];
        for (int b = first; b < first + mesh2d.bNoVF[i]; ++b)
            cells += n - ebli[mesh2d.bvfe[b]];
        bndNoCells[i] = checkedCount(cells, "boundary cells");
        total += cells;
    }
    noBndCells = checkedCount(total, "boundary cells");
    checkedCount(totalCells(), "cells");
}

// Per-cell tables of the element cells.
void hsModelInfo::initCellTables()
{
    const int n = noLayer;
    const int total = static_cast<int>(totalCells());
    cell2elem = new int[total];
    cell2layer = new int[total];
    cellVolume = new double[noCells];
    cellDepth = new double[noCells];
    for (int e = 0; e < mesh2d.noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const int b = ebli[e];
        const int first = elemFirstCell[e];
        const double area = mesh2d.eArea[e];
        for (int j = 0; j < n - b; ++j) {
            const int c = first + j;
            cellVolume[c] = edz[e][j] * area;
            cellDepth[c] = j == 0 ? top(b) + 0.5 * edz[e][0] : layerDepth[b + j];
            cell2elem[c] = e;
            cell2layer[c] = b + j;
        }
    }
}

// Per element, the bottom layer of each interior and open-boundary face.
// Without boundary faces an open-boundary face has no fbli of its own and
// takes the element's bottom layer.
void hsModelInfo::initElemFaceBli()
{
    const int noe = mesh2d.noe;
    elemFaceBli.build(noe, [this](int e) { return mesh2d.nivfpe[e] + mesh2d.nbvfpe[e]; });
    for (int e = 0; e < noe; ++e) {
        ZCoreLib::ZCancel::poll();
        const int* faces = mesh2d.evf + mesh2d.eStart[e];
        const int m = mesh2d.nivfpe[e] + mesh2d.nbvfpe[e];
        for (int k = 0; k < m; ++k) {
            const int f = faces[k];
            elemFaceBli[e][k] = f < noFaces ? fbli[f] : ebli[e];
        }
    }
}

void hsModelInfo::initBoundaryCellTables()
{
    const int n = noLayer;
    const long long total = totalCells();
    for (int b = 0; b < mesh2d.nobvf; ++b) {
        ZCoreLib::ZCancel::poll();
        const int p = mesh2d.noe + b;
        for (int j = 0; j < n - ebli[p]; ++j) {
            const long long c = static_cast<long long>(elemFirstCell[p]) + j;
            if (c >= total)
                throw ZException("Bugger! bnd cell2elem error 42. " + errSuffix);
            cell2elem[c] = p;
            cell2layer[c] = ebli[p] + j;
        }
    }
    const int nt = static_cast<int>(total);
    cell2top = new int[nt];
    updateCell2Top();
    cellFlag = new int[nt]();
    cellIdx = new int[nt];
    for (int i = 0; i < nt; ++i)
        cellIdx[i] = i;
}

} // namespace hestor
