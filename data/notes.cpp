#include "data/notes.h"

#include "data/textforms.h"

using namespace TextForm;

Note Note::newRecord(int type)
{
    Note note;
    note.created = QDateTime::currentDateTime();
    note.type = type;
    note.variable = QStringLiteral("0");
    note.time = 0;
    return note;
}

Note Note::fromJson(const QJsonObject &object)
{
    Note note;
    QString word;
    readDateTime(object, "cre", note.created);
    if (stringOf(object, "typ", word))
        note.type = typeFromWord(word, note.type);
    readText(object, "not", note.text);
    readInt(object, "ver", note.version);
    readText(object, "var", note.variable);
    readMinutes(object, "tim", note.time);
    readInt(object, "col", note.colour);
    return note;
}

QJsonObject Note::toJson() const
{
    return {
        {"typ", typeWord(type)},
        {"cre", fromDateTime(created)},
        {"not", text},
        {"ver", fromInt(version)},
        {"col", fromInt(colour)},
        {"var", variable},
        {"tim", fromMinutes(time)},
    };
}

QString Note::typeWord(int type)
{
    switch (type) {
    case Preset: return QStringLiteral("Preset");
    case Program: return QStringLiteral("Program");
    case Notes: return QStringLiteral("Notes");
    case PresetNote: return QStringLiteral("PresetNote");
    default: return QString();
    }
}

int Note::typeFromWord(const QString &word, int fallback)
{
    for (int type = Preset; type <= PresetNote; ++type) {
        if (word == typeWord(type))
            return type;
    }
    return fallback;
}

Notes::Notes(const QString &listKey, const QString &debugName)
    : RecordStore<Note>(listKey, debugName) {}

void Notes::insertNote(int type)
{
    qDebug().noquote() << "create record typ:" << type;
    insertRecord(Note::newRecord(type));
}

QString Notes::typeWord() const
{
    return hasCurrent() ? Note::typeWord(type()) : QString();
}

void Notes::setTypeWord(const QString &word)
{
    if (Note *note = currentRecord())
        note->type = Note::typeFromWord(word, note->type);
}

int Notes::colour() const
{
    const int stored = field(&Note::colour);
    return stored >= 0 && stored <= 6 ? stored : 0;
}
