#ifndef ZCORELIB_ZINTERPOL_H
#define ZCORELIB_ZINTERPOL_H

// For every target point, the source points that contribute to it and their
// inverse-distance weights, found through a k-d tree. The weights are stored
// as computed (not normalised); combining them with values is the caller's.

#include <string>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

// Callers may store any method number (init refuses all but 0), so the type
// holds every int.
enum zinterpolType : int {
    INVDIST = 0
};

class ZInterpol {
public:
    ZInterpol();
    ~ZInterpol();

    // Each init empties the tables and fills them for the targets given; the
    // masked forms use only the sources whose mask entry is true and store
    // indices into the caller's arrays. Throws for a method other than 0.
    int init(double* xs, double* ys, int n, double* xt, double* yt, int nt, zinterpolType type);
    int init(double* xs, double* ys, bool* mask, int n, double* xt, double* yt, int nt,
             zinterpolType type);
    int init(double* xs, double* ys, double* zs, int n, double* xt, double* yt, double* zt,
             int nt, zinterpolType type);
    int init(double* xs, double* ys, double* zs, bool* mask, int n, double* xt, double* yt,
             double* zt, int nt, zinterpolType type);

    // The three nearest sources of each target, farthest first, weighted
    // 1 / pow(d, power); a target on a source gets that source alone with
    // weight 1. Appends to the tables.
    int initInvDist(double* xs, double* ys, int n, double* xt, double* yt, int nt);
    // In space, z scaled by zScale.
    int initInvDist(double* xs, double* ys, double* zs, int n, double* xt, double* yt,
                    double* zt, int nt);

    std::string name;
    double power;
    double zScale;
    double noData;
    bool initialised;
    zinterpolType type;
    std::vector<std::vector<double>> weights;
    std::vector<std::vector<int>> sourceIdx;
};

} // namespace ZCoreLib

#endif
