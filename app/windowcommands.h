#pragma once

#include <QObject>

class AboutDialog;
class InfoBar;
class ManualWindow;
class NoticeLog;
class NoticePopup;
class QAction;
class QMainWindow;
class QTabBar;

// The window's own commands: the manual, the notices shown so far, About.
// Each is an action with its key and a status tip, so that it can be found
// and a screen reader can name it; the info bar shows them, and the info
// bar and the tab bar offer them on a right click.
class WindowCommands : public QObject
{
    Q_OBJECT
public:
    WindowCommands(QMainWindow *window, NoticePopup *notice, AboutDialog *about, InfoBar *infoBar, QTabBar *tabs);

    QAction *help() const { return m_help; }
    QAction *notices() const { return m_notices; }
    QAction *about() const { return m_about; }

    void showManual();
    void showNotices();

private:
    QMainWindow *m_window;
    NoticePopup *m_notice;
    QAction *m_help;
    QAction *m_notices;
    QAction *m_about;
    ManualWindow *m_manual = nullptr;
    NoticeLog *m_log = nullptr;
};
