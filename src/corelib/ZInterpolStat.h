#ifndef ZCORELIB_ZINTERPOLSTAT_H
#define ZCORELIB_ZINTERPOLSTAT_H

// One-shot interpolation of values known at scattered source points:
// inverse-distance weighting in the plane and radial basis functions in space
// and in the plane. The no-value marker of the library's interpolation is
// -1e-37. Counts and arrays are trusted.

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZInterpolStat {
public:
    ZInterpolStat() = delete;

    // Weights 1 / pow(d, power) over the sources with a value closer than
    // radius (every source when radius <= 0) into the caller's out[nt];
    // -1e-37 where no source takes part. A target on a source takes that
    // source's value (the mean where several coincide).
    static int invDist2DInterpol(double* xs, double* ys, double* vs, int n, double* xt,
                                 double* yt, double*& out, int nt, double radius, double power,
                                 double noValue);

    // Kernel (r^2 + c^2)^(beta / 2) with a constant term; c <= 0 derives c
    // from the closest pair of sources. out gets one new array per value set
    // and the new array of them: the caller frees each out[k], then out, with
    // delete[]. Throws when the system cannot be solved. Instantiated for double.
    template <typename T>
    static int RBF3DInterpol(T* xs, T* ys, T* zs, T** vs, int n, int nSets, T* xt, T* yt, T* zt,
                             T**& out, int nt, T c, int beta);
    // One value set: out is a new array of nt values; the caller frees it
    // with delete[]. So for the two forms below.
    template <typename T>
    static int RBF3DInterpol(T* xs, T* ys, T* zs, T* vs, int n, T* xt, T* yt, T* zt, T*& out,
                             int nt, T c, int beta);
    // Every target at height zt.
    static int RBF3DInterpol(double* xs, double* ys, double* zs, double* vs, int n, double* xt,
                             double* yt, double zt, double*& out, int nt, double c, int beta);
    // Sources and targets all at height 0.
    static int RBF2DInterpol(double* xs, double* ys, double* vs, int n, double* xt, double* yt,
                             double*& out, int nt, double c, int beta);
};

} // namespace ZCoreLib

#endif
