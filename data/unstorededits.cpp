#include "data/unstorededits.h"

#include "data/container.h"
#include "data/containerfiles.h"
#include "data/ownfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <limits>

namespace {

const QLatin1String editsKey("Edits");

// Longer than any field a person types; a file holding more is not ours.
constexpr qsizetype textLimit = 16 * 1024 * 1024;
constexpr int linesLimit = 100000;
// A version is any whole number the editors take, below zero too.
constexpr int versionLow = std::numeric_limits<int>::min();
constexpr int versionHigh = std::numeric_limits<int>::max();

const char *const editorWords[] = {"preset", "program", "client"};

bool textOf(const QJsonObject &object, QLatin1String key, QString &text)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        text.clear();
        return true;
    }
    if (!value.isString() || value.toString().size() > textLimit)
        return false;
    text = value.toString();
    return true;
}

bool wholeOf(const QJsonObject &object, QLatin1String key, int &number, int low, int high)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        number = 0;
        return low <= 0 && 0 <= high;
    }
    if (!value.isDouble())
        return false;
    const double read = value.toDouble();
    if (!(read >= low && read <= high) || read != double(qint64(read)))
        return false;
    number = int(read);
    return true;
}

} // namespace

QJsonObject UnstoredEdit::toJson() const
{
    QJsonObject object{{"Editor", QLatin1String(editorWords[editor])},
                       {"Pool", pool},
                       {"Client", client},
                       {"New", isNew},
                       {"StoredName", storedName},
                       {"StoredVersion", storedVersion},
                       {"Twin", twin},
                       {"Reason", reason},
                       {"Name", name},
                       {"Version", version},
                       {"Notes", notes}};
    switch (editor) {
    case Preset:
        object.insert("WorkTime", workTime);
        object.insert("Variable", variable);
        object.insert("ForMachine", forMachine);
        object.insert("Obtained", obtained);
        break;
    case Program: {
        QJsonArray array;
        for (const ProgramLine &line : lines)
            array.append(line.toJson());
        object.insert("Lines", array);
        break;
    }
    case Client:
        object.insert("Address", address);
        break;
    }
    return object;
}

bool UnstoredEdit::fromJson(const QJsonObject &object, UnstoredEdit &edit)
{
    const QString word = object.value(QLatin1String("Editor")).toString();
    int editor = -1;
    for (int i = 0; i < 3; ++i) {
        if (word == QLatin1String(editorWords[i]))
            editor = i;
    }
    if (editor < 0)
        return false;
    UnstoredEdit read;
    read.editor = Editor(editor);
    const QJsonValue isNew = object.value(QLatin1String("New"));
    if (!isNew.isBool())
        return false;
    read.isNew = isNew.toBool();
    const int poolHigh = read.editor == Preset ? 2 : 1;
    if (!wholeOf(object, QLatin1String("Pool"), read.pool, 0, poolHigh)
        || !wholeOf(object, QLatin1String("StoredVersion"), read.storedVersion, versionLow, versionHigh)
        || !wholeOf(object, QLatin1String("Twin"), read.twin, 0, std::numeric_limits<int>::max())
        || !wholeOf(object, QLatin1String("Version"), read.version, versionLow, versionHigh)
        || !textOf(object, QLatin1String("Client"), read.client)
        || !textOf(object, QLatin1String("StoredName"), read.storedName)
        || !textOf(object, QLatin1String("Reason"), read.reason) || !textOf(object, QLatin1String("Name"), read.name)
        || !textOf(object, QLatin1String("Notes"), read.notes))
        return false;
    switch (read.editor) {
    case Preset:
        if (!textOf(object, QLatin1String("WorkTime"), read.workTime)
            || !textOf(object, QLatin1String("Variable"), read.variable)
            || !wholeOf(object, QLatin1String("ForMachine"), read.forMachine, 0, 1000)
            || !wholeOf(object, QLatin1String("Obtained"), read.obtained, 0, 1000))
            return false;
        break;
    case Program: {
        const QJsonValue lines = object.value(QLatin1String("Lines"));
        if (!lines.isUndefined() && !lines.isArray())
            return false;
        const QJsonArray array = lines.toArray();
        if (array.size() > linesLimit)
            return false;
        for (const QJsonValue &line : array) {
            if (!line.isObject())
                return false;
            read.lines.append(ProgramLine::fromJson(line.toObject()));
        }
        break;
    }
    case Client:
        if (!textOf(object, QLatin1String("Address"), read.address))
            return false;
        break;
    }
    edit = std::move(read);
    return true;
}

namespace UnstoredEdits {

bool leave(const QString &dataFolder, const QList<UnstoredEdit> &edits)
{
    const QString path = dataFolder + OwnFiles::unstored;
    if (edits.isEmpty()) {
        // One that could not be read is not ours to drop either.
        const QFileInfo file(path);
        if (!file.exists())
            return true;
        return file.isFile() && !Container::Files::isGuarded(path) && QFile::remove(path);
    }
    QJsonArray array;
    for (const UnstoredEdit &edit : edits)
        array.append(edit.toJson());
    return Container::writeFile(path, QJsonObject{{QStringLiteral("version"), QStringLiteral("1")}, {editsKey, array}});
}

QList<UnstoredEdit> fromJson(const QJsonObject &file)
{
    QList<UnstoredEdit> edits;
    for (const QJsonValue &value : file.value(editsKey).toArray()) {
        UnstoredEdit edit;
        if (value.isObject() && UnstoredEdit::fromJson(value.toObject(), edit))
            edits.append(std::move(edit));
    }
    return edits;
}

QList<UnstoredEdit> read(const QString &dataFolder)
{
    QJsonObject file;
    if (Container::readFile(dataFolder + OwnFiles::unstored, file) != Container::ReadStatus::Read)
        return {};
    return fromJson(file);
}

} // namespace UnstoredEdits
