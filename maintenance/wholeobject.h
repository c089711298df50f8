#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Files that replace stored data (a backup, a downloaded preset set) are
// used only when they decode whole: one CBOR map, no damaged byte, nothing
// after it. Unlike a damaged data file, which is kept aside and read as
// empty, such a file is refused with a reason the operator is shown.
namespace WholeObject {

// False, with the reason for the operator, when the bytes are not one whole
// object.
bool decode(const QByteArray &bytes, QJsonObject &object, QString &why);

} // namespace WholeObject
