// runs.dat: the runs a program left going, read at the next start.
#include "fuzzsupport.h"

#include "work/runjournal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject object;
    if (!Container::decode(Fuzz::bytes(data, size), object))
        return 0;
    QList<RunJournal::Entry> entries;
    if (!RunJournal::fromJson(object, entries)) {
        Fuzz::check(entries.isEmpty(), "a journal of another shape gives no entry");
        return 0;
    }
    for (const RunJournal::Entry &entry : entries)
        Fuzz::check(!entry.serial.isEmpty() && entry.line >= 0, "every entry names a device and a line");
    QList<RunJournal::Entry> again;
    Fuzz::check(RunJournal::fromJson(Container::decode(Container::encode(RunJournal::toJson(entries))), again)
                    && again.size() == entries.size(),
                "the journal reads back");
    for (qsizetype i = 0; i < again.size() && i < entries.size(); ++i)
        Fuzz::check(again.at(i).lineDone == entries.at(i).lineDone && again.at(i).plan == entries.at(i).plan
                        && again.at(i).deviceLeft == entries.at(i).deviceLeft
                        && (entries.at(i).deviceLeft < 0
                            || (again.at(i).lf == entries.at(i).lf && again.at(i).warming == entries.at(i).warming)),
                    "where a line stood, and the device's count there, read back as they were");
    return 0;
}
