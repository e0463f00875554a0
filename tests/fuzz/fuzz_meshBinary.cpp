// The binary mesh block as it lies in a result header or a binary mesh file; the first byte picks the container version.

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::meshBinary(data, size);
    return 0;
}
