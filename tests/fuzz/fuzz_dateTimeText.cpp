// Date-times and timestep numbers as text, one or comma-separated, on a time axis the first byte picks.

#include "fuzzSetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::dateTimeText(data, size);
    return 0;
}
