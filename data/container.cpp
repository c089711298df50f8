#include "data/container.h"

#include "data/containerdecoders.h"
#include "data/containerfiles.h"
#include "data/writebeside.h"

#include <QCborStreamWriter>
#include <QCborValue>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace Container {

static const char *const openFailure = "Couldn't open save file.";

namespace {

void writeObject(QCborStreamWriter &writer, const QJsonObject &object)
{
    writer.startMap(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        writer.append(it.key());
        const QJsonValue value = it.value();
        if (value.isString())
            writer.append(value.toString());
        else if (value.isObject())
            writeObject(writer, value.toObject());
        else
            QCborValue::fromJsonValue(value).toCbor(writer);
    }
    writer.endMap();
}

} // namespace

using namespace Files;

void List::write(qsizetype index, QCborStreamWriter &writer) const
{
    writeObject(writer, element(index));
}

QString statusWord(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Read: return QStringLiteral("read");
    case ReadStatus::Missing: return QStringLiteral("missing");
    case ReadStatus::Unreadable: return QStringLiteral("unreadable");
    case ReadStatus::Damaged: return QStringLiteral("damaged");
    }
    return QString();
}

void encode(QCborStreamWriter &writer, const QJsonObject &object, const QList<const List *> &lists)
{
    // The lists take their places among the keys as QJsonObject orders them.
    QJsonObject shape = object;
    for (const List *list : lists)
        shape.insert(list->key(), QJsonValue());
    writer.startMap(shape.size());
    for (auto it = shape.constBegin(); it != shape.constEnd(); ++it) {
        const QString key = it.key();
        const List *list = nullptr;
        for (const List *candidate : lists) {
            if (candidate->key() == key)
                list = candidate;
        }
        writer.append(key);
        if (!list) {
            QCborValue::fromJsonValue(it.value()).toCbor(writer);
            continue;
        }
        const qsizetype size = list->size();
        writer.startArray(size);
        for (qsizetype i = 0; i < size; ++i)
            list->write(i, writer);
        writer.endArray();
    }
    writer.endMap();
}

QByteArray encode(const QJsonObject &object, const QList<const List *> &lists)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    encode(writer, object, lists);
    return bytes;
}


bool decode(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists)
{
    if (Decoders::ownShape(bytes, object, lists))
        return true;
    return Decoders::anyForm(bytes, object, lists);
}

QJsonObject decode(const QByteArray &bytes)
{
    QJsonObject object;
    decode(bytes, object);
    return object;
}

ReadStatus readFile(const QString &path, QJsonObject &object, const QList<List *> &lists)
{
    // A file being written beside the window is read as it is written.
    WriteBeside::waitFor(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        qWarning() << openFailure;
        remember(path);
        return ReadStatus::Missing;
    }
    QFile file(path);
    // Not a plain file (a folder, a device, a pipe) is nothing we wrote and
    // may never end.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning() << openFailure;
        setGuarded(path, true);
        return ReadStatus::Unreadable;
    }
    if (file.size() > sizeLimit) {
        file.close();
        keepAside(path);
        return ReadStatus::Damaged;
    }
    // Our own shape is read as the file is; anything else (or a read that
    // failed on the way) is read again whole by the reader of every form.
    if (Decoders::ownShape(file, file.size(), object, lists)) {
        setGuarded(path, false);
        remember(path);
        return ReadStatus::Read;
    }
    const QByteArray bytes = file.seek(0) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError || file.pos() != file.size()) {
        qWarning() << openFailure;
        setGuarded(path, true);
        return ReadStatus::Unreadable;
    }
    file.close();
    if (!Decoders::anyForm(bytes, object, lists)) {
        keepAside(path);
        return ReadStatus::Damaged;
    }
    setGuarded(path, false);
    remember(path);
    return ReadStatus::Read;
}

bool writeFile(const QString &path, const QJsonObject &object, const QList<const List *> &lists)
{
    return writeBytes(path, encode(object, lists));
}

} // namespace Container
