// work.dat: a header and the lines a device is to run.
#include "fuzzsupport.h"

#include "work/sequencer.h"
#include "data/worklist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject object;
    if (!Container::decode(Fuzz::bytes(data, size), object))
        return 0;
    WorkList work;
    work.fromJson(object);
    Sequencer sequencer;
    loadWork(work, sequencer);
    QJsonObject written;
    work.toJson(written);
    WorkList again;
    again.fromJson(Container::decode(Container::encode(written)));
    Fuzz::check(again.count() == work.count() && again.programName == work.programName, "work list reads back");
    return 0;
}
