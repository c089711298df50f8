#pragma once

#include "data/container.h"
#include "maintenance/codepage.h"
#include "data/presetlookup.h"
#include "data/presets.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

// Reads a comma-separated file into a preset store. Two layouts are known,
// told apart by their first line: a preset table (the preset fields in ten
// columns under a fixed header) and a frequency table (a name, possibly
// ending in a version number, and one frequency per line). Fields are split
// at every comma; there is no quoting.
class Import
{
public:
    enum Layout { Unknown, PresetTable, FrequencyTable };

    void setFileName(const QString &fileName) { m_fileName = fileName; }
    // The (name, version) pairs the other pools hold. A pair lives in one
    // pool only: lines for these are refused, and counted.
    // The pairs of the other pools: the import stores none of them.
    void setOtherPools(const PresetLookup::PairCounts &pairs) { m_elsewhere = pairs; }
    QString fileName() const { return m_fileName; }

    // Imports the file into the store. True also when the file cannot be
    // opened: the store is then unchanged and fileError() says why.
    bool importCsv(Presets &store);
    // The same on bytes already in memory.
    void importBytes(Presets &store, const QByteArray &bytes);

    // What the last run did, for the operator's notice.
    QString fileError() const { return m_fileError; }
    Layout layout() const { return m_layout; }
    bool headerMatched() const { return m_headerMatched; }
    int added() const { return m_added; }
    // The text encoding the file was read in.
    enum Encoding { Utf8, Windows1250, Windows1252, Latin1 };
    Encoding encoding() const { return m_encoding; }
    // For a file that is not UTF-8: the code page the operator chose, else
    // the one the text most likely is in; whether that guess was sure.
    void setCodePage(std::optional<CodePage::Page> page) { m_codePage = page; }
    bool encodingSure() const { return m_encodingSure; }
    // Lines that held no preset (no name, only commas, too few fields),
    // and lines with more fields than the layout (the rest was ignored).
    int skipped() const { return m_skipped; }
    // What the operator is told of an import that ran.
    static QString summary(const Import &import);
    int tooWide() const { return m_tooWide; }
    int updated() const { return m_updated; }
    int refused() const { return m_refused; }

    static const char *const presetHeader;


private:
    void importPresetLine(Presets &store, const QStringList &fields);
    void importFrequencyLine(Presets &store, const QStringList &fields);
    // Makes the last record of this pair current (true), or appends a new
    // one (false). One lookup in a table built once, so that an import
    // takes time in step with its lines.
    bool locateOrAppend(Presets &store, const QString &name, int version);

    // False, counting the line, when another pool holds the pair.
    bool mayTake(const QString &name, int version);

    QHash<std::pair<QString, int>, int> m_lastOfPair;
    PresetLookup::PairCounts m_elsewhere;
    QDateTime m_started;

    QString m_fileName;
    QString m_fileError;
    Layout m_layout = Unknown;
    bool m_headerMatched = false;
    Encoding m_encoding = Utf8;
    std::optional<CodePage::Page> m_codePage;
    bool m_encodingSure = true;
    int m_added = 0;
    int m_skipped = 0;
    int m_tooWide = 0;
    int m_updated = 0;
    int m_refused = 0;
};

// A whole import on a copy of a pool's records, saved to the pool's file
// when it changed anything, touching nothing else: it can run on a worker
// thread while the pool's owner waits. The records as the import leaves
// them, and what the import did.
// A pool the import would make larger than the program reads back is not
// saved and not taken: `refused` says why, and the records are as given.
struct ImportedPool
{
    QList<Preset> records;
    // Their keys, carried from the pool in use (see RecordStore::carriedKeys).
    QList<quint64> keys;
    bool saved = true;
    QString whyUnsaved;  // what the system said, when not saved
    QString refused;
    Import import;
    // The notice kept in the data folder with the landed pool until the
    // window shows it (UntoldNotice::told); 0 when nothing landed.
    quint64 heldNotice = 0;

    // Whether the pool in use takes `records`: something was added or
    // updated and the pool was not refused (also when it could not be
    // saved, as the notice then says).
    bool changed() const;
    // What the operator is told.
    QString notice() const;
};
ImportedPool importOnPool(const QList<Preset> &records, const QString &poolPath, const QString &fileName,
                          const PresetLookup::PairCounts &otherPools = {}, qint64 sizeLimit = Container::sizeLimit,
                          std::optional<CodePage::Page> codePage = std::nullopt);
// Whether the file is not UTF-8 and its code page cannot be told for sure,
// so the operator should choose; `guess` is then the likelier one, and
// `samples` names as each page reads them. Reads at most the file's first
// 4 MiB.
bool codePageUnsure(const QString &fileName, CodePage::Page &guess,
                    QList<std::pair<QString, QString>> *samples = nullptr);
