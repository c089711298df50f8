#pragma once

#include "device/protocol.h"

#include <QByteArray>
#include <QString>

// The simulator's side of the wire: how requests are named in its trace.
namespace Protocol {

// Name of a request code as written in the trace; "UNKNOWN" for others.
QString requestName(quint8 code);

// The request's data as "name=value" fields for the trace. A field whose
// bytes are short is read from the bytes that are there; none at all gives
// no field.
QString requestFields(quint8 code, const QByteArray &data);

// Reads up to width bytes of data, low byte first. ok is false when data
// holds no byte at all.
quint32 readLittleEndian(const QByteArray &data, int width, bool *ok = nullptr);

}  // namespace Protocol
