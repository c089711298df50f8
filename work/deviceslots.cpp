#include "work/deviceslots.h"

#include "device/tavik.h"
#include "work/clock.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace {

const char *const endedReason = "The program ended";

} // namespace

DeviceSlots::DeviceSlots() : m_clock(&Clock::system())
{
    for (int i = 0; i < count; ++i) {
        m_controllers[size_t(i)] = std::make_unique<Tavik>();
        m_sequencers[size_t(i)] = std::make_unique<Sequencer>();
        m_sequencers[size_t(i)]->setController(m_controllers[size_t(i)].get());
        m_controllers[size_t(i)]->setRunEvents(&m_runEvents[size_t(i)]);
        m_sequencers[size_t(i)]->setRunEvents(&m_runEvents[size_t(i)]);
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        // A new value is due to the millisecond; a coarse timer may be 5 %
        // of its interval late.
        timer->setTimerType(Qt::PreciseTimer);
        timer->callOnTimeout([this, i] { passBoundary(i); });
        m_boundaries[size_t(i)] = std::move(timer);
    }
}

// Whoever ends the program, no device it had on air is left transmitting.
DeviceSlots::~DeviceSlots()
{
    m_sink = nullptr;
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

const Tavik &DeviceSlots::controller(int slot) const
{
    return *m_controllers.at(size_t(qBound(0, slot, count - 1)));
}

Sequencer &DeviceSlots::sequencer(int slot)
{
    return *m_sequencers.at(size_t(qBound(0, slot, count - 1)));
}

const Sequencer &DeviceSlots::sequencer(int slot) const
{
    return *m_sequencers.at(size_t(qBound(0, slot, count - 1)));
}

void DeviceSlots::setClock(const Clock *clock)
{
    m_clock = clock ? clock : &Clock::system();
    for (auto &sequencer : m_sequencers)
        sequencer->setClock(clock);
}

void DeviceSlots::setPauseLimitMinutes(int minutes)
{
    for (auto &sequencer : m_sequencers)
        sequencer->setPauseLimitMinutes(minutes);
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
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size() && i < count; ++i) {
        const Machine &machine = records.at(i);
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
        // The record's one address: the one its table row and its Connect
        // use, whatever address the device announced itself from.
        tavik.setTCPIP(AddressText::fromIpv4(machine.connectAddress), Link::defaultPort);
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

bool DeviceSlots::bound(int index) const
{
    const QList<Machine> &records = m_registry.records();
    if (index < 0 || index >= records.size() || !records.at(index).hasDeviceSlot())
        return false;
    return m_boundKey[size_t(records.at(index).slot)] == m_registry.keyAt(index);
}

bool DeviceSlots::slotBusy(int index) const
{
    if (!bound(index))
        return false;
    const int slot = m_registry.records().at(index).slot;
    const Tavik &tavik = controller(slot);
    return tavik.isConnected() || tavik.isConnecting() || tavik.hasRun() || !sequencer(slot).canStart();
}

bool DeviceSlots::onLink(int index) const
{
    if (!bound(index))
        return false;
    const int slot = m_registry.records().at(index).slot;
    const Tavik &tavik = controller(slot);
    return tavik.isConnected() || tavik.hasRun() || !sequencer(slot).canStart();
}

void DeviceSlots::forgetSlot(int slot)
{
    m_linkSerial[size_t(slot)].clear();
    m_serialChange[size_t(slot)].clear();
    m_boundaries[size_t(slot)]->stop();
}

void DeviceSlots::takeLinkSerial(Machine &machine, const QString &reported)
{
    m_linkSerial[size_t(machine.slot)] = reported;
    if (machine.serialNumber == reported)
        return;
    // A record added by hand learns its serial number here.
    if (machine.serialNumber != Machine().serialNumber && !machine.serialNumber.isEmpty()) {
        const QString text = QStringLiteral("The device at %1 now reports serial number %2, not %3")
                                 .arg(AddressText::fromIpv4(machine.connectAddress), reported, machine.serialNumber);
        machine.logs.add(text);
        m_notices.append(QStringLiteral("Tavik %1: ").arg(machine.name) + text);
        m_serialChange[size_t(machine.slot)] = text;
    }
    machine.serialNumber = reported;
}

QStringList DeviceSlots::takeNotices()
{
    return std::exchange(m_notices, {});
}

void DeviceSlots::drain(int slot)
{
    if (slot < 0 || slot >= count)
        return;
    RunEvents &events = m_runEvents[size_t(slot)];
    Sequencer &paired = sequencer(slot);
    RunEvent event;
    // What the sequencer makes of an event it is handed goes to the end of
    // the same queue, and is handed on in its turn.
    while (events.take(event)) {
        if (event.kind == RunEvent::Interrupted || event.kind == RunEvent::DeviceTimeLeft)
            paired.handle(event);
        if (m_sink)
            m_sink(slot, event);
    }
}

bool DeviceSlots::runGoing(int index) const
{
    return bound(index) && slotRunning(m_registry.records().at(index).slot);
}

bool DeviceSlots::slotRunning(int slot) const
{
    return !sequencer(slot).canStart() || controller(slot).hasRun();
}

bool DeviceSlots::anyRunGoing() const
{
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundKey[size_t(slot)] != 0 && slotRunning(slot))
            return true;
    }
    return false;
}

qint64 DeviceSlots::clockMs() const
{
    return m_clock->msecs();
}

bool DeviceSlots::anyRunUnpaused() const
{
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundKey[size_t(slot)] != 0 && slotRunning(slot) && !sequencer(slot).isPaused())
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
    for (int i = 0; i < m_registry.count() && i < count; ++i) {
        if (!m_registry.records().at(i).hasDeviceSlot())
            continue;
        const int slot = m_registry.records().at(i).slot;
        // Only what the device told changes its record.
        if (const QStringList lines = controller(slot).takeLogLines(); !lines.isEmpty()) {
            m_registry.change(m_registry.keyAt(i), [&lines](Machine &machine) {
                for (const QString &line : lines)
                    machine.logs.add(line);
            });
        }
        // The runs the end cut short are recorded while their records are
        // there to take them.
        if (bound(i))
            drain(slot);
    }
    return stopped;
}

void DeviceSlots::tickSlot(int index)
{
    const int slot = m_registry.records().at(index).slot;
    Tavik &tavik = controller(slot);
    if (tavik.takePacketReady())
        tavik.readPacket();
    tavik.tick();
    // Only what the device told reaches its record: a tick that heard
    // nothing leaves the registry as it was, unchanged since its file. The
    // record is looked up afresh on every tick: records move in the list,
    // and a controller holds no pointer into it.
    const QStringList lines = tavik.takeLogLines();
    const bool configured = tavik.takeConfigReceived();
    // A device answering on its link is heard, announcements or not.
    const bool heard = tavik.takeReplySeen();
    if (!lines.isEmpty() || configured || heard) {
        m_registry.change(m_registry.keyAt(index), [&](Machine &machine) {
            for (const QString &line : lines)
                machine.logs.add(line);
            if (configured)
                takeLinkSerial(machine, tavik.serialNumberText());
            if (heard)
                machine.touch();
        });
    }
    // The sequencer learns what its controller told before it moves on.
    drain(slot);
    sequencer(slot).tick();
    tavik.handOverLf();
    drain(slot);
    armBoundary(slot);
}

void DeviceSlots::tickBound()
{
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size() && i < count; ++i) {
        if (records.at(i).hasDeviceSlot() && bound(i))
            tickSlot(i);
    }
}

void DeviceSlots::armBoundary(int slot)
{
    QTimer &timer = *m_boundaries[size_t(slot)];
    const qint64 due = sequencer(slot).nextBoundaryMs();
    // A boundary the next tick meets in time needs no timer.
    const qint64 wait = due < 0 ? -1 : m_clock->realMsUntil(due);
    if (due < 0 || wait > 2 * Tavik::tickMs) {
        if (timer.isActive())
            timer.stop();
        return;
    }
    if (!timer.isActive())
        timer.start(int(qMax<qint64>(0, wait)));
}

void DeviceSlots::passBoundary(int slot)
{
    if (m_boundKey[size_t(slot)] == 0)
        return;
    Sequencer &paired = sequencer(slot);
    const qint64 due = paired.nextBoundaryMs();
    if (due < 0)
        return;
    if (const qint64 early = m_clock->realMsUntil(due); early > 0) {
        m_boundaries[size_t(slot)]->start(int(early));
        return;
    }
    paired.advance();
    controller(slot).handOverLf();
    // What went out is on its way at once, not when the event loop next
    // writes.
    controller(slot).pushWrites();
    drain(slot);
    armBoundary(slot);
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

QString DeviceSlots::statusLine(int slot) const
{
    QString name;
    for (const Machine &machine : m_registry.records()) {
        if (machine.slot == slot)
            name = machine.name;
    }
    // Before the first event there is nothing to put after a colon.
    const QString event = eventWord(slot);
    QString line = QStringLiteral("Tavik ") + name + (event.isEmpty() ? QString() : QStringLiteral(": ") + event);
    // A device slow to obey its stop stays on air for seconds while its
    // controller is back in the ready cycle: not simply "Ready".
    const Tavik &tavik = controller(slot);
    if (tavik.activity() == DeviceActivity::Ready && tavik.showsOnAir())
        line += QStringLiteral("; going off air");
    if (!m_serialChange[size_t(slot)].isEmpty())
        line += QStringLiteral("; ") + m_serialChange[size_t(slot)];
    return line;
}
