#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "ZConvert.h"

using ZCoreLib::ZConvert;

namespace {

// Exact-enough Transverse Mercator (Krueger series to fourth order in n,
// sub-millimetre within a zone) on WGS 84 with full-precision constants,
// independent of the series under test.
void krugerUTM(double lonDeg, double latDeg, int zone, double& e, double& n)
{
    const double pi = 3.14159265358979323846, a = 6378137.0, f = 1 / 298.257223563;
    const double nn = f / (2 - f), ecc = std::sqrt(f * (2 - f));
    const double n2 = nn * nn, n3 = n2 * nn, n4 = n3 * nn;
    const double A = a / (1 + nn) * (1 + n2 / 4 + n4 / 64);
    const double alpha[4] = {nn / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180,
                             13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440,
                             61 * n3 / 240 - 103 * n4 / 140, 49561 * n4 / 161280};
    double phi = latDeg * pi / 180, lam = (lonDeg - (6.0 * std::abs(zone) - 183)) * pi / 180;
    double s = std::sin(phi);
    double t = std::sinh(std::atanh(s) - ecc * std::atanh(ecc * s));
    double xi = std::atan2(t, std::cos(lam)), eta = std::atanh(std::sin(lam) / std::sqrt(1 + t * t));
    double x = xi, y = eta;
    for (int j = 1; j <= 4; ++j) {
        x += alpha[j - 1] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
        y += alpha[j - 1] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
    }
    e = 500000.0 + 0.9996 * A * y;
    n = 0.9996 * A * x + (zone < 0 ? 10000000.0 : 0.0);
}

void roundTrip(double lon, double lat, int zone, double& lon2, double& lat2)
{
    double e, n;
    ZConvert::geo2UTM(lon, lat, zone, e, n);
    ZConvert::utm2Geo(e, n, zone, lon2, lat2);
}

} // namespace

TEST(ZConvertZone, GuessTable)
{
    EXPECT_EQ(ZConvert::guessUTMZone(9.5, 56.0), 32);
    EXPECT_EQ(ZConvert::guessUTMZone(9.5, -56.0), -32);
    EXPECT_EQ(ZConvert::guessUTMZone(9.5, 0.0), -32);
    EXPECT_EQ(ZConvert::guessUTMZone(-180.0, 10.0), 1);
    EXPECT_EQ(ZConvert::guessUTMZone(-174.0001, 10.0), 1);
    EXPECT_EQ(ZConvert::guessUTMZone(-174.0, 10.0), 2);
    EXPECT_EQ(ZConvert::guessUTMZone(177.0, 10.0), 60);
    EXPECT_EQ(ZConvert::guessUTMZone(180.0, 10.0), 1);
    EXPECT_EQ(ZConvert::guessUTMZone(-3.0, -1.0), -30);
    EXPECT_EQ(ZConvert::guessUTMZone(0.0, 1.0), 31);
}

TEST(ZConvertZone, TrueModuloWestOfDateLine)
{
    EXPECT_EQ(ZConvert::guessUTMZone(-181.0, 10.0), 60);
    EXPECT_EQ(ZConvert::guessUTMZone(-186.5, 10.0), 59);
    EXPECT_EQ(ZConvert::guessUTMZone(-720.0 + 9.5, 10.0), 32);
    EXPECT_EQ(ZConvert::guessUTMZone(-540.0 + 9.5, 10.0), 2);
    EXPECT_EQ(ZConvert::guessUTMZone(369.5, 10.0), 32);
    int z = ZConvert::guessUTMZone(std::nan(""), 10.0);  // defined, not undefined behaviour
    EXPECT_GE(z, 1);
    EXPECT_LE(z, 60);
}

TEST(ZConvertUTM, ReferencePointZone32)
{
    // Exact Transverse Mercator gives 531183.76 E / 6206192.39 N.
    double e, n;
    ZConvert::geo2UTM(9.5, 56.0, 32, e, n);
    EXPECT_NEAR(e, 531183.76, 0.1);
    EXPECT_NEAR(n, 6206192.39, 1.5);
    double ke, kn;
    krugerUTM(9.5, 56.0, 32, ke, kn);
    EXPECT_NEAR(ke, 531183.76, 0.005);
    EXPECT_NEAR(kn, 6206192.39, 0.005);
}

TEST(ZConvertUTM, AgreesWithExactProjectionAcrossZone)
{
    // The series with the library's truncated degree factor stays within
    // about 1.3 m in northing (growing pole-ward) and 5 cm in easting.
    for (int zone : {-60, -33, -1, 1, 32, 60}) {
        double lon0 = 6.0 * std::abs(zone) - 183;
        for (double lat = 0.0; lat <= 80.0; lat += 4.0) {
            double signedLat = zone < 0 ? -lat : lat;
            for (double dl = -3.0; dl < 3.0; dl += 0.75) {
                double e, n, ke, kn;
                ZConvert::geo2UTM(lon0 + dl, signedLat, zone, e, n);
                krugerUTM(lon0 + dl, signedLat, zone, ke, kn);
                EXPECT_NEAR(e, ke, 0.08) << zone << " " << lat << " " << dl;
                EXPECT_NEAR(n, kn, 1.4) << zone << " " << lat << " " << dl;
            }
        }
    }
}

TEST(ZConvertUTM, CentralMeridianGivesFalseEasting)
{
    for (int zone : {1, 17, 32, 60, -1, -32, -60}) {
        double lon0 = 6.0 * std::abs(zone) - 183, e, n;
        for (double lat : {-70.0, -12.5, 0.0, 33.3, 71.0}) {
            ZConvert::geo2UTM(lon0, lat, zone, e, n);
            EXPECT_EQ(e, 500000.0) << zone << " " << lat;
        }
    }
}

TEST(ZConvertUTM, FalseNorthingFollowsZoneSign)
{
    double e, n;
    ZConvert::geo2UTM(9.5, 0.0, 32, e, n);
    EXPECT_NEAR(n, 0.0, 1e-6);
    ZConvert::geo2UTM(9.5, 0.0, -32, e, n);
    EXPECT_NEAR(n, 10000000.0, 1e-6);
    // Just south of the equator in a northern zone: negative northing, not +FN.
    ZConvert::geo2UTM(9.5, -0.01, 32, e, n);
    EXPECT_LT(n, 0.0);
    EXPECT_GT(n, -2000.0);
    // Just north of the equator in a southern zone: slightly above FN.
    ZConvert::geo2UTM(9.5, 0.01, -32, e, n);
    EXPECT_GT(n, 10000000.0);
    EXPECT_LT(n, 10002000.0);
}

TEST(ZConvertUTM, RoundTripsBothHemispheresAndEquator)
{
    // The degree factors are not exact inverses (their product is about
    // 1 - 1.4e-7), so a round trip scales the latitude and the offset from
    // the central meridian by that product: up to ~1.2 m near the poles.
    // Apart from that scaling the inverse series must return within ~2 mm.
    const double k = ZConvert::deg2rad * ZConvert::rad2deg;
    for (int zone : {1, 32, 60}) {
        double lon0 = 6.0 * zone - 183;
        for (double lat = -80.0; lat <= 84.0; lat += 2.0) {
            for (double dl = -3.0; dl < 3.0; dl += 0.5) {
                double lon = lon0 + dl, lon2, lat2;
                int guessed = ZConvert::guessUTMZone(lon0, lat);
                for (int z : {guessed, -guessed}) {  // mesh straddling the equator: either sign
                    roundTrip(lon, lat, z, lon2, lat2);
                    EXPECT_NEAR(lat2, lat * k, 2e-8) << z << " " << lat << " " << dl;
                    EXPECT_NEAR(lon2, lon0 + dl * k, 2e-8) << z << " " << lat << " " << dl;
                    EXPECT_NEAR(lat2, lat, 1.2e-5);
                }
            }
        }
    }
    double lon2, lat2;
    roundTrip(9.5, 0.0, -32, lon2, lat2);
    EXPECT_NEAR(lat2, 0.0, 1e-9);
    EXPECT_NEAR(lon2, 9.5, 1e-6);
    roundTrip(11.2, 0.0, ZConvert::guessUTMZone(11.2, 0.0), lon2, lat2);
    EXPECT_NEAR(lat2, 0.0, 1e-9);
    EXPECT_NEAR(lon2, 11.2, 1e-6);
    roundTrip(8.0, -0.001, 32, lon2, lat2);  // south of the equator, northern zone
    EXPECT_NEAR(lat2, -0.001, 1e-9);
}

TEST(ZConvertUTM, LongitudesFrom180Wrap)
{
    double e1, n1, e2, n2;
    ZConvert::geo2UTM(181.5, 40.0, 1, e1, n1);
    ZConvert::geo2UTM(-178.5, 40.0, 1, e2, n2);
    EXPECT_NEAR(e1, e2, 1e-6);
    EXPECT_NEAR(n1, n2, 1e-6);
    ZConvert::geo2UTM(180.0 + 360.0 + 3.0, -40.0, -1, e1, n1);
    ZConvert::geo2UTM(-177.0, -40.0, -1, e2, n2);
    EXPECT_NEAR(e1, e2, 1e-6);
    EXPECT_NEAR(n1, n2, 1e-6);
}

// A longitude past 180 was wrapped to -179.9 but kept its distance of -357
// degrees from the central meridian of zone 60, giving E -1.59e9.
TEST(ZConvertUTM, AcrossTheAntimeridian)
{
    double e, n;
    ZConvert::geo2UTM(180.1, -17.0, -60, e, n);
    EXPECT_NEAR(e, 830108.5, 0.1);
    EXPECT_NEAR(n, 8117832.2, 0.5); // the series is within about a metre in northing
    const std::vector<std::pair<int, std::vector<double>>> cases = {
        {60, {178.5, 179.9, 180.0, 180.1, -179.9}},
        {-60, {179.9, 180.1, -179.9, 540.1}},
        {1, {179.9, 180.1, 181.5, -179.9, -178.5}},
        {-1, {179.95, -180.0, -539.9}},
    };
    for (const auto& c : cases)
        for (double lon : c.second) {
            const double lat = c.first < 0 ? -17.0 : 17.0;
            double ke, kn;
            ZConvert::geo2UTM(lon, lat, c.first, e, n);
            krugerUTM(lon, lat, c.first, ke, kn);
            EXPECT_NEAR(e, ke, 0.1) << c.first << " " << lon;
            EXPECT_NEAR(n, kn, 1.4) << c.first << " " << lon;
        }
}

TEST(ZConvertSphere, GreatCircleDistance)
{
    EXPECT_NEAR(ZConvert::greatCircleDist(0, 0, 1, 0), ZConvert::a * 0.01745329, 1e-6);
    EXPECT_NEAR(ZConvert::greatCircleDist(0, 0, 180, 0), ZConvert::a * 180 * 0.01745329, 1e-3);
    // Cross-check against the haversine form on the same sphere.
    const double k = 0.01745329;
    for (double lat1 = -80; lat1 <= 80; lat1 += 16) {
        for (double dlon = 0.5; dlon < 90; dlon *= 3) {
            double lat2 = lat1 * 0.5 + 3, lon1 = 7, lon2 = 7 + dlon;
            double h = std::pow(std::sin((lat2 - lat1) * k / 2), 2) +
                       std::cos(lat1 * k) * std::cos(lat2 * k) * std::pow(std::sin(dlon * k / 2), 2);
            double ref = 2 * ZConvert::a * std::asin(std::sqrt(h));
            EXPECT_NEAR(ZConvert::greatCircleDist(lon1, lat1, lon2, lat2), ref, 1e-6 * ref);
        }
    }
}

TEST(ZConvertSphere, SamePointIsZeroNotNaN)
{
    for (int i = 0; i < 2000; ++i) {
        double lon = -179.0 + i * 0.179, lat = -89.0 + i * 0.0891;
        double d = ZConvert::greatCircleDist(lon, lat, lon, lat);
        ASSERT_FALSE(std::isnan(d)) << lon << " " << lat;
        EXPECT_LT(d, 1.0);  // acos near 1 is coarse, but never NaN
    }
}

TEST(ZConvertSphere, MetricShiftMatchesDistance)
{
    double lon, lat;
    ZConvert::addMetricVector2GeoPos(10.0, 60.0, 0.0, 1000.0, lon, lat);
    EXPECT_EQ(lon, 10.0);
    EXPECT_NEAR(ZConvert::greatCircleDist(10.0, 60.0, lon, lat), 1000.0, 0.01);
    ZConvert::addMetricVector2GeoPos(10.0, 60.0, 1000.0, 0.0, lon, lat);
    EXPECT_EQ(lat, 60.0);
    EXPECT_NEAR(lon - 10.0, 1000.0 / ZConvert::a * 57.29578 / std::cos(60.0 * 0.01745329), 1e-12);
    EXPECT_NEAR(ZConvert::greatCircleDist(10.0, 60.0, lon, lat), 1000.0, 0.05);
    ZConvert::addMetricVector2GeoPos(-20.0, -35.0, -500.0, -700.0, lon, lat);
    EXPECT_LT(lon, -20.0);
    EXPECT_LT(lat, -35.0);
}
