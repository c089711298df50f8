#pragma once

#include "data/notes.h"
#include "data/presets.h"
#include "data/programs.h"
#include "data/writebeside.h"

#include <array>
#include <functional>

// A client's history file: the client's notes, presets ("Client" pool) and
// programs, three lists in one file.
class History
{
public:
    History();

    // The records stay until the next readBase.
    void setPath(const QString &path);
    QString path() const { return m_path; }

    // Empties all three lists, then reads them. False when the file cannot
    // be opened: the client has no history yet. A file that exists but could
    // not be opened is not overwritten by saveBase while it stays so; a
    // damaged one is kept aside (see Container).
    bool readBase();
    bool saveBase() const;
    // Whether any of the three lists may differ from the file as last read
    // or written (or asked to be written, unless that failed).
    bool changedSinceFile() const;
    // Written only when changed, beside the window (see WriteBeside): a
    // long history takes longer to write than a tab change or a Start may
    // hold up the window. True when nothing needed writing or the write
    // was asked; a failed write is told by Container::takeFailedWrites.
    bool saveIfChanged() const;

    // Appends one entry on top of the history in `path`, a client's that
    // is not open, without reading it on the caller's thread: the writer
    // beside the window reads the file, adds the entry and writes it. A
    // history that is there but cannot be read is left as it is (and that
    // told, as every unreadable file is).
    static WriteBeside::Ticket appendBeside(const QString &path, const Note &entry);

    // Empties all three lists and forgets the file.
    void clear();

    // All three lists in one object, as in the file; also used by backups.
    void toJson(QJsonObject &object) const;
    void fromJson(const QJsonObject &object);

    Notes &notes() { return m_notes; }
    const Notes &notes() const { return m_notes; }
    Presets &presets() { return m_presets; }
    const Presets &presets() const { return m_presets; }
    Programs &programs() { return m_programs; }
    const Programs &programs() const { return m_programs; }

    // How many "PresetNote" entries directly follow the current note (the
    // lines of a "Program" entry), or -1 when the list ends first.
    int presetNotesAfterCurrent();

    // Runs `add` at the top of the whole history, not of what a search
    // shows; the search stays and current is the first entry afterwards.
    void addOnTop(const std::function<void()> &add);

private:
    static QByteArray encode(const QList<Note> &notes, const QList<Preset> &presets, const QList<Program> &programs,
                             const QString &version);
    std::array<quint64, 3> revisions() const;
    void markWritten() const;

    Notes m_notes;
    Programs m_programs;
    Presets m_presets;
    QString m_path;
    // revisions() when the file was last read or written; none at first,
    // so a history read from no file is written once.
    mutable std::array<quint64, 3> m_fileRevisions {~quint64(0), ~quint64(0), ~quint64(0)};
    mutable WriteBeside::Ticket m_besideWrite;
};
