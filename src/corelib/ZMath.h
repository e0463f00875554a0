#ifndef ZCORELIB_ZMATH_H
#define ZCORELIB_ZMATH_H

// Plane-geometry primitives, a few statistics, a Cartesian-product
// enumerator and a dense linear solver. Stateless; angles in radians
// unless a flag says degrees.

#include <string>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZMath {
public:
    // The library's degree factors; deliberately not exact pi / 180 so that
    // every conversion in the system agrees with every other.
    static constexpr double deg2rad = 0.01745329;
    static constexpr double rad2deg = 57.29578;
    static constexpr double pi = 3.141592653589793;
    static constexpr double twoPi = 6.283185307179586;

    static double randomNumber(double a, double b);

    static void triangleCircumcircleCenter(double x1, double y1, double x2, double y2,
                                           double x3, double y3, double& cx, double& cy);
    static void triangleCircumcircleCenter(float x1, float y1, float x2, float y2,
                                           float x3, float y3, float& cx, float& cy);

    static int lineIntersection(double x1, double y1, double x2, double y2,
                                double x3, double y3, double x4, double y4,
                                double& px, double& py, double tol);
    static int lineIntersection(float x1, float y1, float x2, float y2,
                                float x3, float y3, float x4, float y4,
                                float& px, float& py);

    static double lineXAxisIntersection(double x1, double y1, double x2, double y2);
    static int whichSideOfLine(double x1, double y1, double x2, double y2,
                               double px, double py);
    static double angleBetweenLines(double ax, double ay, double bx, double by,
                                    double cx, double cy, double dx, double dy);
    static double lineSegmentAngle(double x1, double y1, double x2, double y2,
                                   double ref, bool degrees);
    static void orthogonalUnitVector(double x1, double y1, double x2, double y2,
                                     double& nx, double& ny);
    static void parabolaVertex(double x1, double y1, double x2, double y2,
                               double x3, double y3, double& vx, double& vy);
    static void pointOnLineSegment(double x1, double y1, double x2, double y2, double d,
                                   double& px, double& py, bool fraction);
    static double angleBetweenLineSegments(double x1, double y1, double x2, double y2,
                                           double x3, double y3, bool full);

    // r1 and r3 are left as they are.
    static void stat(std::vector<double> v, double& r1, double& mean, double& r3,
                     double& std, double& rms);
    static std::string stat(std::vector<double> v, double& mean, double& std, double& rms);
    static std::string stat(std::vector<double> v);

    // Appends every index combination as a new int array of sizes.size()
    // entries; the caller frees each with delete[]. cartProdR: the same from
    // level on, current (the caller's, sizes.size() entries) holding the rest.
    static void cartProd(std::vector<int> sizes, std::vector<int*>& out);
    static void cartProdR(int level, const std::vector<int>& sizes, int* current,
                          std::vector<int*>& out);

    // Solves a x = b in place without pivoting; the solution replaces b and
    // a is overwritten. Returns -1 for a small first pivot or a singular system.
    // Instantiated for double.
    template <typename T>
    static int gaussElim(T** a, T*& b, int n);
    // The same for nRhs right-hand sides b[0 .. nRhs-1] at once: the matrix is
    // eliminated a single time, each solution replaces its b[k].
    template <typename T>
    static int gaussElim(T** a, T** b, int nRhs, int n);
};

} // namespace ZCoreLib

#endif
