#pragma once

#include "data/programs.h"
#include "editors/recordeditorbase.h"
#include "work/sendtowork.h"

#include <QObject>

class DeviceSlots;
class Library;
struct UnstoredEdit;

// One row of the program's lines as the lines table shows it.
struct ProgramLineView
{
    QString poolWord;   // empty when the preset cannot be resolved
    QString name;
    QString version;
    QString notes;
    QString timeText;   // "10 (5)" for a line's own time over the preset's
    QString frequency;
    bool preset = false;
    int minutes = 0;
};

// The rules of the program editor, without widgets: the open program, its
// working lines (the program record gets them at each commit), the check of
// its (name, version) against both program pools, and adding presets.
class ProgramEditor : public QObject, public RecordEditorBase
{
    Q_OBJECT

public:
    enum AddResult { Added, ClientToGeneral, NoProgram, NotSaved };

    explicit ProgramEditor(Library &library, QObject *parent = nullptr);

    // The program with `key` in the general or the client's list; false
    // when it holds none. A new one goes before the one with key `before`.
    bool open(bool general, quint64 key);
    void newProgram(bool general, quint64 before);
    void load();
    void close();
    void check(const QString &name, int version);
    void setNotes(const QString &notes) { m_notes = notes; }
    // Writes the program back and saves its file; false when nothing was written.
    bool commit();

    // The lines with their resolved presets, and their total minutes.
    QList<ProgramLineView> lineViews(int *total = nullptr) const;
    int totalMinutes() const;
    // An edit of a line's time cell: the preset's own time removes the
    // override. Empty when taken, else why not (the line is unchanged).
    QString setLineTime(int row, const QString &text);
    void deleteLine(int row);
    // The row the moved line is at afterwards.
    int moveUp(int row);
    int moveDown(int row);

    // Puts the preset at the top of the program and commits it.
    AddResult addPreset(int presetPool, const QString &name, int version);
    // What the operator is told; a refusal says why.
    QString addResultText(AddResult result) const;

    // Commits the open program and writes it into the selected device's
    // work list. The program is sent as it is open here, whatever row the
    // program list has selected. The caller asks for a name first.
    SendToWork::Outcome toWork(DeviceSlots &devices);

    // The refused edit held, as unstored.dat keeps it; false when none.
    bool heldEdit(UnstoredEdit &edit) const;
    // Shows an edit kept in unstored.dat as the refused edit it was, in the
    // program it names, or as a new program of its list when that is gone
    // (then false).
    bool offer(const UnstoredEdit &edit);

    bool isGeneral() const { return m_general; }
    // Whether the record with this key (in either pool) is the one edited here.
    bool edits(quint64 key) { return editsIn(store(), key); }
    QString poolWord() const;
    QString name() const { return m_editName; }
    int version() const { return m_editVersion; }
    QString notes() const { return m_notes; }
    QString createdText() const { return m_created; }
    QString modifiedText() const { return m_modified; }
    QString caption() const { return m_caption; }
    const QList<ProgramLine> &lines() const { return m_lines; }

Q_SIGNALS:
    void captionChanged(const QString &caption);
    void openChanged(bool open);

private:
    // The verdict on storing (name, version) in the editor's pool.
    void judge(const QString &name, int version);
    Programs &store() const;
    bool commitEdits();
    void setCaption(const QString &name, int version);
    bool saveStore();
    bool unchanged(const Program &stored) const;

    Library &m_library;
    bool m_general = true;
    QString m_notes;
    QString m_created;
    QString m_modified;
    QString m_caption = QStringLiteral("Program\n");
    QList<ProgramLine> m_lines;
    Program m_newRecord;
};
