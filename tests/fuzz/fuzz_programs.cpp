#include "fuzzsupport.h"

#include "data/programs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Programs programs;
    if (Fuzz::readBoth(programs, Fuzz::bytes(data, size)))
        Fuzz::roundTrip(programs.listKey(), programs.records());
    return 0;
}
