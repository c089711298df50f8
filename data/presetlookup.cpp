#include "data/presetlookup.h"

#include "data/library.h"

#include <limits>

namespace PresetLookup {

namespace {

const Preset *only(const Presets &store, const QString &name, int version, int &matches)
{
    const Preset *found = nullptr;
    matches = 0;
    for (const Preset &preset : store.records()) {
        if (preset.name == name && preset.version == version) {
            ++matches;
            found = &preset;
        }
    }
    return found;
}

} // namespace

Counts count(Library &library, const QString &name, int version)
{
    Counts counts;
    only(library.generalPresets(), name, version, counts.general);
    only(library.presetPool(PresetPool::Client), name, version, counts.client);
    only(library.legitimatePresets(), name, version, counts.legitimate);
    return counts;
}

int resolve(Library &library, const QString &name, int version, Preset &into)
{
    int matches[3] = {0, 0, 0};
    const Preset *found[3] = {};
    for (int pool : {PresetPool::Client, PresetPool::General, PresetPool::Legitimate})
        found[pool] = only(library.presetPool(pool), name, version, matches[pool]);

    const int total = matches[0] + matches[1] + matches[2];
    if (total == 0) {
        into.notes = QStringLiteral("Not found");
        return NotFound;
    }
    if (total > 1) {
        into.notes = QStringLiteral("Duplicate");
        return Duplicate;
    }
    for (int pool : {PresetPool::Client, PresetPool::General, PresetPool::Legitimate}) {
        if (found[pool]) {
            into = *found[pool];
            return pool;
        }
    }
    return NotFound;
}

int nextFreeVersion(Library &library, const QString &name)
{
    int next = 0;
    for (int pool : {PresetPool::Client, PresetPool::General, PresetPool::Legitimate}) {
        for (const Preset &preset : library.presetPool(pool).records()) {
            if (preset.name == name && preset.version >= next && preset.version < std::numeric_limits<int>::max())
                next = preset.version + 1;
        }
    }
    return next;
}

} // namespace PresetLookup
