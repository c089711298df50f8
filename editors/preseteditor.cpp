#include "editors/preseteditor.h"

#include "data/library.h"
#include "data/presetlookup.h"
#include "data/textforms.h"
#include "editors/clienthistory.h"
#include "work/runrules.h"

#include <QDebug>

namespace {

const QString protectedIn = QStringLiteral("Protected can't save - preset exist in %1, please change name or version");

} // namespace

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

bool PresetEditor::open(int pool, int row)
{
    qDebug() << "tw selct item" << row;
    Presets &presets = m_library.presetPool(pool);
    presets.select(row);
    if (!presets.hasCurrent())
        return false;
    const QString name = presets.name();
    const int version = presets.version();
    if (m_newPending)
        dropNewRecord();
    m_pool = pool;
    m_editName = name;
    m_editVersion = version;
    load();
    return true;
}

void PresetEditor::insertNewAt(int row)
{
    Presets &presets = store();
    presets.select(std::max(row, 0));
    presets.insertNew();
    presets.setAuthor(m_author);
    if (const Preset *record = presets.currentRecord())
        m_newStamp = record->created;
    presets.holdBack(presets.keyAt(presets.current()));
    m_newPending = true;
}

void PresetEditor::newPreset(int pool, int row)
{
    // A new record not yet committed has no name to keep.
    if (m_newPending)
        dropNewRecord();
    m_pool = pool;
    insertNewAt(row);
    m_editName.clear();
    m_editVersion = 0;
    clear();
    load();
}

void PresetEditor::load()
{
    Presets &presets = store();
    if (!m_newPending) {
        if (m_editName.isEmpty()) {
            if (presets.count() == 0) {
                insertNewAt(0);
            } else {
                presets.first();
                m_editName = presets.name();
                m_editVersion = presets.version();
            }
        } else {
            const int at = indexOfPair(presets, m_editName, m_editVersion);
            presets.setCurrent(at < 0 ? 0 : at);
        }
    }
    if (m_newPending)
        locateEdited();

    m_savedName = presets.name();
    m_savedVersion = presets.version();
    m_message.clear();

    m_fields = PresetFields();
    m_fields.created = presets.createdText();
    m_fields.modified = presets.modifiedText();
    m_fields.name = presets.name();
    m_fields.notes = presets.notes();
    m_fields.version = presets.version();
    m_fields.workTime = presets.timeText();
    m_fields.variable = presets.variable();
    m_fields.forMachine = presets.forMachine();
    m_fields.obtained = presets.obtained();
    // Filling the widgets is not an edit: the shown pair is the checked one.
    m_lastName = m_fields.name;
    m_lastVersion = m_fields.version;

    m_loaded = true;
    ++m_revision;
    m_saveRefused = false;
    m_overwriteWarned = false;
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
    if (!takeEditedPair(name, version))
        return;
    const PresetLookup::Counts found = PresetLookup::count(m_library, name, version);
    if (found.none() || (name == m_savedName && version == m_savedVersion))
        return;

    int own = 0;
    QString refusal;
    switch (m_pool) {
    case PresetPool::Client:
        own = found.client;
        refusal = protectedIn.arg(found.general > 0 ? QStringLiteral("general") : QStringLiteral("legitimate"));
        break;
    case PresetPool::General:
        own = found.general;
        refusal = protectedIn.arg(found.client > 0 ? QStringLiteral("client") : QStringLiteral("legitimate"));
        break;
    default:
        own = found.legitimate;
        refusal = protectedIn.arg(found.general > 0 ? QStringLiteral("general") : QStringLiteral("client"));
        break;
    }
    if (own > 0) {
        m_overwriteWarned = true;
        m_message = QLatin1String(overwriteMessage);
    } else {
        m_saveRefused = true;
        m_message = refusal;
    }
}

bool PresetEditor::locateEdited()
{
    return locateEditedIn(store());
}

void PresetEditor::dropNewRecord()
{
    if (locateEdited())
        store().removeCurrent();
    m_newPending = false;
}

bool PresetEditor::commit(const PresetFields &fields)
{
    if (!m_loaded)
        return false;
    check(fields.name, fields.version);
    Presets &presets = store();

    if (m_newPending && m_editName.isEmpty()) {
        dropNewRecord();
        // The editor must not go on showing the dropped record: a later
        // commit would write its empty fields over another preset.
        clear();
        return false;
    }
    if (presets.count() == 0 || m_saveRefused) {
        if (m_newPending) {
            dropNewRecord();
            clear();
        }
        return false;
    }
    if (fields.name.isEmpty()) {
        // A stored preset never loses its name; New without one is dropped above.
        m_message = QStringLiteral("Will not be saved: a preset needs a name");
        return false;
    }
    // A time or frequency the device cannot take is refused, with the
    // fields left on screen; a stored one nobody edited stays as it is.
    QString problem;
    if (fields.workTime != m_fields.workTime)
        problem = RunRules::timeProblem(fields.workTime);
    if (problem.isEmpty() && fields.variable != m_fields.variable)
        problem = RunRules::frequencyProblem(fields.variable);
    if (!problem.isEmpty()) {
        m_message = QStringLiteral("Will not be saved: ") + problem;
        return false;
    }
    const auto same = [](const PresetFields &a, const PresetFields &b) {
        return a.name == b.name && a.version == b.version && a.forMachine == b.forMachine
            && a.obtained == b.obtained && a.workTime == b.workTime && a.variable == b.variable
            && a.notes == b.notes;
    };
    if (!m_newPending && same(fields, m_fields) && locateEdited())
        return true;  // opening and leaving a preset changes nothing in it
    if (!locateEdited()) {
        // The record was deleted meanwhile: writing would hit another one.
        clear();
        return false;
    }
    takeOverEditedPair(presets);

    presets.setModifiedNow();
    presets.setName(fields.name);
    presets.setNotes(fields.notes);
    presets.setVersion(fields.version);
    presets.setTimeText(fields.workTime);
    presets.setVariable(fields.variable);
    presets.setForMachine(fields.forMachine);
    presets.setObtained(fields.obtained);
    m_fields = fields;
    m_fields.modified = presets.modifiedText();
    m_fields.workTime = presets.timeText();
    ++m_revision;
    return savePool();
}

bool PresetEditor::savePool()
{
    switch (m_pool) {
    case PresetPool::Client: return ClientHistory::save(m_library);
    case PresetPool::General: return m_library.generalPresets().saveBase();
    default: return m_library.legitimatePresets().saveBase();
    }
}

PresetEditor::CloneResult PresetEditor::cloneToClient(const PresetFields &fields)
{
    if (!m_loaded)
        return NotLoaded;
    if (fields.name.isEmpty())
        return NoName;
    if (!m_library.hasOpenClient())
        return NoClient;
    commit(fields);

    const int version = PresetLookup::nextFreeVersion(m_library, fields.name);
    Presets &client = m_library.presetPool(PresetPool::Client);
    client.setCurrent(0);
    client.insertNew();
    client.setAuthor(m_author);
    client.setName(fields.name);
    client.setVersion(version);
    client.setNotes(fields.notes);
    client.setTimeText(fields.workTime);
    client.setVariable(fields.variable);
    client.setForMachine(fields.forMachine);
    client.setObtained(fields.obtained);
    ClientHistory::save(m_library);

    m_newPending = false;
    m_pool = PresetPool::Client;
    m_editName = fields.name;
    m_editVersion = version;
    load();
    return Cloned;
}
