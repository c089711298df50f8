#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The one file format of the program: a whole file is the CBOR encoding of
// one JSON object, nothing before or after it.
namespace Container {

// Default-option CBOR of the object, as QCborValue::fromJsonValue gives it.
QByteArray encode(const QJsonObject &object);

// Empty or corrupt bytes decode to an empty object: a damaged file reads as
// an empty store rather than failing the start-up.
QJsonObject decode(const QByteArray &bytes);

// Reads the whole file. False (and the warning "Couldn't open save file.")
// only when it cannot be opened; `object` is then left untouched.
bool readFile(const QString &path, QJsonObject &object);

// Replaces the file through a temporary file and a rename, so that a failed
// write never leaves a truncated file behind: either the new bytes are at
// the path or the old file is. False with the warning on any failure.
bool writeFile(const QString &path, const QJsonObject &object);

} // namespace Container
