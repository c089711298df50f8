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

QString DeviceTableModel::status(int row)
{
    Machines &registry = m_devices.registry();
    registry.setCurrent(row);
    if (!registry.hasCurrent())
        return QString();
    const Machine::Availability availability = registry.currentRecord()->availability();
    QString status = Machine::availabilityWord(availability);
    if (!registry.hasDeviceSlot())
        return status + QStringLiteral(" (no device slot)");
    const Tavik &tavik = m_devices.controller(registry.slot());
    if (tavik.activity() == Tavik::Activity::Disconnected && tavik.pingReachable()
        && availability != Machine::Availability::Occupied && availability != Machine::Availability::Starting)
        status = QStringLiteral("Ping OK");
    if (tavik.isLinkUp())
        status = tavik.stateText();
    return status;
}

DeviceTableModel::Row DeviceTableModel::readRow(int row)
{
    Machines &registry = m_devices.registry();
    Row read;
    read.text[ColumnStatus] = status(row);  // makes the record current
    read.key = registry.keyAt(row);
    read.text[ColumnName] = registry.name();
    read.toolTip[ColumnName] = QStringLiteral(
        "Device nickname for easier orientation where it is located,\n for example box 1, room2,...\n"
        "If only one device is connected, leave it blank.");
    read.text[ColumnType] = registry.typeText();
    read.text[ColumnSerial] = registry.serialNumber();
    read.toolTip[ColumnSerial] =
        QStringLiteral("The device serial number is located on the product label,\n on the back of the device.");
    read.text[ColumnAddress] = registry.connectAddressText();
    read.toolTip[ColumnAddress] = QStringLiteral("IP: connecting address\nScan IP:") + registry.scanAddressText()
        + QStringLiteral("\nMaster PC:") + registry.masterAddressText();
    read.toolTip[ColumnStatus] = QStringLiteral("Device status");
    read.text[ColumnAuto] = registry.autoconnectText();
    read.toolTip[ColumnAuto] = QStringLiteral("Automatic device connection.");
    read.text[ColumnLastContact] = registry.lastContactText();
    read.toolTip[ColumnLastContact] = QStringLiteral("The time when the device showed activity on the network.");
    return read;
}

void DeviceTableModel::refresh()
{
    Machines &registry = m_devices.registry();
    const int remembered = registry.current();
    registry.setFilter(QString());
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
    if (registry.count() > 0)
        registry.setCurrent(qBound(0, remembered, registry.count() - 1));
}
