#ifndef HESTOR_HSMODELINFO_H
#define HESTOR_HSMODELINFO_H

// One model set-up: the mesh, a stack of z-layers, a bottom depth per element
// and the time axis; init() derives the cells, face-cells and their tables.

#include <string>
#include <vector>

#include "hestor.h"
#include "hsGlobal.h"
#include "hsMesh2D.h"
#include "hsRagged.h"

namespace hestor {

class hsModelInfo {
public:
    // Names: e element, f face (the mesh's faces, interior ones first), n
    // node, c cell; bli / tli bottom / top layer index, dz thickness, dzc
    // distance between cell centres, no a count. Layers count from the bottom:
    // layer 0 is the deepest, noLayer - 1 the surface. A column is an element
    // (or, from noe on, the boundary pseudo-element of open-boundary face i,
    // noe + i) with one cell per layer from its bottom layer up; cells count
    // column after column, bottom first: element cells 0 .. noCells - 1, then
    // noBndCells boundary cells. A face has one face-cell per layer from its
    // bottom layer up. Depths are metres, positive down. The object owns
    // every array; init() derives all but the inputs.

    // init() has built the tables.
    bool isInit;
    // Time axis: first timestep (ZDT seconds), seconds between timesteps,
    // modelTypeEnum, the third header word carried as it is, timestep count.
    long long startDT;
    double timestep;
    int modeltype;
    int headerField3;
    int noTimestep;
    // Texts the bathymetry and the layer thicknesses were last set from.
    std::string bathyStr;
    std::string dzStr;
    // Inputs: bottom depth per element (init() may deepen it so that a bottom
    // cell is at least minDzFrac of its layer; a negative minDzFrac drops a
    // thinner one instead), layers per element column (enol; derived where
    // not above 0).
    double* elemBathy;
    double minDzFrac;
    int* enol;
    // Per element cell its volume; per column its last and first cell; per
    // node its first node-cell.
    double* cellVolume;
    int* elemLastCell;
    int* elemFirstCell;
    int* nodeFirstCell;
    // Per cell (all cells): its column, its layer, a flag (0 after init),
    // its own index, and the current top cell of its column.
    int* cell2elem;
    int* cell2layer;
    int* cellFlag;
    int* cellIdx;
    int* cell2top;
    // Whether open-boundary faces count as faces; noFaces faces, their
    // face-cells (interior, boundary, all), node-cells, boundary cells in all
    // and per open boundary.
    bool bndFaces;
    int noFaces;
    int noIntFaceCells;
    int noBndFaceCells;
    int noFaceCells;
    int noNodeCells;
    int noBndCells;
    int* bndNoCells;
    // Centre depth of each element cell.
    double* cellDepth;
    // Horizontally adjacent cells (popHAC, sigma layers): cell c has hacNo[c]
    // of them from hacStart[c], each a cell hacList and a weight hacFrac.
    int* hacNo;
    int* hacList;
    int* hacStart;
    double* hacFrac;
    // Element cells.
    int noCells;
    // Bottom and top layer of each column (etliPrev: the top layer of the
    // previous step under wetting and drying), of each face, and the lowest
    // and highest face layer at each node.
    int* ebli;
    int* etli;
    int* etliPrev;
    int* fbli;
    int* ftli;
    int* nbli;
    int* ntli;
    // Ragged per-face and per-element tables, read as fdz[f][j], edz[e][j],
    // j counting the cells from the bottom: thicknesses, their copy from the
    // previous step, and the distances between consecutive cell centres (one
    // entry, half the thickness, for a single cell); the bottom-cell thickness
    // saved for wetting and drying.
    hsRagged<double> fdz;
    hsRagged<double> fdzPrev;
    hsRagged<double> fdzc;
    hsRagged<double> edz;
    hsRagged<double> edzPrev;
    hsRagged<double> edzc;
    double* edzBot;
    // Per face its first face-cell, and fbli minus the ebli of each of its
    // two elements ([2f], [2f + 1]); per element the fbli of each interior
    // and open-boundary face, in evf order.
    int* faceFirstCell;
    int* faceLayerOffset;
    hsRagged<int> elemFaceBli;
    hsMesh2D mesh2d;
    // Layers: count, thickness and centre depth of each (bottom first), depth
    // of the surface layer's top, layerTypeEnum (0 z-layers, 1 sigma).
    int noLayer;
    double* dz;
    double* layerDepth;
    double offsetDepth;
    int layerType;
    // initWetDry has run.
    bool isWetDry;

    hsModelInfo();
    ~hsModelInfo();
    // The object owns large tables; copies would have to share or duplicate
    // them silently, so a copy is made only on purpose.
    hsModelInfo(const hsModelInfo&) = delete;
    hsModelInfo& operator=(const hsModelInfo&) = delete;

    void reset();
    void relMem();

    // Hand over an input array allocated with new[] together with its length,
    // which init() then checks against the mesh and the layer count. The
    // previous array is released; the object owns the new one.
    void adoptElemBathy(double* values, int n);
    void adoptDz(double* values, int n);
    void adoptEnol(int* values, int n);

    int init();
    void updateCell2Top();
    double layerTopDepth(int layer, int elem) const;
    int layer(int elem, double depth) const;
    int layerIdx(int elem, double depth) const;
    int getDim(int n) const;
    // Three new arrays of noCells: the element centroid and the layer centre
    // of each element cell; the caller frees them with delete[].
    void getCellCoor(double*& x, double*& y, double*& z) const;
    // A new array of noCells distances from cell; the caller frees it with delete[].
    double* dist2Cell(int cell);
    void updateCellVolume(bool topOnly);

    // Thickness updates for a moving surface, wetting and drying, and the
    // sigma-layout adjacency (hsModelInfoUpdate.cpp). eta holds one surface
    // elevation per element, u one flow value per face-cell; both are only read.
    void updateDZe(const double* eta, bool swap);
    void updateDZf(const double* eta, const double* u, int faceRule, bool swap, bool wetDry);
    void initWetDry();
    void updateDZeWetDry(const double* eta, std::vector<int>& wetted, std::vector<int>& dried,
                         bool copyPrev);
    int popHAC(bool byFace);

    // Reports (hsModelInfoReport.cpp)
    std::string toString(int level) const;
    std::string blowupReport(int cell) const;
    std::string toXML(int nts);

    // Vertical section mesh (hsModelInfoVMesh.cpp): the n section elements
    // and distances of hsMesh2D::sectionIntersections as a new mesh in the
    // vertical plane, one quadrilateral per cell; eta (one surface height per
    // section element) may be null. The caller deletes the mesh.
    hsMesh2D* ise2VMesh(const int* elems, const double* dist, int n, const double* eta) const;

    // Time axis, bathymetry and set-up from text (hsModelInfoSetup.cpp).
    // Date-times are seconds since 1970 (ZDT).
    long long ts2DT(int i) const;
    long long endDT() const;
    std::string ts2StrDT(int i) const;
    // mode 1 floor, 2 ceiling, other modes >= 0 nearest; negative: exact or -1.
    int findTimestep(long long dt, int mode) const;
    long long string2DT(const std::string& text) const;
    std::vector<long long> csv2DT(const std::string& text) const;
    int setStartDT(const std::string& text);
    // A failed call leaves elemBathy, enol and bathyStr as they were.
    int setElemBathy(const std::string& text);
    void resetBathy(double depth, int n);
    void init(const std::string& layers, const std::string& meshFile, const std::string& bathy,
              double offset);
    // New set-ups, initialised; the caller deletes them.
    hsModelInfo* copy();
    hsModelInfo* bndMInfo(int b, bool oneLayer);
    std::string fileExt() const;

private:
    // Lengths of the inputs handed over through adopt*(); -1 when unknown
    // (the field was set directly, or replaced since).
    const double* adoptedBathy_;
    int adoptedBathyLen_;
    const double* adoptedDz_;
    int adoptedDzLen_;
    const int* adoptedEnol_;
    int adoptedEnolLen_;

    void nullAll();
    void releaseAll();
    void releaseDerived();
    void releaseInputs();
    void requireInit(const char* where) const;

    // Top depth of layer k, z-layers.
    double top(int k) const { return layerDepth[k] - 0.5 * dz[k]; }
    int noColumns() const { return mesh2d.noe + mesh2d.nobvf; }
    long long totalCells() const { return static_cast<long long>(noCells) + noBndCells; }

    // init() steps (hsModelInfoInit.cpp)
    void checkInputs() const;
    void initLayerDepths();
    void initBottomLayers();
    void initBottomCells(double* botDz);
    void initElemColumns(const double* botDz);
    void initBoundaryColumns();
    void initFaces();
    void initFaceColumns();
    void initNodes();
    void initBoundaryCells();
    void initCellTables();
    void initElemFaceBli();
    void initBoundaryCellTables();

    // Thickness updates (hsModelInfoUpdate.cpp)
    void requireZLayerInit(const char* where) const;
    double cellBottom(int e, int k) const;
    void updateDZfTop(const double* eta, const double* u, int faceRule);
    void updateDZfWetDry(const double* eta, const double* u, int faceRule);
    void updateBoundaryFaceTops(const double* eta);
    void checkSigmaLayout() const;
    void symmetriseHAC(const int* no, const int* start, const std::vector<int>& list,
                       std::vector<double>& frac) const;
    // Reports (hsModelInfoReport.cpp)
    std::string boundaryReport(int i) const;
};

} // namespace hestor

#endif
