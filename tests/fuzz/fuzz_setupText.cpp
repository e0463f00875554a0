// The set-up from text: layer thicknesses, bathymetry text and offset depth over a mesh file.

#include "fuzzSetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setupText(data, size);
    return 0;
}
