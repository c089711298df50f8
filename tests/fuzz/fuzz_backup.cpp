// Feeds arbitrary bytes to the backup reader and its check, and a file that
// passes into the readers of every store it carries, then restores it for
// real into a data folder of the fuzzer's own: the restore lands whole,
// leaving nothing it staged behind, or says why it did not.

#include "fuzzsupport.h"

#include "data/settings.h"
#include "support/installation.h"
#include "data/clients.h"
#include "data/history.h"
#include "data/presets.h"
#include "data/programs.h"
#include "discovery/machines.h"
#include "maintenance/backup.h"
#include "data/worklist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace {

// A temporary home for the restores, named in the environment before the
// program's folders are first asked for.
struct Home
{
    QTemporaryDir dir;
    Home()
    {
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/share").toUtf8());
        qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
        QCoreApplication::setApplicationName(QStringLiteral("TavikStudio"));
    }
};

// The file is read from the disk section by section; it must be taken or
// refused exactly as the whole object is, and give the same records.
void restoreForReal(const QByteArray &bytes, bool accepted, const Presets *general)
{
    static Home home;
    static Installation in;
    const QString path = home.dir.filePath(QStringLiteral("input.bkp"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return;
    file.close();
    const Backup::Outcome outcome = in.backup.restore(path);
    Fuzz::check((outcome == Backup::Refused) != accepted && (outcome == Backup::Restored || !in.backup.message().isEmpty()),
                "refused exactly where the whole object is; a failure says why");
    // The program starts again on what a restore wrote: the file is what counts.
    if (outcome == Backup::Restored && general) {
        QJsonObject whole, reread;
        general->toJson(whole);
        Presets file;
        file.setPath(in.library.generalPresets().path());
        file.readBase();
        file.toJson(reread);
        Fuzz::check(reread == whole, "the pool read record by record, as its file has it, is the pool read whole");
    }
    Fuzz::check(QDir(in.settings.dataFolder()).entryList({QStringLiteral("*.tavik-new"), QStringLiteral("*.journal")}).isEmpty(),
                "a restore that ended left nothing it staged");
    // The safety backups would fill the disk over a long run.
    for (const QString &name : QDir(in.settings.backupFolder()).entryList(QDir::Files))
        QFile::remove(in.settings.backupFolder() + name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject object;
    QString why;
    const QByteArray bytes = Fuzz::bytes(data, size);
    if (!Backup::decode(bytes, object, why) || !Backup::check(object, why)) {
        Fuzz::check(!why.isEmpty(), "a refusal always says why");
        restoreForReal(bytes, false, nullptr);
        return 0;
    }

    Clients clients;
    clients.fromJson(object.value(QStringLiteral("Clients")).toObject());
    for (const QJsonValue &element : object.value(QStringLiteral("History")).toArray()) {
        const QString file = element.toObject().value(QStringLiteral("FileName")).toString();
        Fuzz::check(Client::isPlainIdentifier(file), "the check lets no unusable file name through");
        History history;
        history.fromJson(element.toObject());
        QJsonObject back;
        history.toJson(back);
    }
    Programs programs;
    programs.fromJson(object.value(QStringLiteral("Programs")).toObject());
    Presets presets;
    presets.fromJson(object.value(QStringLiteral("GenuinePresets")).toObject());
    presets.fromJson(object.value(QStringLiteral("Presets")).toObject());
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
    restoreForReal(bytes, true, object.contains(QStringLiteral("Presets")) ? &presets : nullptr);
    return 0;
}
