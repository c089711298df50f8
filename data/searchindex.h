#pragma once

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// The records of a store that pass its search, found without folding every
// name on every keystroke: each record's display text is folded once
// (foldForSearch) and kept until that record's text changes.
//
// The index does not watch the store. Before a lookup the store hands it
// the current texts (`sync`); records whose text is unchanged keep their
// key, so after an insert, a removal or a move only the records in between
// are folded again. Many changed texts (a list shown for the first time)
// are folded on a worker thread when the store asks early (`prepare`), and
// names in other scripts get their Latin spelling there as well, matched by
// their plain key until it is ready.
class SearchIndex
{
public:
    SearchIndex();
    ~SearchIndex();
    SearchIndex(const SearchIndex &other);
    SearchIndex &operator=(const SearchIndex &other);

    // Folds the pattern the records are matched against.
    void setPattern(const QString &pattern);

    // Brings the keys in line with `count` records whose display texts
    // `textAt` gives, on this thread; waits for a fold `prepare` began.
    // Cheap when nothing changed: one comparison a record.
    void sync(int count, const std::function<QString(int)> &textAt);

    // The same without making the caller wait for many texts: those are
    // folded beside. True when keys arrived since the last call (a search
    // may then show more). `seen` tells whether these texts were taken in;
    // while a fold is under way they are not, and are looked at again on
    // the next call.
    bool prepare(int count, const std::function<QString(int)> &textAt, bool &seen);

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

private:
    struct Keys
    {
        // Each record's fold in UTF-8, then \x01 and a Latin spelling for
        // each it has, then \0: no pattern holds either byte, and a search
        // is one pass over contiguous memory.
        QByteArray joined;
        QList<qsizetype> starts;  // where each record starts; one more at the end
        QList<int> waiting;       // records in another script without their Latin spelling yet
    };
    struct Job;
    struct Found
    {
        QByteArray pattern;
        QList<int> rows;
    };

    static Keys foldSlice(const QList<QString> &texts, int from, int to, const std::atomic<bool> &searching);
    static Keys transliterate(const QList<QString> &texts, const Keys &plain, const std::function<bool()> &cancelled);
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
    Span unchangedEnds(int count, const std::function<QString(int)> &textAt) const;
    void startFolding(QList<QString> texts);
    void startTransliterating();
    void keysChanged();
    std::string_view keyOf(int index) const;
    // The records with a key: all but while a fold is under way beside.
    int keyed() const;
    void scanAll(QList<int> &rows) const;
    void scanUnkeyed(QList<int> &rows) const;

    QList<QString> m_texts;  // the display texts the keys were folded from
    Keys m_keys;
    quint64 m_generation = 0;  // moves whenever m_texts does
    std::shared_ptr<Job> m_job;
    int m_taken = 0;  // results of m_job installed
    QList<int> m_all;
    QByteArray m_pattern;  // folded, UTF-8
    // The results of recent patterns: typing back over a pattern, or on
    // from one, starts from them instead of from every record.
    QList<Found> m_found;
    QList<int> m_rows;
    // While keys are folded beside: the answer for this pattern so far.
    QByteArray m_partialPattern;
    QList<int> m_partialRows;
};
