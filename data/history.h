#pragma once

#include "data/notes.h"
#include "data/presets.h"
#include "data/programs.h"

// A client's history file: the client's notes, presets ("Client" pool) and
// programs, three lists in one file.
class History : public Notes
{
public:
    History();

    // The file is base + ".dat". The records stay until the next readBase.
    void setPath(const QString &base);
    QString path() const { return m_path; }

    // Empties all three lists, then reads them. False when the file cannot
    // be opened: the client has no history yet. A file that exists but could
    // not be opened is not overwritten by saveBase while it stays so; a
    // damaged one is kept aside (see Container).
    bool readBase();
    bool saveBase() const;

    // Empties all three lists and forgets the file.
    void clear();

    // All three lists in one object, as in the file; also used by backups.
    void toJson(QJsonObject &object) const;
    void fromJson(const QJsonObject &object);

    Presets &presets() { return m_presets; }
    const Presets &presets() const { return m_presets; }
    Programs &programs() { return m_programs; }
    const Programs &programs() const { return m_programs; }

    // How many "PresetNote" entries directly follow the current note (the
    // lines of a "Program" entry), or -1 when the list ends first.
    int presetNotesAfterCurrent();

private:
    Programs m_programs;
    Presets m_presets;
    QString m_path;
};
