#ifndef ZCORELIB_ZCORELIB_H
#define ZCORELIB_ZCORELIB_H

// Constants every translation unit of the utility library sees.

#include <string>
#include <typeinfo>

#include "ZException.h"

namespace ZCoreLib {

typedef double zfloat;

// Each unit holds its own copy (internal linkage).
static const bool zfloatIsDouble = typeid(zfloat) == typeid(double);
static const std::string newLine = "\n";
static const std::string dtFormat = "%Y%m%d%H%M%S";

} // namespace ZCoreLib

#endif
