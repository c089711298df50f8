#pragma once

#include "data/settings.h"
#include "ui/tabpage.h"
#include "data/library.h"
#include "discovery/broadcastudp.h"
#include "work/deviceslots.h"
#include "work/devicetick.h"
#include "editors/libraryeditors.h"
#include "data/worklist.h"

#include <QFont>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

namespace Ui { class MainWindow; }
class AboutDialog;
class ClientSelectionTab;
class ClientTab;
class DevicesTab;
class DialogNotes;
class InfoProgramName;
class LibrarySession;
class PresetSelectionTab;
class ProgramSelectionTab;
class InfoBar;
class NoticePopup;
class ToolsTab;
class PresetTab;
class LibraryWiring;
class ProgramTab;
class WorkTab;

// Owns every long-lived object, the two timers that drive the program, and
// the routing between tabs. What a tab does lives in that tab's page class.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum Tab {
        TabClientSelection = 0,
        TabClient,
        TabProgramSelection,
        TabProgram,
        TabPresetSelection,
        TabPreset,
        TabWork,
        TabTavik,
        TabTools,
        TabCount
    };

    static constexpr int uiTickMs = 250;
    static constexpr int deviceTickMs = 25;
    // The widest a tab caption line grows, in pixels.
    static constexpr int tabCaptionWidth = 180;
    // What a window manager's frame may add around the window, at most.
    static constexpr int frameAllowance = 8;
    static constexpr int titleAllowance = 32;
    // How long an ending program waits for a restore to finish its files.
    static constexpr int restoreWaitMs = 30000;
    // How long an ending program waits for the stores written beside it.
    static constexpr int writeWaitMs = 30000;

    // The font the program sets for itself; tests measure the window in it.
    static QFont applicationFont();

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void showNotice(const QString &text);
    void setProgramTabTitle(const QString &text);
    void setProgramTabTitle(const QString &name, int version);
    void setTabCaption(int index, const QString &caption);
    void setWorkTabTitle(const QString &deviceName);
    // With two or more devices the title names the device picked; once it
    // names one it follows the pick, renames and removals whatever the
    // count, so that it never names a device gone or renamed.
    void followWorkDevice(const QString &deviceName, int deviceCount);

    // One run of each timer's work; the timers call these, tests may too.
    void uiTick();
    void deviceTick();
    // Tests that drive the ticks themselves stop the timers first; the
    // pools are then put in place at once.
    void stopTimers();

    // Asked when the window is closed while a run goes on: true stops the
    // runs and quits, false stays. A question box by default; tests answer
    // it themselves.
    void setQuitQuestion(std::function<bool()> question) { m_quitQuestion = std::move(question); }
    // Asked before an edit an editor refused is let go (another record
    // opened, the window closed): true discards it.
    void setDiscardQuestion(std::function<bool(const QString &)> question);
    // Stops every device that may be on air, at once and without asking:
    // for a termination signal, a session logout and the program's end.
    void stopAllDevices();

public Q_SLOTS:
    // A termination signal or a logout: the runs are stopped, not asked about.
    void closeForSignal();
    // A session ends (logout, shutdown): the runs are stopped and the edits
    // the editors refused kept for the next start, with nobody asked; the
    // program runs on should the session stay.
    void endOfSession();
    void bindDevices() { m_devices.bindDevices(); }
    // Takes the last delete, move or stored edit back (Ctrl+Z), or makes
    // the last one taken back again (Ctrl+Shift+Z).
    void undoStep();
    void redoStep();

    Settings &settings() { return m_settings; }
    Library &library() { return m_library; }
    DeviceSlots &devices() { return m_devices; }
    DeviceTick &deviceWork() { return m_deviceTick; }
    LibrarySession &session() { return *m_session; }
    WorkTab *workTab() const { return m_workTab; }
    LibraryEditors &editors() { return m_editors; }
    DevicesTab *devicesTab() const { return m_devicesTab; }
    ToolsTab *toolsTab() const { return m_toolsTab; }
    int currentTab() const { return m_currentTab; }
    NoticePopup *notice() const { return m_notice; }
    InfoBar *infoBar() const { return m_infoBar; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    void on_MainPage_currentChanged(int index);

private:
    void applyGeometry(bool settingsRead);
    void fitInto(const QRect &available);
    void leaveTab(int index);
    void enterTab(int index);
    TabPage *page(int index) const;
    void createPages();
    void createLibraryPages();
    void createEditorPages();
    void addStopShortcuts();
    void tabIntoCheckedRadioButtons();
    void addUndo();
    bool commitShownEditor();
    void showStep(bool done, bool shownLeft, const QString &text, const QString &why, bool undo);
    void addFocusSteps();
    void focusField(const QString &objectName);
    void showTab(int index);
    void loadDevices();
    void showDeviceStatus();
    // Damaged files found since the last tick (at start-up or on changing
    // client), and the restore that restarted the program, in one notice.
    void showKeptAside();
    // The restore's word, the files kept aside or changed elsewhere and the
    // failed writes not yet shown, each taken once.
    QStringList takeUntold();
    void offerUnstored();
    void followUnstored();

    Settings m_settings;
    Library m_library;
    WorkList m_work;
    BroadcastUDP m_listener;
    DeviceSlots m_devices;
    DeviceTick m_deviceTick {m_listener, m_devices, m_library};
    LibraryEditors m_editors {m_library};
    Ui::MainWindow *ui = nullptr;
    InfoBar *m_infoBar = nullptr;
    NoticePopup *m_notice = nullptr;
    AboutDialog *m_about = nullptr;
    DialogNotes *m_notesDialog = nullptr;
    InfoProgramName *m_infoProgramName = nullptr;
    std::unique_ptr<LibrarySession> m_session;
    std::array<std::unique_ptr<TabPage>, TabCount> m_pages;
    std::array<QWidget *, TabCount> m_contents {};
    ClientSelectionTab *m_clientSelectionTab = nullptr;
    ClientTab *m_clientTab = nullptr;
    ProgramSelectionTab *m_programSelectionTab = nullptr;
    PresetSelectionTab *m_presetSelectionTab = nullptr;
    WorkTab *m_workTab = nullptr;
    DevicesTab *m_devicesTab = nullptr;
    ToolsTab *m_toolsTab = nullptr;
    PresetTab *m_presetTab = nullptr;
    ProgramTab *m_programTab = nullptr;
    LibraryWiring *m_wiring = nullptr;
    QTimer m_uiTimer;
    QTimer m_deviceTimer;

    std::function<bool()> m_quitQuestion;
    bool m_closingForSignal = false;
    bool m_workTitleNamed = false;
    int m_currentTab = 0;
    bool m_uiTimerStopped = false;
    // What the restore that restarted the program left word of, until shown.
    // Lines for the operator's next notice, from the end before this start.
    QStringList m_untold;
    // The refused edits unstored.dat keeps, each until its editor lets go of it.
    QList<UnstoredEdit> m_unstored;
    // What the operator is told of them at the first tick.
    QStringList m_offered;
    // The word of a restore, kept in its file until shown.
    QString m_restored;
    // Tab changes made while the form is being built must not leave (and so
    // save) tabs whose stores have not been read yet.
    bool m_routing = false;
};
