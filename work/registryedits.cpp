#include "work/registryedits.h"

#include "device/tavik.h"
#include "work/deviceslots.h"

#include <QDeadlineTimer>

namespace {

const char *const removedReason = "The operator removed the device from the list";
// How long a removal may hold the window for its device's stop to be read.
constexpr int removalWaitMs = 500;

} // namespace

void RegistryEdits::addByHand(const QString &address)
{
    Machines &registry = m_devices.registry();
    registry.addMachine(Machine::deviceSlots);
    m_devices.setSelectedRow(0);
    registry.setConnectAddressText(address);
    registry.setScanAddressText(address);
    registry.setTypeText(QStringLiteral("Tavik"));
    m_devices.bindDevices();
}

void RegistryEdits::addFactoryDefault()
{
    Machines &registry = m_devices.registry();
    registry.addMachine(Machine::deviceSlots);
    registry.setCurrent(0);
    registry.setScanAddressText(QStringLiteral("169.254.88.88"));
    registry.setConnectAddressText(QStringLiteral("169.254.88.88"));
    registry.setPortText(QStringLiteral("8888"));
    registry.setName(QStringLiteral("--"));
    registry.setTypeText(QStringLiteral("Tavik"));
    m_devices.bindDevices();
}

bool RegistryEdits::setAddress(const QString &text)
{
    Machines &registry = m_devices.registry();
    if (!m_devices.moveCursorToSelected() || !registry.setConnectAddressText(text))
        return false;
    if (Tavik *tavik = m_devices.selectedController())
        tavik->setTCPIP(registry.connectAddressText(), Link::defaultPort);
    return true;
}

void RegistryEdits::endRunOfRemoved(int index)
{
    if (!m_devices.bound(index))
        return;
    const int slot = m_devices.registry().records().at(index).slot;
    m_devices.sequencer(slot).stop(QLatin1String(removedReason));
    // Off air now: the record goes, and with it the connection a stop sent
    // from the next tick would need; closed with replies unread, the
    // connection may be reset before the device has read the stop.
    Tavik &tavik = m_devices.controller(slot);
    if (tavik.stopNow(removalWaitMs))
        tavik.awaitStopRead(QDeadlineTimer(removalWaitMs));
    // The run's end goes into the record's log before the record goes.
    m_devices.drain(slot);
}

void RegistryEdits::pickAfterRemoval(int rowBefore)
{
    m_devices.bindDevices();
    const int left = m_devices.registry().count();
    if (m_devices.selectedRow() < 0 && left > 0)
        m_devices.setSelectedRow(qBound(0, rowBefore, left - 1));
}

void RegistryEdits::removeSelected()
{
    Machines &registry = m_devices.registry();
    const int rowBefore = m_devices.selectedRow();
    if (m_devices.moveCursorToSelected()) {
        endRunOfRemoved(registry.current());
        registry.removeCurrent();
    }
    pickAfterRemoval(rowBefore);
}

void RegistryEdits::removeUnresponsive(const QDateTime &now)
{
    Machines &registry = m_devices.registry();
    const int rowBefore = m_devices.selectedRow();
    registry.setFilter(QString());
    registry.first();
    const int atStart = registry.count();
    for (int visited = 0; visited < atStart && registry.hasCurrent(); ++visited) {
        if (registry.responsive(now)) {
            registry.setCurrent(registry.current() + 1);
        } else {
            endRunOfRemoved(registry.current());
            registry.removeRecordAt(registry.current());
        }
    }
    registry.setCurrent(0);
    pickAfterRemoval(rowBefore);
}

void RegistryEdits::removeAll()
{
    Machines &registry = m_devices.registry();
    registry.first();
    while (registry.count() > 0) {
        endRunOfRemoved(registry.current());
        registry.removeCurrent();
    }
    pickAfterRemoval(0);
}

bool RegistryEdits::moveSelected(int step)
{
    const int row = m_devices.selectedRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= m_devices.registry().count())
        return false;
    // The pick follows its record, so nothing else changes.
    m_devices.registry().swapRecords(row, other);
    return true;
}
