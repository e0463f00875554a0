// A binary result file (.emb) from arbitrary bytes: header, item directory, static items, embedded mesh, then the item readers.

#include "fuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::resultFile(data, size, false);
    return 0;
}
