#include "ZPoly.h"

#include <cmath>
#include <memory>
#include <vector>

#include "ZArray.h"
#include "ZMath.h"

namespace ZCoreLib {

namespace {

double segmentLength(const double* x, const double* y, int i)
{
    double dx = x[i] - x[i - 1], dy = y[i] - y[i - 1];
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace

double ZPoly::polygonArea(double* x, double* y, int n)
{
    if (n < 1)
        return 0;
    double sum = 0;
    for (int i = 0; i < n; i++) {
        int k = (i + 1 == n) ? 0 : i + 1;
        sum += (x[i] + x[k]) * (y[i] - y[k]);
    }
    return 0.5 * std::fabs(sum);
}

void ZPoly::polyCenter(int n, double* x, double* y, double& cx, double& cy)
{
    double sx = 0, sy = 0;
    for (int i = 0; i < n; i++) {
        sx += x[i];
        sy += y[i];
    }
    cx = sx / n;
    cy = sy / n;
}

bool ZPoly::inPoly(int n, double* x, double* y, double px, double py)
{
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        if ((y[i] > py) == (y[j] > py))
            continue;
        double xc = (x[j] - x[i]) * (py - y[i]) / (y[j] - y[i]) + x[i];
        if (xc > px)
            inside = !inside;
    }
    return inside;
}

int ZPoly::polyInteriorPoint(double* x, double* y, int n, double& px, double& py,
                             int nSteps)
{
    if (nSteps < 1 || n < 1)
        return -1;
    double xmin = x[0], xmax = x[0], sy = 0;
    for (int i = 0; i < n; i++) {
        if (x[i] < xmin)
            xmin = x[i];
        if (x[i] > xmax)
            xmax = x[i];
        sy += y[i];
    }
    py = sy / n;
    double step = (xmax - xmin) / nSteps;
    double sum = 0;
    int found = 0;
    // The probes start one step left of xmin, so the first one is always outside.
    for (int k = 0; k < nSteps; k++) {
        double probe = xmin + (k - 1) * step;
        if (inPoly(n, x, y, probe, py)) {
            sum += probe;
            found++;
        } else if (found > 0) {
            break;
        }
    }
    if (found == 0)
        return -1;
    px = sum / found;
    return 0;
}

void ZPoly::ptsAlongSection(double* x, double* y, int n, int nPts, double*& outX,
                            double*& outY)
{
    if (n < 1 || nPts < 1)
        return;
    std::vector<double> c(n, 0.0);
    for (int i = 1; i < n; i++)
        c[i] = c[i - 1] + segmentLength(x, y, i);
    double total = c[n - 1];
    // Without length every point is the first vertex; the walk below would
    // otherwise interpolate from before the arrays.
    if (!(total > 0)) {
        for (int k = 0; k < nPts; k++) {
            outX[k] = x[0];
            outY[k] = y[0];
        }
        return;
    }
    outX[0] = x[0];
    outY[0] = y[0];
    double step = total / (nPts - 1);
    int j = 0;
    for (int k = 1; k < nPts; k++) {
        double d = k * step;
        while (j < n - 1 && d > c[j])
            j++;
        double seg = c[j] - c[j - 1];
        // Only a rounding overshoot at a zero-length last segment reaches seg == 0.
        double t = seg > 0 ? (d - c[j - 1]) / seg : 1.0;
        outX[k] = x[j - 1] + (x[j] - x[j - 1]) * t;
        outY[k] = y[j - 1] + (y[j] - y[j - 1]) * t;
    }
}

void ZPoly::squareSection(double* x, double* y, int n, double*& px, double*& py,
                          int& nPts, int& nQuads, int*& quads, int nAcross, double width)
{
    if (n < 2 || nAcross < 0) {
        nPts = 0;
        nQuads = 0;
        px = py = nullptr;
        quads = nullptr;
        return;
    }
    if (width < 0) {
        double len = 0;
        for (int i = 1; i < n; i++)
            len += segmentLength(x, y, i);
        width = 0.5 * len / (n - 1);
    }
    const int across = nAcross + 1;
    nPts = across * n;
    px = new double[nPts];
    py = new double[nPts];
    for (int i = 0; i < n; i++) {
        int a = (i == 0) ? 0 : (i == n - 1 ? n - 2 : i - 1);
        int b = (i == 0) ? 1 : (i == n - 1 ? n - 1 : i + 1);
        double nx, ny;
        ZMath::orthogonalUnitVector(x[a], y[a], x[b], y[b], nx, ny);
        for (int k = 0; k <= nAcross; k++) {
            double off = k * width - nAcross * width / 2;
            ZMath::pointOnLineSegment(x[i], y[i], x[i] + nx, y[i] + ny, off,
                                      px[i * across + k], py[i * across + k], false);
        }
    }
    nQuads = (n - 1) * nAcross;
    quads = new int[4 * nQuads];
    int q = 0;
    for (int s = 0; s < n - 1; s++) {
        for (int k = 0; k < nAcross; k++) {
            int a = s * across + k;
            quads[q++] = a;
            quads[q++] = a + across;
            quads[q++] = a + across + 1;
            quads[q++] = a + 1;
        }
    }
}

int* ZPoly::sortVerticesAroundGivenPointGetSortOrder(double* x, double* y, int n,
                                                     double cx, double cy,
                                                     double startAngle, bool clockwise)
{
    int* order = new int[n > 0 ? n : 0];
    if (n < 1)
        return order;
    std::vector<double> keys(n);
    for (int i = 0; i < n; i++) {
        double key = startAngle - std::atan2(y[i] - cy, x[i] - cx) * ZMath::rad2deg;
        if (key < 0)
            key += 360;
        if (key >= 360)
            key -= 360;
        keys[i] = clockwise ? key : -key;
        order[i] = i;
    }
    double* k = keys.data();
    ZArray::quickSort<double, int>(k, order, 0, n - 1);
    return order;
}

int* ZPoly::sortVerticesGetSortOrder(double* x, double* y, int n, double startAngle,
                                     bool clockwise)
{
    double cx = 0, cy = 0;
    if (n > 0)
        polyCenter(n, x, y, cx, cy);
    return sortVerticesAroundGivenPointGetSortOrder(x, y, n, cx, cy, startAngle, clockwise);
}

void ZPoly::sortVertices(double*& x, double*& y, int n, double startAngle, bool clockwise)
{
    if (n < 1)
        return;
    std::unique_ptr<int[]> order(sortVerticesGetSortOrder(x, y, n, startAngle, clockwise));
    std::vector<double> ox(x, x + n), oy(y, y + n);
    for (int i = 0; i < n; i++) {
        x[i] = ox[order[i]];
        y[i] = oy[order[i]];
    }
}

} // namespace ZCoreLib
