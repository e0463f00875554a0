// The units text of a netCDF time variable ("hours since 1970-01-01 00:00:00").

#include "fuzzSetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::timeUnits(data, size);
    return 0;
}
