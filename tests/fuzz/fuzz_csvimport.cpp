// Feeds arbitrary bytes to the CSV importer as the content of a chosen file.
// Works in memory only; the store starts with presets that lines can match.

#include "fuzzsupport.h"

#include "data/presets.h"
#include "maintenance/csvimport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Presets store;
    for (const char *name : {"Foo", "Actinomyces israelii", "A"}) {
        store.setCurrent(store.count());
        store.insertNew();
        store.setName(QString::fromLatin1(name));
        store.setVersion(3);
    }
    store.setCurrent(1);
    Import import;
    import.importBytes(store, Fuzz::bytes(data, size));
    Fuzz::check(store.current() >= 0 && store.current() <= store.count() && store.count() >= 3, "a sound cursor, no preset lost");
    for (const Preset &preset : store.records())
        (void)preset.toJson();
    return 0;
}
