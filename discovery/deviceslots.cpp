#include "discovery/deviceslots.h"

#include "device/tavik.h"
#include "work/sequencer.h"

DeviceSlots::DeviceSlots()
{
    for (int i = 0; i < count; ++i) {
        m_controllers[size_t(i)] = std::make_unique<Tavik>();
        m_sequencers[size_t(i)] = std::make_unique<Sequencer>();
        m_sequencers[size_t(i)]->setController(m_controllers[size_t(i)].get());
    }
}

DeviceSlots::~DeviceSlots() = default;

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
    const QList<Machine> &records = m_registry.records();
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
    QList<Machine> &records = m_registry.records();
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
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).serialNumber == announced.serialNumber)
            match = i;
    }
    const bool isNew = match < 0;
    if (isNew) {
        m_registry.addMachine(count);
        m_registry.updateFromAnnouncement(true, announced);
        m_registry.setAutoconnect(true);
        bindDevices();
        m_registry.setCurrent(0);
    } else {
        m_registry.setCurrent(match);
        m_registry.updateFromAnnouncement(false, announced);
    }
    m_registry.touch();
    return isNew;
}

void DeviceSlots::tickBound()
{
    QList<Machine> &records = m_registry.records();
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
        sequencer(records.at(i).slot).tick();
    }
}

QList<int> DeviceSlots::takeConnectionEvents()
{
    QList<int> lost;
    const QList<Machine> &records = m_registry.records();
    for (int i = 0; i < records.size() && i < count; ++i) {
        const int slot = records.at(i).slot;
        if (!records.at(i).hasDeviceSlot())
            continue;
        Event &event = m_events[size_t(slot)];
        if (event.hold > 0)
            --event.hold;
        for (const QString &word : controller(slot).takeConnectionEvents()) {
            if (word == QLatin1String("Disconnected")) {
                event.word = word;
                event.hold = holdTicks;
                // No stop request: the device is gone, there is nobody to ask.
                sequencer(slot).setState(Sequencer::S_IDLE);
                lost.append(slot);
            } else if (word == QLatin1String("TRANSMITTING") && controller(slot).isConnected()) {
                // Flags carry no order in time: a link that is down now went
                // down after any transmission seen in the same batch.
                event.word = word;
                event.hold = 0;
            } else if (event.hold == 0) {
                event.word = word;
            }
        }
    }
    return lost;
}

QString DeviceSlots::statusLine(int slot)
{
    QString name;
    for (const Machine &machine : m_registry.records()) {
        if (machine.slot == slot)
            name = machine.name;
    }
    return QStringLiteral("Tavik ") + name + QStringLiteral(": ") + eventWord(slot);
}
