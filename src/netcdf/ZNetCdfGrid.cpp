#include "ZNetCdf.h"

#include <memory>

namespace ZCoreLib {

ZNetCdfGrid ZNetCdf::getGrid(int xVar, int yVar, int zVar)
{
    checkVarId(xVar);
    checkVarId(yVar);
    if (varNdims[xVar] != 1 || varNdims[yVar] != 1)
        throw ZException("Invalid number of dimenstions for given x or y variable");
    ZNetCdfGrid grid;
    grid.nx = varTotLength(xVar, false);
    grid.ny = varTotLength(yVar, false);
    // The spacing comes from the first two values.
    if (grid.nx < 2 || grid.ny < 2)
        throw ZException("A grid needs two x and two y values or more; '" + varNames[xVar] + "' has "
                         + std::to_string(grid.nx) + " and '" + varNames[yVar] + "' has "
                         + std::to_string(grid.ny) + " in " + fileName);
    int n = 0;
    const std::unique_ptr<double[]> x = readAllAsDouble(xVar, n), y = readAllAsDouble(yVar, n);
    grid.x0 = x[0];
    grid.y0 = y[0];
    grid.dx = x[1] - x[0];
    grid.dy = y[1] - y[0];
    if (zVar < 0)
        return grid;
    checkVarId(zVar);
    if (varNdims[zVar] != 1)
        throw ZException("Invalid number of dimenstions for given z variable");
    std::unique_ptr<double[]> values = readAllAsDouble(zVar, n);
    grid.nValues = n;
    grid.values = values.release();
    return grid;
}

bool ZNetCdf::isDK50mBathyFile()
{
    return dimId("x", false) >= 0 && dimId("y", false) >= 0 && varId("Band1") >= 0
        && varId("transverse_mercator") >= 0;
}

} // namespace ZCoreLib
