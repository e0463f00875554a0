#ifndef ZCORELIB_ZCARTGRID_H
#define ZCORELIB_ZCARTGRID_H

// A regular Cartesian grid of node values, as the bitmap painting reads it.
// The record does not own its values.

#include "ZCoreLib.h"

namespace ZCoreLib {

struct ZCartGrid {
    double x0 = 0;  // position of node (0, 0)
    double y0 = 0;
    double dx = 0;  // node spacing
    double dy = 0;
    int nx = 0;     // nodes along x and y
    int ny = 0;
    // nx x ny node values, node (ix, iy) at iy * nx + ix; NaN: the node has no value.
    double* values = nullptr;
};

} // namespace ZCoreLib

#endif
