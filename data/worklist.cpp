#include "data/worklist.h"

#include "data/presets.h"
#include "data/textforms.h"

WorkLine WorkLine::fromJson(const QJsonObject &object)
{
    WorkLine line;
    TextForm::readText(object, "nam", line.name);
    TextForm::readInt(object, "ver", line.version);
    QString word;
    if (TextForm::stringOf(object, "typ", word))
        line.type = LineType::fromWord(word, kinds, line.type);
    TextForm::readMinutes(object, "tim", line.time);
    TextForm::readMinutes(object, "org", line.orgTime);
    TextForm::readText(object, "val", line.value);
    TextForm::readText(object, "not", line.note);
    TextForm::readInt(object, "bse", line.pool);
    return line;
}

QJsonObject WorkLine::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("nam"), name);
    object.insert(QStringLiteral("ver"), TextForm::fromInt(version));
    object.insert(QStringLiteral("typ"), LineType::word(type));
    object.insert(QStringLiteral("tim"), TextForm::fromMinutes(time));
    object.insert(QStringLiteral("org"), TextForm::fromMinutes(orgTime));
    object.insert(QStringLiteral("val"), value);
    object.insert(QStringLiteral("not"), note);
    object.insert(QStringLiteral("bse"), TextForm::fromInt(pool));
    return object;
}

void WorkList::writeHeader(QJsonObject &object) const
{
    object.insert(QStringLiteral("bse"), PresetPool::word(pool));
    object.insert(QStringLiteral("nam"), programName);
    object.insert(QStringLiteral("ver"), TextForm::fromInt(programVersion));
    object.insert(QStringLiteral("tim"), TextForm::fromMinutes(totalTime));
}

void WorkList::readHeader(const QJsonObject &object)
{
    pool = 0;
    programName.clear();
    programVersion = 0;
    totalTime = TextForm::noMinutes;
    QString word;
    if (TextForm::stringOf(object, "bse", word))
        pool = PresetPool::fromWord(word);
    TextForm::readText(object, "nam", programName);
    TextForm::readInt(object, "ver", programVersion);
    TextForm::readMinutes(object, "tim", totalTime);
}

void WorkList::toJson(QJsonObject &object) const
{
    writeHeader(object);
    RecordStore::toJson(object);
}

void WorkList::fromJson(const QJsonObject &object)
{
    readHeader(object);
    RecordStore::fromJson(object);
}

bool WorkList::saveBase() const
{
    QJsonObject header;
    writeHeader(header);
    return writeFile(header);
}

bool WorkList::readBase()
{
    QJsonObject rest;
    if (!Container::opened(readFile(rest)))
        return false;
    readHeader(rest);
    return true;
}

void WorkList::insertNew()
{
    insertRecord(WorkLine());
}
