#ifndef ZCORELIB_ZMESSAGE_H
#define ZCORELIB_ZMESSAGE_H

// Numbers in the libraries' own messages and reports. A message names the
// function and says what was wrong:
//   "hsModelInfo::layer: element " + str(e) + " is not one of the " + str(noe) + " elements."
// Both helpers write a number as ZStr::toString does without precision or
// width. std::to_string of a real writes six decimals instead; messages
// that print reals so call it directly.

#include <sstream>
#include <string>
#include <type_traits>

namespace ZCoreLib {

// A whole number in full: "-12".
template <typename T>
std::string str(T v)
{
    static_assert(std::is_integral<T>::value, "str takes whole numbers; num takes reals");
    return std::to_string(static_cast<long long>(v));
}

// A real with six significant digits in general notation: "0.1", "1e-30".
template <typename T>
std::string num(T v)
{
    static_assert(std::is_floating_point<T>::value, "num takes reals; str takes whole numbers");
    std::ostringstream s;
    s << v;
    return s.str();
}

} // namespace ZCoreLib

#endif
