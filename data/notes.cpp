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
        note.type = LineType::fromWord(word, kinds, note.type);
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
        {"typ", LineType::word(type)},
        {"cre", fromDateTime(created)},
        {"not", text},
        {"ver", fromInt(version)},
        {"col", fromInt(colour)},
        {"var", variable},
        {"tim", fromMinutes(time)},
    };
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
    return hasCurrent() ? LineType::word(type()) : QString();
}

int Notes::colour() const
{
    const int stored = field(&Note::colour);
    return stored >= 0 && stored <= 6 ? stored : 0;
}
