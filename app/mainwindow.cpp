#include "app/mainwindow.h"

#include "app/aboutdialog.h"
#include "app/infobar.h"
#include "app/noticepopup.h"
#include "ui_mainwindow.h"

#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    Q_INIT_RESOURCE(resources);

    ui->setupUi(this);
    m_infoBar = new InfoBar(this);
    m_notice = new NoticePopup(this);
    ui->MainPage->setCurrentIndex(TabClientSelection);
    m_currentTab = TabClientSelection;

    m_settings.init(QStringLiteral("settings.dat"));
    applyGeometry(m_settings.readSettings());

    setWindowModality(Qt::ApplicationModal);
    m_about = new AboutDialog(this);
    m_about->setWindowModality(Qt::WindowModal);

    connect(&m_uiTimer, &QTimer::timeout, this, &MainWindow::uiTick);
    m_uiTimer.start(uiTickMs);

    m_nextDeviceTableRefresh = QDateTime::currentDateTime().addSecs(10);
    connect(&m_deviceTimer, &QTimer::timeout, this, &MainWindow::deviceTick);
    m_deviceTimer.start(deviceTickMs);

    setProgramTabTitle(QString());
    ui->MainPage->setStyleSheet(QStringLiteral("QTabBar::tab { height: 40px; }"));
    m_infoBar->show();
    m_infoBar->placeAtBottom();
    m_routing = true;
}

MainWindow::~MainWindow()
{
    m_uiTimer.stop();
    m_deviceTimer.stop();
    leaveTab(m_currentTab);
    m_settings.setGeometry(saveGeometry());
    m_settings.saveSettings();
    m_pages = {};
    delete ui;
}

void MainWindow::applyGeometry(bool settingsRead)
{
    if (!settingsRead)
        return;  // first start: the toolkit's default size and place
    if (!m_settings.geometry().isEmpty()) {
        restoreGeometry(m_settings.geometry());
        return;
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize available = screen->availableSize();
    resize(available.width() / 3, available.height() / 2);
    move((available.width() - width()) / 2, (available.height() - height()) / 2);
}

TabPage *MainWindow::page(int index) const
{
    return index >= 0 && index < TabCount ? m_pages[size_t(index)].get() : nullptr;
}

void MainWindow::uiTick()
{
    m_uiTimer.stop();
    m_notice->tick();
    if (TabPage *shown = page(m_currentTab))
        shown->refresh();
    if (m_currentTab == TabTavik)
        refreshDeviceTableIfDue();
    m_uiTimer.start(uiTickMs);
}

void MainWindow::refreshDeviceTableIfDue()
{
    const QDateTime now = QDateTime::currentDateTime();
    if (now > m_nextDeviceTableRefresh) {
        m_nextDeviceTableRefresh = now.addSecs(10);
        m_deviceTableDirty = false;
    } else if (m_deviceTableDirty) {
        m_deviceTableDirty = false;
    }
}

void MainWindow::deviceTick()
{
}

void MainWindow::on_MainPage_currentChanged(int index)
{
    if (!m_routing) {
        m_currentTab = index;
        return;
    }
    leaveTab(m_currentTab);
    qDebug() << "new tab" << index;
    m_currentTab = index;
    enterTab(index);
}

void MainWindow::leaveTab(int index)
{
    qDebug() << "tab close" << index;
    if (TabPage *old = page(index))
        old->leave();
}

void MainWindow::enterTab(int index)
{
    if (TabPage *shown = page(index))
        shown->enter();
}

void MainWindow::on_pushButton_about_clicked()
{
    m_about->show();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_uiTimer.stop();
    m_uiTimer.start(uiTickMs);
    if (m_infoBar)
        m_infoBar->placeAtBottom();
}

void MainWindow::showNotice(const QString &text)
{
    if (!m_notice)
        return;
    m_notice->showNotice(text, QCursor::pos() - pos());
}

void MainWindow::setProgramTabTitle(const QString &text)
{
    ui->MainPage->setTabText(TabProgram, QStringLiteral("Program\n") + text);
}

void MainWindow::setProgramTabTitle(const QString &name, int version)
{
    setProgramTabTitle(name.isEmpty() ? QString()
                                      : name + QStringLiteral(".v.") + QString::number(version));
}

void MainWindow::setClientTabTitle(const QString &name)
{
    ui->MainPage->setTabText(TabClient, QStringLiteral("Client\n") + name);
}

void MainWindow::setWorkTabTitle(const QString &deviceName)
{
    ui->MainPage->setTabText(TabWork, deviceName.isEmpty() ? QStringLiteral("Work")
                                                           : QStringLiteral("Work\n") + deviceName);
}
