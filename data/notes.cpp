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

namespace {

template <typename Object>
Note read(const Object &object)
{
    Note note;
    QString word;
    readDateTime(object, "cre", note.created);
    if (stringOf(object, "typ", word))
        note.type = LineType::fromWord(word, Note::kinds, note.type);
    readText(object, "not", note.text);
    readInt(object, "ver", note.version);
    readText(object, "var", note.variable);
    readMinutes(object, "tim", note.time);
    readInt(object, "col", note.colour);
    return note;
}

} // namespace

Note Note::fromJson(const QJsonObject &object)
{
    return read(object);
}

Note Note::fromFields(const RecordFields &fields)
{
    return read(fields);
}

Note::Texts Note::texts() const
{
    return {{
        {QLatin1StringView("col"), fromInt(colour)},
        {QLatin1StringView("cre"), fromDateTime(created)},
        {QLatin1StringView("not"), text},
        {QLatin1StringView("tim"), fromMinutes(time)},
        {QLatin1StringView("typ"), LineType::word(type)},
        {QLatin1StringView("var"), variable},
        {QLatin1StringView("ver"), fromInt(version)},
    }};
}

QJsonObject Note::toJson() const
{
    QJsonObject object;
    for (const auto &[key, value] : texts())
        object.insert(key, value);
    return object;
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
