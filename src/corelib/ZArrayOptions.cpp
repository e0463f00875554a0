#include "ZArray.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "ZStr.h"

namespace ZCoreLib {

namespace {

// An argument takes part only when it is longer than the name and starts
// with the prefix; the name must then follow the prefix (and, for flags, end it).
bool matches(const char* arg, const std::string& name, char prefix, bool whole)
{
    if (arg == nullptr)
        return false;
    const std::size_t len = std::strlen(arg);
    if (len <= name.size() || arg[0] != prefix)
        return false;
    if (name.compare(0, name.size(), arg + 1, name.size()) != 0)
        return false;
    return !whole || len == name.size() + 1;
}

bool anyMatches(int argc, char** argv, const std::string& name, char prefix, bool whole)
{
    if (argv == nullptr)
        return false;
    for (int k = 1; k < argc; ++k)
        if (matches(argv[k], name, prefix, whole))
            return true;
    return false;
}

// With no name, the first non-empty argument is the (positional) value.
std::string firstPositional(int argc, char** argv, char prefix)
{
    for (int k = 1; k < argc; ++k) {
        const char* arg = argv[k];
        if (arg == nullptr || arg[0] == '\0')
            continue;
        return arg[0] == prefix ? std::string(arg + 1) : std::string(arg);
    }
    return "";
}

} // namespace

bool ZArray::argsHasOption(int argc, char** argv, std::string name, char prefix)
{
    return anyMatches(argc, argv, name, prefix, false);
}

bool ZArray::argsHasFlag(int argc, char** argv, std::string name, char prefix)
{
    return anyMatches(argc, argv, name, prefix, true);
}

std::string ZArray::argsGetOption(int argc, char** argv, std::string name, char prefix)
{
    if (argv == nullptr || argc < 2)
        return "";
    if (name.empty())
        return firstPositional(argc, argv, prefix);
    for (int k = 1; k < argc; ++k)
        if (matches(argv[k], name, prefix, false))
            return std::string(argv[k] + 1 + name.size());
    return "";
}

int ZArray::argsGetIntOption(int argc, char** argv, std::string name, char prefix)
{
    const std::string text = argsGetOption(argc, argv, name, prefix);
    if (!ZStr::isInteger(text))
        return INT_MIN;
    // strtol reads the same leading number atoi would, but saturates instead
    // of overflowing; the result is then clamped into int.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

} // namespace ZCoreLib
