#ifndef HESTOR_HSMESH2D_H
#define HESTOR_HSMESH2D_H

// The two-dimensional unstructured mesh: nodes, polygonal elements, the faces
// between them, Voronoi points and every table derived from them.

#include <array>
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
    // Names: n node, e element, vf face (a side of an element, shared by two
    // inside the mesh; in the layered model the foot of a wall of cells), b open
    // boundary, i interior, t type (code), no or n a count, pe per element,
    // ha horizontally adjacent, nd normal distance. Ids count from 0. A face
    // code (vft, bt, and the node types it comes from) is 0 interior, 1-98 the
    // number of an open boundary, 99 closed (land); a node type -(100 p + q)
    // joins open boundaries p and q. Lengths and areas are metres;
    // coordinates are in the mesh's own units (lon/lat degrees when proj
    // contains "LONLAT") unless named UTM. The mesh owns every array.

    // Source file name and fileFmtEnum; projection text, e.g. "UTM32".
    std::string fileName;
    int fileFmt;
    std::string proj;
    // non nodes: type nt (a face code or junction), coordinates nX, nY.
    int non;
    int* nt;
    double* nX;
    double* nY;
    // UTM zone and node coordinates in it; projected meshes: aliases of nX, nY.
    int zone;
    double* nXUTM;
    double* nYUTM;
    // Mean node position; sum of element areas and their area-weighted centre.
    double meanX;
    double meanY;
    double totalArea;
    double areaCenterX;
    double areaCenterY;
    // noe elements: centroid eX, eY (mean of the element's nodes).
    int noe;
    double* eX;
    double* eY;
    // Voronoi point of each element; the UTM pair aliases it on projected meshes.
    double* eVoronoiX;
    double* eVoronoiY;
    double* eVoronoiXUTM;
    double* eVoronoiYUTM;
    // Element nodes, flat: element e has enon[e] nodes (and as many faces),
    // en[eStart[e] + k] in node order, with their coordinates enX, enY.
    int* enon;
    int* en;
    double* enX;
    double* enY;
    int* eStart;
    // Element area, its inverse, and whether the element passed the
    // orthogonality test of popVoronoi.
    double* eArea;
    double* eAreaInv;
    bool* eOrthogonal;
    // Per face, its Voronoi link (from the first element's Voronoi point to
    // the second's, or to the foot point on a boundary face): length, its
    // inverse, absolute x and y extent, unit vector.
    double* vfDist;
    double* vfDistInv;
    double* vfDx;
    double* vfDy;
    double* vfxNormL;
    double* vfyNormL;
    // Element neighbours over interior faces (initHAE; null before): element
    // e has haeCount[e] of them from haeStart[e], each element hae and the
    // face haeVF they share.
    int* haeCount;
    int* hae;
    int* haeStart;
    int* haeVF;
    // Faces at each node, sorted around it (popNode): node v has nvfCount[v]
    // of the nonvf entries from nvfStart[v], each the node at the face's
    // other end nnn, the face nf and one of its elements ne (-1: none); the
    // Voronoi points of a node's ne outline its cell, of area nArea (0 for
    // boundary nodes).
    int* nvfCount;
    int nonvf;
    int* nvfStart;
    int* nnn;
    int* nf;
    int* ne;
    double* nArea;
    // nob open boundaries (initB), in ascending code bt: bNoVF faces each,
    // the first face noivf + bFirstVF[b]; nobvf open-boundary faces in all,
    // the inner element of each bvfe.
    int nob;
    int* bNoVF;
    int nobvf;
    int* bt;
    int* bvfe;
    int* bFirstVF;
    // novf faces, interior first, then open boundaries by code, then closed:
    // code vft, nodes vfn[2f], vfn[2f + 1], elements vfe[2f], vfe[2f + 1]
    // (slot 1 of a boundary face: minus its code, and after initB noe + i for
    // open-boundary face i), distance of each of those Voronoi points to the
    // face vfeDist, length vfLength and midpoint vfxc, vfyc.
    int novf;
    int* vft;
    int* vfn;
    int* vfe;
    double* vfeDist;
    double* vfLength;
    double* vfxc;
    double* vfyc;
    // Element faces, one per edge at eStart[e] + k (noevf in all): face evf,
    // element across it evfe (minus its code on a boundary), distance evfnd
    // from the element's Voronoi point; per element nivfpe interior and nbvfpe
    // open-boundary faces, interior first in evf; evfSign +1 when the element
    // is the face's first, -1 its second, 1 open boundary, 0 closed.
    int noevf;
    int* evf;
    int* evfe;
    double* evfnd;
    int* nivfpe;
    int* nbvfpe;
    signed char* evfSign;
    // Interior faces: faces 0 .. noivf - 1.
    int noivf;
    // Bounding box of the nodes (set with the outline); lengthScale, the
    // square root of the mean element area; the outline (popCircumf): the
    // outer ring's noCircumfNodes points.
    bool circumfPopped;
    double xMax;
    double xMin;
    double yMax;
    double yMin;
    double lengthScale;
    int noCircumfNodes;
    double* circumfX;
    double* circumfY;
    // Per face, its first node to its second.
    double* vfDirX;
    double* vfDirY;
    // lon/lat coordinates; the mesh passed the orthogonality test; the
    // Voronoi points are present.
    bool lonLat;
    bool orthogonal;
    bool voronoiPopped;
    // Text of a one-element unit-square mesh.
    std::string square0DMeshStr;
    // Per interior face, |90 - angle between face and Voronoi link|, degrees.
    double* vfAngleDev;
    // Flag owned by the mesh: the derived tables are live.
    bool* initialised;
    // Shortest paths and nearest elements, built on first use.
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
    // A new, initialised copy of the primary tables; the caller deletes it.
    hsMesh2D* copy();
    // The elements a mesh may hold, one rule for every filler (file readers,
    // the header list, editors, initMesh): 3 to non nodes, each a node id in
    // 0 .. non-1, no id twice. Returns "" when element e with these n nodes is
    // acceptable, else a sentence naming the element and what is wrong with
    // it. With nodes null only the count is checked, so a reader can bound an
    // element before it reads its node ids. With the node coordinates x, y
    // (non each) the element must also have no side of length 0 and enclose
    // an area.
    static std::string elemProblem(int e, const int* nodes, long long n, int non,
                                   const double* x = nullptr, const double* y = nullptr);

    // Derived geometry (hsMesh2DGeometry.cpp)
    int popVoronoi();
    void anglesVFPop();
    int popVoronoiUTM();
    int calcVFLengthAndPos();
    int popGeometry();
    // New array of non face lists (count entries in all); the caller
    // frees it with delete[].
    std::vector<int>* nodevf(int& count);
    int popNode();

    // Outline, neighbours, angles and lookups (hsMesh2DCircumf.cpp). The
    // arrays handed out are new; the caller frees them with delete[].
    void initHAE();
    std::vector<int> getCircumferenceVF();
    // nodes: the returned number of outline nodes, new.
    int circumferenceNodes(int*& nodes);
    void popCircumf();
    // One angle per element node (noevf), radians.
    double* anglesInElems();
    // One value per element: largest angle (radians), largest vfAngleDev.
    double* anglesMaxPerElem();
    double* anglesVFMaxPerElem();
    // Per element face, +1 when the face runs with the element's node order, else -1.
    int* evfd();
    // Two new arrays of novf face midpoints in lon/lat degrees.
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
    // The boundary-face test of calcVFLengthAndPos, which refuses (px, py)
    // on the line through the face's nodes: its foot point is the point itself.
    static bool onFaceLine(double x0, double y0, double x1, double y1, double px, double py);
    // The shape rule of elemProblem: no side of length 0, an area, no sides
    // that cross; name leads the sentence.
    static std::string elemShapeProblem(const std::string& name, const int* nodes, long long n,
                                        const double* x, const double* y);
    // Twice the signed area of the element outline, relative to its first
    // node and in units of unit (its extent keeps the rounding small).
    static double twiceAreaIn(double unit, const int* nodes, long long n, const double* x,
                              const double* y);
    // The nodes and Voronoi points as toBinary stores them (hsMesh2DStored.cpp).
    void storedForm(std::vector<float>& x, std::vector<float>& y, std::vector<float>& vx,
                    std::vector<float>& vy) const;
    // onFaceLine, or the stored point exactly on the line.
    static bool onStoredLine(double ax, double ay, double bx, double by, double px, double py);
    void checkStoredElems(const std::vector<double>& x, const std::vector<double>& y) const;
    bool storedPast(int e, int a, int b, const std::vector<double>& x, const std::vector<double>& y,
                    double px, double py) const;
    bool storedInsidePoint(int e, const std::vector<double>& x, const std::vector<double>& y,
                           float& px, float& py, std::string& searched) const;
    // Throws when elements exist but their derived tables do not (an edit
    // without re-derivation, a failed initMesh, a mesh never initialised).
    void requireDerived(const char* who) const;
    // Releases the derived tables, applies change to the primary tables and,
    // with init, re-derives; a failed re-derivation puts the earlier tables back.
    int editApply(bool init, const std::function<void()>& change);
    // The chop group of each element (-1: none); the arguments are checked.
    std::vector<int> chopRegions(int** sections, int nSections, const int* lengths);
    // Per interior face, whether its link between the two element centroids
    // meets a step of a section (or comes within rounding of one), or passes
    // a section's end that may part the two.
    std::vector<char> cutLinks(int** sections, int nSections, const int* lengths);
    // Per element, the lowest element joined to it across faces not cut.
    std::vector<int> piecesApart(const std::vector<char>& cut) const;
    void reproject(const std::string& newProj, const std::function<void(double&, double&)>& conv);

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
    // New meshes belong to the caller, who deletes them; arguments are checked
    // before anything is built. A new mesh keeps the projection text of its
    // source.
    hsMesh2D* subMesh(int m, int* elems);
    hsMesh2D* bndMesh(int b);
    hsMesh2D* mergeMesh(const hsMesh2D& other);
    // nSections + 1 new element lists (and their sizes in groupSizes, new);
    // null for a negative nSections. Each section runs from outline node to
    // outline node; an element goes to the polygon of outline and section
    // nodes that holds its centroid (to none when its centroid lies outside
    // the outline), the groups in the order in which the outline walk from
    // its first face meets them. The caller frees each list, the array of
    // them and groupSizes with delete[].
    int** chopMesh(int** sections, int nSections, int* lengths, int*& groupSizes);
    // The parts of chopMesh. ring: the outline's nodes in walk order, face k
    // of the outline joining ring[k] and ring[k + 1] (the last the first).
    // A chop polygon: its nodes in order, and the first outline face it holds
    // (-1: none; it lies between sections that share both ends).
    struct chopPolygon {
        std::vector<int> nodes;
        int firstFace;
    };
    // The polygons into which the sections divide the ring: first the one
    // that holds the first ring node where no section ends, then one per
    // section, on the section's side away from that node. x, y: the node
    // coordinates, which nest sections that share both ends. Throws for a
    // section that does not end on the ring, ends where it began, or whose
    // ends lie between the ends of another on both sides (they cross).
    static std::vector<chopPolygon> chopPolygons(const std::vector<int>& ring, int** sections,
                                                 int nSections, const int* lengths,
                                                 const double* x, const double* y);
    // For each of the n points (px, py) the polygon that holds it, -1 when
    // neither a polygon nor the ring holds it, -2 when more than one does or
    // only the ring. x, y: the node coordinates. A point on an edge two
    // polygons share belongs to one of them.
    static std::vector<int> chopLocate(const std::vector<chopPolygon>& polygons,
                                       const std::vector<int>& ring, const double* x,
                                       const double* y, const double* px, const double* py,
                                       int n);
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

    // Point and section queries, file formats (hsMesh2DQuery.cpp, hsMesh2DFormat.cpp).
    // The arrays handed out are new; the caller frees them with delete[].
    int pointElem(double x, double y);
    bool isPointInMesh(double x, double y);
    int pointElemNearest(double x, double y, int mode);
    // Distance from element e to each of the noe elements.
    double* dist2Elem(int e);
    // elems, dists and x, y, path: the returned number of entries each, new.
    int lineIntersections(double x1, double y1, double x2, double y2, int*& elems, double*& dists);
    int sectionIntersections(double* x, double* y, int n, int*& elems, double*& dists);
    // Whether the segment is longer than the rounding of its coordinates can
    // tell; sectionIntersections skips the segments that are not.
    static bool segmentHasLength(double x1, double y1, double x2, double y2);
    // Whether any segment of the polyline of n vertices has a length.
    static bool polylineHasLength(const double* x, const double* y, int n);
    int gridPointsInMesh(double dx, double dy, double*& x, double*& y, double xmin, double xmax,
                         double ymin, double ymax);
    int shortestPathBetweenNodes(int from, int to, int*& path);
    // Drops the point and outline indices; releaseCaches must call it, since
    // the indices describe the elements and outline they were built from.
    void resetQueryIndex();

    std::string toString();
    int fromString(const std::string& text, int version);
    // buffer: the returned number of bytes, new. The block holds the mesh in
    // 32-bit floats: refused (before anything is made) when the elements or
    // their Voronoi points cannot be held so that a reader accepts them.
    // exact, when given: whether the block holds the coordinates and Voronoi
    // points as they are (else fromBinary of it gives what a reader sees).
    int toBinary(char*& buffer, bool* exact = nullptr);
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
    std::vector<double> segmentCuts(double x1, double y1, double x2, double y2);
    // Calls visit(k, f) for every interior face f whose link between the two
    // element centroids may come within m of segment k, given as x1, y1, x2,
    // y2, m.
    void linksNearSegments(const std::vector<std::array<double, 5>>& segments,
                           const std::function<void(std::size_t, int)>& visit);
    int adoptPrimary(int newNon, int newNoe, int* newNt, double* newX, double* newY, int* newEnon,
                     int* newEn, double* newVorX, double* newVorY, int version);
};

} // namespace hestor

#endif
