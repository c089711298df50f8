#pragma once

#include "data/linetype.h"
#include "data/recordstore.h"

#include <QDateTime>
#include <QTime>

// One line of a program: a preset (or program, or notes entry) named by
// name and version, with its run time.
struct ProgramLine
{
    // A line is a preset, a program or notes.
    static constexpr std::initializer_list<int> kinds = {LineType::Preset, LineType::Program, LineType::Notes};

    QString name;
    int version = 0;
    int type = LineType::Preset;
    int time = TextForm::noMinutes;

    static ProgramLine fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    const QString &displayText() const { return name; }

    // A preset line runs for its own time; without one (a negative time)
    // for its preset's. Never less than nothing.
    static int runMinutes(int own, int presetMinutes) { return qMax(0, own >= 0 ? own : presetMinutes); }
};

// A named, versioned program; it is itself the store of its lines, written
// as one object holding its fields and the nested "program" list.
class Program : public RecordStore<ProgramLine>
{
public:
    Program();

    TextForm::Stamp created;
    TextForm::Stamp modified;
    QString name;
    int version = 0;
    int forMachine = 0;
    QString notes;
    int time = TextForm::noMinutes;
    QString author;

    static Program newRecord();
    static Program fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    const QString &displayText() const { return name; }

    // Unlike a preset, a program keeps its value on an unknown word.
    static int forMachineFromWord(const QString &word, int fallback);

    // A line with the new-line defaults at `index`; it becomes current.
    void insertLine(int index);

    void setLineTypeWord(const QString &word);
    void setLineName(const QString &name) { setField(&ProgramLine::name, name); }
    void setLineVersion(int version) { setField(&ProgramLine::version, version); }
    void setLineTime(int value) { setMinutes(&ProgramLine::time, value); }
};

class Programs : public RecordStore<Program>
{
public:
    Programs();

    // The file is folder + "programs.dat".
    void setFolder(const QString &folder);

    // Selects the n-th program, then inserts a new one before it.
    void insertNew(int n, const QString &author);

    // The index of the only program with this name and version, -1 when
    // there is none, -2 when there are several. Leaves nothing current.
    int indexOf(const QString &name, int version);

    // The current program with its lines, or null when there is none.
    Program *currentProgram() { return currentRecord(); }
    const Program *currentProgram() const { return currentRecord(); }

    QString createdText() const { return dateTimeText(&Program::created); }
    void setCreatedNow() { setNow(&Program::created); }
    QString modifiedText() const { return dateTimeText(&Program::modified); }
    void setModifiedNow() { setNow(&Program::modified); }
    QString name() const { return field(&Program::name); }
    void setName(const QString &name) { setField(&Program::name, name); }
    int version() const { return field(&Program::version); }
    QString versionText() const { return intText(&Program::version); }
    void setVersion(int version) { setField(&Program::version, version); }
    int forMachine() const { return field(&Program::forMachine); }
    QString forMachineWord() const;
    void setForMachine(int value) { setField(&Program::forMachine, value); }
    void setForMachineWord(const QString &word);
    QString notes() const { return field(&Program::notes); }
    void setNotes(const QString &notes) { setField(&Program::notes, notes); }
    int timeMinutes() const { return minutes(&Program::time); }
    QString timeText() const { return minutesText(&Program::time); }
    void setTime(int value) { setMinutes(&Program::time, value); }
    void setTimeText(const QString &text) { setMinutesText(&Program::time, text); }
    QString author() const { return field(&Program::author); }
    void setAuthor(const QString &author) { setField(&Program::author, author); }
};
