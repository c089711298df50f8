#include "maintenance/wholeobject.h"

#include <QCborMap>
#include <QCborStreamReader>
#include <QCborValue>

namespace WholeObject {

bool decode(const QByteArray &bytes, QJsonObject &object, QString &why)
{
    if (bytes.isEmpty()) {
        why = QStringLiteral("the file is empty");
        return false;
    }
    QCborStreamReader reader(bytes);
    const QCborValue value = QCborValue::fromCbor(reader);
    if (reader.lastError() != QCborError::NoError) {
        why = QStringLiteral("the file is damaged at byte %1").arg(reader.currentOffset());
        return false;
    }
    if (reader.currentOffset() != bytes.size()) {
        why = QStringLiteral("the file has unexpected data after byte %1").arg(reader.currentOffset());
        return false;
    }
    if (!value.isMap()) {
        why = QStringLiteral("the file is not in the program's format");
        return false;
    }
    object = value.toMap().toJsonObject();
    return true;
}

} // namespace WholeObject
