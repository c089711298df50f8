#include "data/searchindex.h"

#include "data/textmatch.h"

#include <QElapsedTimer>
#include <QPromise>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

namespace {

// More changed texts than this are folded beside the window when the store
// asks early; fewer take a few milliseconds here.
constexpr int foldHereAtMost = 20000;
// Keys folded beside are handed over in slices of this many records, so
// that a search meanwhile uses those folded so far.
constexpr int sliceRecords = 32768;
// Records a block holds: an edit folds or copies one block again, so a
// block is small; a search visits each, so there are not too many.
constexpr int blockRecords = 4096;
constexpr int blockRecordsAtLeast = 1024;
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

// The bit of a byte in the set of bytes a key holds. Letters and digits
// have a bit each, so a pattern of one of them needs no look at the key;
// every other byte shares its bit with a few others.
quint64 letterBit(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return quint64(1) << (c - 'a');
    if (c >= '0' && c <= '9')
        return quint64(1) << (26 + c - '0');
    if (c < 0x80)
        return quint64(1) << (36 + c % 8);
    return quint64(1) << (44 + c % 20);
}

quint64 lettersOf(std::string_view bytes)
{
    quint64 letters = 0;
    for (const char c : bytes)
        letters |= letterBit(static_cast<unsigned char>(c));
    return letters;
}

// Whether a pattern's set of bytes alone answers for it: one letter or digit.
bool lettersSuffice(const QByteArray &pattern)
{
    return pattern.size() == 1 && ((pattern.at(0) >= 'a' && pattern.at(0) <= 'z') || (pattern.at(0) >= '0' && pattern.at(0) <= '9'));
}

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

quint64 nextBlockId()
{
    static std::atomic<quint64> last {0};
    return ++last;
}

using Block = SearchIndex::Block;

// Makes blocks record by record, folding texts or copying kept keys.
class BlockMaker
{
public:
    explicit BlockMaker(qsizetype expected = 0) : m_expected(expected) {}

    // Folds `text`; in another script its Latin spellings are made now
    // when `spell`, else it waits for them.
    void fold(const QString &text, bool spell)
    {
        begin(text);
        m_scratch.clear();
        appendFolded(text, m_scratch);
        appendUtf8(m_block.joined, m_scratch);
        if (needsTransliteration(m_scratch)) {
            if (spell)
                appendSpellings(m_block.joined, text, m_scratch);
            else
                m_block.waiting.append(m_block.size() - 1);
        }
        end();
    }

    // Record `i` of `from` as it is, or with its spellings made now.
    void copy(const Block &from, int i, bool spell = false)
    {
        begin(from.texts.at(i));
        const bool waiting = std::binary_search(from.waiting.cbegin(), from.waiting.cend(), i);
        const std::string_view key = from.keyOf(i);
        m_block.joined.append(key.data(), qsizetype(key.size()));
        if (waiting && spell) {
            appendSpellings(m_block.joined, from.texts.at(i), QString::fromUtf8(key.data(), qsizetype(key.size())));
            end();
            return;
        }
        if (waiting)
            m_block.waiting.append(m_block.size() - 1);
        m_block.joined.append('\0');
        m_block.letters.append(from.letters.at(i));
    }

    int size() const { return m_block.size(); }

    Block take()
    {
        m_block.starts.append(quint32(m_block.joined.size()));
        m_block.joined.squeeze();
        m_block.id = nextBlockId();
        return std::exchange(m_block, Block());
    }

private:
    void begin(const QString &text)
    {
        if (m_block.texts.isEmpty() && m_expected > 0) {
            m_block.texts.reserve(m_expected);
            m_block.starts.reserve(m_expected + 1);
            m_block.letters.reserve(m_expected);
            m_block.joined.reserve(m_expected * 16);
        }
        m_block.starts.append(quint32(m_block.joined.size()));
        m_block.texts.append(text);
    }
    // The key begun last is whole.
    void end()
    {
        const qsizetype start = m_block.starts.last();
        m_block.letters.append(lettersOf(std::string_view(m_block.joined.constData() + start,
                                                          size_t(m_block.joined.size() - start))));
        m_block.joined.append('\0');
    }

    qsizetype m_expected;
    Block m_block;
    QString m_scratch;
};

// How many blocks `records` make, and how many records the `k`-th of them
// takes, so that they come out nearly even.
int blocksFor(qsizetype records)
{
    return int(qMax<qsizetype>(1, (records + blockRecords - 1) / blockRecords));
}
int blockShare(qsizetype records, int blocks, int k)
{
    return int(records / blocks + (k < records % blocks ? 1 : 0));
}

} // namespace

// What work beside the window hands over: blocks to append (a fold), or
// blocks that replace those with the ids in `replaces` (spellings).
struct SearchIndexBatch
{
    QList<Block> blocks;
    QList<quint64> replaces;
};

// Work beside the window on a snapshot of the texts or keys. The future is
// cancelled once no index holds it any more.
struct SearchIndex::Job
{
    std::shared_ptr<QFuture<SearchIndexBatch>> future;
    bool folding = false;  // folds the current texts in slices; else spells kept keys
    // Raised while a search on the window's thread runs: the fold gives it
    // the core rather than compete with it on a busy machine.
    std::shared_ptr<std::atomic<bool>> searching = std::make_shared<std::atomic<bool>>(false);
    quint64 generation = 0;  // of the texts a fold's results belong to
};

SearchIndex::SearchIndex() = default;
SearchIndex::~SearchIndex() = default;
SearchIndex::SearchIndex(const SearchIndex &other) = default;
SearchIndex &SearchIndex::operator=(const SearchIndex &other) = default;
SearchIndex::SearchIndex(SearchIndex &&other) noexcept = default;
SearchIndex &SearchIndex::operator=(SearchIndex &&other) noexcept = default;

void SearchIndex::setPattern(const QString &pattern)
{
    m_pattern = foldForSearch(pattern).toUtf8();
    m_patternLetters = lettersOf(view(m_pattern));
}

void SearchIndex::keysChanged()
{
    m_found.clear();
    m_rows.clear();
    m_partialPattern.clear();
    m_partialRows.clear();
}

void SearchIndex::renumber()
{
    m_bases.resize(m_blocks.size() + 1);
    int base = 0;
    for (qsizetype b = 0; b < m_blocks.size(); ++b) {
        m_bases[b] = base;
        base += m_blocks.at(b).size();
    }
    m_bases[m_blocks.size()] = base;
    m_lastBlock = 0;
}

int SearchIndex::blockOf(int index) const
{
    const int last = int(m_blocks.size()) - 1;
    int b = qBound(0, m_lastBlock, last);
    if (m_bases.at(b) <= index && index < m_bases.at(b + 1))
        return b;
    // Walks go forward: the next block is the likely one.
    if (b < last && m_bases.at(b + 1) <= index && index < m_bases.at(b + 2))
        return m_lastBlock = b + 1;
    b = int(std::upper_bound(m_bases.cbegin(), m_bases.cbegin() + last + 1, index) - m_bases.cbegin()) - 1;
    return m_lastBlock = qBound(0, b, last);
}

int SearchIndex::textCount() const
{
    return m_folding.isEmpty() ? keyed() : m_foldingFrom + int(m_folding.size());
}

bool SearchIndex::poll()
{
    if (!m_job)
        return false;
    bool arrived = false;
    QFuture<SearchIndexBatch> &future = *m_job->future;
    const bool finished = future.isFinished();
    const int ready = future.resultCount();
    if (m_job->folding) {
        // Slices of the texts taken in when the fold began.
        for (; m_taken < ready && m_job->generation == m_generation; ++m_taken) {
            m_blocks.append(future.resultAt(m_taken).blocks);
            arrived = true;
        }
        if (arrived)
            renumber();
        if (finished && m_job->generation == m_generation)
            m_folding.clear();
    } else if (finished && ready > 0) {
        // Blocks that changed meanwhile keep their own keys; their records
        // are spelled by the next round.
        const SearchIndexBatch batch = future.resultAt(ready - 1);
        for (qsizetype k = 0; k < batch.blocks.size(); ++k) {
            for (Block &block : m_blocks) {
                if (block.id == batch.replaces.at(k)) {
                    block = batch.blocks.at(k);
                    arrived = true;
                    break;
                }
            }
        }
    }
    if (arrived)
        keysChanged();
    if (finished)
        m_job.reset();
    if (!m_job)
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

void SearchIndex::startFolding(QList<QString> texts, qsizetype keep)
{
    // The texts are taken in now; their keys follow a slice at a time.
    m_blocks.resize(qMin(keep, m_blocks.size()));
    renumber();
    m_foldingFrom = keyed();
    m_folding = texts;
    m_generation += 1;
    keysChanged();
    auto job = std::make_shared<Job>();
    job->folding = true;
    job->generation = m_generation;
    QFuture<SearchIndexBatch> future =
        QtConcurrent::run([texts, searching = job->searching](QPromise<SearchIndexBatch> &promise) {
            const int count = int(texts.size());
            for (int from = 0; from < count && !promise.isCanceled(); from += sliceRecords) {
                const int to = qMin(from + sliceRecords, count);
                SearchIndexBatch slice;
                const int blocks = blocksFor(to - from);
                int i = from;
                for (int k = 0; k < blocks; ++k) {
                    const int share = blockShare(to - from, blocks, k);
                    BlockMaker maker(share);
                    for (const int end = i + share; i < end; ++i) {
                        while ((i & 0xFF) == 0 && searching->load(std::memory_order_relaxed))
                            QThread::usleep(100);
                        maker.fold(texts.at(i), false);
                    }
                    slice.blocks.append(maker.take());
                }
                promise.addResult(slice);
            }
        });
    job->future = std::shared_ptr<QFuture<SearchIndexBatch>>(new QFuture<SearchIndexBatch>(future),
                                                             [](QFuture<SearchIndexBatch> *f) {
                                                                 f->cancel();
                                                                 delete f;
                                                             });
    m_job = job;
    m_taken = 0;
}

void SearchIndex::startTransliterating()
{
    QList<Block> waiting;
    for (const Block &block : std::as_const(m_blocks)) {
        if (!block.waiting.isEmpty())
            waiting.append(block);
    }
    if (waiting.isEmpty())
        return;
    auto job = std::make_shared<Job>();
    job->generation = m_generation;
    QFuture<SearchIndexBatch> future = QtConcurrent::run([waiting](QPromise<SearchIndexBatch> &promise) {
        SearchIndexBatch batch;
        for (const Block &block : waiting) {
            BlockMaker maker(block.size());
            for (int i = 0; i < block.size(); ++i) {
                if (promise.isCanceled())
                    return;
                maker.copy(block, i, true);
            }
            batch.blocks.append(maker.take());
            batch.replaces.append(block.id);
        }
        promise.addResult(batch);
    });
    job->future = std::shared_ptr<QFuture<SearchIndexBatch>>(new QFuture<SearchIndexBatch>(future),
                                                             [](QFuture<SearchIndexBatch> *f) {
                                                                 f->cancel();
                                                                 delete f;
                                                             });
    m_job = job;
    m_taken = 0;
}

SearchIndex::Span SearchIndex::unchangedEnds(int count, const std::function<const QString &(int)> &textAt) const
{
    Span span;
    const int old = keyed();
    const int shorter = qMin(count, old);
    for (qsizetype b = 0; b < m_blocks.size() && span.front < shorter; ++b) {
        const QList<QString> &texts = m_blocks.at(b).texts;
        qsizetype i = 0;
        while (i < texts.size() && span.front < shorter && sameText(textAt(span.front), texts.at(i))) {
            ++i;
            ++span.front;
        }
        if (i < texts.size())
            break;
    }
    span.same = span.front == count && span.front == old;
    if (span.same)
        return span;
    for (qsizetype b = m_blocks.size() - 1; b >= 0 && span.back < shorter - span.front; --b) {
        const QList<QString> &texts = m_blocks.at(b).texts;
        qsizetype i = texts.size() - 1;
        while (i >= 0 && span.back < shorter - span.front && sameText(textAt(count - 1 - span.back), texts.at(i))) {
            --i;
            ++span.back;
        }
        if (i >= 0)
            break;
    }
    return span;
}

void SearchIndex::sync(int count, const std::function<const QString &(int)> &textAt)
{
    settle();
    const Span span = unchangedEnds(count, textAt);
    if (span.same)
        return;
    const int old = keyed();
    const int front = span.front;
    const int oldEnd = old - span.back;   // the changed records before, [front, oldEnd)
    const int newEnd = count - span.back; // and now, [front, newEnd)

    // The blocks holding the changed records are made again, with the
    // unchanged records they also hold; a block left small takes in its
    // neighbour.
    int firstBlock = 0;
    int lastBlock = -1;
    if (!m_blocks.isEmpty()) {
        firstBlock = front < old ? blockOf(front) : int(m_blocks.size()) - 1;
        lastBlock = oldEnd > front ? blockOf(oldEnd - 1) : firstBlock;
        const auto records = [&]() {
            return qsizetype(m_bases.at(lastBlock + 1) - m_bases.at(firstBlock)) - (oldEnd - front) + (newEnd - front);
        };
        if (records() < blockRecordsAtLeast && lastBlock + 1 < m_blocks.size())
            ++lastBlock;
        if (records() < blockRecordsAtLeast && firstBlock > 0)
            --firstBlock;
    }
    const int regionStart = lastBlock < firstBlock ? 0 : m_bases.at(firstBlock);
    const int regionOldEnd = lastBlock < firstBlock ? 0 : m_bases.at(lastBlock + 1);
    const qsizetype records = qsizetype(regionOldEnd - regionStart) - (oldEnd - front) + (newEnd - front);

    // The records of the region in order: kept ones copied, changed ones folded.
    const bool spell = newEnd - front <= transliterateHereAtMost;
    QList<Block> made;
    const int blocks = blocksFor(records);
    int k = 0;
    BlockMaker maker(blockShare(records, blocks, 0));
    const auto put = [&](auto add) {
        add(maker);
        if (maker.size() == blockShare(records, blocks, k)) {
            made.append(maker.take());
            ++k;
            if (k < blocks)
                maker = BlockMaker(blockShare(records, blocks, k));
        }
    };
    const auto copyOld = [&](int from, int to) {
        for (int b = from < to ? blockOf(from) : 0; from < to; ++b) {
            const Block &block = m_blocks.at(b);
            const int end = qMin(to, m_bases.at(b + 1));
            for (; from < end; ++from)
                put([&](BlockMaker &m) { m.copy(block, from - m_bases.at(b)); });
        }
    };
    copyOld(regionStart, front);
    for (int i = front; i < newEnd; ++i) {
        const QString text = textAt(i);
        put([&](BlockMaker &m) { m.fold(text, spell); });
    }
    copyOld(oldEnd, regionOldEnd);

    QList<Block> blocksNow = m_blocks.mid(0, firstBlock);
    blocksNow.reserve(m_blocks.size() - (lastBlock - firstBlock + 1) + made.size());
    blocksNow.append(made);
    if (lastBlock + 1 < m_blocks.size())
        blocksNow.append(m_blocks.mid(lastBlock + 1));
    m_blocks = std::move(blocksNow);
    renumber();
    m_generation += 1;
    keysChanged();
    if (!m_job)
        startTransliterating();
}

bool SearchIndex::prepare(int count, const std::function<const QString &(int)> &textAt, bool &seen)
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
    // The keys of the records before the first change stay, block by whole
    // block: a pool a large import added to folds only what it added, and
    // the texts taken here are only those.
    qsizetype keep = 0;
    while (keep < m_blocks.size() && m_bases.at(keep + 1) <= span.front)
        ++keep;
    const int from = keep == 0 ? 0 : m_bases.at(keep);
    QList<QString> texts;
    texts.reserve(count - from);
    for (int i = from; i < count; ++i)
        texts.append(textAt(i));
    startFolding(std::move(texts), keep);
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

void SearchIndex::scan(QList<int> &rows) const
{
    const std::string_view pattern = view(m_pattern);
    const quint64 wanted = m_patternLetters;
    const bool sure = lettersSuffice(m_pattern);
    for (qsizetype b = 0; b < m_blocks.size(); ++b) {
        const Block &block = m_blocks.at(b);
        const int base = m_bases.at(b);
        const quint64 *letters = block.letters.constData();
        const quint32 *starts = block.starts.constData();
        const char *joined = block.joined.constData();
        const int size = block.size();
        for (int i = 0; i < size; ++i) {
            if ((letters[i] & wanted) != wanted)
                continue;
            if (sure || std::string_view(joined + starts[i], starts[i + 1] - 1 - starts[i]).find(pattern) != std::string_view::npos)
                rows.append(base + i);
        }
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
    const int count = textCount();
    QElapsedTimer timer;
    timer.start();
    QString scratch;
    for (int i = from; i < count; ++i) {
        if (i - from >= unkeyedAtLeast && (i & 0xFF) == 0 && timer.nsecsElapsed() > unkeyedBudgetNs)
            return;
        scratch.clear();
        appendFolded(m_folding.at(i - m_foldingFrom), scratch);
        if (scratch.contains(pattern))
            rows.append(i);
    }
}

const QList<int> &SearchIndex::matching()
{
    poll();
    const int count = textCount();
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
            scan(m_partialRows);
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
            const int b = blockOf(row);
            const Block &block = m_blocks.at(b);
            const int i = row - m_bases.at(b);
            if ((block.letters.at(i) & m_patternLetters) == m_patternLetters
                && block.keyOf(i).find(pattern) != std::string_view::npos)
                rows.append(row);
        }
    } else {
        scan(rows);
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
    if (index >= 0 && index < keyed()) {
        const int b = blockOf(index);
        const Block &block = m_blocks.at(b);
        const int i = index - m_bases.at(b);
        if (sameText(text, block.texts.at(i)))
            return (block.letters.at(i) & m_patternLetters) == m_patternLetters
                && block.keyOf(i).find(view(m_pattern)) != std::string_view::npos;
    }
    const QString pattern = QString::fromUtf8(m_pattern);
    // Its key is still being folded beside: matched as a search matches
    // it meanwhile, by its plain fold.
    if (index >= keyed() && index < textCount() && sameText(text, m_folding.at(index - m_foldingFrom)))
        return foldForSearch(text).contains(pattern);
    return containsIgnoringAccents(text, pattern);
}

bool SearchIndex::transliterating() const
{
    return m_job || std::any_of(m_blocks.cbegin(), m_blocks.cend(), [](const Block &block) {
               return !block.waiting.isEmpty();
           });
}

qsizetype SearchIndex::heldBytes() const
{
    // The texts share their characters with the records.
    qsizetype bytes = m_folding.capacity() * qsizetype(sizeof(QString)) + m_blocks.capacity() * qsizetype(sizeof(Block));
    for (const Block &block : m_blocks)
        bytes += block.joined.capacity() + block.starts.capacity() * qsizetype(sizeof(quint32))
            + block.letters.capacity() * qsizetype(sizeof(quint64)) + block.waiting.capacity() * qsizetype(sizeof(int))
            + block.texts.capacity() * qsizetype(sizeof(QString));
    return bytes;
}
