// A binary result file modified before the cutoff date, so read as version 0 (no version word, positional static blocks).

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::resultFile(data, size, true);
    return 0;
}
