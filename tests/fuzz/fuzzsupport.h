#pragma once

// Shared by the fuzz targets and their corpus replay: each target defines
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
// and includes this header.

#include "data/container.h"

#include <QByteArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Fuzz {

// The readers log a line per damaged input; printing them would be most of
// the work. Installed once, on first use.
inline void quiet()
{
    static const bool installed = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    Q_UNUSED(installed);
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    quiet();
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A broken promise of a reader: abort, so that the fuzzer keeps the input.
inline void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// The same bytes behind a self-describing tag (55799), which every reader
// must read as the item it tags. The store files of ours are read by a
// shortcut that leaves anything tagged to the reader of every encoding, so
// the two readers can be held to the same result. Bytes that start with a
// tag already go to that reader (and one tag more could pass its limit):
// false for them.
inline bool tagged(const QByteArray &bytes, QByteArray &tagged)
{
    if (!bytes.isEmpty() && (uchar(bytes.front()) >> 5) == 6)
        return false;
    tagged = QByteArray("\xd9\xd9\xf7", 3) + bytes;
    return true;
}

// Reads the input into the store, and holds both readers to one result.
template <typename Store>
bool readBoth(Store &store, const QByteArray &input)
{
    const bool read = store.readBytes(input);
    QByteArray withTag;
    if (tagged(input, withTag)) {
        Store general;
        check(general.readBytes(withTag) == read, "both readers accept the same files");
        check(!read || general.encoded() == store.encoded(), "both readers read the same records");
    }
    return read;
}

// Whatever a store took from the input, written and read again, must come
// back the same: what we write we must be able to read.
template <typename Record>
void roundTrip(const QString &key, const QList<Record> &records)
{
    const Container::ListOf<Record> out(key, records);
    const QByteArray written = Container::encode({{"version", "1"}}, {&out});
    Container::ListOf<Record> in(key);
    QJsonObject rest;
    check(Container::decode(written, rest, {&in}), "written file decodes");
    check(in.taken().size() == records.size(), "written records read back");
    const Container::ListOf<Record> again(key, in.taken());
    check(Container::encode({{"version", "1"}}, {&again}) == written, "second write is identical");
}

} // namespace Fuzz
