#include "work/runjournal.h"

#include "data/container.h"
#include "data/containerfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

const QString keySerial = QStringLiteral("SerialNumber");
const QString keyAddress = QStringLiteral("IP");
const QString keyHistory = QStringLiteral("History");
const QString keyProgram = QStringLiteral("Program");
const QString keyVersion = QStringLiteral("Version");
const QString keyStarted = QStringLiteral("Started");
const QString keyLine = QStringLiteral("Line");
const QString keyTitle = QStringLiteral("Title");
const QString keyEnd = QStringLiteral("End");
const QString keyPaused = QStringLiteral("Paused");
const QString keyLineDone = QStringLiteral("LineDone");
const QString keyPlan = QStringLiteral("Plan");
const QString keyDeviceLeft = QStringLiteral("DeviceLeft");
const QString keyWarming = QStringLiteral("Warming");
const QString keyLf = QStringLiteral("Lf");
const QString keyRuns = QStringLiteral("runs");

// Every value a journal entry holds is a text; an entry names its device.
bool entryOf(const QJsonValue &value, RunJournal::Entry &entry)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return false;
    }
    entry.serial = object.value(keySerial).toString();
    if (entry.serial.isEmpty())
        return false;
    bool ok = true;
    entry.line = object.contains(keyLine) ? object.value(keyLine).toString().toInt(&ok) : 0;
    if (!ok || entry.line < 0)
        return false;
    entry.lineDone = object.contains(keyLineDone) ? object.value(keyLineDone).toString().toLongLong(&ok) : -1;
    if (!ok || entry.lineDone < -1)
        return false;
    entry.deviceLeft = object.contains(keyDeviceLeft) ? object.value(keyDeviceLeft).toString().toLongLong(&ok) : -1;
    if (!ok || entry.deviceLeft < -1)
        return false;
    entry.lf = object.contains(keyLf) ? object.value(keyLf).toString().toUInt(&ok) : 0;
    if (!ok)
        return false;
    entry.warming = object.value(keyWarming).toString() == QLatin1String("1");
    entry.plan = object.value(keyPlan).toString();
    entry.address = object.value(keyAddress).toString();
    entry.history = object.value(keyHistory).toString();
    entry.program = object.value(keyProgram).toString();
    entry.version = object.value(keyVersion).toString().toInt();
    entry.started = object.value(keyStarted).toString();
    entry.title = object.value(keyTitle).toString();
    entry.end = object.value(keyEnd).toString();
    entry.paused = object.value(keyPaused).toString();
    return true;
}

} // namespace

void RunJournal::setFolder(const QString &folder)
{
    m_path = folder.isEmpty() ? QString() : QDir(folder).filePath(QLatin1String(fileName));
}

RunJournal::Read RunJournal::read(QList<Entry> &entries) const
{
    entries.clear();
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return Read::Nothing;
    QJsonObject journal;
    const Container::ReadStatus status = Container::readFile(m_path, journal);
    if (status == Container::ReadStatus::Missing)
        return Read::Nothing;
    // A damaged file is kept aside by the reading; one that cannot be opened
    // is left where it is and never written over.
    if (status != Container::ReadStatus::Read)
        return Read::Unreadable;
    if (!fromJson(journal, entries)) {
        // Not a journal this program wrote: what it says is not taken, and
        // it is not written over either.
        Container::Files::keepAside(m_path);
        return Read::Unreadable;
    }
    return Read::Entries;
}

bool RunJournal::fromJson(const QJsonObject &journal, QList<Entry> &entries)
{
    entries.clear();
    const QJsonValue runs = journal.value(keyRuns);
    if (journal.value(QStringLiteral("version")).toString() != QLatin1String("1") || !runs.isArray())
        return false;
    for (const QJsonValue &value : runs.toArray()) {
        Entry entry;
        if (!entryOf(value, entry)) {
            entries.clear();
            return false;
        }
        entries.append(entry);
    }
    return true;
}

bool RunJournal::write(const QList<Entry> &entries)
{
    return !m_path.isEmpty() && Container::writeFile(m_path, toJson(entries));
}

QJsonObject RunJournal::toJson(const QList<Entry> &entries)
{
    QJsonArray runs;
    for (const Entry &entry : entries) {
        QJsonObject object {
            {keySerial, entry.serial},
            {keyAddress, entry.address},
            {keyHistory, entry.history},
            {keyProgram, entry.program},
            {keyVersion, QString::number(entry.version)},
            {keyStarted, entry.started},
            {keyLine, QString::number(entry.line)},
            {keyTitle, entry.title},
        };
        if (!entry.end.isEmpty())
            object.insert(keyEnd, entry.end);
        if (!entry.paused.isEmpty())
            object.insert(keyPaused, entry.paused);
        if (entry.lineDone >= 0)
            object.insert(keyLineDone, QString::number(entry.lineDone));
        if (!entry.plan.isEmpty())
            object.insert(keyPlan, entry.plan);
        if (entry.deviceLeft >= 0) {
            object.insert(keyDeviceLeft, QString::number(entry.deviceLeft));
            object.insert(keyLf, QString::number(entry.lf));
            if (entry.warming)
                object.insert(keyWarming, QStringLiteral("1"));
        }
        runs.append(object);
    }
    return QJsonObject {{QStringLiteral("version"), QStringLiteral("1")}, {keyRuns, runs}};
}
