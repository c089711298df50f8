#include "editors/programeditor.h"

#include "data/library.h"
#include "data/presetlookup.h"
#include "data/textforms.h"
#include "data/unstorededits.h"
#include "editors/librarysession.h"
#include "work/runrules.h"

#include <QDebug>

namespace {

const QString overwriteMessage = QStringLiteral("Please change the name or version, otherwise the program will be overwritten.");

} // namespace

ProgramEditor::ProgramEditor(Library &library, QObject *parent) : QObject(parent), m_library(library) {}

Programs &ProgramEditor::store() const
{
    return m_general ? m_library.programs() : m_library.history().programs();
}

QString ProgramEditor::poolWord() const
{
    return m_general ? QStringLiteral("General") : QStringLiteral("Client");
}

void ProgramEditor::setCaption(const QString &name, int version)
{
    const QString caption = name.isEmpty() ? QStringLiteral("Program\n")
                                           : QStringLiteral("Program\n") + TextForm::versioned(name, version);
    if (caption == m_caption)
        return;
    m_caption = caption;
    Q_EMIT captionChanged(m_caption);
}

bool ProgramEditor::open(bool general, quint64 key)
{
    const Programs &programs = general ? m_library.programs() : m_library.history().programs();
    if (!programs.record(key))
        return false;
    m_newPending = false;
    m_general = general;
    m_editKey = key;
    load();
    return true;
}

void ProgramEditor::newProgram(bool general, quint64 before)
{
    close();
    m_general = general;
    keepNewPlace(store(), before);
    m_newRecord = Program::newRecord();
    m_newRecord.author = m_author;
    m_editKey = 0;
    m_editName.clear();
    m_editVersion = 0;
    load();
}

void ProgramEditor::load()
{
    Programs &programs = store();
    const Program *program = &m_newRecord;
    if (!m_newPending) {
        if (!programs.record(m_editKey)) {
            // Gone: the first program the list shows.
            const QList<int> shown = programs.shownRows();
            if (shown.isEmpty())
                return;
            m_editKey = programs.keyAt(shown.first());
        }
        program = programs.record(m_editKey);
    }
    // The pair actually loaded: what finds this record again after its list
    // is replaced whole.
    m_editName = m_savedName = m_lastName = program->name;
    m_editVersion = m_savedVersion = m_lastVersion = program->version;
    setCaption(m_editName, m_editVersion);

    m_lines = program->records();
    m_notes = program->notes;
    m_created = TextForm::fromDateTime(program->created);
    m_modified = TextForm::fromDateTime(program->modified);
    m_message.clear();
    m_saveRefused = false;
    m_overwriteWarned = false;
    m_refusedEdit = false;
    m_loaded = true;
    Q_EMIT openChanged(true);
}

void ProgramEditor::close()
{
    m_newPending = false;
    m_lines.clear();
    const bool wasLoaded = m_loaded;
    m_loaded = false;
    if (wasLoaded)
        Q_EMIT openChanged(false);
    m_message.clear();
    setCaption(QString(), 0);
}

void ProgramEditor::check(const QString &name, int version)
{
    if (takeEditedPair(name, version))
        judge(name, version);
}

void ProgramEditor::judge(const QString &name, int version)
{
    clearVerdict();
    const PresetLookup::ProgramCounts found = PresetLookup::countPrograms(m_library, name, version);
    if ((found.general == 0 && found.client == 0) || (name == m_savedName && version == m_savedVersion)) {
        setCaption(name, version);
        return;
    }
    m_message = PresetLookup::programRefusal(found, m_general);
    if (m_message.isEmpty()) {
        m_overwriteWarned = true;
        m_message = overwriteMessage;
        setCaption(name, version);
    } else {
        m_saveRefused = true;
    }
}

bool ProgramEditor::commit()
{
    const bool stored = commitEdits();
    m_refusedEdit = !stored && m_loaded && !m_message.isEmpty();
    return stored;
}

bool ProgramEditor::commitEdits()
{
    if (!m_loaded)
        return false;
    Programs &programs = store();
    if (m_newPending && m_editName.isEmpty() && m_lines.isEmpty() && m_notes.isEmpty()) {
        // New and left as it came: there is nothing of the operator's to keep.
        close();
        return false;
    }
    // Judged anew: the pair typed may have been taken by the other pool
    // since (Ctrl+Z, another editor), or freed. A refused program stays open
    // with its edits and the reason, until the operator makes it acceptable
    // or lets it go.
    judge(m_editName, m_editVersion);
    if (m_saveRefused)
        return false;
    if (m_editName.isEmpty()) {
        m_message = QStringLiteral("Will not be saved: a program needs a name");
        return false;
    }
    if (!m_general && !m_library.hasOpenClient()) {
        // The client's pool is its history file: with none open there is
        // no file to store into, and failing quietly would lose the edit.
        m_message = QLatin1String(noClientMessage);
        return false;
    }
    // A stored record's edit is a step Ctrl+Z takes back; a new record, or
    // one that overwrote another, is not.
    const bool step = m_session && !m_newPending && !m_overwriteWarned;
    if (m_newPending) {
        insertNewRecord(programs, m_newRecord);
    } else if (!programs.record(m_editKey)) {
        close();
        return false;
    } else if (unchanged(*programs.record(m_editKey))) {
        return true;  // opening and leaving a program changes nothing in it
    }
    takeOverEditedPair(programs);

    const UndoStack::List list = step ? m_session->watch(programs) : UndoStack::List();
    const Program before = *std::as_const(programs).record(m_editKey);
    const int total = totalMinutes();
    programs.change(m_editKey, [&](Program &program) {
        program.replaceRecords(m_lines);
        program.time = total;
        program.name = m_editName;
        program.version = m_editVersion;
        program.notes = m_notes;
        program.modified = QDateTime::currentDateTime();
        m_modified = TextForm::fromDateTime(program.modified);
    });
    if (step) {
        m_session->pushEdit(
            programs, m_editKey, LibrarySession::tr("Program %1").arg(LibrarySession::shortName(m_editName)), list,
            before, *std::as_const(programs).record(m_editKey),
            std::function<QString(const Program &)>([this, general = m_general, key = m_editKey](const Program &record) {
                if (holdsRefusedEdit() && m_general == general && m_editKey == key)
                    return LibrarySession::tr("its editor holds what you typed into it");
                return PresetLookup::programRefusal(m_library, general, record.name, record.version);
            }),
            [this, general = m_general, key = m_editKey] {
                if (isLoaded() && !m_newPending && m_general == general && m_editKey == key)
                    open(general, key);
            });
    }
    return saveStore();
}

bool ProgramEditor::unchanged(const Program &stored) const
{
    // The stored total follows the presets' times only when the operator
    // stores the program: a program opened and left is not written again,
    // however its presets changed meanwhile.
    if (stored.name != m_editName || stored.version != m_editVersion || stored.notes != m_notes
        || stored.count() != m_lines.size())
        return false;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (stored.records().at(i).toJson() != m_lines.at(i).toJson())
            return false;
    }
    return true;
}

bool ProgramEditor::saveStore()
{
    return m_general ? m_library.programs().saveIfChanged() : m_library.saveHistory();
}

QList<ProgramLineView> ProgramEditor::lineViews(int *total) const
{
    // Every preset line looked up at once, one pass over each pool.
    QList<std::pair<QString, int>> pairs;
    for (const ProgramLine &line : m_lines)
        pairs.append({line.name, line.version});
    Preset prepared;
    prepared.time = 0;
    QList<Preset> presets(pairs.size(), prepared);
    const QList<int> codes = PresetLookup::resolveAll(m_library, pairs, presets);
    QList<ProgramLineView> views;
    int sum = 0;
    for (int i = 0; i < m_lines.size(); ++i) {
        const ProgramLine &line = m_lines.at(i);
        ProgramLineView view;
        view.name = line.name;
        view.version = QString::number(line.version);
        const int own = line.time;
        if (line.type == LineType::Preset) {
            view.preset = true;
            const Preset &preset = presets.at(i);
            const int code = codes.at(i);
            const int presetMinutes = preset.time;
            view.notes = preset.notes;
            if (PresetLookup::isUsable(code)) {
                view.poolWord = PresetPool::word(code);
                view.frequency = preset.variable;
                view.timeText = own < 0 ? QString::number(presetMinutes)
                                        : QStringLiteral("%1 (%2)").arg(own).arg(presetMinutes);
            }
            view.minutes = ProgramLine::runMinutes(own, presetMinutes);
        } else {
            view.minutes = qMax(0, own);
        }
        sum += view.minutes;
        views.append(view);
    }
    if (total)
        *total = sum;
    return views;
}

int ProgramEditor::totalMinutes() const
{
    int total = 0;
    lineViews(&total);
    return total;
}

QString ProgramEditor::setLineTime(int row, const QString &text)
{
    if (row < 0 || row >= m_lines.size())
        return QStringLiteral("No line");
    ProgramLine &line = m_lines[row];
    Preset preset;
    const int code = PresetLookup::resolve(m_library, line.name, line.version, preset);
    if (!PresetLookup::isUsable(code))
        return QStringLiteral("The line's preset is not found: its time cannot change");
    const QString problem = RunRules::timeProblem(text);
    if (!problem.isEmpty())
        return QStringLiteral("Will not be saved: ") + problem;
    const int typed = text.trimmed().toInt();
    const int before = line.time;
    line.time = typed == preset.time ? TextForm::noMinutes : typed;
    if (totalMinutes() > RunRules::maxMinutes()) {
        line.time = before;
        return QStringLiteral("Will not be saved: the program would run over %1 minutes").arg(RunRules::maxMinutes());
    }
    return {};
}

void ProgramEditor::deleteLine(int row)
{
    if (row >= 0 && row < m_lines.size())
        m_lines.removeAt(row);
}

int ProgramEditor::moveUp(int row)
{
    if (row <= 0 || row >= m_lines.size())
        return row;
    m_lines.swapItemsAt(row, row - 1);
    return row - 1;
}

int ProgramEditor::moveDown(int row)
{
    if (row < 0 || row >= m_lines.size() - 1)
        return row;
    m_lines.swapItemsAt(row, row + 1);
    return row + 1;
}

ProgramEditor::AddResult ProgramEditor::addPreset(int presetPool, const QString &name, int version)
{
    // Without an open program there is nothing to add to: saying "added"
    // would be a lie.
    if (!m_loaded)
        return NoProgram;
    if (presetPool == PresetPool::Client && m_general)
        return ClientToGeneral;
    ProgramLine line;
    line.type = LineType::Preset;
    line.name = name;
    line.version = version;
    line.time = TextForm::noMinutes;
    m_lines.prepend(line);
    if (!commit()) {
        // Nothing was written: the line is not in the program either.
        if (m_loaded)
            m_lines.removeFirst();
        return NotSaved;
    }
    return Added;
}

QString ProgramEditor::addResultText(AddResult result) const
{
    switch (result) {
    case Added: return QStringLiteral(" Added to program");
    case ClientToGeneral: return QStringLiteral(" ERROR: client to global");
    case NoProgram: return QStringLiteral(" No program open");
    case NotSaved: return QStringLiteral(" Not added: the program cannot be saved: ") + m_message;
    }
    return QString();
}

SendToWork::Outcome ProgramEditor::toWork(DeviceSlots &devices)
{
    // What goes to work is what the screen shows, saved; never an older
    // stored program under another name.
    if (!commit())
        return SendToWork::NotSaved;
    const Program *program = m_loaded && !m_newPending ? store().record(m_editKey) : nullptr;
    if (!program)
        return SendToWork::NotSaved;
    return SendToWork::program(m_library, devices, *program, m_general);
}

bool ProgramEditor::heldEdit(UnstoredEdit &edit) const
{
    if (!holdsRefusedEdit())
        return false;
    edit = UnstoredEdit();
    edit.editor = UnstoredEdit::Program;
    edit.pool = m_general ? 1 : 0;
    if (!m_general)
        edit.client = m_library.openClientFile();
    edit.isNew = m_newPending || !identify(store(), edit.storedName, edit.storedVersion, edit.twin);
    edit.reason = m_message;
    edit.name = m_editName;
    edit.version = m_editVersion;
    edit.notes = m_notes;
    edit.lines = m_lines;
    return true;
}

bool ProgramEditor::offer(const UnstoredEdit &edit)
{
    const bool general = edit.pool != 0;
    // A client's program is looked for only in its own client's list.
    const bool ownList = general || edit.client == m_library.openClientFile();
    const Programs &programs = general ? m_library.programs() : m_library.history().programs();
    const quint64 key = edit.isNew || !ownList ? 0 : keyOfTwin(programs, edit.storedName, edit.storedVersion, edit.twin);
    const bool found = key != 0 && open(general, key);
    if (!found)
        newProgram(general, 0);
    m_editName = m_lastName = edit.name;
    m_editVersion = m_lastVersion = edit.version;
    m_notes = edit.notes;
    m_lines = edit.lines;
    m_message = edit.reason;
    m_refusedEdit = true;
    setCaption(m_editName, m_editVersion);
    return found || edit.isNew;
}
