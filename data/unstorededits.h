#pragma once

#include "data/programs.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// What the editors held, typed but refused, when the program ended with
// nobody to ask (a termination signal, a logout). It waits in the data
// folder in unstored.dat and is offered again in its editor at the next
// start, until the operator stores or discards it there.
struct UnstoredEdit
{
    enum Editor { Preset, Program, Client };
    Editor editor = Preset;
    // A preset's pool; for a program 1 is the general list and 0 the
    // client's.
    int pool = 0;
    // The client whose history (or, for the client editor, whose record)
    // it belongs to: its file id, empty when none.
    QString client;
    // A new record not stored yet; otherwise the stored record it edits,
    // named as the keys carry it: its stored pair and the n-th of its twins.
    bool isNew = false;
    QString storedName;
    int storedVersion = 0;
    int twin = 0;
    QString reason;

    // As typed.
    QString name;
    int version = 0;
    QString notes;
    QString workTime;   // preset
    QString variable;   // preset
    int forMachine = 0; // preset
    int obtained = 0;   // preset
    QString address;    // client
    QList<ProgramLine> lines;  // program

    QJsonObject toJson() const;
    // False for anything that is not such an edit, whole.
    static bool fromJson(const QJsonObject &object, UnstoredEdit &edit);
};

namespace UnstoredEdits {

// What the file holds, in place of what it held; none removes it. False
// when it could not be written (a file there that cannot be read is never
// replaced).
bool leave(const QString &dataFolder, const QList<UnstoredEdit> &edits);
// The edits left; none when there are none or the file cannot be read
// whole (a damaged one is kept aside and told, as any of ours).
QList<UnstoredEdit> read(const QString &dataFolder);
// The same from the file's contents; entries that are not edits are left out.
QList<UnstoredEdit> fromJson(const QJsonObject &file);

} // namespace UnstoredEdits
