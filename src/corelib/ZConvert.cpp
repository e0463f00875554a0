#include "ZConvert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ZCoreLib {

namespace {

double meridianArc(double phi)
{
    using C = ZConvert;
    return C::a * (C::M0 * phi - C::M2 * std::sin(2 * phi) + C::M4 * std::sin(4 * phi) -
                   C::M6 * std::sin(6 * phi));
}

double centralMeridian(int zone) { return 6.0 * std::abs(zone) - 183.0; }

} // namespace

int ZConvert::guessUTMZone(double lon, double lat)
{
    // True modulo, so longitudes west of -180 wrap into zones 60, 59, ...
    double z = std::fmod(std::floor((lon + 180.0) / 6.0), 60.0);
    if (z < 0.0) z += 60.0;
    if (!(z >= 0.0 && z < 60.0)) z = 0.0;  // non-finite input
    int zone = int(z) + 1;
    return lat > 0.0 ? zone : -zone;
}

void ZConvert::geo2UTM(double lon, double lat, int zone, double& easting, double& northing)
{
    double phi = lat * deg2rad;
    double l = (lon + 180.0) - 360.0 * std::trunc((lon + 180.0) / 360.0) - 180.0;
    // The series needs the distance from the central meridian, not the
    // wrapped longitude: a zone at the antimeridian meets longitudes from
    // both sides of it.
    const double fromCentre = l - centralMeridian(zone);
    if (fromCentre > 180.0)
        l -= 360.0;
    else if (fromCentre <= -180.0)
        l += 360.0;
    double sinPhi = std::sin(phi), cosPhi = std::cos(phi), tanPhi = std::tan(phi);
    double n = a / std::sqrt(1.0 - e2 * sinPhi * sinPhi);
    double t = tanPhi * tanPhi;
    double c = ep2 * cosPhi * cosPhi;
    double A = (l * deg2rad - centralMeridian(zone) * deg2rad) * cosPhi;
    double A2 = A * A, A3 = A2 * A, A4 = A3 * A, A5 = A4 * A, A6 = A5 * A;
    easting = k0 * n * (A + (1 - t + c) * A3 / 6 + (5 - 18 * t + t * t + 72 * c - c58) * A5 / 120) + FE;
    northing = k0 * (meridianArc(phi) +
                     n * tanPhi * (A2 / 2 + (5 - t + 9 * c + 4 * c * c) * A4 / 24 +
                                   (61 - 58 * t + t * t + 600 * c - c330) * A6 / 720));
    // The zone, not the latitude, decides: utm2Geo must undo exactly this,
    // also for points on or across the equator.
    if (zone < 0) northing += FN;
}

void ZConvert::utm2Geo(double easting, double northing, int zone, double& lon, double& lat)
{
    if (zone < 0) {
        northing -= FN;
        zone = -zone;
    }
    double mu = (northing / k0) / aM0;
    double phi1 = mu + F2 * std::sin(2 * mu) + F4 * std::sin(4 * mu) + F6 * std::sin(6 * mu);
    double sinPhi = std::sin(phi1), cosPhi = std::cos(phi1), tanPhi = std::tan(phi1);
    double s = 1.0 - e2 * sinPhi * sinPhi;
    double n1 = a / std::sqrt(s);
    double t1 = tanPhi * tanPhi;
    double c1 = ep2 * cosPhi * cosPhi;
    double r1 = a1e2 / std::pow(s, 1.5);
    double d = (easting - FE) / (n1 * k0);
    double d2 = d * d, d3 = d2 * d, d4 = d3 * d, d5 = d4 * d, d6 = d5 * d;
    lat = (phi1 - (n1 * tanPhi / r1) *
                      (d2 / 2 - (5 + 3 * t1 + 10 * c1 - 4 * c1 * c1 - c9) * d4 / 24 +
                       (61 + 90 * t1 + 298 * c1 + 45 * t1 * t1 - c252 - 3 * c1 * c1) * d6 / 720)) *
          rad2deg;
    lon = centralMeridian(zone) +
          ((d - (1 + 2 * t1 + c1) * d3 / 6 +
            (5 - 2 * c1 + 28 * t1 - 3 * c1 * c1 + c8 + 24 * t1 * t1) * d5 / 120) /
           cosPhi) * rad2deg;
}

double ZConvert::greatCircleDist(double lon1, double lat1, double lon2, double lat2)
{
    double p1 = lat1 * deg2rad, p2 = lat2 * deg2rad;
    double c = std::sin(p1) * std::sin(p2) +
               std::cos(p1) * std::cos(p2) * std::cos(lon2 * deg2rad - lon1 * deg2rad);
    // Rounding takes c past 1 for (nearly) equal points.
    return a * std::acos(std::clamp(c, -1.0, 1.0));
}

void ZConvert::addMetricVector2GeoPos(double lon, double lat, double dx, double dy,
                                      double& lonOut, double& latOut)
{
    lonOut = lon + (dx / a) * rad2deg / std::cos(lat * deg2rad);
    latOut = lat + (dy / a) * rad2deg;
}

} // namespace ZCoreLib
