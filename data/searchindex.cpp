#include "data/searchindex.h"

#include "data/textmatch.h"

#include <algorithm>

namespace {

// Texts taken from an unchanged record share their data with the copy kept
// here, so most comparisons end at the pointer.
bool sameText(const QString &a, const QString &b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

} // namespace

void SearchIndex::setPattern(const QString &pattern)
{
    m_pattern = foldForSearch(pattern);
}

void SearchIndex::sync(int count, const std::function<QString(int)> &textAt)
{
    const int old = int(m_texts.size());
    const int shorter = qMin(count, old);
    int front = 0;
    while (front < shorter && sameText(textAt(front), m_texts.at(front)))
        ++front;
    if (front == count && front == old)
        return;
    int back = 0;
    while (back < shorter - front && sameText(textAt(count - 1 - back), m_texts.at(old - 1 - back)))
        ++back;

    // Only the changed middle is folded again.
    const int changed = count - front - back;
    m_texts.remove(front, old - back - front);
    m_keys.remove(front, old - back - front);
    m_texts.insert(front, changed, QString());
    m_keys.insert(front, changed, QString());
    for (int i = front; i < front + changed; ++i) {
        m_texts[i] = textAt(i);
        m_keys[i] = foldForSearch(m_texts.at(i));
    }
    m_rowsValid = false;
    m_joinedValid = false;
}

const QList<int> &SearchIndex::allRows(int count)
{
    if (m_all.size() != count) {
        m_all.resize(count);
        for (int i = 0; i < count; ++i)
            m_all[i] = i;
    }
    return m_all;
}

void SearchIndex::scanAll()
{
    m_rows.clear();
    // A pattern of marks alone folds to nothing, and nothing is in every key.
    if (m_pattern.isEmpty()) {
        m_rows = allRows(int(m_keys.size()));
        return;
    }
    if (m_pattern.contains(QChar::Null)) {
        for (int i = 0; i < int(m_keys.size()); ++i) {
            if (m_keys.at(i).contains(m_pattern))
                m_rows.append(i);
        }
        return;
    }
    if (!m_joinedValid) {
        qsizetype length = 0;
        for (const QString &key : std::as_const(m_keys))
            length += key.size() + 1;
        m_joined.clear();
        m_joined.reserve(length);
        m_starts.resize(m_keys.size() + 1);
        for (int i = 0; i < int(m_keys.size()); ++i) {
            m_starts[i] = m_joined.size();
            m_joined.append(m_keys.at(i));
            m_joined.append(QChar::Null);
        }
        m_starts[m_keys.size()] = m_joined.size();
        m_joinedValid = true;
    }
    const QStringView joined(m_joined);
    int key = 0;
    qsizetype from = 0;
    while ((from = joined.indexOf(m_pattern, from)) >= 0) {
        // The key holding the match; the search goes on after it.
        key = int(std::upper_bound(m_starts.cbegin() + key, m_starts.cend(), from) - m_starts.cbegin()) - 1;
        m_rows.append(key);
        from = m_starts.at(key + 1);
    }
}

const QList<int> &SearchIndex::matching()
{
    if (m_rowsValid && m_pattern == m_rowsPattern)
        return m_rows;

    if (m_rowsValid && !m_rowsPattern.isEmpty() && m_pattern.contains(m_rowsPattern)) {
        // Every key that holds the longer pattern holds the shorter one.
        QList<int> narrowed;
        narrowed.reserve(m_rows.size());
        for (const int row : std::as_const(m_rows)) {
            if (m_keys.at(row).contains(m_pattern))
                narrowed.append(row);
        }
        m_rows.swap(narrowed);
    } else {
        scanAll();
    }
    m_rowsPattern = m_pattern;
    m_rowsValid = true;
    return m_rows;
}

bool SearchIndex::matches(int index, const QString &text) const
{
    if (index >= 0 && index < int(m_texts.size()) && sameText(text, m_texts.at(index)))
        return m_keys.at(index).contains(m_pattern);
    return foldForSearch(text).contains(m_pattern);
}
