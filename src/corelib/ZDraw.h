#ifndef ZCORELIB_ZDRAW_H
#define ZCORELIB_ZDRAW_H

// Colour ramps and the painting of gridded or scattered values onto bitmaps.
// Colours are ints packed as 0xAARRGGBB; anchor colours are read in their
// three low bytes. A bitmap is the caller's array of w x h colours: pixel
// (i, j), column i from xmin and row j from ymin, is stored at
// (h - 1 - j) * w + i, so the first stored row is the top of the window.
// Pixel (i, j) samples xmin + i (xmax - xmin) / w, ymin + j (ymax - ymin) / h.

#include <vector>

#include "ZCartGrid.h"
#include "ZCoreLib.h"

namespace ZCoreLib {

class ZDraw {
public:
    ZDraw() = delete;

    // A value v at pixel (i, j).
    struct ijvTriplet {
        int i;
        int j;
        double v;
    };

    // nSteps colours with the anchors spread evenly over them (the last step
    // is the last anchor); the caller frees them with delete[]. Transparency
    // in percent.
    static int* colorMakeScale(int* colors, int nColors, int nSteps, int transparency);

    // The painters fill the caller's bitmap in place; nothing is allocated.
    // A linear scale with a non-finite end, or vmin = vmax, paints nothing.
    // Grid values by inverse distance from the four corners of each pixel's
    // cell; pixels outside the grid, or without a value, become -1.
    // Linear scale of nSteps colours from vmin to vmax.
    static int interpOnBitmap(ZCartGrid grid, int*& bitmap, int w, int h, int nSteps,
                              double xmin, double xmax, double ymin, double ymax, double vmin,
                              double vmax, int* colors, int nColors, double power);
    // Classes between ascending limits: nLimits + 1 colours.
    static int interpOnBitmap(ZCartGrid grid, int*& bitmap, int w, int h, double xmin,
                              double xmax, double ymin, double ymax, double* limits,
                              int nLimits, int* colors, int nColors, double power);

    // The pixels of the points within the window widened by margin, sorted by i.
    static std::vector<ijvTriplet> interpOnBitmapPrepareData(double* x, double* y, double* v,
                                                             int n, int w, int h, double xmin,
                                                             double xmax, double ymin,
                                                             double ymax, double margin);
    // Inverse squared pixel distance from the triplets within radius (map
    // units); pixels with nothing in reach keep their colour. Each column
    // adds up the triplets of its window row by row, so the cost grows with
    // the pixels each triplet reaches, plus the pixels.
    static int interpOnBitmap(std::vector<ijvTriplet> data, int*& bitmap, int w, int h,
                              int nSteps, double xmin, double xmax, double ymin, double ymax,
                              double vmin, double vmax, int* colors, int nColors,
                              double radius, double);
    // The same from scattered points; a negative radius is derived from the
    // window and the point count.
    static int interpOnBitmap(double* x, double* y, double* v, int n, int*& bitmap, int w,
                              int h, int nSteps, double xmin, double xmax, double ymin,
                              double ymax, double vmin, double vmax, int* colors, int nColors,
                              double radius, double);

    static bool ijvTripleCmpByX(const ijvTriplet& a, const ijvTriplet& b);
};

} // namespace ZCoreLib

#endif
