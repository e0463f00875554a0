#include "hsModelInfo.h"

#include <cmath>
#include <memory>

#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

hsModelInfo::hsModelInfo()
    : isInit(false), startDT(0), timestep(-1.0), modeltype(0), headerField3(-1), noTimestep(0),
      minDzFrac(0.1), bndFaces(true), noFaces(0), noIntFaceCells(0), noBndFaceCells(0),
      noFaceCells(0), noNodeCells(0), noBndCells(0), noCells(0), noLayer(0), offsetDepth(0.0),
      layerType(0), isWetDry(false)
{
    nullAll();
    reset();
}

hsModelInfo::~hsModelInfo() { releaseAll(); }

void hsModelInfo::nullAll()
{
    elemBathy = nullptr;
    enol = nullptr;
    dz = nullptr;
    releaseInputs(); // nothing to free yet: clears what was adopted
    cellVolume = nullptr;
    elemLastCell = nullptr;
    elemFirstCell = nullptr;
    nodeFirstCell = nullptr;
    cell2elem = nullptr;
    cell2layer = nullptr;
    cellFlag = nullptr;
    cellIdx = nullptr;
    cell2top = nullptr;
    bndNoCells = nullptr;
    cellDepth = nullptr;
    hacNo = nullptr;
    hacList = nullptr;
    hacStart = nullptr;
    hacFrac = nullptr;
    ebli = nullptr;
    etli = nullptr;
    etliPrev = nullptr;
    fbli = nullptr;
    ftli = nullptr;
    nbli = nullptr;
    ntli = nullptr;
    edzBot = nullptr;
    faceFirstCell = nullptr;
    faceLayerOffset = nullptr;
    layerDepth = nullptr;
}

void hsModelInfo::reset()
{
    releaseAll();
    noTimestep = 0;
    startDT = 0;
    timestep = -1.0;
    modeltype = 0;
    noLayer = 0;
    bathyStr.clear();
    layerType = 0;
    bndFaces = true;
    headerField3 = -1;
    minDzFrac = 0.1;
    noCells = 0;
}

void hsModelInfo::relMem() { releaseAll(); }

namespace {

template <typename T>
void freeArray(T*& p) noexcept
{
    delete[] p;
    p = nullptr;
}

// Takes ownership of values as the input field, remembering its length.
template <typename T>
void adopt(T*& field, const T*& adopted, int& adoptedLen, T* values, int n)
{
    if (values != field)
        delete[] field;
    field = values;
    adopted = values;
    adoptedLen = n;
}

} // namespace

// Releases whatever exists, whether or not init() completed: a failed or
// partial init() must not leak, and the inputs are owned as well.
void hsModelInfo::releaseAll()
{
    releaseDerived();
    releaseInputs();
}

void hsModelInfo::releaseInputs()
{
    freeArray(elemBathy);
    freeArray(dz);
    freeArray(enol);
    adoptedBathy_ = nullptr;
    adoptedBathyLen_ = -1;
    adoptedDz_ = nullptr;
    adoptedDzLen_ = -1;
    adoptedEnol_ = nullptr;
    adoptedEnolLen_ = -1;
}

void hsModelInfo::releaseDerived()
{
    freeArray(elemFirstCell);
    freeArray(elemLastCell);
    freeArray(ebli);
    freeArray(etli);
    freeArray(layerDepth);
    freeArray(bndNoCells);
    edz.release();
    edzc.release();
    edzPrev.release();
    elemFaceBli.release();
    fdz.release();
    fdzPrev.release();
    fdzc.release();
    freeArray(fbli);
    freeArray(faceFirstCell);
    freeArray(cellVolume);
    freeArray(cellDepth);
    freeArray(cell2elem);
    freeArray(cell2layer);
    freeArray(faceLayerOffset);
    freeArray(hacNo);
    freeArray(hacList);
    freeArray(hacStart);
    freeArray(hacFrac);
    freeArray(edzBot);
    freeArray(etliPrev);
    freeArray(nodeFirstCell);
    freeArray(cellFlag);
    freeArray(cellIdx);
    freeArray(cell2top);
    freeArray(ftli);
    freeArray(nbli);
    freeArray(ntli);
    // The counts describe tables that no longer exist.
    noCells = 0;
    noFaces = 0;
    noIntFaceCells = 0;
    noBndFaceCells = 0;
    noFaceCells = 0;
    noNodeCells = 0;
    noBndCells = 0;
    isInit = false;
    isWetDry = false;
}

void hsModelInfo::adoptElemBathy(double* values, int n)
{
    adopt(elemBathy, adoptedBathy_, adoptedBathyLen_, values, n);
}

void hsModelInfo::adoptDz(double* values, int n)
{
    adopt(dz, adoptedDz_, adoptedDzLen_, values, n);
}

void hsModelInfo::adoptEnol(int* values, int n)
{
    adopt(enol, adoptedEnol_, adoptedEnolLen_, values, n);
}

void hsModelInfo::requireInit(const char* where) const
{
    if (!isInit)
        throw ZException(std::string("hsModelInfo::") + where + " called before init().");
}

void hsModelInfo::updateCell2Top()
{
    if (!cell2top || !elemFirstCell || !ebli || !etli)
        throw ZException("hsModelInfo::updateCell2Top called before init().");
    const int ne = noColumns();
    for (int e = 0; e < ne; ++e) {
        const int first = elemFirstCell[e];
        const int topCell = first + etli[e] - ebli[e];
        const int m = noLayer - ebli[e];
        for (int j = 0; j < m; ++j)
            cell2top[first + j] = topCell;
    }
}

double hsModelInfo::layerTopDepth(int layer, int elem) const
{
    if (!layerDepth || !dz || layer < 0 || layer >= noLayer)
        throw ZException("hsModelInfo::layerTopDepth: layer " + str(layer) +
                         " is not one of the " + str(layerDepth ? noLayer : 0) +
                         " layers of the model.");
    double d = top(layer);
    if (layerType == SIGMA) {
        if (!elemBathy || elem < 0 || elem >= mesh2d.noe)
            throw ZException("hsModelInfo::layerTopDepth: element " + str(elem) +
                             " has no bathymetry.");
        d *= elemBathy[elem];
    }
    return d;
}

int hsModelInfo::layer(int elem, double depth) const
{
    requireInit("layer");
    if (elem < 0 || elem >= mesh2d.noe)
        throw ZException("hsModelInfo::layer: element " + str(elem) +
                         " is not one of the " + str(mesh2d.noe) +
                         " elements of the mesh.");
    if (depth > elemBathy[elem] || depth < 0)
        return ebli[elem];
    if (layerType == SIGMA)
        depth /= elemBathy[elem];
    for (int k = ebli[elem]; k < noLayer - 1; ++k)
        if (top(k) <= depth)
            return k;
    return noLayer - 1;
}

int hsModelInfo::layerIdx(int elem, double depth) const
{
    return layer(elem, depth) - ebli[elem];
}

int hsModelInfo::getDim(int n) const
{
    if (n == 1)
        return 0;
    if (n == noLayer)
        return 1;
    if (n == mesh2d.noe)
        return 2;
    return 3;
}

void hsModelInfo::getCellCoor(double*& x, double*& y, double*& z) const
{
    requireInit("getCellCoor");
    std::unique_ptr<double[]> xs(new double[noCells]);
    std::unique_ptr<double[]> ys(new double[noCells]);
    std::unique_ptr<double[]> zs(new double[noCells]);
    for (int c = 0; c < noCells; ++c) {
        const int e = cell2elem[c];
        xs[c] = mesh2d.eX[e];
        ys[c] = mesh2d.eY[e];
        zs[c] = layerDepth[cell2layer[c]];
        if (layerType == SIGMA)
            zs[c] *= elemBathy[e];
    }
    x = xs.release();
    y = ys.release();
    z = zs.release();
}

double* hsModelInfo::dist2Cell(int cell)
{
    requireInit("dist2Cell");
    if (cell < 0 || cell >= noCells)
        throw ZException("hsModelInfo::dist2Cell: cell " + str(cell) +
                         " is not one of the " + str(noCells) + " element cells.");
    std::unique_ptr<double[]> h(mesh2d.dist2Elem(cell2elem[cell]));
    std::unique_ptr<double[]> out(new double[noCells]);
    const double d0 = cellDepth[cell];
    for (int c = 0; c < noCells; ++c) {
        const double he = h[cell2elem[c]];
        const double dd = d0 - cellDepth[c];
        out[c] = std::sqrt(he * he + dd * dd);
    }
    return out.release();
}

void hsModelInfo::updateCellVolume(bool topOnly)
{
    requireInit("updateCellVolume");
    for (int e = 0; e < mesh2d.noe; ++e) {
        const int t = etli[e] - ebli[e];
        const double area = mesh2d.eArea[e];
        cellVolume[elemFirstCell[e] + t] = edz[e][t] * area;
        if (topOnly)
            continue;
        for (int j = 0; j < t; ++j)
            cellVolume[elemFirstCell[e] + j] = edz[e][j] * area;
    }
}

} // namespace hestor
