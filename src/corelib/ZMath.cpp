#include "ZMath.h"

#include <algorithm>
#include <cmath>

namespace ZCoreLib {

namespace {

bool inClosedRange(double p, double e1, double e2)
{
    return e1 <= e2 ? (p >= e1 && p <= e2) : (p >= e2 && p <= e1);
}

// A segment almost parallel to an axis has a range narrower than rounding;
// a coordinate close to both of its ends is accepted.
bool inRangeTol(double p, double e1, double e2, double tol)
{
    return inClosedRange(p, e1, e2) || (std::fabs(p - e1) <= tol && std::fabs(p - e2) <= tol);
}

// Computed in the precision of the coordinates.
template <typename T>
void circumcentre(T x1, T y1, T x2, T y2, T x3, T y3, T& cx, T& cy)
{
    T d = T(2) * (x1 * (y2 - y3) + x2 * (y3 - y1) + x3 * (y1 - y2));
    T s1 = x1 * x1 + y1 * y1, s2 = x2 * x2 + y2 * y2, s3 = x3 * x3 + y3 * y3;
    cx = (s1 * (y2 - y3) + s2 * (y3 - y1) + s3 * (y1 - y2)) / d;
    cy = (s1 * (x3 - x2) + s2 * (x1 - x3) + s3 * (x2 - x1)) / d;
}

} // namespace

void ZMath::triangleCircumcircleCenter(double x1, double y1, double x2, double y2,
                                       double x3, double y3, double& cx, double& cy)
{
    circumcentre(x1, y1, x2, y2, x3, y3, cx, cy);
}

void ZMath::triangleCircumcircleCenter(float x1, float y1, float x2, float y2,
                                       float x3, float y3, float& cx, float& cy)
{
    circumcentre(x1, y1, x2, y2, x3, y3, cx, cy);
}

int ZMath::lineIntersection(double x1, double y1, double x2, double y2,
                            double x3, double y3, double x4, double y4,
                            double& px, double& py, double tol)
{
    double d = (x1 - x2) * (y3 - y4) - (y1 - y2) * (x3 - x4);
    if (d == 0.0) return -2;
    double a = x1 * y2 - x2 * y1, b = x3 * y4 - x4 * y3;
    px = ((x3 - x4) * a - (x1 - x2) * b) / d;
    py = ((y3 - y4) * a - (y1 - y2) * b) / d;
    if (!inRangeTol(px, x1, x2, tol) || !inRangeTol(px, x3, x4, tol) ||
        !inRangeTol(py, y1, y2, tol) || !inRangeTol(py, y3, y4, tol))
        return -1;
    return 0;
}

int ZMath::lineIntersection(float x1, float y1, float x2, float y2,
                            float x3, float y3, float x4, float y4,
                            float& px, float& py)
{
    double d = (double(x1) - x2) * (double(y3) - y4) - (double(y1) - y2) * (double(x3) - x4);
    if (d == 0.0) return -2;
    double a = double(x1) * y2 - double(x2) * y1, b = double(x3) * y4 - double(x4) * y3;
    px = float(((double(x3) - x4) * a - (double(x1) - x2) * b) / d);
    py = float(((double(y3) - y4) * a - (double(y1) - y2) * b) / d);
    if (!inClosedRange(px, x1, x2) || !inClosedRange(px, x3, x4) ||
        !inClosedRange(py, y1, y2) || !inClosedRange(py, y3, y4))
        return -1;
    return 0;
}

double ZMath::lineXAxisIntersection(double x1, double y1, double x2, double y2)
{
    double m = (y2 - y1) / (x2 - x1);
    return -(y1 - x1 * m) / m;
}

int ZMath::whichSideOfLine(double x1, double y1, double x2, double y2, double px, double py)
{
    double c = (x2 - x1) * (py - y1) - (y2 - y1) * (px - x1);
    if (c > 0.0) return 1;
    if (c < 0.0) return -1;
    return 0;
}

double ZMath::angleBetweenLines(double ax, double ay, double bx, double by,
                                double cx, double cy, double dx, double dy)
{
    double ux = ax - bx, uy = ay - by, vx = cx - dx, vy = cy - dy;
    double c = (ux * vx + uy * vy) / (std::sqrt(ux * ux + uy * uy) * std::sqrt(vx * vx + vy * vy));
    // Rounding can push c just past +-1 for parallel vectors.
    return std::acos(std::clamp(c, -1.0, 1.0));
}

double ZMath::lineSegmentAngle(double x1, double y1, double x2, double y2,
                               double ref, bool degrees)
{
    double t = std::atan2(y2 - y1, x2 - x1) - (degrees ? ref * deg2rad : ref);
    if (t < 0.0) t += twoPi;
    if (t >= twoPi) t -= twoPi;
    return degrees ? t * rad2deg : t;
}

void ZMath::orthogonalUnitVector(double x1, double y1, double x2, double y2,
                                 double& nx, double& ny)
{
    double len = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    nx = (y1 - y2) / len;
    ny = (x2 - x1) / len;
}

void ZMath::parabolaVertex(double x1, double y1, double x2, double y2,
                           double x3, double y3, double& vx, double& vy)
{
    double q = (x1 - x3) * (x1 - x2) * (x2 - x3);
    double a = (x3 * (y2 - y1) + x2 * (y1 - y3) + x1 * (y3 - y2)) / q;
    double b = (x3 * x3 * (y1 - y2) + x2 * x2 * (y3 - y1) + x1 * x1 * (y2 - y3)) / q;
    double c = (x2 * x3 * (x2 - x3) * y1 + x3 * x1 * (x3 - x1) * y2 + x1 * x2 * (x1 - x2) * y3) / q;
    vx = -b / (2.0 * a);
    vy = c - b * b / (4.0 * a);
}

void ZMath::pointOnLineSegment(double x1, double y1, double x2, double y2, double d,
                               double& px, double& py, bool fraction)
{
    double t = fraction ? d : d / std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    px = (1.0 - t) * x1 + t * x2;
    py = (1.0 - t) * y1 + t * y2;
}

double ZMath::angleBetweenLineSegments(double x1, double y1, double x2, double y2,
                                       double x3, double y3, bool full)
{
    double a = angleBetweenLines(x2, y2, x1, y1, x2, y2, x3, y3);
    if (!full) return a;
    double s = (y3 - y1) * (x2 - x1) - (x3 - x1) * (y2 - y1);
    if (s < 0.0) return a;
    if (s > 0.0) return twoPi - a;
    // Collinear: point 3 lies behind point 2 (angle 0) or beyond it (pi),
    // told apart by a point one step to the left of point 2.
    double qx = x2 + y1 - y2, qy = y2 + x2 - x1;
    double c = (x2 - qx) * (y3 - qy) - (y2 - qy) * (x3 - qx);
    if (c < 0.0) return 0.0;
    if (c > 0.0) return pi;
    throw ZException("angleBetweenLineSegments: what?");
}

} // namespace ZCoreLib
