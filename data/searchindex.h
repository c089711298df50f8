#pragma once

#include <QList>
#include <QString>

#include <functional>

// The records of a store that pass its search, found without decomposing
// every name on every keystroke: each record's display text is folded once
// and kept until that record's text changes.
//
// The index does not watch the store. Before a lookup the store hands it
// the current texts (`sync`); records whose text is unchanged keep their
// folded key, so after an insert, a removal or a move only the records in
// between are folded again.
class SearchIndex
{
public:
    // Folds the pattern the records are matched against.
    void setPattern(const QString &pattern);

    // Brings the keys in line with `count` records whose display texts
    // `textAt` gives. Cheap when nothing changed: one comparison a record.
    void sync(int count, const std::function<QString(int)> &textAt);

    // After a sync: the indexes, ascending, of the records whose text
    // contains the pattern. A pattern that extends the previous one only
    // narrows the previous result.
    const QList<int> &matching();

    // 0, 1, ... count - 1, kept between calls.
    const QList<int> &allRows(int count);

    // Whether record `index`, whose display text is `text`, contains the
    // pattern; uses the kept key while the text is the one it was folded
    // from, so this needs no sync.
    bool matches(int index, const QString &text) const;

private:
    void scanAll();

    QList<QString> m_texts;  // the display texts the keys were folded from
    QList<QString> m_keys;
    // All keys in one text, each closed by a separator no pattern holds, so
    // that a search is one pass over contiguous memory.
    QString m_joined;
    QList<qsizetype> m_starts;  // where each key starts in m_joined
    bool m_joinedValid = false;
    QList<int> m_all;
    QString m_pattern;       // folded
    QString m_rowsPattern;   // the pattern m_rows was found for
    QList<int> m_rows;
    bool m_rowsValid = false;
};
