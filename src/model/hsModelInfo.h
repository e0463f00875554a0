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
    bool isInit;
    long long startDT;
    double timestep;
    int modeltype;
    int headerField3;
    int noTimestep;
    std::string bathyStr;
    std::string dzStr;
    double* elemBathy;
    double minDzFrac;
    int* enol;
    double* cellVolume;
    int* elemLastCell;
    int* elemFirstCell;
    int* nodeFirstCell;
    int* cell2elem;
    int* cell2layer;
    int* cellFlag;
    int* cellIdx;
    int* cell2top;
    bool bndFaces;
    int noFaces;
    int noIntFaceCells;
    int noBndFaceCells;
    int noFaceCells;
    int noNodeCells;
    int noBndCells;
    int* bndNoCells;
    double* cellDepth;
    int* hacNo;
    int* hacList;
    int* hacStart;
    double* hacFrac;
    int noCells;
    int* ebli;
    int* etli;
    int* etliPrev;
    int* fbli;
    int* ftli;
    int* nbli;
    int* ntli;
    // Ragged per-face and per-element tables, read as fdz[f][j], edz[e][j].
    hsRagged<double> fdz;
    hsRagged<double> fdzPrev;
    hsRagged<double> fdzc;
    hsRagged<double> edz;
    hsRagged<double> edzPrev;
    hsRagged<double> edzc;
    double* edzBot;
    int* faceFirstCell;
    int* faceLayerOffset;
    hsRagged<int> elemFaceBli;
    hsMesh2D mesh2d;
    int noLayer;
    double* dz;
    double* layerDepth;
    double offsetDepth;
    int layerType;
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
    void getCellCoor(double*& x, double*& y, double*& z) const;
    double* dist2Cell(int cell);
    void updateCellVolume(bool topOnly);

    // Time axis, bathymetry and set-up from text (hsModelInfoSetup.cpp).
    // Date-times are seconds since 1970 (ZDT); new objects belong to the caller.
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
};

} // namespace hestor

#endif
