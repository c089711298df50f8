#include "editors/devicetablemodel.h"

#include "device/tavik.h"
#include "work/deviceslots.h"

DeviceTableModel::DeviceTableModel(DeviceSlots &devices, QObject *parent)
    : QAbstractTableModel(parent), m_devices(devices)
{
}

int DeviceTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DeviceTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole)
        return row.text.at(size_t(index.column()));
    if (role == Qt::ToolTipRole && !row.toolTip.at(size_t(index.column())).isEmpty())
        return row.toolTip.at(size_t(index.column()));
    return {};
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[ColumnCount] = {"Name", "Type", "Serial No.", "IP", "Status", "Auto",
                                                     "Last contact"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(titles[section]);
}

QString DeviceTableModel::status(const Machine &machine) const
{
    const Machine::Availability availability = machine.availability();
    QString status = Machine::availabilityWord(availability);
    if (!machine.hasDeviceSlot())
        return status + QStringLiteral(" (no device slot)");
    const Tavik &tavik = m_devices.controller(machine.slot);
    if (tavik.activity() == Tavik::Activity::Disconnected && tavik.pingReachable()
        && availability != Machine::Availability::Occupied && availability != Machine::Availability::Starting)
        status = QStringLiteral("Ping OK");
    if (tavik.isLinkUp())
        status = tavik.stateText();
    return status;
}

DeviceTableModel::Row DeviceTableModel::readRow(int row) const
{
    const Machines &registry = m_devices.registry();
    const Machine &machine = registry.records().at(row);
    Row read;
    read.text[ColumnStatus] = status(machine);
    read.key = registry.keyAt(row);
    read.text[ColumnName] = machine.name;
    read.toolTip[ColumnName] = QStringLiteral(
        "Device nickname for easier orientation where it is located,\n for example box 1, room2,...\n"
        "If only one device is connected, leave it blank.");
    read.text[ColumnType] = Machines::typeTextOf(machine);
    read.text[ColumnSerial] = machine.serialNumber;
    read.toolTip[ColumnSerial] =
        QStringLiteral("The device serial number is located on the product label,\n on the back of the device.");
    read.text[ColumnAddress] = Machines::connectAddressTextOf(machine);
    read.toolTip[ColumnAddress] = QStringLiteral("IP: connecting address\nScan IP:") + Machines::scanAddressTextOf(machine)
        + QStringLiteral("\nMaster PC:") + Machines::masterAddressTextOf(machine);
    read.toolTip[ColumnStatus] = QStringLiteral("Device status");
    read.text[ColumnAuto] = Machines::autoconnectTextOf(machine);
    read.toolTip[ColumnAuto] = QStringLiteral("Automatic device connection.");
    read.text[ColumnLastContact] = Machines::lastContactTextOf(machine);
    read.toolTip[ColumnLastContact] = QStringLiteral("The time when the device showed activity on the network.");
    return read;
}

void DeviceTableModel::refresh()
{
    // The registry's whole list, read only: a search set on it and its
    // current record stay as they are.
    const Machines &registry = m_devices.registry();
    QList<Row> rows;
    for (int row = 0; row < registry.count(); ++row)
        rows.append(readRow(row));
    bool sameRecords = rows.size() == m_rows.size();
    for (int row = 0; sameRecords && row < rows.size(); ++row)
        sameRecords = rows.at(row).key == m_rows.at(row).key;
    if (!sameRecords) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    } else {
        for (int row = 0; row < rows.size(); ++row) {
            if (rows.at(row) == m_rows.at(row))
                continue;
            m_rows[row] = rows.at(row);
            Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        }
    }
}
