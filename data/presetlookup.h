#pragma once

#include "data/presets.h"

#include <QHash>
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

// One rule for every path that stores a name and version (an editor, an
// import, a download, putting a deleted record back): a pair lives in one
// pool at a time, or a program line naming it reads "Duplicate" and can no
// longer be sent. Twins inside one pool are that pool's own affair. The
// answer is the reason the editor shows, empty when the pair may be stored.
QString refusal(const Counts &counts, int pool);
QString refusal(Library &library, int pool, const QString &name, int version);
// The counts of every pair of whole pools given as records, to judge many
// records at once (an import, a download) beside the window. A pool being
// replaced is left empty here: its own pairs are its own.
using PairCounts = QHash<std::pair<QString, int>, Counts>;
PairCounts countAll(const QList<Preset> &client, const QList<Preset> &general, const QList<Preset> &legitimate);

// Programs have two pools: the general programs and the open client's.
struct ProgramCounts
{
    int general = 0;
    int client = 0;
};
ProgramCounts countPrograms(Library &library, const QString &name, int version);
QString programRefusal(const ProgramCounts &counts, bool general);
QString programRefusal(Library &library, bool general, const QString &name, int version);

// One more than the highest version of a preset with exactly this name in
// any pool, 0 when none has it: a pair that no pool holds yet.
int nextFreeVersion(Library &library, const QString &name);

} // namespace PresetLookup
