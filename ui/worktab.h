#pragma once

#include "ui/tabpage.h"
#include "work/runrules.h"

#include <QObject>

class DeviceSlots;
class ElidedLabel;
class Library;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;
class Sequencer;
class RunRecorder;
class Settings;
class QSpinBox;
class WorkList;
class WorkTableModel;

// The Work tab: the selected device's work list, its progress while the
// sequencer runs, and Start and Stop.
class WorkTab : public QObject, public TabPage
{
    Q_OBJECT

public:
    WorkTab(QWidget *page, DeviceSlots &devices, RunRecorder &runs, Library &library, Settings &settings,
            QObject *parent = nullptr);

    void enter() override;
    void leave() override;
    void refresh() override { refreshWorkTab(); }

    void fillWorkTable();
    void refreshWorkTab();

Q_SIGNALS:
    void noticeRequested(const QString &text);

public Q_SLOTS:
    void on_pushButton_work_start_clicked();
    void on_pushButton_work_stop_clicked();
    // Pause while the run warms up or is on air; Resume while it is paused.
    void on_pushButton_work_pause_clicked();
    // The last run, cut short, goes on from the line it was cut in.
    void on_pushButton_work_resumeFrom_clicked();
    // Every device's run, not only the selected one's.
    void stopEveryDevice();
    void on_tableWidget_work_itemSelectionChanged();

private:
    void buildWidgets(QWidget *page);
    void clearLabels();
    void showRunning();
    // After Start or Resume from line N: running, or why not.
    void showStarted(RunRules::Outcome outcome, const QString &notice);
    // Pause, or Resume while paused, and what a pause says.
    void showPause(const Sequencer &sequencer);
    // The last run's bars and its end, when the list shown is the list it ran.
    void showLastRun();
    void showRunControls();

    DeviceSlots &m_devices;
    RunRecorder &m_runs;
    Library &m_library;
    Settings &m_settings;
    bool m_pauseShown = false;  // the message says the run is paused
    int m_selectedRow = 0;
    quint64 m_shownKey = 0;       // the record whose list the table shows
    bool m_lastRunShown = false;  // the last run's end is on screen
    int m_shownRevision = -1;     // what was known of it then

    ElidedLabel *m_pool = nullptr;
    ElidedLabel *m_programName = nullptr;
    ElidedLabel *m_programNotes = nullptr;
    ElidedLabel *m_client = nullptr;  // whose history a run goes to
    ElidedLabel *m_totalTime = nullptr;
    ElidedLabel *m_remainingTime = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_resumeFrom = nullptr;
    QSpinBox *m_pauseLimit = nullptr;
    QTableView *m_table = nullptr;
    WorkTableModel *m_model = nullptr;
};
