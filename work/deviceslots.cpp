#include "work/deviceslots.h"

#include "data/clients.h"
#include "data/container.h"
#include "device/tavik.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>

namespace {

// Why a journaled run ended, when the program that ran it could not say.
const char *const killedReason = "The program ended during the run without stopping it";
const char *const endedReason = "The program ended";
const char *const removedReason = "The operator removed the device from the list";
// How long a removal may hold the window for its device's stop to be read.
constexpr int removalWaitMs = 500;

} // namespace

DeviceSlots::DeviceSlots()
{
    m_journalLine.fill(-1);
    for (int i = 0; i < count; ++i) {
        m_controllers[size_t(i)] = std::make_unique<Tavik>();
        m_sequencers[size_t(i)] = std::make_unique<Sequencer>();
        m_sequencers[size_t(i)]->setController(m_controllers[size_t(i)].get());
    }
}

// Whoever ends the program, no device it had on air is left transmitting.
DeviceSlots::~DeviceSlots()
{
    stopAll();
}

int DeviceSlots::selectedRow() const
{
    return m_registry.indexOfKey(m_selectedKey);
}

void DeviceSlots::setSelectedRow(int row)
{
    m_selectedKey = m_registry.keyAt(row);
}

Tavik &DeviceSlots::controller(int slot)
{
    return *m_controllers.at(size_t(qBound(0, slot, count - 1)));
}

Sequencer &DeviceSlots::sequencer(int slot)
{
    return *m_sequencers.at(size_t(qBound(0, slot, count - 1)));
}

void DeviceSlots::setClock(const Clock *clock)
{
    for (auto &sequencer : m_sequencers)
        sequencer->setClock(clock);
}

bool DeviceSlots::moveCursorToSelected()
{
    const int row = selectedRow();
    if (row < 0)
        return false;
    m_registry.setCurrent(row);
    return true;
}

int DeviceSlots::selectedSlot() const
{
    const int row = selectedRow();
    if (row < 0)
        return -1;
    const Machine &machine = m_registry.records().at(row);
    return machine.hasDeviceSlot() ? machine.slot : -1;
}

WorkList *DeviceSlots::selectedWork()
{
    Machine *machine = m_registry.recordAt(selectedRow());
    return machine ? &machine->work : nullptr;
}

const WorkList *DeviceSlots::selectedWork() const
{
    const int row = selectedRow();
    return row >= 0 ? &m_registry.records().at(row).work : nullptr;
}

void DeviceSlots::bindDevices()
{
    const int remembered = m_registry.current();
    QList<Machine> &records = m_registry.editRecords();
    for (int i = 0; i < records.size() && i < count; ++i) {
        Machine &machine = records[i];
        if (!machine.hasDeviceSlot())
            break;
        Tavik &tavik = controller(machine.slot);
        Sequencer &paired = sequencer(machine.slot);
        paired.setController(&tavik);
        // Another device announcing itself rebinds every slot; a run on a
        // device that stays where it was goes on.
        const quint64 key = m_registry.keyAt(i);
        if (m_boundKey[size_t(machine.slot)] != key) {
            if (m_boundKey[size_t(machine.slot)] != 0)
                tavik.release();
            m_boundKey[size_t(machine.slot)] = key;
            forgetSlot(machine.slot);
            paired.reset();
        }
        tavik.setTCPIP(AddressText::fromIpv4(machine.scanAddress), Link::defaultPort);
        tavik.setAutoConnect(machine.autoconnect);
    }
    for (int slot = 0; slot < count; ++slot) {
        bool held = false;
        for (int i = 0; i < records.size() && i < count; ++i)
            held = held || (records.at(i).slot == slot && records.at(i).hasDeviceSlot());
        if (!held && m_boundKey[size_t(slot)] != 0) {
            controller(slot).release();
            sequencer(slot).reset();
            m_boundKey[size_t(slot)] = 0;
            forgetSlot(slot);
        }
    }
    // Nothing picked yet (a registry just read, or the first device): the
    // first record is.
    if (records.isEmpty())
        m_selectedKey = 0;
    else if (m_selectedKey == 0)
        m_selectedKey = m_registry.keyAt(0);
    m_registry.setCurrent(qBound(0, remembered, qMax(0, m_registry.count() - 1)));
}

bool DeviceSlots::mergeAnnouncement(const Machine &announced)
{
    m_registry.setFilter(QString());
    int match = -1;
    QList<Machine> &records = m_registry.editRecords();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).serialNumber == announced.serialNumber)
            match = i;
    }
    const QString key = announced.serialNumber + QLatin1Char('@') + AddressText::fromIpv4(announced.scanAddress);
    auto reportOnce = [this, &key](const QString &text) {
        if (m_reported.contains(key))
            return false;
        m_reported.append(key);
        m_notices.append(text);
        return true;
    };

    if (match < 0) {
        for (int i = 0; i < records.size(); ++i) {
            Machine &machine = records[i];
            if (!bound(i) || m_linkSerial[size_t(machine.slot)].isEmpty() || machine.scanAddress != announced.scanAddress
                || machine.port != announced.port)
                continue;
            const QString text = QStringLiteral("Tavik %1 is announced from %2, where the device reports serial number %3 "
                                                "on its link: no second record")
                                     .arg(announced.serialNumber, AddressText::fromIpv4(announced.scanAddress),
                                          m_linkSerial[size_t(machine.slot)]);
            if (reportOnce(text))
                machine.logs.add(text);
            m_registry.setCurrent(i);
            m_registry.touch();
            return false;
        }
        // Records in use stay: a connected or running device, or a list
        // the operator sent, is never dropped for a device passing by.
        const auto evictable = [this](int index) {
            return m_registry.records().at(index).work.count() == 0 && !slotBusy(index);
        };
        if (!m_registry.addMachine(count, evictable)) {
            reportOnce(QStringLiteral("Tavik %1 not added: all five places hold devices in use or with a work list")
                           .arg(announced.serialNumber));
            return false;
        }
        m_registry.updateFromAnnouncement(true, announced);
        m_registry.setAutoconnect(true);
        bindDevices();
        m_registry.setCurrent(0);
        m_registry.touch();
        return true;
    }

    Machine &machine = records[match];
    if (machine.scanAddress != announced.scanAddress && onLink(match)) {
        // Two devices with one serial number, or a device that moved while
        // its old address still answers: the device in use keeps the record.
        const QString text = QStringLiteral("Tavik %1 is also announced from %2; the device at %3 in use is kept")
                                 .arg(announced.serialNumber, AddressText::fromIpv4(announced.scanAddress),
                                      AddressText::fromIpv4(machine.scanAddress));
        if (reportOnce(text))
            machine.logs.add(text);
        return false;
    }
    const bool moved = machine.scanAddress != announced.scanAddress;
    m_registry.setCurrent(match);
    m_registry.updateFromAnnouncement(false, announced);
    m_registry.touch();
    if (moved && machine.hasDeviceSlot()) {
        machine.logs.add(QStringLiteral("Announced from a new address: ") + AddressText::fromIpv4(machine.scanAddress));
        controller(machine.slot).followDevice(AddressText::fromIpv4(machine.scanAddress), Link::defaultPort);
    }
    return false;
}

bool DeviceSlots::bound(int index) const
{
    const QList<Machine> &records = m_registry.records();
    if (index < 0 || index >= records.size() || !records.at(index).hasDeviceSlot())
        return false;
    return m_boundKey[size_t(records.at(index).slot)] == m_registry.keyAt(index);
}

bool DeviceSlots::slotBusy(int index)
{
    if (!bound(index))
        return false;
    const int slot = m_registry.records().at(index).slot;
    const Tavik &tavik = controller(slot);
    return tavik.isConnected() || tavik.isConnecting() || tavik.hasRun() || !sequencer(slot).canStart();
}

bool DeviceSlots::onLink(int index)
{
    if (!bound(index))
        return false;
    const int slot = m_registry.records().at(index).slot;
    const Tavik &tavik = controller(slot);
    return tavik.isConnected() || tavik.hasRun() || !sequencer(slot).canStart();
}

void DeviceSlots::forgetSlot(int slot)
{
    m_journalLine[size_t(slot)] = -1;
    m_linkSerial[size_t(slot)].clear();
    m_serialChange[size_t(slot)].clear();
}

void DeviceSlots::takeLinkSerial(Machine &machine, const QString &reported)
{
    m_linkSerial[size_t(machine.slot)] = reported;
    if (machine.serialNumber == reported)
        return;
    // A record added by hand learns its serial number here.
    if (machine.serialNumber != Machine().serialNumber && !machine.serialNumber.isEmpty()) {
        const QString text = QStringLiteral("The device at %1 now reports serial number %2, not %3")
                                 .arg(AddressText::fromIpv4(machine.scanAddress), reported, machine.serialNumber);
        machine.logs.add(text);
        m_notices.append(QStringLiteral("Tavik %1: ").arg(machine.name) + text);
        m_serialChange[size_t(machine.slot)] = text;
    }
    machine.serialNumber = reported;
}

void DeviceSlots::setRunHistory(int slot, const QString &path)
{
    if (slot < 0 || slot >= count)
        return;
    m_runHistory[size_t(slot)] = path;
    m_journalLine[size_t(slot)] = 0;
    // The record the journal names, with its log and list, is on disk.
    if (!m_registry.path().isEmpty())
        m_registry.saveBase();
    writeJournal();
}

QString DeviceSlots::journalPath() const
{
    const QString registry = m_registry.path();
    return registry.isEmpty() ? QString() : QFileInfo(registry).path() + QStringLiteral("/runs.dat");
}

void DeviceSlots::writeJournal()
{
    const QString path = journalPath();
    if (path.isEmpty())
        return;
    QJsonArray runs;
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size(); ++i) {
        if (!bound(i))
            continue;
        const Machine &machine = records.at(i);
        const int line = m_journalLine[size_t(machine.slot)];
        if (line < 0)
            continue;
        const Sequencer &running = *m_sequencers[size_t(machine.slot)];
        runs.append(QJsonObject {
            {QStringLiteral("SerialNumber"), machine.serialNumber},
            {QStringLiteral("IP"), AddressText::fromIpv4(machine.scanAddress)},
            {QStringLiteral("History"), QFileInfo(m_runHistory[size_t(machine.slot)]).completeBaseName()},
            {QStringLiteral("Line"), QString::number(line)},
            {QStringLiteral("Title"), line < running.count() ? running.item(line).title : QString()},
        });
    }
    Container::writeFile(path, QJsonObject {{QStringLiteral("version"), QStringLiteral("1")},
                                            {QStringLiteral("runs"), runs}});
}

void DeviceSlots::endRun(int index, const CutShort &cut)
{
    Machine &machine = *m_registry.recordAt(index);
    machine.logs.add(QStringLiteral("Run ") + cut.text());
    RunCutShort end;
    end.slot = machine.slot;
    end.deviceName = machine.name;
    end.historyPath = m_runHistory[size_t(machine.slot)];
    end.cut = cut;
    m_cutShorts.append(end);
    m_journalLine[size_t(machine.slot)] = -1;
}

int DeviceSlots::recoverInterruptedRuns()
{
    const QString path = journalPath();
    QJsonObject journal;
    // No journal is the usual case: the last program ended with no run going.
    if (path.isEmpty() || !QFileInfo::exists(path) || Container::readFile(path, journal) != Container::ReadStatus::Read)
        return 0;
    int found = 0;
    QList<Machine> &records = m_registry.editRecords();
    for (const QJsonValue &value : journal.value(QStringLiteral("runs")).toArray()) {
        const QJsonObject run = value.toObject();
        ++found;
        RunCutShort end;
        end.cut.item = qMax(0, run.value(QStringLiteral("Line")).toString().toInt());
        end.cut.progress = -1;
        end.cut.title = run.value(QStringLiteral("Title")).toString();
        end.cut.reason = QLatin1String(killedReason);
        end.deviceName = run.value(QStringLiteral("SerialNumber")).toString();
        // The file names a client's history in the data folder, nothing else.
        const QString client = run.value(QStringLiteral("History")).toString();
        if (Client::isPlainIdentifier(client))
            end.historyPath = QFileInfo(m_registry.path()).path() + QLatin1Char('/') + client + QStringLiteral(".dat");
        for (int i = 0; i < records.size() && i < count; ++i) {
            Machine &machine = records[i];
            if (machine.serialNumber != end.deviceName || !machine.hasDeviceSlot())
                continue;
            // Its device may still be warming or on air: a record found is
            // reached and stopped at once; one the registry lost is found
            // by its announcement.
            machine.logs.add(QStringLiteral("Run ") + end.cut.text());
            controller(machine.slot).stopAtOnce();
            end.slot = machine.slot;
            end.deviceName = machine.name;
            break;
        }
        m_cutShorts.append(end);
    }
    writeJournal();
    return found;
}

QList<DeviceSlots::RunCutShort> DeviceSlots::takeCutShorts()
{
    return std::exchange(m_cutShorts, {});
}

QStringList DeviceSlots::takeNotices()
{
    return std::exchange(m_notices, {});
}

bool DeviceSlots::runGoing(int index)
{
    return bound(index) && slotRunning(m_registry.records().at(index).slot);
}

bool DeviceSlots::slotRunning(int slot)
{
    return !sequencer(slot).canStart() || controller(slot).hasRun();
}

void DeviceSlots::endRunOfRemoved(int index)
{
    if (!bound(index))
        return;
    const Machine &machine = m_registry.records().at(index);
    Sequencer &paired = sequencer(machine.slot);
    paired.stop(QLatin1String(removedReason));
    // Off air now: the record goes, and with it the connection a stop sent
    // from the next tick would need; closed with replies unread, the
    // connection may be reset before the device has read the stop.
    Tavik &tavik = controller(machine.slot);
    if (tavik.stopNow(removalWaitMs))
        tavik.awaitStopRead(QDeadlineTimer(removalWaitMs));
    if (!paired.takeCutShort())
        return;
    endRun(index, paired.cutShort());
    writeJournal();
}

bool DeviceSlots::anyRunGoing()
{
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundKey[size_t(slot)] != 0 && slotRunning(slot))
            return true;
    }
    return false;
}

int DeviceSlots::stopAll(int waitMs)
{
    int stopped = 0;
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundKey[size_t(slot)] == 0)
            continue;
        // The sequencer notes how far its run got; a reset would leave it
        // to find the stop at its next tick and take the run for one cut
        // short before its first line.
        sequencer(slot).endStopped(QLatin1String(endedReason));
        if (controller(slot).stopNow(waitMs))
            ++stopped;
    }
    // One wait for all: a hung device costs the others nothing.
    const QDeadlineTimer deadline(waitMs);
    for (int slot = 0; slot < count && stopped > 0; ++slot) {
        if (m_boundKey[size_t(slot)] != 0)
            controller(slot).awaitStopRead(deadline);
    }
    QList<Machine> &records = m_registry.editRecords();
    bool journaled = false;
    for (int i = 0; i < records.size() && i < count; ++i) {
        if (!records.at(i).hasDeviceSlot())
            continue;
        const int slot = records.at(i).slot;
        for (const QString &line : controller(slot).takeLogLines())
            records[i].logs.add(line);
        // A run the program's end cut short says so, once, rather than
        // leaving word for the next start that it was never stopped.
        if (!bound(i))
            continue;
        Sequencer &paired = sequencer(slot);
        if (paired.takeCutShort()) {
            endRun(i, paired.cutShort());
            journaled = true;
        } else if (m_journalLine[size_t(slot)] >= 0) {
            // Stopping between lines: where it stood, not how far.
            CutShort cut;
            cut.item = m_journalLine[size_t(slot)];
            cut.progress = -1;
            cut.title = cut.item < paired.count() ? paired.item(cut.item).title : QString();
            cut.reason = QLatin1String(endedReason);
            endRun(i, cut);
            journaled = true;
        }
    }
    if (journaled)
        writeJournal();
    return stopped;
}

void DeviceSlots::tickBound()
{
    QList<Machine> &records = m_registry.editRecords();
    for (int i = 0; i < records.size() && i < count; ++i) {
        if (!records.at(i).hasDeviceSlot())
            continue;
        Tavik &tavik = controller(records.at(i).slot);
        if (tavik.takePacketReady())
            tavik.readPacket();
        tavik.tick();
        // The record is looked up afresh on every tick: records move in the
        // list, and a controller holds no pointer into it.
        for (const QString &line : tavik.takeLogLines())
            records[i].logs.add(line);
        if (tavik.takeConfigReceived())
            takeLinkSerial(records[i], tavik.serialNumberText());
        // A device answering on its link is heard, announcements or not.
        if (tavik.takeReplySeen())
            records[i].touch();
        Sequencer &paired = sequencer(records.at(i).slot);
        paired.tick();
        tavik.handOverLf();
        int &journaled = m_journalLine[size_t(records.at(i).slot)];
        if (journaled >= 0) {
            const int line = paired.isRunning() ? paired.currentItem() : -1;
            if (line != journaled) {
                journaled = line;
                writeJournal();
            }
        }
        if (paired.takeCutShort())
            endRun(i, paired.cutShort());
    }
}

void DeviceSlots::addByHand(const QString &address)
{
    m_registry.addMachine(count);
    setSelectedRow(0);
    m_registry.setConnectAddressText(address);
    m_registry.setScanAddressText(address);
    m_registry.setTypeText(QStringLiteral("Tavik"));
    bindDevices();
}

void DeviceSlots::addFactoryDefault()
{
    m_registry.addMachine(count);
    bindDevices();
    m_registry.setCurrent(0);
    m_registry.setScanAddressText(QStringLiteral("169.254.88.88"));
    m_registry.setPortText(QStringLiteral("8888"));
    m_registry.setName(QStringLiteral("--"));
    m_registry.setTypeText(QStringLiteral("Tavik"));
}

void DeviceSlots::pickAfterRemoval(int rowBefore)
{
    bindDevices();
    const int left = m_registry.count();
    if (selectedRow() < 0 && left > 0)
        setSelectedRow(qBound(0, rowBefore, left - 1));
}

void DeviceSlots::removeSelected()
{
    const int rowBefore = selectedRow();
    if (moveCursorToSelected()) {
        endRunOfRemoved(m_registry.current());
        m_registry.removeCurrent();
    }
    pickAfterRemoval(rowBefore);
}

void DeviceSlots::removeUnresponsive(const QDateTime &now)
{
    const int rowBefore = selectedRow();
    m_registry.setFilter(QString());
    m_registry.first();
    const int atStart = m_registry.count();
    for (int visited = 0; visited < atStart && m_registry.hasCurrent(); ++visited) {
        if (m_registry.responsive(now)) {
            m_registry.setCurrent(m_registry.current() + 1);
        } else {
            endRunOfRemoved(m_registry.current());
            m_registry.removeRecordAt(m_registry.current());
        }
    }
    m_registry.setCurrent(0);
    pickAfterRemoval(rowBefore);
}

void DeviceSlots::removeAll()
{
    m_registry.first();
    while (m_registry.count() > 0) {
        endRunOfRemoved(m_registry.current());
        m_registry.removeCurrent();
    }
    pickAfterRemoval(0);
}

bool DeviceSlots::moveSelected(int step)
{
    const int row = selectedRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= m_registry.count())
        return false;
    // The pick follows its record, so nothing else changes.
    m_registry.swapRecords(row, other);
    return true;
}

void DeviceSlots::takeConnectionEvents()
{
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size() && i < count; ++i) {
        const int slot = records.at(i).slot;
        if (!records.at(i).hasDeviceSlot())
            continue;
        Event &event = m_events[size_t(slot)];
        if (event.hold > 0)
            --event.hold;
        for (const Tavik::Event happened : controller(slot).takeConnectionEvents()) {
            if (happened == Tavik::Event::Disconnected) {
                // The sequencer has learnt from its controller that the run
                // was cut short.
                event.last = happened;
                event.hold = holdTicks;
            } else if (happened == Tavik::Event::Transmitting && controller(slot).isConnected()) {
                // Flags carry no order in time: a link that is down now went
                // down after any transmission seen in the same batch.
                event.last = happened;
                event.hold = 0;
            } else if (event.hold == 0) {
                event.last = happened;
            }
        }
    }
}

QString DeviceSlots::statusLine(int slot)
{
    QString name;
    for (const Machine &machine : m_registry.records()) {
        if (machine.slot == slot)
            name = machine.name;
    }
    // Before the first event there is nothing to put after a colon.
    const QString event = eventWord(slot);
    QString line = QStringLiteral("Tavik ") + name + (event.isEmpty() ? QString() : QStringLiteral(": ") + event);
    if (!m_serialChange[size_t(slot)].isEmpty())
        line += QStringLiteral("; ") + m_serialChange[size_t(slot)];
    return line;
}
