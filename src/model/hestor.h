#ifndef HESTOR_HESTOR_H
#define HESTOR_HESTOR_H

// Constants every translation unit of the model library and the R interface sees.

#include <string>

#include "ZCoreLib.h"

namespace hestor {

using ZCoreLib::zfloat;
using ZCoreLib::zfloatIsDouble;
using ZCoreLib::newLine;
using ZCoreLib::dtFormat;

static const std::string contactAddress = "hestortools-maintainers@users.noreply.example.org";
static const std::string errSuffix =
    " If this error message makes no sense to you, please contact " + contactAddress;

// Undefined data in result files and results, stored as a 32-bit float.
constexpr float missingValue = -1e-30f;

} // namespace hestor

#endif
