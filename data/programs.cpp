#include "data/programs.h"

#include "data/ownfiles.h"
#include "data/presets.h"
#include "data/textforms.h"

using namespace TextForm;

ProgramLine ProgramLine::fromJson(const QJsonObject &object)
{
    ProgramLine line;
    QString word;
    readText(object, "nam", line.name);
    readInt(object, "ver", line.version);
    if (stringOf(object, "typ", word))
        line.type = LineType::fromWord(word, kinds, line.type);
    readMinutes(object, "tim", line.time);
    return line;
}

QJsonObject ProgramLine::toJson() const
{
    return {
        {"nam", name},
        {"ver", fromInt(version)},
        {"typ", LineType::word(type)},
        {"tim", fromMinutes(time)},
    };
}

Program::Program() : RecordStore<ProgramLine>(QStringLiteral("program"), QStringLiteral("program")) {}

Program Program::newRecord()
{
    Program program;
    program.created = QDateTime::currentDateTime();
    program.modified = program.created;
    program.time = 0;
    return program;
}

Program Program::fromJson(const QJsonObject &object)
{
    Program program;
    QString word;
    readText(object, "nam", program.name);
    readInt(object, "ver", program.version);
    readText(object, "not", program.notes);
    readDateTime(object, "cre", program.created);
    readDateTime(object, "mod", program.modified);
    readMinutes(object, "tim", program.time);
    if (stringOf(object, "for", word))
        program.forMachine = forMachineFromWord(word, program.forMachine);
    readText(object, "aut", program.author);
    program.RecordStore<ProgramLine>::fromJson(object);
    return program;
}

QJsonObject Program::toJson() const
{
    QJsonObject object {
        {"nam", name},
        {"ver", fromInt(version)},
        {"not", notes},
        {"cre", fromDateTime(created)},
        {"mod", fromDateTime(modified)},
        {"tim", fromMinutes(time)},
        {"for", Preset::forMachineWord(forMachine)},
        {"aut", author},
        {"programVersion", QStringLiteral("1")},
    };
    // "version" and "program": the line list, as any nested store writes it.
    RecordStore<ProgramLine>::toJson(object);
    return object;
}

int Program::forMachineFromWord(const QString &word, int fallback)
{
    if (word == QLatin1String("T5 T7"))
        return 0;
    if (word == QLatin1String("T8"))
        return 1;
    return fallback;
}

void Program::insertLine(int index)
{
    setCurrent(index);
    insertRecord(ProgramLine());
}

void Program::setLineTypeWord(const QString &word)
{
    if (ProgramLine *line = currentRecord())
        line->type = LineType::fromWord(word, ProgramLine::kinds, line->type);
}

Programs::Programs() : RecordStore<Program>(QStringLiteral("programs"), QStringLiteral("programs")) {}

void Programs::setFolder(const QString &folder)
{
    setPath(folder + OwnFiles::programs);
}

void Programs::insertNew(int n, const QString &author)
{
    select(n);
    insertRecord(Program::newRecord());
    setAuthor(author);
}

int Programs::indexOf(const QString &name, int version)
{
    const int found = find(name, version);
    const int index = found == 0 ? -1 : found == 1 ? current() : -2;
    setCurrent(count());
    return index;
}

QString Programs::forMachineWord() const
{
    return hasCurrent() ? Preset::forMachineWord(forMachine()) : QString();
}

void Programs::setForMachineWord(const QString &word)
{
    if (Program *program = currentRecord())
        program->forMachine = Program::forMachineFromWord(word, program->forMachine);
}

