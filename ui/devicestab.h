#pragma once

#include "ui/tabpage.h"
#include "data/logs.h"

#include <QDateTime>
#include <QObject>

#include <functional>

class DeviceSlots;
class DeviceTableModel;
class QTableView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;
class RegistryEdits;

// The "Tavik" tab: the registry of devices, their connection setup, and the
// selected device's log.
class DevicesTab : public QObject, public TabPage
{
    Q_OBJECT

public:
    static constexpr int rebuildSeconds = 10;

    DevicesTab(QWidget *page, DeviceSlots &devices, RegistryEdits &edits, QObject *parent = nullptr);

    void enter() override;
    void leave() override { showSelectedDevice(); }
    void refresh() override;

    // Rebuilds are asked for from the 25 ms tick but done only on the UI
    // tick, at most every 250 ms, and every 10 s regardless.
    void markDirty() { m_dirty = true; }

    // Asked, with the devices' names, before records leave the list that
    // hold a work list or a log, or whose device runs its work list: true
    // removes them (and stops their runs). A question box by default;
    // tests answer it themselves.
    void setRemoveQuestion(std::function<bool(const QString &)> question) { m_removeQuestion = std::move(question); }

    void redrawDeviceTable();
    void redrawDeviceLog();
    void refreshDeviceTab();
    void showSelectedDevice();

Q_SIGNALS:
    // The device the fields show (its name, empty for none) and how many
    // the registry holds: the Work tab's title follows it.
    void workTitleChanged(const QString &deviceName, int deviceCount);
    void noticeRequested(const QString &text);

public Q_SLOTS:
    void on_pushButton_addMachine_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_machinesFluschTable_clicked();
    void on_pushButton_machinesDelUnresposive_clicked();
    void on_pushButton_workMoveUp_clicked();
    void on_pushButton_workMoveDown_clicked();
    void on_pushButton_workDelete_clicked();
    void on_tableWidget_machinesSelection_itemSelectionChanged();
    void on_lineEdit_workMachineName_textChanged(const QString &text);
    void on_pushButton_copyNetIP_clicked();
    void on_lineEdit_MachineDirectIP_editingFinished();
    void on_pushButton_tavikAuto_clicked();
    void on_pushButton_machine_connect_clicked();
    void on_pushButton_machine_disconnect_clicked();

private:
    void buildWidgets(QWidget *page);
    void connectWidgets();
    void devicesRemoved();
    // False when a record to go (every record, the picked one, or the
    // unresponsive ones) holds what would be lost, and the operator keeps it.
    enum class Which { All, Picked, Unresponsive };
    bool mayRemove(Which which);

    DeviceSlots &m_devices;
    RegistryEdits &m_edits;
    DeviceTableModel *m_model = nullptr;
    quint64 m_logKey = 0;             // the record whose log is shown
    quint64 m_fieldsKey = 0;          // the record whose fields are shown
    LogEntry m_logNewest;             // the newest entry shown
    bool m_tableFilling = false;
    bool m_fieldsFilling = false;
    bool m_dirty = false;
    QDateTime m_nextRebuild;
    std::function<bool(const QString &)> m_removeQuestion;

    QGroupBox *m_listGroup = nullptr;
    QTableView *m_table = nullptr;
    QTableWidget *m_log = nullptr;
    QLineEdit *m_manualAddress = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_directAddress = nullptr;
    QLabel *m_serial = nullptr;
    QLabel *m_netAddress = nullptr;
    QPushButton *m_moveUp = nullptr;
    QPushButton *m_moveDown = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_addDirect = nullptr;
    QPushButton *m_flush = nullptr;
    QPushButton *m_delUnresponsive = nullptr;
    QPushButton *m_copyNetAddress = nullptr;
    QPushButton *m_auto = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_disconnect = nullptr;
};
