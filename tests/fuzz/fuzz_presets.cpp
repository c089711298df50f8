#include "fuzzsupport.h"

#include "data/presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Presets presets;
    if (Fuzz::readBoth(presets, Fuzz::bytes(data, size)))
        Fuzz::roundTrip(presets.listKey(), presets.records());
    return 0;
}
