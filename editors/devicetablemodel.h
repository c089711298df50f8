#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <array>

class DeviceSlots;
struct Machine;

// The registry as the devices table shows it: one row per record, its
// name, type, serial number, address, status, automatic connection and last
// contact. refresh() reads the records and the controllers again and tells
// the view only about the rows whose texts changed, so that a status poll
// repaints a cell, not the table.
class DeviceTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColumnName, ColumnType, ColumnSerial, ColumnAddress, ColumnStatus, ColumnAuto, ColumnLastContact,
                  ColumnCount };

    explicit DeviceTableModel(DeviceSlots &devices, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Reads the registry again: the whole table anew when its records are
    // not the ones shown, otherwise a dataChanged for each row that changed.
    void refresh();

private:
    struct Row
    {
        quint64 key = 0;
        std::array<QString, ColumnCount> text;
        std::array<QString, ColumnCount> toolTip;
        bool operator==(const Row &other) const
        {
            return key == other.key && text == other.text && toolTip == other.toolTip;
        }
    };
    Row readRow(int row) const;
    QString status(const Machine &machine) const;

    DeviceSlots &m_devices;
    QList<Row> m_rows;
};
