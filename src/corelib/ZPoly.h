#ifndef ZCORELIB_ZPOLY_H
#define ZCORELIB_ZPOLY_H

// Plane polygons (implicitly closed, first vertex not repeated) and polylines
// given as parallel coordinate arrays. Angles in degrees, counter-clockwise
// from +x. Arrays allocated here come from new[] and belong to the caller.

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZPoly {
public:
    ZPoly() = delete;

    // Always >= 0, whatever the orientation.
    static double polygonArea(double* x, double* y, int n);
    // Mean of the vertices, not the area centroid.
    static void polyCenter(int n, double* x, double* y, double& cx, double& cy);
    // Crossing-number rule: points on left and bottom edges count as inside,
    // points on right and top edges as outside.
    static bool inPoly(int n, double* x, double* y, double px, double py);
    // 0 with a point of the first inside run along the mean-y line, -1 if none.
    static int polyInteriorPoint(double* x, double* y, int n, double& px, double& py,
                                 int nSteps);
    // nPts points equally spaced by arc length into the caller's arrays of nPts.
    static void ptsAlongSection(double* x, double* y, int n, int nPts,
                                double*& outX, double*& outY);
    // Strip of nAcross quads across the polyline; width < 0 means half the
    // mean segment length. px, py (nPts) and quads (4 nQuads node ids) are
    // new (null for n < 2 or nAcross < 0); the caller frees them with delete[].
    static void squareSection(double* x, double* y, int n, double*& px, double*& py,
                              int& nPts, int& nQuads, int*& quads, int nAcross,
                              double width);
    // A new array of the n vertex indices in sorted order; the caller frees
    // it with delete[].
    static int* sortVerticesAroundGivenPointGetSortOrder(double* x, double* y, int n,
                                                         double cx, double cy,
                                                         double startAngle, bool clockwise);
    static int* sortVerticesGetSortOrder(double* x, double* y, int n, double startAngle,
                                         bool clockwise);
    // Reorders the caller's arrays in place.
    static void sortVertices(double*& x, double*& y, int n, double startAngle,
                             bool clockwise);
};

} // namespace ZCoreLib

#endif
