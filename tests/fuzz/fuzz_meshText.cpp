// The text mesh format, read directly or as a .mesh file; the first byte picks the way in and the version.

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::meshText(data, size);
    return 0;
}
