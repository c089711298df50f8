#include "maintenance/csvimport.h"

#include "data/textforms.h"
#include "data/untoldnotice.h"

#include "data/presets.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

const char *const Import::presetHeader =
    "name,version,variable,worktime,notes,created,modified,formachine,author,obtained";

namespace {

constexpr int presetFields = 10;
constexpr int frequencyFields = 2;
constexpr int notesField = 4;  // of a preset table
const QString frequencyFirstName = QStringLiteral("Actinomyces israelii ");

// Spreadsheet programs write either UTF-8 or the Windows code page of
// their region: Central European ("Řez", "Špička") or Western ("Crème
// brûlée", "Smørrebrød"), which share their byte values. A file that is
// not UTF-8 throughout is read in the page chosen, else the likelier one;
// Latin-1 only where the system has no such decoder. The file is decoded
// once, whole.
QString decodeFile(const QByteArray &bytes, std::optional<CodePage::Page> chosen, Import::Encoding &encoding, bool &sure)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    encoding = Import::Utf8;
    sure = true;
    if (!utf8.hasError())
        return text;
    CodePage::Page page = chosen.value_or(CodePage::CentralEuropean);
    if (!chosen) {
        const CodePage::Guess guess = CodePage::guess(bytes);
        page = guess.page;
        sure = guess.sure;
    }
    QStringDecoder windows(CodePage::codecName(page), QStringDecoder::Flag::Stateless);
    if (!windows.isValid()) {
        encoding = Import::Latin1;
        return QString::fromLatin1(bytes);
    }
    encoding = page == CodePage::Western ? Import::Windows1252 : Import::Windows1250;
    text = windows.decode(bytes);
    return text;
}

// The fields of a line as spreadsheets write them: a field in double
// quotes may hold commas, and "" inside it is one quote.
QStringList splitFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

// Where a line break inside a quoted field stands while the record is
// folded into one line: no table holds it, and folding leaves it alone.
constexpr QChar keptBreak(0xE000);

// One record of the table, and how many of the file's lines it takes.
struct CsvRecord
{
    QString text;
    int lines = 1;
};

// The records of a table. Lines end as any system ends them: CR LF, LF, or
// CR alone (older Mac spreadsheets), never joined, except inside a field a
// spreadsheet quoted (a cell of several lines). Only a quote that starts a
// field opens one, and one never closed joins nothing: a stray quote costs
// at most its own line, never the lines after it.
QList<CsvRecord> splitRecords(const QString &text)
{
    QList<CsvRecord> records;
    CsvRecord record;
    bool fieldStart = true;
    bool quoted = false;
    // The quote that opened the field, and the records as they were then.
    qsizetype openedAt = -1;
    qsizetype recordsThen = 0;
    CsvRecord recordThen;
    qsizetype stray = -1;  // an opening quote never closed: read as a character
    const qsizetype size = text.size();
    for (qsizetype i = 0; i <= size; ++i) {
        if (i == size) {
            if (!quoted)
                break;
            // Never closed: back to that quote, read now as a character.
            stray = openedAt;
            i = openedAt;
            records.resize(recordsThen);
            record = recordThen;
            quoted = false;
        }
        const QChar c = text.at(i);
        const bool lineEnd = c == QLatin1Char('\r') || c == QLatin1Char('\n');
        if (lineEnd && i + 1 < size && c == QLatin1Char('\r') && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                record.text += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            }
            if (lineEnd)
                ++record.lines;
            record.text += lineEnd ? keptBreak : c;
            continue;
        }
        if (lineEnd) {
            records << std::exchange(record, CsvRecord());
            fieldStart = true;
            continue;
        }
        if (c == QLatin1Char('"') && fieldStart && i != stray) {
            quoted = true;
            openedAt = i;
            recordsThen = records.size();
            recordThen = record;
        }
        if (c == QLatin1Char(','))
            fieldStart = true;
        else if (!c.isSpace())
            fieldStart = false;
        record.text += c;
    }
    records << record;
    return records;
}

// Splits a trimmed first field into its name and the version number its
// trailing digits carry. The first character never counts as a digit of
// the version, so a name is never empty. A digit run too long for a number
// is part of the name.
void splitNameVersion(const QString &field, QString &name, int &version)
{
    int start = int(field.size());
    while (start > 1 && field.at(start - 1).isDigit() && field.at(start - 1).unicode() < 128)
        --start;
    bool ok = false;
    const int value = start < field.size() ? field.mid(start).toInt(&ok, 10) : 0;
    if (!ok) {
        name = field;
        version = 0;
        return;
    }
    name = field.left(start).trimmed();
    version = value;
}

} // namespace

bool Import::importCsv(Presets &store)
{
    m_fileError.clear();
    QByteArray bytes;
    // A table is never larger than the pool it could fill; a pipe or a
    // device chosen in the dialog would never end.
    switch (Container::readPlain(m_fileName, bytes, Container::sizeLimit, &m_fileError)) {
    case Container::ReadStatus::Read:
        importBytes(store, bytes);
        return true;
    case Container::ReadStatus::Missing:
        m_fileError = QStringLiteral("the file is not there");
        break;
    case Container::ReadStatus::Damaged:
        m_fileError = QStringLiteral("the file is too large: ") + m_fileError;
        break;
    case Container::ReadStatus::Unreadable:
        break;
    }
    qDebug().noquote() << "import" << m_fileName << m_fileError;
    m_layout = Unknown;
    m_added = m_updated = 0;
    return true;
}

void Import::importBytes(Presets &store, const QByteArray &bytes)
{
    m_layout = Unknown;
    m_headerMatched = false;
    m_added = m_updated = m_skipped = m_tooWide = m_refused = 0;
    const int remembered = store.current();
    m_started = TextForm::now();
    m_lastOfPair.clear();
    for (int i = 0; i < store.count(); ++i)
        m_lastOfPair.insert({store.records().at(i).name, store.records().at(i).version}, i);

    QByteArray content = bytes;
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    const QList<CsvRecord> records = splitRecords(decodeFile(content, m_codePage, m_encoding, m_encodingSure));
    for (int number = 0; number < records.size(); ++number) {
        QStringList fields = splitFields(records.at(number).text.simplified());
        // A cell of several lines keeps them in the notes; elsewhere they
        // read as one.
        for (qsizetype i = 0; i < fields.size(); ++i)
            fields[i].replace(keptBreak, m_layout == PresetTable && i == notesField ? QLatin1Char('\n') : QLatin1Char(' '));
        // The notice counts lines as the file has them.
        const int lines = records.at(number).lines;
        if (number == 0) {
            if (fields.size() >= 2 && fields.at(0) == QLatin1String("1")
                && fields.at(1) == QLatin1String("preset")) {
                m_layout = PresetTable;
                continue;
            }
            if (fields.size() >= frequencyFields && fields.at(0) == frequencyFirstName)
                m_layout = FrequencyTable;
            else
                break;
        }
        if (m_layout == PresetTable) {
            if (number == 1) {
                m_headerMatched = fields.join(QLatin1Char(',')) == QLatin1String(presetHeader);
                if (!m_headerMatched)
                    break;
            } else if (fields.size() >= presetFields) {
                m_tooWide += fields.size() > presetFields ? lines : 0;
                if (fields.at(0).trimmed().isEmpty())
                    m_skipped += lines;  // a line of commas, or one without a name
                else
                    importPresetLine(store, fields);
            } else if (!fields.join(QString()).trimmed().isEmpty()) {
                m_skipped += lines;
            }
        } else if (fields.size() >= frequencyFields) {
            m_tooWide += fields.size() > frequencyFields ? lines : 0;
            if (fields.at(0).trimmed().isEmpty() || fields.at(1).trimmed().isEmpty())
                m_skipped += lines;
            else
                importFrequencyLine(store, fields);
        } else if (!fields.join(QString()).trimmed().isEmpty()) {
            m_skipped += lines;
        }
    }
    store.setCurrent(std::clamp(remembered, 0, store.count()));
    // One line for the whole file: a line per preset would cost more than
    // the import itself.
    qDebug().noquote() << "import" << m_fileName << m_added << "added" << m_updated << "updated";
}

void Import::importPresetLine(Presets &store, const QStringList &fields)
{
    const QString &name = fields.at(0);
    bool ok = false;
    int version = fields.at(1).toInt(&ok, 10);
    if (!ok)
        version = 0;

    if (!mayTake(name, version))
        return;
    // A line for a preset the pool does not hold yet adds it, as a
    // frequency line does; otherwise such a file could only ever refresh
    // presets the pool already has.
    if (locateOrAppend(store, name, version)) {
        ++m_updated;
    } else {
        ++m_added;
    }
    store.setVariable(fields.at(2));
    store.setTimeText(fields.at(3));
    store.setNotes(fields.at(4));
    store.setCreatedText(fields.at(5));
    store.setModifiedText(fields.at(6));
    store.setForMachineWord(fields.at(7));
    store.setAuthor(fields.at(8));
    store.setObtainedWord(fields.at(9));
}

bool codePageUnsure(const QString &fileName, CodePage::Page &guess, QList<std::pair<QString, QString>> *samples)
{
    QFile file;
    if (Container::openPlain(file, fileName, Container::sizeLimit) != Container::ReadStatus::Read)
        return false;  // the import says why
    // The start of a large file tells as much, and reads at once. Kept
    // open at its end, a character cut there is no error.
    const QByteArray bytes = file.read(qint64(4) << 20);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return false;
    const CodePage::Guess found = CodePage::guess(bytes);
    guess = found.page;
    if (!found.sure && samples)
        *samples = CodePage::samples(bytes);
    return !found.sure;
}

ImportedPool importOnPool(const QList<Preset> &records, const QString &poolPath, const QString &fileName,
                          const PresetLookup::PairCounts &otherPools, qint64 sizeLimit,
                          std::optional<CodePage::Page> codePage)
{
    ImportedPool run;
    run.import.setOtherPools(otherPools);
    Presets pool;
    pool.setPath(poolPath);
    pool.replaceRecords(records);
    run.import.setFileName(fileName);
    run.import.setCodePage(codePage);
    run.import.importCsv(pool);
    if (run.import.added() > 0 || run.import.updated() > 0) {
        // Saved only when it can be read back: a pool over the limit would
        // be called damaged at the next start, and lost.
        const QByteArray bytes = pool.encoded();
        run.refused = Container::tooLarge(bytes.size(), sizeLimit);
        if (!run.refused.isEmpty()) {
            run.records = records;
            return run;
        }
        // The pool lands together with its notice, so that an end before
        // the window shows the notice (a signal, a kill) leaves it for the
        // next start.
        const QString folder = QFileInfo(poolPath).absolutePath() + QLatin1Char('/');
        Container::Batch batch(folder);
        run.saved = Container::writeBytes(poolPath, bytes, sizeLimit);
        if (run.saved)
            run.heldNotice = UntoldNotice::hold(folder, run.notice());
        const Container::Batch::Result landed = run.saved ? batch.commit() : Container::Batch::NothingChanged;
        if (landed == Container::Batch::NothingChanged) {
            UntoldNotice::told(std::exchange(run.heldNotice, 0));
            run.saved = false;
        }
        if (!run.saved)
            run.whyUnsaved = Container::failureOf(poolPath);
    }
    run.records = pool.records();
    return run;
}

bool ImportedPool::changed() const
{
    return refused.isEmpty() && (import.added() > 0 || import.updated() > 0);
}

QString ImportedPool::notice() const
{
    if (!refused.isEmpty())
        return QStringLiteral("Import refused, nothing changed: with %1 new presets the Legitimate pool is too large (%2)")
            .arg(import.added())
            .arg(refused);
    if (!saved)
        return Import::summary(import) + QStringLiteral("\nbut the preset file could not be saved")
               + (whyUnsaved.isEmpty() ? QString() : QStringLiteral(": ") + whyUnsaved);
    if (!import.fileError().isEmpty())
        return QStringLiteral("Import failed: ") + import.fileError();
    if (import.layout() == Import::Unknown)
        return QStringLiteral("Nothing imported: not a preset or frequency table");
    if (import.layout() == Import::PresetTable && !import.headerMatched())
        return QStringLiteral("Nothing imported: the column header differs; the second line must read\n")
            + QLatin1String(Import::presetHeader);
    return Import::summary(import);
}

QString Import::summary(const Import &import)
{
    QString text = QStringLiteral("Imported: %1 new, %2 updated").arg(import.added()).arg(import.updated());
    if (import.skipped() > 0)
        text += QStringLiteral("; %1 lines without a preset skipped").arg(import.skipped());
    if (import.refused() > 0)
        text += QStringLiteral("; %1 refused: another pool holds their name and version").arg(import.refused());
    if (import.encoding() == Windows1250 || import.encoding() == Windows1252) {
        const CodePage::Page page = import.encoding() == Windows1252 ? CodePage::Western : CodePage::CentralEuropean;
        text += QStringLiteral("; the file is not UTF-8 and was read as %1").arg(QLatin1String(CodePage::displayName(page)));
        if (!import.encodingSure())
            text += QStringLiteral(" (a guess: check the accented names)");
    } else if (import.encoding() == Latin1) {
        text += QStringLiteral("; the file is not UTF-8 and was read as Latin-1");
    }
    if (import.tooWide() > 0)
        text += QStringLiteral("; %1 lines had more fields than the table, the rest was ignored").arg(import.tooWide());
    return text;
}

bool Import::mayTake(const QString &name, int version)
{
    if (PresetLookup::refusal(m_elsewhere.value({name, version}), PresetPool::Legitimate).isEmpty())
        return true;
    ++m_refused;
    return false;
}

bool Import::locateOrAppend(Presets &store, const QString &name, int version)
{
    const auto found = m_lastOfPair.constFind({name, version});
    if (found != m_lastOfPair.cend()) {
        store.setCurrent(found.value());
        return true;
    }
    store.setCurrent(store.count());
    store.insertNew();
    store.setName(name);
    store.setVersion(version);
    m_lastOfPair.insert({name, version}, store.current());
    return false;
}

void Import::importFrequencyLine(Presets &store, const QStringList &fields)
{
    QString name;
    int version = 0;
    splitNameVersion(fields.at(0).trimmed(), name, version);
    const QString frequency = fields.at(1).trimmed();

    if (!mayTake(name, version))
        return;
    // Looked up by the version the line carries, so that importing the
    // same file again refreshes its presets instead of adding copies.
    if (locateOrAppend(store, name, version))
        ++m_updated;
    else
        ++m_added;
    // One time for the whole import: every line was made at its start.
    store.setCreated(m_started);
    store.setModified(m_started);
    store.setName(name);
    store.setAuthor(QStringLiteral("Tavik Genuine"));
    store.setVariable(frequency);
    store.setVersion(version);
    store.setForMachineWord(QStringLiteral("T5, T7"));
    store.setObtainedWord(QStringLiteral("DNA List"));
}
