#include "ZNetCdf.h"

#include "ZDT.h"
#include "ZStr.h"

namespace ZCoreLib {

void ZNetCdf::parseTimeUnits(std::string units, const std::string& path, int& factor,
                             long long& reference)
{
    const size_t since = units.find("since ");
    if (since == std::string::npos)
        throw ZException("Could not parse time unit in netcdf file.");
    std::string ref = units.substr(since + 6);
    const std::string lower = ZStr::toLower(units);
    if (ZStr::startsWith(lower, "minute"))
        factor = 60;
    else if (ZStr::startsWith(lower, "hour"))
        factor = 3600;
    else if (ZStr::startsWith(lower, "second") || ZStr::startsWith(lower, "secs"))
        factor = 1;
    else
        throw ZException("Unsupported time unit in " + path);
    // One-digit month and day ("1970-1-1 00:00:00") get their leading zero. A
    // text too short to hold them is no date: it is refused below like any other.
    auto charAt = [&ref](size_t i) { return i < ref.size() ? ref[i] : '\0'; };
    if (charAt(6) == '-')
        ref.insert(5, "0");
    if (charAt(9) == ' ')
        ref.insert(8, "0");
    if (ref == "1900-01-01 00:00:00")
        reference = -2208988800LL;
    else if (ref == "1970-01-01 00:00:00")
        reference = 0;
    else
        reference = ZDT::strDT2longDT(ref);
}

std::vector<long long> ZNetCdf::getDT(int varId, std::string units)
{
    if (varId < 0) {
        varId = findFirstVarId(1, "units", true, -1);
        if (varId < 0)
            throw ZException("Could not find time var in " + fileName);
    }
    checkVarId(varId);
    if (varNdims[varId] != 1)
        throw ZException("'" + varNames[varId] + "' variable has more than one dimension in " + fileName);
    if (units.empty())
        units = getStringAttribValue("units", varId);
    if (units.empty())
        throw ZException("Could not find 'units' attribute of time var in " + fileName);
    int factor = 1;
    long long reference = 0;
    parseTimeUnits(units, fileName, factor, reference);
    int n = 0;
    const std::unique_ptr<double[]> values = readAllAsDouble(varId, n);
    std::vector<long long> dt;
    dt.reserve(static_cast<size_t>(n));
    // -2^63 and 2^63 are exact as double.
    const double limit = 9223372036854775808.0;
    for (int i = 0; i < n; ++i) {
        const double v = values[i];
        const double seconds = v * factor + static_cast<double>(reference);
        if (!(seconds >= -limit && seconds < limit))
            throw ZException("Time value " + ZStr::toString<double>(v) + " of '" + varNames[varId]
                             + "' gives no date-time in " + fileName);
        dt.push_back(static_cast<long long>(seconds));
    }
    return dt;
}

} // namespace ZCoreLib
