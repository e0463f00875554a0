#include "hsMesh2D.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ZCancel.h"
#include "ZConvert.h"
#include "ZMath.h"
#include "ZStr.h"

using namespace ZCoreLib;

namespace hestor {

namespace {

template <typename T>
T* toArray(const std::vector<T>& v)
{
    T* out = new T[v.size()];
    std::copy(v.begin(), v.end(), out);
    return out;
}

[[noreturn]] void circumfError(const std::string& detail)
{
    throw ZException("Could not determine cirmumference faces - something wrong with mesh. " +
                     detail + errSuffix);
}

} // namespace

void hsMesh2D::initHAE()
{
    requireDerived("initHAE");
    delete[] haeCount;
    delete[] haeStart;
    delete[] hae;
    delete[] haeVF;
    haeCount = haeStart = hae = haeVF = nullptr;
    std::vector<int> count(noe, 0), start(noe, 0), nb, nbVF;
    for (int e = 0; e < noe; e++) {
        for (int k = 0; k < nivfpe[e]; k++) {
            // The other slot of an interior face is its only other element.
            const int f = evf[eStart[e] + k];
            const int j = vfe[2 * f] == e ? vfe[2 * f + 1] : vfe[2 * f];
            if (j < 0 || j >= noe || j == e)
                throw ZException("hsMesh2D::initHAE: interior face " + std::to_string(f) + " of element " +
                                 std::to_string(e) + " has no other element (its elements are " +
                                 std::to_string(vfe[2 * f]) + " and " + std::to_string(vfe[2 * f + 1]) +
                                 ")." + errSuffix);
            count[e]++;
            nb.push_back(j);
            nbVF.push_back(f);
        }
        if (e + 1 < noe)
            start[e + 1] = start[e] + count[e];
    }
    haeCount = toArray(count);
    haeStart = toArray(start);
    hae = toArray(nb);
    haeVF = toArray(nbVF);
}

std::vector<int> hsMesh2D::getCircumferenceVF()
{
    requireDerived("getCircumferenceVF");
    if (non < 1 || nvfCount == nullptr)
        throw ZException("Could not determine first face in cirmumference faces - something "
                         "wrong with mesh. " +
                         errSuffix);
    // The walk starts at the topmost node that has faces: edits leave nodes
    // that no element uses, and those count only for the bounding box.
    int top = -1;
    xMax = xMin = nX[0];
    yMax = yMin = nY[0];
    for (int i = 0; i < non; i++) {
        if (nvfCount[i] > 0 && (top < 0 || nY[i] > nY[top]))
            top = i;
        if (nY[i] > yMax)
            yMax = nY[i];
        if (nX[i] > xMax)
            xMax = nX[i];
        if (nX[i] < xMin)
            xMin = nX[i];
        if (nY[i] < yMin)
            yMin = nY[i];
    }

    int first = -1;
    double best = -1e37;
    const int from = top < 0 ? 0 : nvfStart[top], to = top < 0 ? 0 : from + nvfCount[top];
    for (int j = from; j < to; j++) {
        const int f = nf[j];
        if (vft[f] <= 0)
            continue;
        const int a = vfn[2 * f], b = vfn[2 * f + 1];
        double angle = ZMath::angleBetweenLineSegments(nX[a] + vfLength[f], nY[a], nX[a], nY[a],
                                                       nX[b], nY[b], false);
        if (angle > ZMath::pi / 2)
            angle = ZMath::pi - angle;
        if (angle > best) {
            best = angle;
            first = f;
        }
    }
    if (first < 0)
        throw ZException("Could not determine first face in cirmumference faces - something "
                         "wrong with mesh. " +
                         errSuffix);

    std::vector<int> chain{first};
    int c = vfn[2 * first] == top ? vfn[2 * first + 1] : vfn[2 * first];
    const std::size_t maxFaces = static_cast<std::size_t>(novf - noivf);
    for (;;) {
        ZCoreLib::ZCancel::poll();
        int next = -1;
        for (int j = nvfStart[c]; j < nvfStart[c] + nvfCount[c] && next < 0; j++)
            if (vft[nf[j]] > 0 && nf[j] != chain.back())
                next = nf[j];
        if (next < 0)
            circumfError("");
        if (next == first)
            return chain;
        chain.push_back(next);
        c = vfn[2 * next] == c ? vfn[2 * next + 1] : vfn[2 * next];
        if (chain.size() > maxFaces)
            circumfError("A node with more than 2 bnd faces ?");
    }
}

int hsMesh2D::circumferenceNodes(int*& nodes)
{
    const std::vector<int> faces = getCircumferenceVF();
    const int m = static_cast<int>(faces.size());
    std::unique_ptr<int[]> out(new int[m]);
    const int a = vfn[2 * faces[0]], b = vfn[2 * faces[0] + 1];
    const bool aInNext = vfn[2 * faces[1]] == a || vfn[2 * faces[1] + 1] == a;
    out[0] = aInNext ? b : a;
    for (int i = 0; i + 1 < m; i++) {
        ZCoreLib::ZCancel::poll();
        const int f = faces[i];
        out[i + 1] = vfn[2 * f] == out[i] ? vfn[2 * f + 1] : vfn[2 * f];
    }
    nodes = out.release();
    return m;
}

void hsMesh2D::popCircumf()
{
    if (circumfPopped)
        return;
    int* raw = nullptr;
    const int m = circumferenceNodes(raw);
    std::unique_ptr<int[]> nodes(raw);
    std::unique_ptr<double[]> x(new double[m]), y(new double[m]);
    for (int i = 0; i < m; i++) {
        x[i] = nX[nodes[i]];
        y[i] = nY[nodes[i]];
    }
    delete[] circumfX;
    delete[] circumfY;
    circumfX = x.release();
    circumfY = y.release();
    noCircumfNodes = m;
    circumfPopped = true;
}

double* hsMesh2D::anglesInElems()
{
    requireDerived("anglesInElems");
    double* out = new double[noevf];
    for (int e = 0; e < noe; e++) {
        const int s = eStart[e], k = enon[e];
        for (int j = 0; j < k; j++) {
            const int p = en[s + (j + k - 1) % k], c = en[s + j], q = en[s + (j + 1) % k];
            out[s + j] = ZMath::angleBetweenLineSegments(nX[p], nY[p], nX[c], nY[c], nX[q],
                                                         nY[q], false);
        }
    }
    return out;
}

double* hsMesh2D::anglesMaxPerElem()
{
    std::unique_ptr<double[]> all(anglesInElems());
    double* out = new double[noe];
    for (int e = 0; e < noe; e++) {
        out[e] = 0.0;
        for (int j = 0; j < enon[e]; j++)
            out[e] = std::max(out[e], all[eStart[e] + j]);
    }
    return out;
}

double* hsMesh2D::anglesVFMaxPerElem()
{
    requireDerived("anglesVFMaxPerElem");
    double* out = new double[noe];
    for (int e = 0; e < noe; e++) {
        out[e] = 0.0;
        for (int k = 0; k < nivfpe[e] && vfAngleDev != nullptr; k++)
            out[e] = std::max(out[e], vfAngleDev[evf[eStart[e] + k]]);
    }
    return out;
}

int* hsMesh2D::evfd()
{
    requireDerived("evfd");
    int* out = new int[noevf];
    for (int e = 0; e < noe; e++) {
        const int s = eStart[e], k = enon[e];
        for (int j = 0; j < k; j++) {
            const int f = evf[s + j];
            int p = 0;
            while (p < k && en[s + p] != vfn[2 * f])
                p++;
            const int next = en[s + (p + 1) % k];
            out[s + j] = (p < k && next == vfn[2 * f + 1]) ? 1 : -1;
        }
    }
    return out;
}

void hsMesh2D::vfGeoCoor(double*& x, double*& y)
{
    std::unique_ptr<double[]> gx(new double[novf]), gy(new double[novf]);
    for (int f = 0; f < novf; f++) {
        if (lonLat) {
            gx[f] = vfxc[f];
            gy[f] = vfyc[f];
        } else {
            ZConvert::utm2Geo(vfxc[f], vfyc[f], zone, gx[f], gy[f]);
        }
    }
    x = gx.release();
    y = gy.release();
}

double hsMesh2D::scaleLengthInProj()
{
    if (!lonLat)
        return lengthScale;
    double ux, uy, lon, lat;
    ZConvert::geo2UTM(meanX, meanY, zone, ux, uy);
    ZConvert::utm2Geo(ux, uy + lengthScale, zone, lon, lat);
    return std::sqrt((lon - meanX) * (lon - meanX) + (lat - meanY) * (lat - meanY));
}

int hsMesh2D::utmZone()
{
    if (proj.size() < 3 || ZStr::toLower(proj.substr(0, 3)) != "utm")
        return -1;
    return std::atoi(proj.c_str() + 3);
}

int hsMesh2D::vf2Bnd(int f)
{
    for (int b = 0; b < nob && bNoVF != nullptr; b++) {
        const int first = noivf + bFirstVF[b];
        if (bNoVF[b] > 0 && f >= first && f < first + bNoVF[b])
            return b;
    }
    return -1;
}

int hsMesh2D::bt2bi(int code)
{
    for (int b = 0; b < nob && bt != nullptr; b++)
        if (bt[b] == code)
            return b;
    return -1;
}

} // namespace hestor
