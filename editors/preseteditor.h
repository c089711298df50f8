#pragma once

#include "data/presetlookup.h"
#include "data/presets.h"
#include "editors/recordeditorbase.h"

#include <QString>

#include <array>

class Library;
class Presets;
struct UnstoredEdit;

// What the preset tab's widgets show and hand back.
struct PresetFields
{
    QString name;
    int version = 0;
    QString created;
    QString modified;
    int forMachine = 0;
    int obtained = 0;
    QString workTime;
    QString variable;
    QString notes;
};

// The rules of the preset editor, without widgets: which record of which
// pool is edited, whether its (name, version) may be saved, and writing it
// back. A pair may live in one pool only; the editor may overwrite a record
// of its own pool, never make a pair that another pool holds.
class PresetEditor : public RecordEditorBase
{
public:
    // Refused: message() says why; nothing was stored.
    enum CloneResult { Cloned, NotLoaded, NoClient, NoName, Refused };

    static const char *const overwriteMessage;

    explicit PresetEditor(Library &library) : m_library(library) {}

    // The record with `key` in the pool; false, with nothing changed, when
    // the pool holds none.
    bool open(int pool, quint64 key);
    // A new record before the one with key `before` (the first shown when
    // none).
    void newPreset(int pool, quint64 before);
    void load();
    void clear();
    // Shows the edited record as its pool now holds it, when an import or a
    // download changed it and the editor keeps no refused edit of it. True
    // when the fields changed.
    bool followStore();
    // Every edit of the name or the version.
    void check(const QString &name, int version);
    // Writes the fields into the edited record and saves its pool's file.
    // False when nothing was written.
    bool commit(const PresetFields &fields);
    // Commits the edited preset, then makes a new version of it in the
    // current client's pool from the same fields and edits that.
    CloneResult cloneToClient(const PresetFields &fields);

    // A note longer than this is shown cut short and read-only, and kept
    // whole: laying out megabytes of text in the field holds the window for
    // seconds.
    static constexpr qsizetype editableNotesLength = 8 * 1024;
    bool notesEditable() const { return m_fields.notes.size() <= editableNotesLength; }
    // What the notes field shows: the whole note, or its beginning and why.
    QString notesShown() const;

    // What the tab shows: the refused edit held, else the record as stored.
    const PresetFields &shown() const { return holdsRefusedEdit() ? m_typed : m_fields; }
    // The refused edit held, as unstored.dat keeps it; false when none.
    bool heldEdit(UnstoredEdit &edit) const;
    // Shows an edit kept in unstored.dat as the refused edit it was, in the
    // record it names, or as a new record of its pool when that is gone
    // (then false).
    bool offer(const UnstoredEdit &edit);

    int pool() const { return m_pool; }
    // Whether the record with this key (in any pool) is the one edited here.
    bool edits(quint64 key) { return editsIn(store(), key); }
    QString poolWord() const;
    const PresetFields &fields() const { return m_fields; }
    bool saveRefused() const { return m_saveRefused; }
    bool overwriteWarned() const { return m_overwriteWarned; }
    // Grows whenever the editor shows another record or none, so that a
    // tab refills its widgets only then and keeps a refused edit on screen.
    int revision() const { return m_revision; }

private:
    static PresetFields fieldsOf(const Preset &record);
    Presets &store() const;
    void startNew(quint64 before);
    // Sets the verdict and the message for this pair.
    void judge(const QString &name, int version);
    // Why the time or frequency cannot be stored; `all` checks them even
    // when unchanged. Empty when they can.
    QString valueProblem(const PresetFields &fields, bool all) const;
    bool savePool();
    // The fields with the note held here where the field shows only its
    // beginning.
    PresetFields withWholeNotes(const PresetFields &fields) const;
    bool commitEdits(const PresetFields &typed);
    // Sets `fields`' member to the stored one where the operator left it
    // as the editor showed it.
    template <typename T>
    void keepUntouched(T PresetFields::*member, PresetFields &fields, const PresetFields &stored) const
    {
        if (fields.*member == m_fields.*member)
            fields.*member = stored.*member;
    }

    Library &m_library;
    int m_pool = 1;
    // The pair last counted in the pools, and the pools' revisions then: a
    // commit right after the check passes over a million presets only when
    // a pool changed meanwhile.
    struct Counted
    {
        QString name;
        int version = 0;
        std::array<quint64, 3> revisions{};
        PresetLookup::Counts counts;
        bool valid = false;
    };
    Counted m_counted;
    PresetFields m_fields;
    // What the operator typed, while the editor holds it refused.
    PresetFields m_typed;
    Preset m_newRecord;
    int m_revision = 0;
};
