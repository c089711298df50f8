#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Files that replace stored data (a backup, a downloaded preset set) are
// used only when they decode whole: one CBOR map, no damaged byte, nothing
// after it. The lenient decoding of the data files would read a damaged
// file as an empty one, and that empty object would then replace the data.
namespace WholeObject {

// False, with the reason for the operator, when the bytes are not one whole
// object.
bool decode(const QByteArray &bytes, QJsonObject &object, QString &why);

} // namespace WholeObject
