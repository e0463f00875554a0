// A TEXT1D profile file: first line and every timestep.

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::textFile(data, size, true);
    return 0;
}
