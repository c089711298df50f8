#include "data/presetlookup.h"

#include "data/library.h"

#include <QHash>

#include <algorithm>

#include <array>
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

QString refusal(const Counts &counts, int pool)
{
    static const QString protectedIn =
        QStringLiteral("Protected can't save - preset exist in %1, please change name or version");
    switch (pool) {
    case PresetPool::Client:
        if (counts.general > 0)
            return protectedIn.arg(QStringLiteral("general"));
        return counts.legitimate > 0 ? protectedIn.arg(QStringLiteral("legitimate")) : QString();
    case PresetPool::General:
        if (counts.client > 0)
            return protectedIn.arg(QStringLiteral("client"));
        return counts.legitimate > 0 ? protectedIn.arg(QStringLiteral("legitimate")) : QString();
    default:
        if (counts.general > 0)
            return protectedIn.arg(QStringLiteral("general"));
        return counts.client > 0 ? protectedIn.arg(QStringLiteral("client")) : QString();
    }
}

QString refusal(Library &library, int pool, const QString &name, int version)
{
    return refusal(count(library, name, version), pool);
}

PairCounts countAll(const QList<Preset> &client, const QList<Preset> &general, const QList<Preset> &legitimate)
{
    PairCounts counts;
    for (const Preset &preset : client)
        ++counts[{preset.name, preset.version}].client;
    for (const Preset &preset : general)
        ++counts[{preset.name, preset.version}].general;
    for (const Preset &preset : legitimate)
        ++counts[{preset.name, preset.version}].legitimate;
    return counts;
}

ProgramCounts countPrograms(Library &library, const QString &name, int version)
{
    const auto pairs = [&](const Programs &store) {
        return int(std::count_if(store.records().cbegin(), store.records().cend(), [&](const Program &program) {
            return program.name == name && program.version == version;
        }));
    };
    return {pairs(library.programs()), pairs(library.history().programs())};
}

QString programRefusal(const ProgramCounts &counts, bool general)
{
    if (general && counts.client > 0)
        return QStringLiteral("Protected can't save - program exist in clients, please change name or version");
    if (!general && counts.general > 0)
        return QStringLiteral("Protected can't save - program exist in general, please change name or version");
    return QString();
}

QString programRefusal(Library &library, bool general, const QString &name, int version)
{
    return programRefusal(countPrograms(library, name, version), general);
}

int resolve(Library &library, const QString &name, int version, Preset &into)
{
    QList<Preset> found{into};
    const int code = resolveAll(library, {{name, version}}, found).constFirst();
    into = found.constFirst();
    return code;
}

QList<int> resolveAll(Library &library, const QList<std::pair<QString, int>> &pairs, QList<Preset> &into)
{
    // Each pair once, looked up by its name: a pool of a million presets
    // is passed over once, most records left at their name's length and
    // first letter.
    QHash<QString, QList<int>> wanted;
    quint64 lengths = 0;
    std::array<quint64, 4> firsts{};
    for (int i = 0; i < pairs.size(); ++i) {
        const QString &name = pairs.at(i).first;
        wanted[name].append(i);
        lengths |= quint64(1) << qMin<qsizetype>(name.size(), 63);
        const uchar first = name.isEmpty() ? 0 : uchar(name.at(0).unicode());
        firsts[first >> 6] |= quint64(1) << (first & 63);
    }
    const auto unwanted = [&](const QString &name) {
        const uchar first = name.isEmpty() ? 0 : uchar(name.at(0).unicode());
        return !(lengths & (quint64(1) << qMin<qsizetype>(name.size(), 63))) || !(firsts[first >> 6] & (quint64(1) << (first & 63)));
    };
    QList<std::array<int, 3>> matches(pairs.size(), {0, 0, 0});
    QList<std::array<const Preset *, 3>> found(pairs.size(), {nullptr, nullptr, nullptr});
    for (int pool : {PresetPool::Client, PresetPool::General, PresetPool::Legitimate}) {
        for (const Preset &preset : library.presetPool(pool).records()) {
            if (unwanted(preset.name))
                continue;
            const auto lines = wanted.constFind(preset.name);
            if (lines == wanted.cend())
                continue;
            for (const int i : *lines) {
                if (pairs.at(i).second == preset.version) {
                    ++matches[i][pool];
                    found[i][pool] = &preset;
                }
            }
        }
    }

    QList<int> codes;
    into.resize(pairs.size());
    for (int i = 0; i < pairs.size(); ++i) {
        const std::array<int, 3> &m = matches.at(i);
        const int total = m[0] + m[1] + m[2];
        int code = NotFound;
        if (total == 0) {
            into[i].notes = QStringLiteral("Not found");
        } else if (total > 1) {
            into[i].notes = QStringLiteral("Duplicate");
            code = Duplicate;
        } else {
            for (int pool : {PresetPool::Client, PresetPool::General, PresetPool::Legitimate}) {
                if (found.at(i)[pool]) {
                    into[i] = *found.at(i)[pool];
                    code = pool;
                }
            }
        }
        codes.append(code);
    }
    return codes;
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
