#include "hsMesh2D.h"

#include <cmath>
#include <memory>
#include <vector>

#include "ZCancel.h"
#include "ZConvert.h"
#include "ZMath.h"
#include "ZPoly.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

const double rightAngle = 1.5707963267948966;
const double maxOrthoDeviation = 5.0;

// Foot of the perpendicular from (px, py) on the infinite line through the face.
void footPoint(double x0, double y0, double x1, double y1, double px, double py, double& fx,
               double& fy)
{
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy);
    fx = x0 + t * dx;
    fy = y0 + t * dy;
}

[[noreturn]] void voronoiOnFace()
{
    throw ZException("Voronoi point on face." + errSuffix);
}

// 1 / d, and 0 for a link of no length, which carries no gradient.
double inverseLength(double d)
{
    return d > 0.0 ? 1.0 / d : 0.0;
}

} // namespace

bool hsMesh2D::onFaceLine(double x0, double y0, double x1, double y1, double px, double py)
{
    double fx, fy;
    footPoint(x0, y0, x1, y1, px, py, fx, fy);
    return fx == px && fy == py;
}

int hsMesh2D::popVoronoi()
{
    // The metric copies are redone by popVoronoiUTM.
    releaseVoronoiUTM();
    delete[] eOrthogonal;
    eOrthogonal = new bool[noe];
    orthogonal = true;
    if (voronoiPopped) {
        anglesVFPop();
        for (int e = 0; e < noe; e++) {
            ZCoreLib::ZCancel::poll();
            eOrthogonal[e] = true;
            for (int k = 0; k < nivfpe[e]; k++)
                if (vfAngleDev[evf[eStart[e] + k]] > maxOrthoDeviation)
                    eOrthogonal[e] = false;
            if (!eOrthogonal[e])
                orthogonal = false;
        }
    } else {
        delete[] eVoronoiX;
        delete[] eVoronoiY;
        eVoronoiX = new double[noe];
        eVoronoiY = new double[noe];
        for (int e = 0; e < noe; e++) {
            ZCoreLib::ZCancel::poll();
            eVoronoiX[e] = eX[e];
            eVoronoiY[e] = eY[e];
            eOrthogonal[e] = false;
            if (enon[e] != 3)
                continue;
            const int* v = en + eStart[e];
            ZMath::triangleCircumcircleCenter(nX[v[0]], nY[v[0]], nX[v[1]], nY[v[1]], nX[v[2]],
                                              nY[v[2]], eVoronoiX[e], eVoronoiY[e]);
            eOrthogonal[e] = true;
            for (int k = 0; k < 3; k++) {
                const int c = v[k], p = v[(k + 2) % 3], q = v[(k + 1) % 3];
                const double angle = ZMath::angleBetweenLines(nX[c], nY[c], nX[p], nY[p], nX[c],
                                                              nY[c], nX[q], nY[q]);
                if (angle >= rightAngle) {
                    // Right and obtuse triangles: the circumcentre is not inside.
                    eVoronoiX[e] = eX[e];
                    eVoronoiY[e] = eY[e];
                    eOrthogonal[e] = false;
                    orthogonal = false;
                    break;
                }
            }
        }
        anglesVFPop();
        voronoiPopped = true;
    }
    return 0;
}

void hsMesh2D::anglesVFPop()
{
    if (vfAngleDev == nullptr)
        vfAngleDev = new double[noivf];
    for (int f = 0; f < noivf; f++)
        vfAngleDev[f] = vfAngleDevOf(f);
}

// Deviation from a right angle between interior face f and its Voronoi link, degrees.
double hsMesh2D::vfAngleDevOf(int f) const
{
    const int a = vfn[2 * f], b = vfn[2 * f + 1];
    const int e1 = vfe[2 * f], e2 = vfe[2 * f + 1];
    // Coinciding points (cocircular elements) have no link to deviate.
    if (eVoronoiX[e1] == eVoronoiX[e2] && eVoronoiY[e1] == eVoronoiY[e2])
        return 0.0;
    const double angle = ZMath::angleBetweenLines(nX[a], nY[a], nX[b], nY[b], eVoronoiX[e1],
                                                  eVoronoiY[e1], eVoronoiX[e2], eVoronoiY[e2]);
    return std::fabs(90.0 - angle * ZMath::rad2deg);
}

int hsMesh2D::popVoronoiUTM()
{
    if (!voronoiPopped)
        throw ZException("popVoronoiUTM called, but voronoiPopped==false. " + errSuffix);
    if (eVoronoiXUTM != nullptr || eVoronoiYUTM != nullptr)
        throw ZException("popVoronoiUTM: voronoiPopped==true, but eVoronoiXUTM!=NULL. " +
                         errSuffix);
    if (!lonLat) {
        eVoronoiXUTM = eVoronoiX;
        eVoronoiYUTM = eVoronoiY;
        return 0;
    }
    std::unique_ptr<double[]> x(new double[noe]), y(new double[noe]);
    for (int e = 0; e < noe; e++)
        ZConvert::geo2UTM(eVoronoiX[e], eVoronoiY[e], zone, x[e], y[e]);
    eVoronoiXUTM = x.release();
    eVoronoiYUTM = y.release();
    voronoiUTMOwned = true;
    return 0;
}

int hsMesh2D::calcVFLengthAndPos()
{
    for (double** p : {&vfDirY, &vfDirX, &vfLength, &vfxc, &vfyc, &vfxNormL, &vfyNormL}) {
        delete[] *p;
        *p = new double[novf];
    }
    for (int f = 0; f < novf; f++) {
        ZCoreLib::ZCancel::poll();
        const int n0 = vfn[2 * f], n1 = vfn[2 * f + 1], e0 = vfe[2 * f];
        vfxc[f] = 0.5 * (nX[n0] + nX[n1]);
        vfyc[f] = 0.5 * (nY[n0] + nY[n1]);
        const double px = eVoronoiX[e0], py = eVoronoiY[e0];
        if (!lonLat && f >= noivf && onFaceLine(nX[n0], nY[n0], nX[n1], nY[n1], px, py))
            voronoiOnFace();
        double qx, qy;
        if (f < noivf) {
            qx = eVoronoiX[vfe[2 * f + 1]];
            qy = eVoronoiY[vfe[2 * f + 1]];
        } else {
            footPoint(nX[n0], nY[n0], nX[n1], nY[n1], px, py, qx, qy);
        }
        double ax = nX[n0], ay = nY[n0], bx = nX[n1], by = nY[n1];
        double cx = px, cy = py, dx = qx, dy = qy;
        const int z = lonLat ? ZConvert::guessUTMZone(vfxc[f], vfyc[f]) : 0;
        if (lonLat) {
            ZConvert::geo2UTM(nX[n0], nY[n0], z, ax, ay);
            ZConvert::geo2UTM(nX[n1], nY[n1], z, bx, by);
            ZConvert::geo2UTM(px, py, z, cx, cy);
            ZConvert::geo2UTM(qx, qy, z, dx, dy);
        }
        vfDirX[f] = bx - ax;
        vfDirY[f] = by - ay;
        vfLength[f] = std::sqrt(vfDirX[f] * vfDirX[f] + vfDirY[f] * vfDirY[f]);
        const double lx = dx - cx, ly = dy - cy;
        if (lx != 0.0 || ly != 0.0) {
            const double len = std::sqrt(lx * lx + ly * ly);
            vfxNormL[f] = lx / len;
            vfyNormL[f] = ly / len;
            continue;
        }
        // Points stored as float32 can meet: lon/lat points on their face, and
        // two neighbours' points at northings of millions. Both then lie on the
        // face between them; the link takes the face's normal, pointing away
        // from e0.
        double ex = eX[e0], ey = eY[e0];
        if (lonLat)
            ZConvert::geo2UTM(eX[e0], eY[e0], z, ex, ey);
        const double inv = inverseLength(vfLength[f]);
        double nx = vfDirY[f] * inv, ny = -vfDirX[f] * inv;
        if (nx * (ex - ax) + ny * (ey - ay) > 0.0) {
            nx = -nx;
            ny = -ny;
        }
        vfxNormL[f] = nx;
        vfyNormL[f] = ny;
    }
    return 0;
}

int hsMesh2D::popGeometry()
{
    for (double** p : {&vfDist, &vfDistInv, &vfDx, &vfDy}) {
        delete[] *p;
        *p = new double[novf];
    }
    delete[] vfeDist;
    vfeDist = new double[2 * novf];
    delete[] evfnd;
    evfnd = new double[noevf];
    const double* x = nXUTM;
    const double* y = nYUTM;
    for (int f = 0; f < novf; f++) {
        ZCoreLib::ZCancel::poll();
        const int n0 = vfn[2 * f], n1 = vfn[2 * f + 1];
        const double fx = x[n1] - x[n0], fy = y[n1] - y[n0];
        if (f < noivf) {
            const int e0 = vfe[2 * f], e1 = vfe[2 * f + 1];
            const double px = eVoronoiXUTM[e0], py = eVoronoiYUTM[e0];
            const double qx = eVoronoiXUTM[e1], qy = eVoronoiYUTM[e1];
            vfDist[f] = std::sqrt((px - qx) * (px - qx) + (py - qy) * (py - qy));
            vfDistInv[f] = inverseLength(vfDist[f]);
            vfDx[f] = std::fabs(px - qx);
            vfDy[f] = std::fabs(py - qy);
            // Coinciding points lie on the face between them: no distance on
            // either side (the rounded point may sit a hair off the line).
            const double d0 = vfDist[f] == 0.0 ? 0.0
                                               : std::fabs((px - x[n0]) * fy - (py - y[n0]) * fx) /
                                                     std::sqrt(fx * fx + fy * fy);
            vfeDist[2 * f] = d0;
            vfeDist[2 * f + 1] = vfDist[f] - d0;
            continue;
        }
        const int e = vfe[2 * f] >= 0 ? vfe[2 * f] : vfe[2 * f + 1];
        const double px = eVoronoiXUTM[e], py = eVoronoiYUTM[e];
        double footX, footY;
        footPoint(x[n0], y[n0], x[n1], y[n1], px, py, footX, footY);
        const double d = std::sqrt((px - footX) * (px - footX) + (py - footY) * (py - footY));
        vfeDist[2 * f] = d;
        vfDist[f] = 2.0 * d;
        vfDistInv[f] = inverseLength(vfDist[f]);
        vfeDist[2 * f + 1] = vfDist[f] - d;
        vfDx[f] = 2.0 * std::fabs(px - footX);
        vfDy[f] = 2.0 * std::fabs(py - footY);
    }
    for (int e = 0; e < noe; e++)
        for (int k = 0; k < enon[e]; k++) {
            const int f = evf[eStart[e] + k];
            evfnd[eStart[e] + k] = vfe[2 * f] == e ? vfeDist[2 * f] : vfeDist[2 * f + 1];
        }
    return 0;
}

std::vector<int>* hsMesh2D::nodevf(int& count)
{
    // Faces grouped by node with a counting sort: linear in the face count.
    std::vector<int> start(non + 1, 0);
    for (int i = 0; i < 2 * novf; i++)
        start[vfn[i] + 1]++;
    for (int v = 0; v < non; v++)
        start[v + 1] += start[v];
    std::vector<int> faces(2 * novf), fill(start.begin(), start.end() - 1);
    for (int i = 0; i < 2 * novf; i++)
        faces[fill[vfn[i]]++] = i / 2;

    std::unique_ptr<std::vector<int>[]> lists(new std::vector<int>[non]);
    std::vector<double> mx, my;
    count = 0;
    for (int v = 0; v < non; v++) {
        ZCoreLib::ZCancel::poll();
        const int k = start[v + 1] - start[v];
        count += k;
        if (k == 0)
            continue;
        mx.resize(k);
        my.resize(k);
        for (int j = 0; j < k; j++) {
            mx[j] = vfxc[faces[start[v] + j]];
            my[j] = vfyc[faces[start[v] + j]];
        }
        std::unique_ptr<int[]> order(ZPoly::sortVerticesAroundGivenPointGetSortOrder(
            mx.data(), my.data(), k, nX[v], nY[v], 0, false));
        lists[v].resize(k);
        for (int j = 0; j < k; j++)
            lists[v][j] = faces[start[v] + order[j]];
    }
    return lists.release();
}

int hsMesh2D::popNode()
{
    if (nvfCount != nullptr)
        return -1;
    std::unique_ptr<std::vector<int>[]> lists(nodevf(nonvf));
    nvfCount = new int[non];
    nvfStart = new int[non];
    nArea = new double[non];
    nnn = new int[nonvf];
    nf = new int[nonvf];
    ne = new int[nonvf];
    std::vector<double> cx, cy;
    int s = 0;
    for (int v = 0; v < non; v++) {
        ZCoreLib::ZCancel::poll();
        const std::vector<int>& list = lists[v];
        const int k = static_cast<int>(list.size());
        nvfCount[v] = k;
        nvfStart[v] = s;
        for (int j = 0; j < k; j++) {
            const int f = list[j];
            const bool first = vfn[2 * f] == v;
            nf[s + j] = f;
            nnn[s + j] = first ? vfn[2 * f + 1] : vfn[2 * f];
            ne[s + j] = first ? vfe[2 * f + 1] : vfe[2 * f];
            if (nt[v] != 0 && nt[nnn[s + j]] != 0)
                ne[s + j] = -1;
        }
        if (nt[v] == 0) {
            cx.resize(k);
            cy.resize(k);
            for (int j = 0; j < k; j++) {
                cx[j] = eVoronoiXUTM[ne[s + j]];
                cy[j] = eVoronoiYUTM[ne[s + j]];
            }
            nArea[v] = ZPoly::polygonArea(cx.data(), cy.data(), k);
        } else {
            nArea[v] = 0.0;
            for (int j = 0; j < k; j++) {
                if (nt[nnn[s + j]] == 0)
                    continue;
                const int e = vfe[2 * nf[s + j]];
                bool seen = false;
                for (int i = 0; i < k && !seen; i++)
                    seen = ne[s + i] == e;
                if (!seen)
                    ne[s + j] = e;
            }
        }
        s += k;
    }
    return 0;
}

} // namespace hestor
