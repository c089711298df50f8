#include "data/container.h"

#include <QCborMap>
#include <QCborValue>
#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace Container {

static const char *const openFailure = "Couldn't open save file.";

QByteArray encode(const QJsonObject &object)
{
    return QCborValue::fromJsonValue(object).toCbor();
}

QJsonObject decode(const QByteArray &bytes)
{
    return QCborValue::fromCbor(bytes).toMap().toJsonObject();
}

bool readFile(const QString &path, QJsonObject &object)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << openFailure;
        return false;
    }
    object = decode(file.readAll());
    return true;
}

bool writeFile(const QString &path, const QJsonObject &object)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning() << openFailure;
        return false;
    }
    const QByteArray bytes = encode(object);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning() << openFailure;
        return false;
    }
    return true;
}

} // namespace Container
