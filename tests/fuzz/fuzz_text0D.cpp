// A TEXT0D time-series file: first line, every timestep, readTimeSeriesUET.

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::textFile(data, size, false);
    return 0;
}
