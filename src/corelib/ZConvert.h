#ifndef ZCORELIB_ZCONVERT_H
#define ZCORELIB_ZCONVERT_H

// Geographic longitude/latitude (degrees, WGS 84) to and from UTM (metres),
// zone guessing, great-circle distances and metric shifts.
// A UTM zone's absolute value is its number; a negative zone is southern.

#include "ZMath.h"

namespace ZCoreLib {

class ZConvert {
public:
    static constexpr double a = 6378137.0;
    static constexpr double e2 = 0.00669438;
    static constexpr double ep2 = 0.006739496752268451;
    static constexpr double k0 = 0.9996;
    static constexpr double FE = 500000.0;
    static constexpr double FN = 10000000.0;
    static constexpr double deg2rad = ZMath::deg2rad;
    static constexpr double rad2deg = ZMath::rad2deg;
    // Meridian arc: M = a (M0 phi - M2 sin 2phi + M4 sin 4phi - M6 sin 6phi).
    static constexpr double M0 = 0.9983242984503243;
    static constexpr double M2 = 0.002514607064228144;
    static constexpr double M4 = 2.639046602129982e-06;
    static constexpr double M6 = 3.418046101696858e-09;
    static constexpr double c58 = 0.39089081163157013;
    static constexpr double c330 = 2.2240339282485886;
    static constexpr double aM0 = 6367449.145945056;
    // Footpoint latitude: phi1 = mu + F2 sin 2mu + F4 sin 4mu + F6 sin 6mu.
    static constexpr double F2 = 0.002518826588112575;
    static constexpr double F4 = 3.7009490465577744e-06;
    static constexpr double F6 = 7.447813800519332e-09;
    static constexpr double a1e2 = 6335439.32722994;
    static constexpr double c9 = 0.06065547077041606;
    static constexpr double c252 = 1.6983531815716497;
    static constexpr double c8 = 0.05391597401814761;

    static int guessUTMZone(double lon, double lat);
    static void geo2UTM(double lon, double lat, int zone, double& easting, double& northing);
    static void utm2Geo(double easting, double northing, int zone, double& lon, double& lat);
    static double greatCircleDist(double lon1, double lat1, double lon2, double lat2);
    static void addMetricVector2GeoPos(double lon, double lat, double dx, double dy,
                                       double& lonOut, double& latOut);
};

} // namespace ZCoreLib

#endif
