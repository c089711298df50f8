// Feeds arbitrary bytes to the backup reader and its check, and a file that
// passes into the readers of every store it carries. Nothing is written:
// the stores are filled in memory only.

#include "app/settings.h"
#include "data/clients.h"
#include "data/history.h"
#include "data/presets.h"
#include "data/programs.h"
#include "discovery/machines.h"
#include "maintenance/backup.h"
#include "work/worklist.h"

#include <QJsonArray>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
        return true;
    }();
    (void)quiet;

    QJsonObject object;
    QString why;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!Backup::decode(bytes, object, why) || !Backup::check(object, why)) {
        if (why.isEmpty())
            std::abort();  // a refusal always says why
        return 0;
    }

    Clients clients;
    clients.fromJson(object.value(QStringLiteral("Clients")).toObject());
    for (const QJsonValue &element : object.value(QStringLiteral("History")).toArray()) {
        const QString file = element.toObject().value(QStringLiteral("FileName")).toString();
        if (!Client::isPlainIdentifier(file))
            std::abort();  // the check lets no unusable file name through
        History history;
        history.fromJson(element.toObject());
        QJsonObject back;
        history.toJson(back);
    }
    Programs programs;
    programs.fromJson(object.value(QStringLiteral("Programs")).toObject());
    Presets presets;
    presets.fromJson(object.value(QStringLiteral("Presets")).toObject());
    presets.fromJson(object.value(QStringLiteral("GenuinePresets")).toObject());
    WorkList work;
    work.fromJson(object.value(QStringLiteral("Work")).toObject());
    Machines machines;
    machines.fromJson(object.value(QStringLiteral("Machines")).toObject());
    Settings settings;
    settings.fromJson(object.value(QStringLiteral("Settings")).toObject());
    QJsonObject back;
    machines.toJson(back);
    work.toJson(back);
    programs.toJson(back);
    return 0;
}
