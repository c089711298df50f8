#include "editors/preseteditor.h"

#include "data/library.h"
#include "data/presetlookup.h"
#include "data/textforms.h"
#include "data/unstorededits.h"
#include "editors/librarysession.h"
#include "work/runrules.h"

#include <QDebug>

const char *const PresetEditor::overwriteMessage =
    "Please change the name or version, otherwise the preset will be overwritten.";

Presets &PresetEditor::store() const
{
    return m_library.presetPool(m_pool);
}

QString PresetEditor::poolWord() const
{
    return PresetPool::word(m_pool);
}

bool PresetEditor::open(int pool, quint64 key)
{
    const Preset *record = m_library.presetPool(pool).record(key);
    if (!record)
        return false;
    m_newPending = false;
    m_pool = pool;
    m_editKey = key;
    m_editName = record->name;
    m_editVersion = record->version;
    load();
    return true;
}

void PresetEditor::startNew(quint64 before)
{
    keepNewPlace(store(), before);
    m_newRecord = Preset::newRecord();
    m_newRecord.author = m_author;
}

void PresetEditor::newPreset(int pool, quint64 before)
{
    m_newPending = false;
    m_pool = pool;
    startNew(before);
    m_editKey = 0;
    m_editName.clear();
    m_editVersion = 0;
    clear();
    load();
}

void PresetEditor::load()
{
    Presets &presets = store();
    if (!m_newPending && !presets.record(m_editKey)) {
        if (presets.count() == 0) {
            startNew(0);
        } else {
            // Gone: the first record the list shows.
            const QList<int> shown = presets.shownRows();
            m_editKey = presets.keyAt(shown.isEmpty() ? 0 : shown.first());
            m_editName = presets.record(m_editKey)->name;
            m_editVersion = presets.record(m_editKey)->version;
        }
    }
    const Preset record = m_newPending ? m_newRecord : *presets.record(m_editKey);

    m_savedName = record.name;
    m_savedVersion = record.version;
    m_message.clear();

    m_fields = fieldsOf(record);
    // Filling the widgets is not an edit: the shown pair is the checked one.
    m_lastName = m_fields.name;
    m_lastVersion = m_fields.version;

    m_loaded = true;
    ++m_revision;
    m_refusedEdit = false;
    m_saveRefused = false;
    m_overwriteWarned = false;
}

PresetFields PresetEditor::fieldsOf(const Preset &record)
{
    PresetFields fields;
    fields.created = TextForm::fromDateTime(record.created);
    fields.modified = TextForm::fromDateTime(record.modified);
    fields.name = record.name;
    fields.notes = record.notes;
    fields.version = record.version;
    fields.workTime = TextForm::fromInt(record.time);
    fields.variable = record.variable;
    fields.forMachine = record.forMachine;
    fields.obtained = record.obtained;
    return fields;
}

bool PresetEditor::followStore()
{
    // Everything the operator typed was committed when the tab was left:
    // unless it was refused, what is shown is the record as stored then.
    // An import or a download may have replaced it since; shown as it was,
    // the next commit would write the old values back over theirs.
    if (!m_loaded || m_newPending || m_refusedEdit)
        return false;
    const Presets &presets = store();
    const int at = editedIndexIn(presets);
    if (at < 0)
        return false;  // gone: the next commit lets it go, nothing typed since
    const PresetFields stored = fieldsOf(presets.records().at(at));
    if (stored.modified == m_fields.modified && stored.notes == m_fields.notes && stored.workTime == m_fields.workTime
        && stored.variable == m_fields.variable && stored.forMachine == m_fields.forMachine
        && stored.obtained == m_fields.obtained)
        return false;
    m_editName = m_savedName;
    m_editVersion = m_savedVersion;
    load();
    return true;
}

void PresetEditor::clear()
{
    m_fields = PresetFields();
    m_message.clear();
    m_lastName.clear();
    m_lastVersion = 0;
    m_loaded = false;
    ++m_revision;
}

void PresetEditor::check(const QString &name, int version)
{
    if (takeEditedPair(name, version))
        judge(name, version);
}

void PresetEditor::judge(const QString &name, int version)
{
    clearVerdict();
    const std::array<quint64, 3> revisions{m_library.presetPool(PresetPool::Client).revision(),
                                           m_library.generalPresets().revision(),
                                           m_library.legitimatePresets().revision()};
    if (!m_counted.valid || m_counted.name != name || m_counted.version != version || m_counted.revisions != revisions)
        m_counted = {name, version, revisions, PresetLookup::count(m_library, name, version), true};
    const PresetLookup::Counts found = m_counted.counts;
    if (found.none() || (name == m_savedName && version == m_savedVersion))
        return;

    const int own = m_pool == PresetPool::Client ? found.client
                    : m_pool == PresetPool::General ? found.general
                                                    : found.legitimate;
    if (own > 0) {
        m_overwriteWarned = true;
        m_message = QLatin1String(overwriteMessage);
    } else {
        m_saveRefused = true;
        m_message = PresetLookup::refusal(found, m_pool);
    }
}

namespace {

bool same(const PresetFields &a, const PresetFields &b)
{
    return a.name == b.name && a.version == b.version && a.forMachine == b.forMachine && a.obtained == b.obtained
        && a.workTime == b.workTime && a.variable == b.variable && a.notes == b.notes;
}

void takeFields(Preset &preset, const PresetFields &fields)
{
    preset.name = fields.name;
    preset.notes = fields.notes;
    preset.version = fields.version;
    bool whole = false;
    const int time = fields.workTime.toInt(&whole, 10);
    if (whole)  // a time that is no whole number leaves the stored one
        preset.time = time;
    preset.variable = fields.variable;
    preset.forMachine = fields.forMachine;
    preset.obtained = fields.obtained;
}

} // namespace

QString PresetEditor::valueProblem(const PresetFields &fields, bool all) const
{
    // A stored value nobody edited stays as it is; an edited or new one
    // must be one the device can take.
    QString problem;
    if (all || fields.workTime != m_fields.workTime)
        problem = RunRules::timeProblem(fields.workTime);
    if (problem.isEmpty() && (all || fields.variable != m_fields.variable))
        problem = RunRules::frequencyProblem(fields.variable);
    return problem.isEmpty() ? problem : QStringLiteral("Will not be saved: ") + problem;
}

QString PresetEditor::notesShown() const
{
    if (notesEditable())
        return shown().notes;
    qsizetype cut = editableNotesLength;
    if (m_fields.notes.at(cut - 1).isHighSurrogate())
        --cut;
    return m_fields.notes.left(cut)
           + QStringLiteral("\n\n[...] This note is too long to edit here (%1 characters); only its beginning is "
                            "shown, and it is kept whole.").arg(m_fields.notes.size());
}

PresetFields PresetEditor::withWholeNotes(const PresetFields &fields) const
{
    PresetFields whole = fields;
    if (!notesEditable())
        whole.notes = m_fields.notes;
    return whole;
}

bool PresetEditor::commit(const PresetFields &shown)
{
    const PresetFields fields = withWholeNotes(shown);
    const bool stored = commitEdits(fields);
    m_refusedEdit = !stored && m_loaded && !m_message.isEmpty();
    if (m_refusedEdit)
        m_typed = fields;
    return stored;
}

bool PresetEditor::commitEdits(const PresetFields &typed)
{
    PresetFields fields = typed;
    if (!m_loaded)
        return false;
    if (m_newPending && fields.name.isEmpty() && same(fields, m_fields)) {
        // New and left as it came: there is nothing of the operator's to keep.
        m_newPending = false;
        clear();
        return false;
    }
    // Judged anew: an import or a download may have brought the pair into
    // another pool since it was typed.
    m_lastName = fields.name;
    m_lastVersion = fields.version;
    m_editName = fields.name;
    m_editVersion = fields.version;
    judge(fields.name, fields.version);
    if (m_saveRefused)
        return false;
    if (fields.name.isEmpty()) {
        // A stored preset never loses its name.
        m_message = QStringLiteral("Will not be saved: a preset needs a name");
        return false;
    }
    m_message = valueProblem(fields, false);
    if (!m_message.isEmpty())
        return false;
    if (m_pool == PresetPool::Client && !m_library.hasOpenClient()) {
        // No history file to store into: said, not failed quietly.
        m_message = QLatin1String(noClientMessage);
        return false;
    }
    Presets &presets = store();
    // A stored record's edit is a step Ctrl+Z takes back; a new record, or
    // one that overwrote another, is not.
    bool step = m_session && !m_newPending && !m_overwriteWarned;
    if (m_newPending) {
        insertNewRecord(presets, m_newRecord);
    } else if (!presets.record(m_editKey)) {
        // Gone without the operator deleting it (a download replaced its
        // pool): what was typed is stored anew rather than lost. Nothing
        // typed since it was opened or stored, the download stands and the
        // editor lets go of a record no pool holds any more.
        if (same(fields, m_fields)) {
            clear();
            return false;
        }
        m_newBefore = 0;
        step = false;  // taken back, it would put a blank record in its place
        Preset anew = Preset::newRecord();
        anew.author = m_author;
        insertNewRecord(presets, anew);
    } else if (same(fields, m_fields)) {
        return true;  // opening and leaving a preset changes nothing in it
    } else {
        // An import or a download may have changed the record while the
        // editor held a refused edit of it: what the operator did not touch
        // is taken as it is stored now, not written back as it was shown.
        const PresetFields stored = fieldsOf(*presets.record(m_editKey));
        keepUntouched(&PresetFields::notes, fields, stored);
        keepUntouched(&PresetFields::workTime, fields, stored);
        keepUntouched(&PresetFields::variable, fields, stored);
        keepUntouched(&PresetFields::forMachine, fields, stored);
        keepUntouched(&PresetFields::obtained, fields, stored);
    }
    takeOverEditedPair(presets);

    const UndoStack::List list = step ? m_session->watch(presets) : UndoStack::List();
    const Preset before = *std::as_const(presets).record(m_editKey);
    Preset stored;
    presets.change(m_editKey, [&](Preset &preset) {
        preset.modified = TextForm::Stamp(TextForm::now());
        takeFields(preset, fields);
        stored = preset;
    });
    if (step) {
        m_session->pushEdit(
            presets, m_editKey, LibrarySession::tr("Preset %1").arg(LibrarySession::shortName(stored.name)), list, before,
            stored,
            std::function<QString(const Preset &)>([this, pool = m_pool, key = m_editKey](const Preset &record) {
                if (holdsRefusedEdit() && m_pool == pool && m_editKey == key)
                    return LibrarySession::tr("its editor holds what you typed into it");
                return PresetLookup::refusal(m_library, pool, record.name, record.version);
            }),
            [this, pool = m_pool, key = m_editKey] {
                if (isLoaded() && !m_newPending && m_pool == pool && m_editKey == key)
                    open(pool, key);
            });
    }
    m_fields = fields;
    m_fields.modified = TextForm::fromDateTime(stored.modified);
    m_fields.workTime = TextForm::fromInt(stored.time);
    ++m_revision;
    return savePool();
}

bool PresetEditor::savePool()
{
    switch (m_pool) {
    case PresetPool::Client: return m_library.saveHistory();
    case PresetPool::General: return m_library.generalPresets().saveIfChanged();
    default: return m_library.legitimatePresets().saveIfChanged();
    }
}

PresetEditor::CloneResult PresetEditor::cloneToClient(const PresetFields &shown)
{
    const PresetFields fields = withWholeNotes(shown);
    if (!m_loaded)
        return NotLoaded;
    if (fields.name.isEmpty())
        return NoName;
    if (!m_library.hasOpenClient())
        return NoClient;
    // The clone is a new record: it takes only values the device can take,
    // and the edit it is made from is stored first, or nothing is done.
    const QString problem = valueProblem(fields, true);
    if (!problem.isEmpty()) {
        m_message = problem;
        m_refusedEdit = true;
        m_typed = fields;
        return Refused;
    }
    if (!commit(fields) && !m_message.isEmpty())
        return Refused;

    const int version = PresetLookup::nextFreeVersion(m_library, fields.name);
    Preset clone = Preset::newRecord();
    takeFields(clone, fields);
    clone.author = m_author;
    clone.version = version;
    Presets &client = m_library.presetPool(PresetPool::Client);
    const quint64 cloned = client.insert(0, clone);
    m_library.saveHistory();

    m_newPending = false;
    m_pool = PresetPool::Client;
    m_editKey = cloned;
    m_editName = fields.name;
    m_editVersion = version;
    load();
    return Cloned;
}

namespace {

// What the operator types, between the editor and unstored.dat.
template <typename From, typename To>
void copyTyped(const From &from, To &to)
{
    to.name = from.name;
    to.version = from.version;
    to.notes = from.notes;
    to.workTime = from.workTime;
    to.variable = from.variable;
    to.forMachine = from.forMachine;
    to.obtained = from.obtained;
}

} // namespace

bool PresetEditor::heldEdit(UnstoredEdit &edit) const
{
    if (!holdsRefusedEdit())
        return false;
    edit = UnstoredEdit();
    edit.editor = UnstoredEdit::Preset;
    edit.pool = m_pool;
    if (m_pool == PresetPool::Client)
        edit.client = m_library.openClientFile();
    edit.isNew = m_newPending || !identify(store(), edit.storedName, edit.storedVersion, edit.twin);
    edit.reason = m_message;
    copyTyped(m_typed, edit);
    return true;
}

bool PresetEditor::offer(const UnstoredEdit &edit)
{
    const int pool = qBound(0, edit.pool, 2);
    // A client's record is looked for only in its own client's pool.
    const bool ownPool = pool != PresetPool::Client || edit.client == m_library.openClientFile();
    const quint64 key = edit.isNew || !ownPool
                            ? 0
                            : keyOfTwin(m_library.presetPool(pool), edit.storedName, edit.storedVersion, edit.twin);
    const bool found = key != 0 && open(pool, key);
    if (!found)
        newPreset(pool, 0);
    m_typed = m_fields;
    copyTyped(edit, m_typed);
    // The pair shown is the one judged: filling the fields judges nothing.
    m_editName = m_lastName = edit.name;
    m_editVersion = m_lastVersion = edit.version;
    m_message = edit.reason;
    m_refusedEdit = true;
    ++m_revision;
    return found || edit.isNew;
}
