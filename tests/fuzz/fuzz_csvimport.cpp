// Feeds arbitrary bytes to the CSV importer as the content of a chosen file.
// Works in memory only; the store starts with presets that lines can match.

#include "data/presets.h"
#include "maintenance/csvimport.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
        return true;
    }();
    (void)quiet;

    Presets store;
    for (const char *name : {"Foo", "Actinomyces israelii", "A"}) {
        store.setCurrent(store.count());
        store.insertNew();
        store.setName(QString::fromLatin1(name));
        store.setVersion(3);
    }
    store.setCurrent(1);
    Import import;
    import.importBytes(store, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (store.current() < 0 || store.current() > store.count() || store.count() < 3)
        std::abort();
    for (const Preset &preset : store.records())
        (void)preset.toJson();
    return 0;
}
