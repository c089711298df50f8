#include "work/deviceslots.h"

#include "device/tavik.h"

DeviceSlots::DeviceSlots()
{
    for (int i = 0; i < count; ++i) {
        m_controllers[size_t(i)] = std::make_unique<Tavik>();
        m_sequencers[size_t(i)] = std::make_unique<Sequencer>();
        m_sequencers[size_t(i)]->setController(m_controllers[size_t(i)].get());
    }
}

// Whoever ends the program, no device it had on air is left transmitting.
DeviceSlots::~DeviceSlots()
{
    stopAll(2000);
}

int DeviceSlots::selectedRow() const
{
    const QList<Machine> &records = m_registry.records();
    for (int row = 0; row < records.size(); ++row) {
        if (records.at(row).instance == m_selectedInstance)
            return row;
    }
    return -1;
}

void DeviceSlots::setSelectedRow(int row)
{
    const QList<Machine> &records = m_registry.editRecords();
    m_selectedInstance = row >= 0 && row < records.size() ? records.at(row).instance : 0;
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

bool DeviceSlots::selectCurrent()
{
    const int row = selectedRow();
    if (row < 0)
        return false;
    m_registry.setCurrent(row);
    return true;
}

Tavik *DeviceSlots::selectedController()
{
    return selectCurrentDevice() ? &controller(m_registry.slot()) : nullptr;
}

Sequencer *DeviceSlots::selectedSequencer()
{
    return selectCurrentDevice() ? &sequencer(m_registry.slot()) : nullptr;
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
        if (m_boundInstance[size_t(machine.slot)] != machine.instance) {
            if (m_boundInstance[size_t(machine.slot)] != 0)
                tavik.release();
            m_boundInstance[size_t(machine.slot)] = machine.instance;
            paired.reset();
        }
        tavik.setTCPIP(AddressText::fromIpv4(machine.scanAddress), Link::defaultPort);
        tavik.setAutoConnect(machine.autoconnect);
    }
    for (int slot = 0; slot < count; ++slot) {
        bool held = false;
        for (int i = 0; i < records.size() && i < count; ++i)
            held = held || (records.at(i).slot == slot && records.at(i).hasDeviceSlot());
        if (!held && m_boundInstance[size_t(slot)] != 0) {
            controller(slot).release();
            sequencer(slot).reset();
            m_boundInstance[size_t(slot)] = 0;
        }
    }
    // Nothing picked yet (a registry just read, or the first device): the
    // first record is.
    if (records.isEmpty())
        m_selectedInstance = 0;
    else if (m_selectedInstance == 0)
        m_selectedInstance = records.first().instance;
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
        // Records in use stay: a connected or running device, or a list
        // the operator sent, is never dropped for a device passing by.
        const auto evictable = [this](const Machine &machine) {
            return machine.work.count() == 0 && !slotBusy(machine);
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
    if (machine.scanAddress != announced.scanAddress && slotBusy(machine)) {
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
        controller(machine.slot).setTCPIP(AddressText::fromIpv4(machine.scanAddress), Link::defaultPort);
    }
    return false;
}

bool DeviceSlots::slotBusy(const Machine &machine)
{
    if (!machine.hasDeviceSlot() || m_boundInstance[size_t(machine.slot)] != machine.instance)
        return false;
    const Tavik &tavik = controller(machine.slot);
    return tavik.isConnected() || tavik.isConnecting() || tavik.hasRun() || !sequencer(machine.slot).canStart();
}

void DeviceSlots::setRunHistory(int slot, const QString &path)
{
    if (slot >= 0 && slot < count)
        m_runHistory[size_t(slot)] = path;
}

QList<DeviceSlots::RunCutShort> DeviceSlots::takeCutShorts()
{
    return std::exchange(m_cutShorts, {});
}

QStringList DeviceSlots::takeNotices()
{
    return std::exchange(m_notices, {});
}

bool DeviceSlots::anyRunGoing()
{
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundInstance[size_t(slot)] != 0 && (!sequencer(slot).canStart() || controller(slot).hasRun()))
            return true;
    }
    return false;
}

int DeviceSlots::stopAll(int waitMs)
{
    int stopped = 0;
    for (int slot = 0; slot < count; ++slot) {
        if (m_boundInstance[size_t(slot)] == 0)
            continue;
        sequencer(slot).reset();
        if (controller(slot).stopNow(waitMs))
            ++stopped;
    }
    QList<Machine> &records = m_registry.editRecords();
    for (int i = 0; i < records.size() && i < count; ++i) {
        if (records.at(i).hasDeviceSlot()) {
            for (const QString &line : controller(records.at(i).slot).takeLogLines())
                records[i].logs.add(line);
        }
    }
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
        Sequencer &paired = sequencer(records.at(i).slot);
        paired.tick();
        tavik.handOverLf();
        if (paired.takeCutShort()) {
            RunCutShort end;
            end.slot = records.at(i).slot;
            end.deviceName = records.at(i).name;
            end.historyPath = m_runHistory[size_t(end.slot)];
            end.cut = paired.cutShort();
            records[i].logs.add(QStringLiteral("Run ") + end.cut.text());
            m_cutShorts.append(end);
        }
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
    if (selectCurrent())
        m_registry.removeCurrent();
    pickAfterRemoval(rowBefore);
}

void DeviceSlots::removeUnresponsive(const QDateTime &now)
{
    const int rowBefore = selectedRow();
    m_registry.setFilter(QString());
    m_registry.first();
    const int atStart = m_registry.count();
    for (int visited = 0; visited < atStart && m_registry.hasCurrent(); ++visited) {
        if (m_registry.responsive(now))
            m_registry.setCurrent(m_registry.current() + 1);
        else
            m_registry.editRecords().removeAt(m_registry.current());
    }
    m_registry.setCurrent(0);
    pickAfterRemoval(rowBefore);
}

void DeviceSlots::removeAll()
{
    m_registry.first();
    while (m_registry.count() > 0)
        m_registry.removeCurrent();
    pickAfterRemoval(0);
}

bool DeviceSlots::moveSelected(int step)
{
    const int row = selectedRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= m_registry.count())
        return false;
    // The pick follows its record, so nothing else changes.
    m_registry.editRecords().swapItemsAt(row, other);
    return true;
}

void DeviceSlots::takeConnectionEvents()
{
    const QList<Machine> &records = m_registry.editRecords();
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
    return QStringLiteral("Tavik ") + name + (event.isEmpty() ? QString() : QStringLiteral(": ") + event);
}
