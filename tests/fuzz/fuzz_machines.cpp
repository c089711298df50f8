// The registry with each device's log and work list nested in its record.
#include "fuzzsupport.h"

#include "discovery/machines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Machines machines;
    if (!machines.readBytes(Fuzz::bytes(data, size)))
        return 0;
    for (machines.first(); machines.hasCurrent(); machines.next()) {
        machines.statusText();
        machines.macText();
        machines.lastContactText();
        if (Logs *logs = machines.logs())
            logs->createdText();
    }
    Fuzz::roundTrip(machines.listKey(), machines.records());
    return 0;
}
