#include "data/searchindex.h"

#include "data/textmatch.h"

#include <QElapsedTimer>
#include <QPromise>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <string_view>

namespace {

// More changed texts than this are folded beside the window when the store
// asks early; fewer take a few milliseconds here.
constexpr int foldHereAtMost = 20000;
// Keys folded beside are handed over in slices of this many records, so
// that a search meanwhile uses those folded so far.
constexpr int sliceRecords = 32768;
// A search while keys are still being folded beside folds the records
// without a key here, for the pattern alone: at least this many, then as
// many as this time allows; the rest show once their keys arrive.
constexpr int unkeyedAtLeast = 40000;
constexpr qint64 unkeyedBudgetNs = 4000000;
// Latin spellings cost tens of microseconds each: a few are made at once.
constexpr int transliterateHereAtMost = 64;
// Results of recent patterns kept, and the rows they may hold together
// (counted in records, so a million-record store keeps a few).
constexpr int foundKept = 8;
constexpr int foundRowsPerRecord = 3;
// A pattern typed on from one found in more than this share of the records
// is searched for in all of them again.
constexpr int narrowAtMost = 8;

// Texts taken from an unchanged record share their data with the copy kept
// here, so most comparisons end at the pointer.
bool sameText(const QString &a, const QString &b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

void appendUtf8(QByteArray &out, QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            out.append(text.toUtf8());
            return;
        }
    }
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *bytes = out.data() + at;
    for (const QChar c : text)
        *bytes++ = char(c.unicode());
}

// A record's Latin spellings after its key, each behind a \x01.
void appendSpellings(QByteArray &joined, const QString &text, QStringView folded)
{
    for (const QString &spelled : spellingsForSearch(text, folded)) {
        joined.append('\x01');
        appendUtf8(joined, spelled);
    }
}

// One record's key onto the end of `joined`; true when the text is in
// another script and its Latin spellings were left for later.
bool appendKey(QByteArray &joined, const QString &text, QString &scratch, bool spell)
{
    scratch.clear();
    appendFolded(text, scratch);
    appendUtf8(joined, scratch);
    bool later = false;
    if (needsTransliteration(scratch)) {
        if (spell)
            appendSpellings(joined, text, scratch);
        else
            later = true;
    }
    joined.append('\0');
    return later;
}

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

} // namespace

// Work beside the window on a snapshot of the texts. The future is
// cancelled once no index holds it any more.
struct SearchIndex::Job
{
    std::shared_ptr<QFuture<Keys>> future;
    bool folding = false;       // folds the current texts in slices; else spells the current keys
    // Raised while a search on the window's thread runs: the fold gives it
    // the core rather than compete with it on a busy machine.
    std::shared_ptr<std::atomic<bool>> searching = std::make_shared<std::atomic<bool>>(false);
    quint64 generation = 0;     // of the texts the results belong to
};

SearchIndex::SearchIndex() = default;
SearchIndex::~SearchIndex() = default;
SearchIndex::SearchIndex(const SearchIndex &other) = default;
SearchIndex &SearchIndex::operator=(const SearchIndex &other) = default;

SearchIndex::Keys SearchIndex::foldSlice(const QList<QString> &texts, int from, int to,
                                         const std::atomic<bool> &searching)
{
    Keys keys;
    qsizetype length = 0;
    for (int i = from; i < to; ++i)
        length += texts.at(i).size() + 1;
    keys.joined.reserve(length + length / 8);
    keys.starts.reserve(to - from + 1);
    QString scratch;
    for (int i = from; i < to; ++i) {
        while ((i & 0xFF) == 0 && searching.load(std::memory_order_relaxed))
            QThread::usleep(100);
        keys.starts.append(keys.joined.size());
        if (appendKey(keys.joined, texts.at(i), scratch, false))
            keys.waiting.append(i);
    }
    keys.starts.append(keys.joined.size());
    return keys;
}

SearchIndex::Keys SearchIndex::transliterate(const QList<QString> &texts, const Keys &plain,
                                             const std::function<bool()> &cancelled)
{
    Keys keys;
    keys.joined.reserve(plain.joined.size() + plain.joined.size() / 4);
    keys.starts.reserve(plain.starts.size());
    qsizetype copied = 0;  // of plain.joined
    for (const int i : plain.waiting) {
        if (cancelled())
            return Keys();
        // Records before this one keep their keys; their starts move.
        const qsizetype shift = keys.joined.size() - copied;
        for (qsizetype r = keys.starts.size(); r <= i; ++r)
            keys.starts.append(plain.starts.at(r) + shift);
        const qsizetype end = plain.starts.at(i + 1) - 1;  // before the \0
        keys.joined.append(plain.joined.constData() + copied, end - copied);
        const qsizetype plainStart = plain.starts.at(i);
        appendSpellings(keys.joined, texts.at(i),
                        QString::fromUtf8(plain.joined.constData() + plainStart, end - plainStart));
        copied = end;
    }
    const qsizetype shift = keys.joined.size() - copied;
    for (qsizetype r = keys.starts.size(); r < plain.starts.size(); ++r)
        keys.starts.append(plain.starts.at(r) + shift);
    keys.joined.append(plain.joined.constData() + copied, plain.joined.size() - copied);
    keys.joined.squeeze();
    return keys;
}

void SearchIndex::setPattern(const QString &pattern)
{
    m_pattern = foldForSearch(pattern).toUtf8();
}

void SearchIndex::keysChanged()
{
    m_found.clear();
    m_rows.clear();
    m_partialPattern.clear();
    m_partialRows.clear();
}

int SearchIndex::keyed() const
{
    return int(qMax<qsizetype>(m_keys.starts.size() - 1, 0));
}

bool SearchIndex::poll()
{
    if (!m_job)
        return false;
    bool arrived = false;
    QFuture<Keys> &future = *m_job->future;
    const bool finished = future.isFinished();
    const int ready = future.resultCount();
    if (m_job->folding) {
        // Slices of the texts installed when the fold began.
        for (; m_taken < ready && m_job->generation == m_generation; ++m_taken) {
            const Keys slice = future.resultAt(m_taken);
            const qsizetype shift = m_keys.joined.size();
            m_keys.joined.append(slice.joined);
            for (qsizetype r = 1; r < slice.starts.size(); ++r)
                m_keys.starts.append(slice.starts.at(r) + shift);
            m_keys.waiting.append(slice.waiting);
            arrived = true;
        }
        if (finished) {
            m_keys.joined.squeeze();
            m_keys.starts.squeeze();
        }
    } else if (finished && ready > 0 && m_job->generation == m_generation) {
        // Spellings of texts that changed meanwhile are dropped and made again.
        m_keys = future.resultAt(ready - 1);
        arrived = true;
    }
    if (arrived)
        keysChanged();
    if (finished)
        m_job.reset();
    if (!m_job && !m_keys.waiting.isEmpty())
        startTransliterating();
    return arrived;
}

void SearchIndex::settle()
{
    // A change of the texts needs every key: the rest of a fold begun
    // beside is waited for (under a second for a million names).
    if (m_job && m_job->folding)
        m_job->future->waitForFinished();
    poll();
}

void SearchIndex::startFolding(QList<QString> texts)
{
    // The texts are taken in now; their keys follow a slice at a time.
    m_texts = texts;
    m_keys = Keys();
    m_keys.starts.reserve(texts.size() + 1);
    m_keys.starts.append(0);
    m_generation += 1;
    keysChanged();
    auto job = std::make_shared<Job>();
    job->folding = true;
    job->generation = m_generation;
    QFuture<Keys> future = QtConcurrent::run([texts, searching = job->searching](QPromise<Keys> &promise) {
        for (int from = 0; from < int(texts.size()) && !promise.isCanceled(); from += sliceRecords)
            promise.addResult(foldSlice(texts, from, qMin(from + sliceRecords, int(texts.size())), *searching));
    });
    job->future = std::shared_ptr<QFuture<Keys>>(new QFuture<Keys>(future), [](QFuture<Keys> *f) {
        f->cancel();
        delete f;
    });
    m_job = job;
    m_taken = 0;
}

void SearchIndex::startTransliterating()
{
    auto job = std::make_shared<Job>();
    job->generation = m_generation;
    const Keys plain = m_keys;
    const QList<QString> texts = m_texts;
    QFuture<Keys> future = QtConcurrent::run([texts, plain](QPromise<Keys> &promise) {
        const auto cancelled = [&promise]() { return promise.isCanceled(); };
        Keys spelled = transliterate(texts, plain, cancelled);
        if (!cancelled())
            promise.addResult(spelled);
    });
    job->future = std::shared_ptr<QFuture<Keys>>(new QFuture<Keys>(future), [](QFuture<Keys> *f) {
        f->cancel();
        delete f;
    });
    m_job = job;
    m_taken = 0;
}

SearchIndex::Span SearchIndex::unchangedEnds(int count, const std::function<QString(int)> &textAt) const
{
    Span span;
    const int old = int(m_texts.size());
    const int shorter = qMin(count, old);
    while (span.front < shorter && sameText(textAt(span.front), m_texts.at(span.front)))
        ++span.front;
    span.same = span.front == count && span.front == old;
    if (span.same)
        return span;
    while (span.back < shorter - span.front
           && sameText(textAt(count - 1 - span.back), m_texts.at(old - 1 - span.back)))
        ++span.back;
    return span;
}

void SearchIndex::sync(int count, const std::function<QString(int)> &textAt)
{
    settle();
    const Span span = unchangedEnds(count, textAt);
    if (span.same)
        return;
    const int old = int(m_texts.size());
    const int front = span.front;
    const int back = span.back;

    // Only the changed middle is folded again; the keys around it are copied.
    const int changed = count - front - back;
    const int removed = old - front - back;
    QList<QString> texts;
    texts.reserve(count);
    texts.append(m_texts.mid(0, front));
    for (int i = front; i < front + changed; ++i)
        texts.append(textAt(i));
    texts.append(m_texts.mid(old - back));

    Keys keys;
    const qsizetype headEnd = m_keys.starts.isEmpty() ? 0 : m_keys.starts.at(front);
    const qsizetype tailStart = m_keys.starts.isEmpty() ? 0 : m_keys.starts.at(old - back);
    keys.joined.reserve(m_keys.joined.size() + changed * 16);
    keys.joined.append(m_keys.joined.constData(), headEnd);
    keys.starts = m_keys.starts.mid(0, front);
    keys.starts.reserve(count + 1);
    for (const int w : std::as_const(m_keys.waiting)) {
        if (w < front)
            keys.waiting.append(w);
    }
    QString scratch;
    const bool spell = changed <= transliterateHereAtMost;
    for (int i = front; i < front + changed; ++i) {
        keys.starts.append(keys.joined.size());
        if (appendKey(keys.joined, texts.at(i), scratch, spell))
            keys.waiting.append(i);
    }
    const qsizetype shift = keys.joined.size() - tailStart;
    keys.joined.append(m_keys.joined.constData() + tailStart, m_keys.joined.size() - tailStart);
    for (int r = old - back; r <= old && r < m_keys.starts.size(); ++r)
        keys.starts.append(m_keys.starts.at(r) + shift);
    if (keys.starts.size() < count + 1)
        keys.starts.append(keys.joined.size());
    for (const int w : std::as_const(m_keys.waiting)) {
        if (w >= old - back)
            keys.waiting.append(w - removed + changed);
    }

    m_texts = std::move(texts);
    m_keys = std::move(keys);
    m_generation += 1;
    keysChanged();
    // A spelling under way belonged to the texts before.
    if (m_job && !m_job->folding)
        m_job.reset();
    if (!m_job && !m_keys.waiting.isEmpty())
        startTransliterating();
}

bool SearchIndex::prepare(int count, const std::function<QString(int)> &textAt, bool &seen)
{
    bool arrived = poll();
    seen = !(m_job && m_job->folding);
    if (!seen)
        return arrived;
    const Span span = unchangedEnds(count, textAt);
    if (span.same)
        return arrived;
    // The first fold of the process also builds the fold table: beside.
    if (count - span.front - span.back <= foldHereAtMost && foldingReady()) {
        sync(count, textAt);
        return true;
    }
    QList<QString> texts;
    texts.reserve(count);
    for (int i = 0; i < count; ++i)
        texts.append(textAt(i));
    startFolding(std::move(texts));
    return arrived;
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

std::string_view SearchIndex::keyOf(int index) const
{
    const qsizetype start = m_keys.starts.at(index);
    return view(m_keys.joined).substr(size_t(start), size_t(m_keys.starts.at(index + 1) - 1 - start));
}

void SearchIndex::scanAll(QList<int> &rows) const
{
    const std::string_view joined = view(m_keys.joined);
    const std::string_view pattern = view(m_pattern);
    const qsizetype *starts = m_keys.starts.constData();
    const int last = int(m_keys.starts.size()) - 1;
    int key = 0;
    size_t from = 0;
    while ((from = joined.find(pattern, from)) != std::string_view::npos) {
        // The key holding the match: mostly one of the next few, when a
        // pattern is common, so they are stepped over before a binary search.
        const qsizetype at = qsizetype(from);
        int step = 0;
        while (starts[key + 1] <= at && ++step < 8)
            ++key;
        if (starts[key + 1] <= at)
            key = int(std::upper_bound(starts + key, starts + last, at) - starts) - 1;
        rows.append(key);
        // The search goes on after it.
        from = size_t(starts[key + 1]);
    }
}

void SearchIndex::scanUnkeyed(QList<int> &rows) const
{
    // The first fold of the process builds the fold table beside: looking
    // a letter up here would wait for it.
    if (!foldingReady())
        return;
    const QString pattern = QString::fromUtf8(m_pattern);
    const int from = keyed();
    const int count = int(m_texts.size());
    QElapsedTimer timer;
    timer.start();
    QString scratch;
    for (int i = from; i < count; ++i) {
        if (i - from >= unkeyedAtLeast && (i & 0xFF) == 0 && timer.nsecsElapsed() > unkeyedBudgetNs)
            return;
        scratch.clear();
        appendFolded(m_texts.at(i), scratch);
        if (scratch.contains(pattern))
            rows.append(i);
    }
}

const QList<int> &SearchIndex::matching()
{
    poll();
    const int count = int(m_texts.size());
    // A pattern of marks or spaces alone folds to nothing, found in every key.
    if (m_pattern.isEmpty()) {
        m_rows = allRows(count);
        return m_rows;
    }
    if (keyed() < count) {
        // A keystroke does not wait for the fold under way beside: it
        // shows what it finds by now, and more as keys arrive. Asked
        // again before they do, it answers the same, so that a row
        // counted in one answer is the same record in the next.
        if (m_partialPattern != m_pattern) {
            const std::shared_ptr<std::atomic<bool>> searching =
                m_job ? m_job->searching : std::make_shared<std::atomic<bool>>(false);
            searching->store(true);
            m_partialRows.clear();
            scanAll(m_partialRows);
            scanUnkeyed(m_partialRows);
            m_partialPattern = m_pattern;
            searching->store(false);
        }
        return m_partialRows;
    }
    const Found *base = nullptr;
    for (const Found &found : std::as_const(m_found)) {
        if (found.pattern == m_pattern) {
            m_rows = found.rows;
            return m_rows;
        }
        // Every key that holds the longer pattern holds the shorter one;
        // looking into each of many keys costs more than one pass over all.
        if (m_pattern.contains(found.pattern) && found.rows.size() < count / narrowAtMost
            && (!base || found.rows.size() < base->rows.size()))
            base = &found;
    }
    QList<int> rows;
    if (base) {
        const std::string_view pattern = view(m_pattern);
        rows.reserve(base->rows.size());
        for (const int row : base->rows) {
            if (keyOf(row).find(pattern) != std::string_view::npos)
                rows.append(row);
        }
    } else {
        scanAll(rows);
    }
    m_found.prepend({m_pattern, rows});
    qsizetype held = 0;
    for (int i = 0; i < int(m_found.size()); ++i) {
        held += m_found.at(i).rows.size();
        if (i >= foundKept || (i > 0 && held > qsizetype(count) * foundRowsPerRecord)) {
            m_found.resize(i);
            break;
        }
    }
    m_rows = rows;
    return m_rows;
}

bool SearchIndex::matches(int index, const QString &text) const
{
    if (m_pattern.isEmpty())
        return true;
    const QString pattern = QString::fromUtf8(m_pattern);
    if (index >= 0 && index < int(m_texts.size()) && sameText(text, m_texts.at(index))) {
        if (index < keyed())
            return keyOf(index).find(view(m_pattern)) != std::string_view::npos;
        // Its key is still being folded beside: matched as a search
        // matches it meanwhile, by its plain fold.
        return foldForSearch(text).contains(pattern);
    }
    return containsIgnoringAccents(text, pattern);
}

bool SearchIndex::transliterating() const
{
    return m_job || !m_keys.waiting.isEmpty();
}

qsizetype SearchIndex::heldBytes() const
{
    // The texts share their characters with the records.
    return m_keys.joined.capacity() + m_keys.starts.capacity() * qsizetype(sizeof(qsizetype))
        + m_keys.waiting.capacity() * qsizetype(sizeof(int)) + m_texts.capacity() * qsizetype(sizeof(QString));
}
