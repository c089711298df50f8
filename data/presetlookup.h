#pragma once

#include "data/presets.h"

#include <QList>

#include <utility>

class Library;

// A preset named by (name, version) may live in any of the three pools;
// programs and work lists name presets only by that pair, so every reader
// of a line resolves it here, in one way.
namespace PresetLookup {

// Codes above the pool numbers mark a line that cannot run.
enum Code { NotFound = 10, Duplicate = 11 };
inline bool isUsable(int code) { return code >= PresetPool::Client && code <= PresetPool::Legitimate; }

struct Counts
{
    int general = 0;
    int client = 0;
    int legitimate = 0;
    bool none() const { return general == 0 && client == 0 && legitimate == 0; }
};

// How often the pair occurs in each pool, counting every record whatever
// the list filters show. No store's current record or filter is touched:
// the lists and editors that share these stores keep their places.
Counts count(Library &library, const QString &name, int version);

// Copies the only record with this pair into `into` and returns its pool.
// Otherwise only the notes of `into` are set ("Not found" or "Duplicate"),
// so the caller prepares the rest, and NotFound or Duplicate is returned.
int resolve(Library &library, const QString &name, int version, Preset &into);

// The same for many pairs at once (a program's lines), with one pass over
// each pool whatever their number: `into` gets one record a pair, and the
// codes come back in the pairs' order.
QList<int> resolveAll(Library &library, const QList<std::pair<QString, int>> &pairs, QList<Preset> &into);

// One more than the highest version of a preset with exactly this name in
// any pool, 0 when none has it: a pair that no pool holds yet.
int nextFreeVersion(Library &library, const QString &name);

} // namespace PresetLookup
