#include "app/windowcommands.h"

#include "app/aboutdialog.h"
#include "app/infobar.h"
#include "app/manualwindow.h"
#include "app/noticelog.h"
#include "app/noticepopup.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabBar>

namespace {

QAction *command(QMainWindow *window, const QString &name, const QString &text, const QKeySequence &keys,
                 const QString &tip)
{
    auto *action = new QAction(text, window);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setStatusTip(tip);
    action->setToolTip(keys.isEmpty() ? tip : QStringLiteral("%1 (%2)").arg(tip, keys.toString(QKeySequence::NativeText)));
    window->addAction(action);
    return action;
}

} // namespace

WindowCommands::WindowCommands(QMainWindow *window, NoticePopup *notice, AboutDialog *about, InfoBar *infoBar,
                               QTabBar *tabs)
    : QObject(window), m_window(window), m_notice(notice)
{
    m_help = command(window, QStringLiteral("action_help"), tr("Help"), QKeySequence::HelpContents,
                     tr("Open the manual"));
    m_notices = command(window, QStringLiteral("action_notices"), tr("Notices"),
                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), tr("Read the last notices again"));
    m_about = command(window, QStringLiteral("action_about"), tr("About TavikStudio"), QKeySequence(),
                      tr("Show the version and the source revision"));
    connect(m_help, &QAction::triggered, this, &WindowCommands::showManual);
    connect(m_notices, &QAction::triggered, this, &WindowCommands::showNotices);
    connect(m_about, &QAction::triggered, about, &QWidget::show);

    const QList<QAction *> all {m_help, m_notices, m_about};
    infoBar->addCommands(m_notices, m_help);
    for (QWidget *offering : {static_cast<QWidget *>(infoBar), static_cast<QWidget *>(tabs)}) {
        offering->addActions(all);
        offering->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    // The info bar lies over the status bar: a status tip is shown there.
    connect(window->statusBar(), &QStatusBar::messageChanged, infoBar, &InfoBar::setTip);
}

void WindowCommands::showManual()
{
    if (!m_manual)
        m_manual = new ManualWindow(m_window);
    m_manual->show();
    m_manual->raise();
    m_manual->activateWindow();
}

void WindowCommands::showNotices()
{
    if (!m_log)
        m_log = new NoticeLog(*m_notice, m_window);
    m_log->fill();
    m_log->show();
    m_log->raise();
    m_log->activateWindow();
}
