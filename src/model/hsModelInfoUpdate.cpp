// Layer thickness updates for a moving water surface, wetting and drying of
// z-layer columns, and the horizontal adjacent cells of the sigma layout.

#include "hsModelInfo.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "ZMessage.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

// Depths cut to 4 decimals, so that cell faces that meet up to rounding
// error count as meeting. The rounding direction follows the fractional part
// of the depth itself, not of the scaled value.
double cut4(double x)
{
    const double y = x * 10000.0;
    return (x - std::floor(x) >= 0.5 ? std::ceil(y) : std::floor(y)) / 10000.0;
}

// Upwind choice through a face-cell under wetting and drying: the first
// element's value for flow from it, the second's against it, and the larger
// of the two where nothing flows.
double upwind(double v, double a, double b)
{
    if (v > 0)
        return a;
    if (v < 0)
        return b;
    return std::max(a, b);
}

template <typename T>
T* toArray(const std::vector<T>& v)
{
    T* out = new T[v.size()];
    std::copy(v.begin(), v.end(), out);
    return out;
}

} // namespace

void hsModelInfo::requireZLayerInit(const char* where) const
{
    if (layerType != ZLAYER)
        throw ZException("hsModelInfo::updateDZ not implemented for current layerType.");
    requireInit(where);
}

// Depth of the bottom of column e's cell in layer k: the element's bottom for
// its bottom cell, the layer's bottom otherwise.
double hsModelInfo::cellBottom(int e, int k) const
{
    return k == ebli[e] ? elemBathy[e] : layerDepth[k] + 0.5 * dz[k];
}

void hsModelInfo::updateDZe(const double* eta, bool swap)
{
    requireZLayerInit("updateDZe");
    if (swap)
        edz.swap(edzPrev);
    const double dzTop = dz[noLayer - 1];
    // The top cell's volume is set here rather than by updateCellVolume(true):
    // the cell tables of large models exceed the caches, and a second pass
    // would fetch every column's top cell again.
    for (int e = 0; e < mesh2d.noe; ++e) {
        const int t = etli[e] - ebli[e];
        double* col = edz[e];
        if (t < 1) {
            col[0] = eta[e] + elemBathy[e];
            edzc[e][0] = 0.5 * col[0];
        } else {
            col[t] = eta[e] + dzTop;
            edzc[e][t - 1] = 0.5 * col[t] + 0.5 * col[t - 1];
        }
        cellVolume[elemFirstCell[e] + t] = col[t] * mesh2d.eArea[e];
    }
}

void hsModelInfo::updateDZf(const double* eta, const double* u, int faceRule, bool swap,
                            bool wetDry)
{
    requireZLayerInit("updateDZf");
    if (swap)
        fdz.swap(fdzPrev);
    if (wetDry)
        updateDZfWetDry(eta, u, faceRule);
    else
        updateDZfTop(eta, u, faceRule);
    if (bndFaces)
        updateBoundaryFaceTops(eta);
}

// Fixed top layer: only the top face-cell of each interior face moves.
void hsModelInfo::updateDZfTop(const double* eta, const double* u, int faceRule)
{
    const int n = noLayer;
    const double dzTop = dz[n - 1];
    for (int f = 0; f < mesh2d.noivf; ++f) {
        const int e0 = mesh2d.vfe[2 * f];
        const int e1 = mesh2d.vfe[2 * f + 1];
        const int t = n - fbli[f] - 1;
        double elev;
        switch (faceRule) {
        case 0:
            elev = std::max(eta[e0], eta[e1]);
            break;
        case 1:
            elev = std::min(eta[e0], eta[e1]);
            break;
        case 2:
            elev = 0.5 * (eta[e0] + eta[e1]);
            break;
        default:
            elev = u[faceFirstCell[f] + t] > 0 ? eta[e0] : eta[e1];
            break;
        }
        double* col = fdz[f];
        if (t >= 1) {
            col[t] = dzTop + elev;
            fdzc[f][t - 1] = 0.5 * col[t - 1] + 0.5 * col[t];
        } else {
            // A single face-cell reaches from the surface to the face's
            // bottom, the shallower of the two element bottoms, as a
            // single-cell column does.
            col[0] = elev + std::min(elemBathy[e0], elemBathy[e1]);
            fdzc[f][0] = 0.5 * col[0];
        }
    }
}

// Wetting and drying: every face-cell follows the wet cells of the two
// columns, taking the upwind cell's thickness.
void hsModelInfo::updateDZfWetDry(const double* eta, const double* u, int faceRule)
{
    if (faceRule != 3)
        throw ZException("WetDry only supports face rule 3");
    const int n = noLayer;
    for (int f = 0; f < mesh2d.noivf; ++f) {
        const int e0 = mesh2d.vfe[2 * f];
        const int e1 = mesh2d.vfe[2 * f + 1];
        const int b = fbli[f];
        const int first = faceFirstCell[f];
        // Thickness of each element's cell in layer k.
        auto dz0 = [&](int k) { return edz[e0][k - ebli[e0]]; };
        auto dz1 = [&](int k) { return edz[e1][k - ebli[e1]]; };
        double* col = fdz[f];
        const int top = std::max(etli[e0], etli[e1]);
        ftli[f] = top;
        for (int j = top - b + 1; j < n - b; ++j)
            col[j] = 0;
        for (int k = b + 1; k <= top; ++k)
            col[k - b] = upwind(u[first + k - b], dz0(k), dz1(k));
        if (top > b) {
            col[0] = std::min(dz0(b), dz1(b));
        } else {
            const double elev = upwind(u[first], eta[e0], eta[e1]);
            col[0] = std::max(0.0, elev + std::min(elemBathy[e0], elemBathy[e1]));
        }
        double* centres = fdzc[f];
        for (int j = 1; j < n - b; ++j)
            centres[j - 1] = 0.5 * (col[j - 1] + col[j]);
        if (top == b)
            centres[0] = 0.5 * col[0];
    }
    if (!bndFaces)
        return;
    for (int i = 0; i < mesh2d.nobvf; ++i) {
        const int f = mesh2d.noivf + i;
        const int e = mesh2d.bvfe[i];
        ftli[f] = etli[e];
        std::copy(edz[e], edz[e] + (n - fbli[f]), fdz[f]);
        std::copy(edzc[e], edzc[e] + std::max(n - fbli[f] - 1, 1), fdzc[f]);
    }
}

// The top face-cell of each open-boundary face reaches from the inner
// element's surface down to the bottom of its top cell.
void hsModelInfo::updateBoundaryFaceTops(const double* eta)
{
    for (int i = 0; i < mesh2d.nobvf; ++i) {
        const int f = mesh2d.noivf + i;
        const int e = mesh2d.bvfe[i];
        const int t = ftli[f] - fbli[f];
        double* col = fdz[f];
        col[t] = eta[e] + cellBottom(e, etli[e]);
        if (t > 0)
            fdzc[f][t - 1] = 0.5 * col[t] + 0.5 * col[t - 1];
        else
            fdzc[f][0] = 0.5 * col[0];
    }
}

void hsModelInfo::initWetDry()
{
    if (!isInit)
        throw ZException("hsModelInfo: Cannot init wetdry before main init. " + errSuffix);
    const int noe = mesh2d.noe;
    std::unique_ptr<double[]> bot(new double[noe]);
    std::unique_ptr<int[]> prev(new int[noe]);
    for (int e = 0; e < noe; ++e) {
        bot[e] = edz[e][0];
        prev[e] = etli[e];
    }
    delete[] edzBot;
    delete[] etliPrev;
    edzBot = bot.release();
    etliPrev = prev.release();
    isWetDry = true;
}

void hsModelInfo::updateDZeWetDry(const double* eta, std::vector<int>& wetted,
                                  std::vector<int>& dried, bool copyPrev)
{
    requireZLayerInit("updateDZeWetDry");
    // The bottom cells' full thicknesses are saved by initWetDry.
    if (!isWetDry)
        throw ZException("hsModelInfo::updateDZeWetDry called before initWetDry().");
    const int n = noLayer;
    const int noe = mesh2d.noe;
    if (copyPrev) {
        std::copy(edz.data(), edz.data() + edz.size(), edzPrev.data());
        std::copy(etli, etli + noe, etliPrev);
    }
    for (int e = 0; e < noe; ++e) {
        const int b = ebli[e];
        const int first = elemFirstCell[e];
        const double area = mesh2d.eArea[e];
        const double surface = -eta[e];
        double* col = edz[e];
        double* centres = edzc[e];
        int k = etli[e];
        // Cells that change wet state take their volume with them, so that
        // every cell's volume stays its thickness times the element area.
        while (top(k) > surface && k < n - 1) {
            if (k == b) {
                col[0] = edzBot[e];
                centres[0] = 0.5 * edzBot[e];
            } else {
                col[k - b] = dz[k];
                centres[k - b - 1] = 0.5 * col[k - b - 1] + 0.5 * dz[k];
            }
            cellVolume[first + k - b] = col[k - b] * area;
            k = ++etli[e];
            ++elemLastCell[e];
            ++enol[e];
            wetted.push_back(first + k - b);
        }
        double bottom = cellBottom(e, k);
        while (surface >= bottom && k > b) {
            dried.push_back(first + k - b);
            col[k - b] = 0;
            cellVolume[first + k - b] = 0;
            centres[k - b - 1] = 0.5 * col[k - b - 1];
            if (k < n - 1)
                centres[k - b] = 0;
            k = --etli[e];
            --elemLastCell[e];
            --enol[e];
            bottom = cellBottom(e, k);
        }
        if (k > b) {
            col[k - b] = bottom + eta[e];
            centres[k - b - 1] = 0.5 * col[k - b] + 0.5 * col[k - b - 1];
            if (k < n - 1)
                centres[k - b] = 0.5 * col[k - b];
        } else {
            col[0] = eta[e] + elemBathy[e];
            centres[0] = 0.5 * col[0];
        }
        cellVolume[first + k - b] = col[k - b] * area;
    }
}

// The sigma layout numbers cell e * noLayer + k; init() builds only z-layers,
// so a caller sets noCells, cellVolume and layerDepth for this layout itself.
void hsModelInfo::checkSigmaLayout() const
{
    const std::string where = "hsModelInfo::popHAC: ";
    const long long expected = static_cast<long long>(mesh2d.noe) * noLayer;
    if (noLayer < 1 || !dz || !layerDepth)
        throw ZException(where + "the layers (noLayer, dz, layerDepth) are not set up.");
    if (mesh2d.noe > 0 && (!elemBathy || !mesh2d.eStart || !mesh2d.vfLength))
        throw ZException(where + "the mesh or its bathymetry is not set up.");
    if (noCells != expected || (noCells > 0 && !cellVolume))
        throw ZException(where + "noCells is " + str(noCells) +
                         (cellVolume ? "" : " without cellVolume") + ", but the sigma layout of " +
                         str(mesh2d.noe) + " elements and " + str(noLayer) +
                         " layers has " + str(expected) + " cells.");
}

int hsModelInfo::popHAC(bool byFace)
{
    if (layerType != SIGMA)
        throw ZException("hsModelInfo::popHAC only implemented for sigma layers.");
    checkSigmaLayout();
    mesh2d.initHAE();
    const int n = noLayer;
    const int noe = mesh2d.noe;
    std::vector<double> cellTop(static_cast<size_t>(noCells));
    std::vector<double> cellBot(static_cast<size_t>(noCells));
    for (int e = 0; e < noe; ++e)
        for (int k = 0; k < n; ++k) {
            cellTop[e * n + k] = cut4(top(k) * elemBathy[e]);
            cellBot[e * n + k] = cut4((layerDepth[k] + 0.5 * dz[k]) * elemBathy[e]);
        }

    std::unique_ptr<int[]> no(new int[noCells]);
    std::unique_ptr<int[]> start(new int[noCells]);
    std::vector<int> list;
    std::vector<double> frac;
    if (noCells > 0)
        start[0] = 0;
    for (int e = 0; e < noe; ++e)
        for (int k = 0; k < n; ++k) {
            const int c = e * n + k;
            no[c] = 0;
            for (int i = mesh2d.haeStart[e]; i < mesh2d.haeStart[e] + mesh2d.haeCount[e]; ++i) {
                const int ne = mesh2d.hae[i];
                for (int kk = 0; kk < n; ++kk) {
                    const int nc = ne * n + kk;
                    // A cell of no height overlaps nothing (and would weigh 0 / 0).
                    if (!(cellTop[nc] < cellBot[c] && cellTop[c] < cellBot[nc]) ||
                        !(cellTop[c] < cellBot[c] && cellTop[nc] < cellBot[nc]))
                        continue;
                    const double h = std::min(cellBot[c], cellBot[nc]) -
                                     std::max(cellTop[c], cellTop[nc]);
                    ++no[c];
                    list.push_back(nc);
                    frac.push_back(byFace ? h * mesh2d.vfLength[mesh2d.haeVF[i]]
                                          : h / (cellBot[nc] - cellTop[nc]) * cellVolume[nc]);
                }
            }
            if (c + 1 < noCells)
                start[c + 1] = start[c] + no[c];
        }
    if (!byFace)
        symmetriseHAC(no.get(), start.get(), list, frac);

    std::unique_ptr<int[]> listArr(toArray(list));
    std::unique_ptr<double[]> fracArr(toArray(frac));
    delete[] hacNo;
    delete[] hacStart;
    delete[] hacList;
    delete[] hacFrac;
    hacNo = no.release();
    hacStart = start.release();
    hacList = listArr.release();
    hacFrac = fracArr.release();
    return 0;
}

// Scales each cell's weights to its volume, then gives both entries of every
// adjacent pair the smaller of their two weights.
void hsModelInfo::symmetriseHAC(const int* no, const int* start, const std::vector<int>& list,
                                std::vector<double>& frac) const
{
    for (int c = 0; c < noCells; ++c) {
        double sum = 0;
        for (int i = start[c]; i < start[c] + no[c]; ++i)
            sum += frac[i];
        if (sum == 0)
            continue;
        for (int i = start[c]; i < start[c] + no[c]; ++i)
            frac[i] = cellVolume[c] * frac[i] / sum;
    }
    std::vector<char> visited(list.size(), 0);
    for (int c = 0; c < noCells; ++c)
        for (int i = start[c]; i < start[c] + no[c]; ++i) {
            if (visited[i])
                continue;
            const int nc = list[i];
            int back = -1;
            for (int j = start[nc]; j < start[nc] + no[nc] && back < 0; ++j)
                if (list[j] == c && !visited[j])
                    back = j;
            if (back < 0)
                throw ZException("Horisontal adjacent cell not found!");
            visited[back] = 1;
            frac[i] = frac[back] = std::min(frac[i], frac[back]);
        }
}

} // namespace hestor
