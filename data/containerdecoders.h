#pragma once

#include "data/container.h"

class QIODevice;

// The two readers of a store file's bytes, kept apart from the files
// themselves (their atomic replace, the damaged files, the restore's
// journal).
namespace Container::Decoders {

// Our own shape, read straight from the bytes, or from the device a piece
// at a time. False for anything else, with the lists started again.
bool ownShape(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists);
bool ownShape(QIODevice &device, qint64 size, QJsonObject &object, const QList<List *> &lists);
// Every well-formed file; false for one that is not, or holds more than
// its top object.
bool anyForm(const QByteArray &bytes, QJsonObject &object, const QList<List *> &lists);

} // namespace Container::Decoders
