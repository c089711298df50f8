#pragma once

#include "ui/tabpage.h"
#include "work/runrules.h"

#include <QObject>

class DeviceSlots;
class Library;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;
class WorkList;
class WorkTableModel;

// The Work tab: the selected device's work list, its progress while the
// sequencer runs, and Start and Stop.
class WorkTab : public QObject, public TabPage
{
    Q_OBJECT

public:
    WorkTab(QWidget *page, DeviceSlots &devices, Library &library, QObject *parent = nullptr);

    void enter() override { fillWorkTable(); }
    void leave() override;
    void refresh() override { refreshWorkTab(); }

    void fillWorkTable();
    void refreshWorkTab();

Q_SIGNALS:
    void noticeRequested(const QString &text);

public Q_SLOTS:
    void on_pushButton_work_start_clicked();
    void on_pushButton_work_stop_clicked();
    void on_tableWidget_work_itemSelectionChanged();

private:
    void buildWidgets(QWidget *page);
    void clearLabels();

    DeviceSlots &m_devices;
    Library &m_library;
    QLabel *m_client = nullptr;
    int m_selectedRow = 0;
    quint64 m_shownInstance = 0;  // the record whose list the table shows
    bool m_cutShown = false;      // the last run's cut-short is on screen

    QLabel *m_pool = nullptr;
    QLabel *m_programName = nullptr;
    QLabel *m_programNotes = nullptr;
    QLabel *m_totalTime = nullptr;
    QLabel *m_remainingTime = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QTableView *m_table = nullptr;
    WorkTableModel *m_model = nullptr;
};
