// The bathymetry of a model as text or as a file; the first byte picks the mesh, the layers and the form.

#include "fuzzSetupHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::bathymetry(data, size);
    return 0;
}
