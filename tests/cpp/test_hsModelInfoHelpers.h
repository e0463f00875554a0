#ifndef HESTOR_TEST_HSMODELINFOHELPERS_H
#define HESTOR_TEST_HSMODELINFOHELPERS_H

// Model set-ups shared by the model description tests.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "hsModelInfo.h"
#include "test_hsMesh2DHelpers.h"

namespace modeltest {

// An nx x ny grid of 10 m squares, open boundary 1 on the left side and 2 on
// the right, with z-layers dz and the given bathymetry (empty: a pattern).
struct ModelSetup {
    int nx = 4, ny = 3;
    std::vector<double> dz = std::vector<double>(5, 2.0);
    std::vector<double> bathy;  // empty: a pattern of depths
    std::vector<int> enol;      // empty: none given
    double offset = 0.0;
    double minDzFrac = 0.1;
    bool bndFaces = true;
};

inline std::unique_ptr<hestor::hsModelInfo> makeModel(const ModelSetup& s, bool runInit = true)
{
    auto mi = std::make_unique<hestor::hsModelInfo>();
    meshtest::build(mi->mesh2d, meshtest::sideTypedGrid(s.nx, s.ny, 10.0, 1, 2));
    const int noe = mi->mesh2d.noe;
    mi->noLayer = static_cast<int>(s.dz.size());
    mi->adoptDz(new double[s.dz.size()], static_cast<int>(s.dz.size()));
    std::copy(s.dz.begin(), s.dz.end(), mi->dz);
    std::vector<double> bathy = s.bathy;
    for (int e = static_cast<int>(bathy.size()); e < noe; ++e)
        bathy.push_back(0.7 + std::fmod(e * 1.37, 11.0));
    mi->adoptElemBathy(new double[bathy.size()], static_cast<int>(bathy.size()));
    std::copy(bathy.begin(), bathy.end(), mi->elemBathy);
    if (!s.enol.empty()) {
        mi->adoptEnol(new int[s.enol.size()], static_cast<int>(s.enol.size()));
        std::copy(s.enol.begin(), s.enol.end(), mi->enol);
    }
    mi->offsetDepth = s.offset;
    mi->minDzFrac = s.minDzFrac;
    mi->bndFaces = s.bndFaces;
    if (runInit)
        mi->init();
    return mi;
}

// The sigma layout, which init() refuses to build: layer fractions s.dz
// (bottom first, summing to 1), cell e * noLayer + k, cell volumes from the
// layer fraction, the bathymetry and the element area.
inline std::unique_ptr<hestor::hsModelInfo> makeSigmaModel(const ModelSetup& s)
{
    auto mi = makeModel(s, false);
    const int n = mi->noLayer;
    const int noe = mi->mesh2d.noe;
    mi->layerType = hestor::SIGMA;
    mi->layerDepth = new double[n];
    mi->layerDepth[n - 1] = 0.5 * mi->dz[n - 1];
    for (int k = n - 2; k >= 0; --k)
        mi->layerDepth[k] = mi->layerDepth[k + 1] + 0.5 * mi->dz[k + 1] + 0.5 * mi->dz[k];
    mi->noCells = noe * n;
    mi->cellVolume = new double[mi->noCells];
    for (int e = 0; e < noe; ++e)
        for (int k = 0; k < n; ++k)
            mi->cellVolume[e * n + k] = mi->dz[k] * mi->elemBathy[e] * mi->mesh2d.eArea[e];
    return mi;
}

} // namespace modeltest

#endif
