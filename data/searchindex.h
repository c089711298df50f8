#pragma once

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string_view>

// The records of a store that pass its search, found without folding every
// name on every keystroke: each record's display text is folded once
// (foldForSearch) and kept until that record's text changes.
//
// The index does not watch the store. Before a lookup the store hands it
// the current texts (`sync`); records whose text is unchanged keep their
// key. The keys are kept in blocks of a few thousand records, so a rename,
// an insert or a removal folds and copies one block, not the whole list.
// Many changed texts (a list shown for the first time) are folded on a
// worker thread when the store asks early (`prepare`), and names in other
// scripts get their Latin spellings there as well, matched by their plain
// key until they are ready.
class SearchIndex
{
public:
    SearchIndex();
    ~SearchIndex();
    SearchIndex(const SearchIndex &other);
    SearchIndex &operator=(const SearchIndex &other);
    SearchIndex(SearchIndex &&other) noexcept;
    SearchIndex &operator=(SearchIndex &&other) noexcept;

    // Folds the pattern the records are matched against.
    void setPattern(const QString &pattern);

    // Brings the keys in line with `count` records whose display texts
    // `textAt` gives, on this thread; waits for a fold `prepare` began.
    // Cheap when nothing changed: one comparison a record.
    void sync(int count, const std::function<const QString &(int)> &textAt);

    // The same without making the caller wait for many texts: those are
    // folded beside. True when keys arrived since the last call (a search
    // may then show more). `seen` tells whether these texts were taken in;
    // while a fold is under way they are not, and are looked at again on
    // the next call.
    bool prepare(int count, const std::function<const QString &(int)> &textAt, bool &seen);

    // Takes what was made beside since the last call, without waiting;
    // true when keys arrived.
    bool collect() { return poll(); }

    // After a sync: the indexes, ascending, of the records whose text
    // contains the pattern. While a fold begun beside is under way, those
    // among the records folded so far and as many more as a keystroke's
    // share of a frame allows: `collect` tells when more may be found.
    const QList<int> &matching();

    // 0, 1, ... count - 1, kept between calls.
    const QList<int> &allRows(int count);

    // Whether record `index`, whose display text is `text`, contains the
    // pattern; uses the kept key while the text is the one it was folded
    // from, so this needs no sync.
    bool matches(int index, const QString &text) const;

    // Whether Latin spellings are still being made beside.
    bool transliterating() const;
    // The bytes held for the keys, the texts they were folded from included.
    qsizetype heldBytes() const;

    // A block of records' keys. Each record's fold in UTF-8, then \x01 and
    // a Latin spelling for each it has, then \0: no pattern holds either
    // byte. Beside each key the set of bytes it holds (`letters`), so that
    // most records are passed over without reading their key.
    struct Block
    {
        QList<QString> texts;    // the display texts the keys were folded from
        QByteArray joined;
        QList<quint32> starts;   // where each key starts; one more at the end
        QList<quint64> letters;
        QList<int> waiting;      // records in another script without their Latin spellings yet
        quint64 id = 0;          // new whenever the block is made again

        int size() const { return int(texts.size()); }
        std::string_view keyOf(int i) const
        {
            return std::string_view(joined.constData() + starts.at(i), starts.at(i + 1) - 1 - starts.at(i));
        }
    };

private:
    struct Job;
    struct Found
    {
        QByteArray pattern;
        QList<int> rows;
    };

    bool poll();
    void settle();
    // The records at either end whose texts are those the keys were made
    // from; `same` when nothing changed at all.
    struct Span
    {
        int front = 0;
        int back = 0;
        bool same = false;
    };
    Span unchangedEnds(int count, const std::function<const QString &(int)> &textAt) const;
    // Folds beside the texts of the records after the first `keep` blocks,
    // whose keys stay.
    void startFolding(QList<QString> texts, qsizetype keep);
    void startTransliterating();
    void keysChanged();
    void renumber();
    // The block holding record `index` (of those keyed).
    int blockOf(int index) const;
    // The records with a key: all but while a fold is under way beside.
    int keyed() const { return m_bases.isEmpty() ? 0 : m_bases.last(); }
    int textCount() const;
    void scan(QList<int> &rows) const;
    void scanUnkeyed(QList<int> &rows) const;

    QList<Block> m_blocks;
    QList<int> m_bases;  // where each block starts among the records; one more at the end
    // While a fold is under way beside: the texts it folds, those of the
    // records from `m_foldingFrom` on.
    QList<QString> m_folding;
    int m_foldingFrom = 0;
    quint64 m_generation = 0;  // moves whenever the texts do
    std::shared_ptr<Job> m_job;
    int m_taken = 0;  // results of m_job installed
    mutable int m_lastBlock = 0;
    QList<int> m_all;
    QByteArray m_pattern;  // folded, UTF-8
    quint64 m_patternLetters = 0;
    // The results of recent patterns: typing back over a pattern, or on
    // from one, starts from them instead of from every record.
    QList<Found> m_found;
    QList<int> m_rows;
    // While keys are folded beside: the answer for this pattern so far.
    QByteArray m_partialPattern;
    QList<int> m_partialRows;
};
