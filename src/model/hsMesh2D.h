#ifndef HESTOR_HSMESH2D_H
#define HESTOR_HSMESH2D_H

// The two-dimensional unstructured mesh: nodes, polygonal elements, the faces
// between them, Voronoi points and every table derived from them.

#include <functional>
#include <string>
#include <vector>

#include "hestor.h"
#include "dijkstra.h"

namespace ZCoreLib {
class Zkdtree;
}

namespace hestor {

class hsMesh2D {
public:
    std::string fileName;
    int fileFmt;
    std::string proj;
    int non;
    int* nt;
    double* nX;
    double* nY;
    int zone;
    double* nXUTM;
    double* nYUTM;
    double meanX;
    double meanY;
    double totalArea;
    double areaCenterX;
    double areaCenterY;
    int noe;
    double* eX;
    double* eY;
    double* eVoronoiX;
    double* eVoronoiY;
    double* eVoronoiXUTM;
    double* eVoronoiYUTM;
    int* enon;
    int* en;
    double* enX;
    double* enY;
    int* eStart;
    double* eArea;
    double* eAreaInv;
    bool* eOrthogonal;
    double* vfDist;
    double* vfDistInv;
    double* vfDx;
    double* vfDy;
    double* vfxNormL;
    double* vfyNormL;
    int* haeCount;
    int* hae;
    int* haeStart;
    int* haeVF;
    int* nvfCount;
    int nonvf;
    int* nvfStart;
    int* nnn;
    int* nf;
    int* ne;
    double* nArea;
    int nob;
    int* bNoVF;
    int nobvf;
    int* bt;
    int* bvfe;
    int* bFirstVF;
    int novf;
    int* vft;
    int* vfn;
    int* vfe;
    double* vfeDist;
    double* vfLength;
    double* vfxc;
    double* vfyc;
    int noevf;
    int* evf;
    int* evfe;
    double* evfnd;
    int* nivfpe;
    int* nbvfpe;
    signed char* evfSign;
    int noivf;
    bool circumfPopped;
    double xMax;
    double xMin;
    double yMax;
    double yMin;
    double lengthScale;
    int noCircumfNodes;
    double* circumfX;
    double* circumfY;
    double* vfDirX;
    double* vfDirY;
    bool lonLat;
    bool orthogonal;
    bool voronoiPopped;
    std::string square0DMeshStr;
    double* vfAngleDev;
    bool* initialised;
    ZCoreLib::dijkstra dijk;
    bool dijkSetUp;
    ZCoreLib::Zkdtree* kdtree;

    // Construction (hsMesh2D.cpp). Copies are deep: no two meshes share arrays.
    hsMesh2D();
    hsMesh2D(const hsMesh2D& other);
    hsMesh2D& operator=(const hsMesh2D& other);
    ~hsMesh2D();
    int initMesh();
    // Faces and their numbering, the element-face tables and the node types
    // they imply (hsMesh2DFaces.cpp).
    int initVF();
    int initB();
    void convertNT(int version);
    hsMesh2D* copy();
    // The elements a mesh may hold, one rule for every filler (file readers,
    // the header list, editors, initMesh): 3 to non nodes, each a node id in
    // 0 .. non-1. Returns "" when element e with these n nodes is acceptable,
    // else a sentence naming the element and what is wrong with it. With
    // nodes null only the count is checked, so a reader can bound an element
    // before it reads its node ids.
    static std::string elemProblem(int e, const int* nodes, long long n, int non);

    // Derived geometry (hsMesh2DGeometry.cpp)
    int popVoronoi();
    void anglesVFPop();
    int popVoronoiUTM();
    int calcVFLengthAndPos();
    int popGeometry();
    std::vector<int>* nodevf(int& count);
    int popNode();

    // Outline, neighbours, angles and lookups (hsMesh2DCircumf.cpp)
    void initHAE();
    std::vector<int> getCircumferenceVF();
    int circumferenceNodes(int*& nodes);
    void popCircumf();
    double* anglesInElems();
    double* anglesMaxPerElem();
    double* anglesVFMaxPerElem();
    int* evfd();
    void vfGeoCoor(double*& x, double*& y);
    double scaleLengthInProj();
    int utmZone();
    int vf2Bnd(int f);
    int bt2bi(int code);

private:
    void nullAll();
    void releaseAll();
    void releaseDerived();
    void releaseCaches();
    void copyFrom(const hsMesh2D& o);
    void checkPrimary() const;
    void elemGeometry();
    double vfAngleDevOf(int f) const;
    // Throws when elements exist but their derived tables do not (an edit
    // without re-derivation, a failed initMesh, a mesh never initialised).
    void requireDerived(const char* who) const;
    // Releases the derived tables, applies change to the primary tables and,
    // with init, re-derives; a failed re-derivation puts the earlier tables back.
    int editApply(bool init, const std::function<void()>& change);

    // Node and element counts the derived per-node and per-element arrays were
    // built for; edits change non and noe before the next initMesh.
    int derivedNon = 0;
    int derivedNoe = 0;
    // The metric copies are arrays of their own (lon/lat meshes), not aliases
    // of nX/nY or eVoronoiX/eVoronoiY; editors may replace the plain arrays.
    bool nodeUTMOwned = false;
    bool voronoiUTMOwned = false;
    void releaseVoronoiUTM();

public:
    // Editing and derived meshes (hsMesh2DEdit.cpp, hsMesh2DDerived.cpp)
    // New meshes belong to the caller; arguments are checked before anything
    // is built. A new mesh keeps the projection text of its source.
    hsMesh2D* subMesh(int m, int* elems);
    hsMesh2D* bndMesh(int b);
    hsMesh2D* mergeMesh(const hsMesh2D& other);
    // nSections + 1 new element lists (and their sizes in groupSizes, new);
    // null for a negative nSections.
    int** chopMesh(int** sections, int nSections, int* lengths, int*& groupSizes);
    int toGeoMesh();
    int toUtmMesh(int zone);

    // Edits change the primary tables in place and return 0 (editRenumberNodes
    // -1 for fewer than two nodes). Arguments are checked before anything
    // changes; a refused edit throws a ZException and leaves the mesh as it
    // was, also when the edited mesh cannot be derived. An edit with init
    // false discards every derived table and cache: call initMesh before the
    // mesh is queried again.
    int editAddNode(double x, double y, int type, bool init);
    int editAddElem(int n, int* nodes, bool init);
    // offset >= 0: elemNodes are numbered from offset on (offset 0: 0 is the
    // first new node); offset < 0: they are mesh node ids.
    int editAddNodesElems(int nNew, double* x, double* y, int* types, int nElems, int* elemNodes,
                          int* counts, int offset);
    int editAddNodesElems(int nNew, double* x, double* y, int* types, int nElems, int* elemNodes,
                          int count, int offset);
    int editAddNodesElems(int nNew, double* x, double* y, int nElems, int* elemNodes, int type,
                          int count, int offset);
    int editAddSquareSection(double* x, double* y, int n, int nPts, int nAcross, double width);
    int editAddMesh(hsMesh2D other);
    int editDelElem(int e, bool init);
    int editDelNode(int k, bool init);
    // Every element that uses a listed node must be listed too.
    int editDelNodesElems(int nElems, int* elems, int nNodes, int* nodes);
    int editDeleteUnusedNodes();
    int editRenumberNodes(int m, int* nodes);
    // Moves one Voronoi point and updates vfAngleDev of its interior faces;
    // nothing else is re-derived. flag true is not implemented.
    int updateVoronoiCoor(int e, double x, double y, bool flag);
    int toSquare0DMesh();

    // Point and section queries, file formats (hsMesh2DQuery.cpp, hsMesh2DFormat.cpp)
    int pointElem(double x, double y);
    bool isPointInMesh(double x, double y);
    int pointElemNearest(double x, double y, int mode);
    double* dist2Elem(int e);
    int lineIntersections(double x1, double y1, double x2, double y2, int*& elems, double*& dists);
    int sectionIntersections(double* x, double* y, int n, int*& elems, double*& dists);
    int gridPointsInMesh(double dx, double dy, double*& x, double*& y, double xmin, double xmax,
                         double ymin, double ymax);
    int shortestPathBetweenNodes(int from, int to, int*& path);
    // Drops the point and outline indices; releaseCaches must call it, since
    // the indices describe the elements and outline they were built from.
    void resetQueryIndex();

    std::string toString();
    int fromString(const std::string& text, int version);
    int toBinary(char*& buffer);
    // length: bytes in the block; counts and node ids are checked against it.
    int fromBinary(const char* buffer, std::size_t length, int version);
    std::string toXML();
    int readMeshFromFile(std::string name);

private:
    struct QueryIndex;
    // Owns the lazily built query index; a copy starts without one.
    struct QueryIndexHolder {
        QueryIndex* p = nullptr;
        QueryIndexHolder() = default;
        QueryIndexHolder(const QueryIndexHolder&) {}
        QueryIndexHolder& operator=(const QueryIndexHolder&) { reset(); return *this; }
        ~QueryIndexHolder() { reset(); }
        void reset();
    };
    QueryIndexHolder queryIndex;
    QueryIndex& queryIndexData();
    void buildElemIndex();
    void buildOutlineIndex();
    std::vector<double> segmentCuts(double x1, double y1, double x2, double y2) const;
    int adoptPrimary(int newNon, int newNoe, int* newNt, double* newX, double* newY, int* newEnon,
                     int* newEn, double* newVorX, double* newVorY, int version);
};

} // namespace hestor

#endif
