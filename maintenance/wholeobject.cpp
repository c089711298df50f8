#include "maintenance/wholeobject.h"

#include "data/container.h"

namespace WholeObject {

bool decode(const QByteArray &bytes, QJsonObject &object, QString &why)
{
    if (bytes.isEmpty()) {
        why = QStringLiteral("the file is empty");
        return false;
    }
    // The stores' own whole-or-nothing decoding, with its limits on depth.
    if (!Container::decode(bytes, object)) {
        why = QStringLiteral("the file is damaged or not in the program's format");
        return false;
    }
    return true;
}

} // namespace WholeObject
