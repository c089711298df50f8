#include "ui/devicestab.h"

#include "data/textforms.h"
#include "ui/columnwidths.h"

#include "device/tavik.h"
#include "work/deviceslots.h"
#include "work/registryedits.h"
#include "editors/devicetablemodel.h"
#include "ui/celltips.h"
#include "ui/checkboxdelegate.h"
#include "ui/listkeys.h"
#include "ui/stopkeys.h"
#include "work/sequencer.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>

namespace {

QPushButton *button(QWidget *parent, QBoxLayout *row, const QString &text, const char *objectName,
                    const QString &toolTip)
{
    auto *result = new QPushButton(text, parent);
    result->setObjectName(QLatin1String(objectName));
    result->setToolTip(toolTip);
    row->addWidget(result);
    return result;
}

QTableWidgetItem *item(const QString &text, const QString &toolTip = QString())
{
    auto *result = new QTableWidgetItem(text);
    result->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (!toolTip.isEmpty())
        result->setToolTip(toolTip);
    return result;
}

constexpr int rowHeight = 25;

// A time in the form shown, at its widest digits, with the cell's margins.
int timeWidth(const QWidget *view, const char *pattern)
{
    const QString widest = QString::fromLatin1(pattern).replace(QRegularExpression(QStringLiteral("[dMyhmsz]")),
                                                                QStringLiteral("0"));
    return view->fontMetrics().horizontalAdvance(widest) + 16;
}

// Said in the empty device list: how a device gets there.
class EmptyListHint : public QLabel
{
public:
    EmptyListHint(QTableView *view) : QLabel(view->viewport()), m_view(view)
    {
        setObjectName(QStringLiteral("label_machinesSelection_empty"));
        setText(QObject::tr("No device yet. A Tavik on this network shows here by itself within a few seconds "
                            "of announcing itself; to try the program without one, start the simulated device, "
                            "tavik-sim.\nA device that does not announce itself: type its IPv4 address in the "
                            "IP: field above and press Add."));
        setWordWrap(true);
        setAlignment(Qt::AlignCenter);
        setForegroundRole(QPalette::Text);
        view->viewport()->installEventFilter(this);
        const auto follow = [this] { setVisible(m_view->model()->rowCount() == 0); };
        connect(view->model(), &QAbstractItemModel::modelReset, this, follow);
        connect(view->model(), &QAbstractItemModel::rowsInserted, this, follow);
        connect(view->model(), &QAbstractItemModel::rowsRemoved, this, follow);
        follow();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            setGeometry(static_cast<QWidget *>(watched)->rect().adjusted(8, 4, -8, -4));
        return QLabel::eventFilter(watched, event);
    }

private:
    QTableView *m_view;
};

} // namespace

DevicesTab::DevicesTab(QWidget *page, DeviceSlots &devices, RegistryEdits &edits, QObject *parent)
    : QObject(parent), m_devices(devices), m_edits(edits), m_nextRebuild(QDateTime::currentDateTime().addSecs(rebuildSeconds))
{
    buildWidgets(page);
    connectWidgets();
}

void DevicesTab::buildWidgets(QWidget *page)
{
    QLayout *pageLayout = page->layout();
    if (!pageLayout)
        pageLayout = new QVBoxLayout(page);

    m_listGroup = new QGroupBox(QStringLiteral("Device list"), page);
    auto *listLayout = new QVBoxLayout(m_listGroup);
    auto *top = new QHBoxLayout;
    m_moveUp = button(m_listGroup, top, QStringLiteral("Move &up"), "pushButton_workMoveUp",
        tr("Move the selected device up the list"));
    m_moveDown = button(m_listGroup, top, QStringLiteral("Move D&own"), "pushButton_workMoveDown",
        tr("Move the selected device down the list"));
    m_delete = button(m_listGroup, top, QStringLiteral("&Delete"), "pushButton_workDelete",
        tr("Remove the selected device from the list, with its work list and log"));
    top->addWidget(new QLabel(QStringLiteral("IP:"), m_listGroup));
    m_manualAddress = new QLineEdit(m_listGroup);
    m_manualAddress->setObjectName(QStringLiteral("lineEdit_manulaIP"));
    m_manualAddress->setAccessibleName(tr("IP address of a device to add"));
    m_manualAddress->setToolTip(tr("The IPv4 address of a device that does not announce itself, for Add"));
    top->addWidget(m_manualAddress);
    m_add = button(m_listGroup, top, QStringLiteral("&Add"), "pushButton_addMachine",
        tr("Add a device at the address typed beside"));
    top->addStretch();
    m_addDirect = button(m_listGroup, top, QStringLiteral("Add D&irect IP"), "pushButton_3",
        tr("Add a device at the factory address 169.254.88.88"));
    m_flush = button(m_listGroup, top, QStringLiteral("&Fluch table"), "pushButton_machinesFluschTable",
        tr("Remove every device from the list, with their work lists and logs"));
    m_delUnresponsive = button(m_listGroup, top, QStringLiteral("Del U&nresponsive"), "pushButton_machinesDelUnresposive",
        tr("Remove the devices not heard from for 30 s"));
    listLayout->addLayout(top);

    m_model = new DeviceTableModel(m_devices, this);
    m_table = new QTableView(m_listGroup);
    m_table->setObjectName(QStringLiteral("tableWidget_machinesSelection"));
    m_table->setModel(m_model);
    m_table->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSortingEnabled(false);
    m_table->setItemDelegateForColumn(DeviceTableModel::ColumnAuto, new CheckBoxDelegate(m_table));
    new ColumnFit(m_table, [view = m_table](int width) {
        const int contact = qMax(170, timeWidth(view, "dd.MM.yyyy hh:mm:ss"));
        return QList<int> {qMax(width - 564 - contact, 100), 60, 90, 140, 150, 60, contact};
    });
    m_table->setWordWrap(false);
    CellTips::install(m_table);
    ListKeys::focusOnlyWhenFilled(m_table);
    new EmptyListHint(m_table);
    listLayout->addWidget(m_table);
    pageLayout->addWidget(m_listGroup);

    auto *setup = new QGroupBox(QStringLiteral("Device connection setup"), page);
    auto *row = new QHBoxLayout(setup);
    row->addWidget(new QLabel(QStringLiteral("Name:"), setup));
    m_name = new QLineEdit(setup);
    m_name->setObjectName(QStringLiteral("lineEdit_workMachineName"));
    m_name->setAccessibleName(tr("Device name"));
    row->addWidget(m_name);
    row->addWidget(new QLabel(QStringLiteral("No:"), setup));
    m_serial = new QLabel(setup);
    m_serial->setObjectName(QStringLiteral("label_workNetSerialNumber"));
    row->addWidget(m_serial);
    row->addWidget(new QLabel(QStringLiteral("Net ip:"), setup));
    m_netAddress = new QLabel(setup);
    m_netAddress->setObjectName(QStringLiteral("label_workNetIP"));
    row->addWidget(m_netAddress);
    m_copyNetAddress = button(setup, row, QStringLiteral(">"), "pushButton_copyNetIP",
        tr("Connect to the address the device announced itself from, not the one typed"));
    row->addWidget(new QLabel(QStringLiteral("IP:"), setup));
    m_directAddress = new QLineEdit(setup);
    m_directAddress->setObjectName(QStringLiteral("lineEdit_MachineDirectIP"));
    m_directAddress->setAccessibleName(tr("Device IP address"));
    row->addWidget(m_directAddress);
    m_auto = button(setup, row, QStringLiteral("Au&to"), "pushButton_tavikAuto",
        tr("Connect to the selected device by itself whenever it answers, or only when asked"));
    m_connect = button(setup, row, QStringLiteral("&Connect"), "pushButton_machine_connect",
        tr("Connect to the selected device"));
    m_disconnect = button(setup, row, QStringLiteral("Di&sconnect"), "pushButton_machine_disconnect",
        tr("Close the connection to the selected device"));
    pageLayout->addWidget(setup);

    auto *logGroup = new QGroupBox(QStringLiteral("Tavik Log"), page);
    auto *logLayout = new QVBoxLayout(logGroup);
    m_log = new QTableWidget(0, 2, logGroup);
    m_log->setObjectName(QStringLiteral("tableWidget_tavikLogs"));
    m_log->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Log")});
    new ColumnFit(m_log, [view = m_log](int width) {
        const int time = qMax(210, timeWidth(view, TextForm::logTimePattern));
        return QList<int> {time, qMax(0, width - time - 64)};
    });
    m_log->setWordWrap(false);
    CellTips::install(m_log);
    ListKeys::focusOnlyWhenFilled(m_log);
    logLayout->addWidget(m_log);
    pageLayout->addWidget(logGroup);
}

void DevicesTab::connectWidgets()
{
    ListKeys::addButton(m_table, m_connect);
    ListKeys::addButton(m_table, m_disconnect);
    ListKeys::addButton(m_table, m_auto);
    ListKeys::addSeparator(m_table);
    ListKeys::addButton(m_table, m_delete, QKeySequence::keyBindings(QKeySequence::Delete));
    ListKeys::addButton(m_table, m_moveUp, {QKeySequence(Qt::CTRL | Qt::Key_Up)});
    ListKeys::addButton(m_table, m_moveDown, {QKeySequence(Qt::CTRL | Qt::Key_Down)});
    connect(m_add, &QPushButton::clicked, this, &DevicesTab::on_pushButton_addMachine_clicked);
    connect(m_addDirect, &QPushButton::clicked, this, &DevicesTab::on_pushButton_3_clicked);
    connect(m_flush, &QPushButton::clicked, this, &DevicesTab::on_pushButton_machinesFluschTable_clicked);
    connect(m_delUnresponsive, &QPushButton::clicked, this, &DevicesTab::on_pushButton_machinesDelUnresposive_clicked);
    connect(m_moveUp, &QPushButton::clicked, this, &DevicesTab::on_pushButton_workMoveUp_clicked);
    connect(m_moveDown, &QPushButton::clicked, this, &DevicesTab::on_pushButton_workMoveDown_clicked);
    connect(m_delete, &QPushButton::clicked, this, &DevicesTab::on_pushButton_workDelete_clicked);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DevicesTab::on_tableWidget_machinesSelection_itemSelectionChanged);
    connect(m_name, &QLineEdit::textChanged, this, &DevicesTab::on_lineEdit_workMachineName_textChanged);
    connect(m_copyNetAddress, &QPushButton::clicked, this, &DevicesTab::on_pushButton_copyNetIP_clicked);
    connect(m_directAddress, &QLineEdit::editingFinished, this, &DevicesTab::on_lineEdit_MachineDirectIP_editingFinished);
    connect(m_auto, &QPushButton::clicked, this, &DevicesTab::on_pushButton_tavikAuto_clicked);
    connect(m_connect, &QPushButton::clicked, this, &DevicesTab::on_pushButton_machine_connect_clicked);
    connect(m_disconnect, &QPushButton::clicked, this, &DevicesTab::on_pushButton_machine_disconnect_clicked);
}

void DevicesTab::enter()
{
    showSelectedDevice();
    redrawDeviceTable();
}

void DevicesTab::refresh()
{
    refreshDeviceTab();
    const QDateTime now = QDateTime::currentDateTime();
    if (now > m_nextRebuild) {
        m_nextRebuild = now.addSecs(rebuildSeconds);
        m_dirty = false;
        redrawDeviceTable();
    } else if (m_dirty) {
        m_dirty = false;
        redrawDeviceTable();
    }
}

void DevicesTab::redrawDeviceTable()
{
    if (m_fieldsFilling)
        return;
    const quint64 remembered = m_devices.selectedKey();
    m_tableFilling = true;
    m_model->refresh();
    m_devices.selectKey(remembered);
    const int row = m_devices.selectedRow();
    if (row >= 0 && row < m_model->rowCount())
        m_table->selectRow(row);
    // A device added (or the pick moved) away from the table: the fields
    // show the device picked, not the one shown before.
    if (m_devices.selectedKey() != m_fieldsKey)
        showSelectedDevice();
    redrawDeviceLog();
    refreshDeviceTab();
    m_tableFilling = false;
}

void DevicesTab::redrawDeviceLog()
{
    Machines &registry = m_devices.registry();
    const Logs *log = registry.count() > 0 && m_devices.moveCursorToSelected() ? registry.logs() : nullptr;
    const QList<LogEntry> none;
    const QList<LogEntry> &entries = log ? log->records() : none;
    const quint64 shown = log ? m_devices.selectedKey() : 0;
    // The newest entries go on top; what was shown moves down and what the
    // log let go of falls off the bottom. Only another device's log, or a
    // log that changed otherwise, is drawn whole.
    int fresh = -1;
    if (shown == m_logKey && m_log->rowCount() > 0) {
        for (int i = 0; i < entries.size() && fresh < 0; ++i) {
            if (entries.at(i).created == m_logNewest.created && entries.at(i).text == m_logNewest.text)
                fresh = i;
        }
    } else if (shown == m_logKey && entries.isEmpty()) {
        fresh = 0;
    }
    if (fresh < 0) {
        m_log->setRowCount(0);
        fresh = int(entries.size());
    }
    for (int i = fresh - 1; i >= 0; --i) {
        m_log->insertRow(0);
        m_log->setRowHeight(0, rowHeight);
        m_log->setItem(0, 0, item(TextForm::stampText(entries.at(i).created, TextForm::logTimePattern)));
        m_log->setItem(0, 1, item(entries.at(i).text));
    }
    m_log->setRowCount(int(entries.size()));
    m_logKey = shown;
    m_logNewest = entries.isEmpty() ? LogEntry() : entries.first();
}

void DevicesTab::refreshDeviceTab()
{
    const bool any = m_devices.registry().count() > 0;
    for (QWidget *widget : {static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_copyNetAddress),
                            static_cast<QWidget *>(m_directAddress), static_cast<QWidget *>(m_auto),
                            static_cast<QWidget *>(m_moveUp), static_cast<QWidget *>(m_moveDown),
                            static_cast<QWidget *>(m_delete)})
        widget->setEnabled(any);
    if (!any) {
        m_connect->setEnabled(false);
        m_disconnect->setEnabled(false);
        return;
    }
    // A device that is up can be taken down as well as one on its way up.
    const Tavik *tavik = m_devices.selectedController();
    const bool busy = tavik && (tavik->isConnecting() || (tavik->isLinkUp() && tavik->isConnected()));
    m_connect->setEnabled(tavik && !busy);
    m_disconnect->setEnabled(busy);
}

void DevicesTab::showSelectedDevice()
{
    Machines &registry = m_devices.registry();
    m_fieldsFilling = true;
    m_fieldsKey = m_devices.selectedKey();
    if (m_devices.moveCursorToSelected()) {
        m_name->setText(registry.name());
        m_serial->setText(registry.serialNumber());
        m_netAddress->setText(registry.scanAddressText());
        m_directAddress->setText(registry.connectAddressText());
        Q_EMIT workTitleChanged(registry.name(), registry.count());
    } else {
        m_name->clear();
        m_serial->clear();
        m_netAddress->clear();
        m_directAddress->clear();
        Q_EMIT workTitleChanged(QString(), registry.count());
    }
    m_fieldsFilling = false;
}

void DevicesTab::on_tableWidget_machinesSelection_itemSelectionChanged()
{
    // While the table is rebuilt its rows pass through every selection;
    // the pick is put back once it stands.
    if (m_tableFilling)
        return;
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    m_devices.setSelectedRow(selected.isEmpty() ? 0 : selected.first().row());
    if (m_log->rowCount() > 0)
        m_log->selectRow(0);
    showSelectedDevice();
}

void DevicesTab::on_pushButton_addMachine_clicked()
{
    // A typed address that is none adds nothing: a record at the factory
    // address instead would send the program where the operator never said.
    const QString typed = m_manualAddress->text().trimmed();
    Ipv4 address{};
    if (!typed.isEmpty() && !AddressText::parseIpv4(typed, address)) {
        Q_EMIT noticeRequested(QStringLiteral("Not an IPv4 address: \"%1\". No device was added.").arg(typed));
        return;
    }
    if (!typed.isEmpty() && !AddressText::isDeviceAddress(address)) {
        Q_EMIT noticeRequested(QStringLiteral("No device has the address %1. No device was added.").arg(typed));
        return;
    }
    m_edits.addByHand(typed);
    markDirty();
}

void DevicesTab::on_pushButton_3_clicked()
{
    m_edits.addFactoryDefault();
    markDirty();
}

void DevicesTab::devicesRemoved()
{
    showSelectedDevice();
    redrawDeviceTable();
}

bool DevicesTab::mayRemove(Which which)
{
    const int picked = m_devices.selectedRow();
    const QList<Machine> &records = m_devices.registry().records();
    QStringList running;
    QStringList holding;
    for (int row = 0; row < records.size(); ++row) {
        const Machine &machine = records.at(row);
        if ((which == Which::Picked && row != picked) || (which == Which::Unresponsive && machine.responsive()))
            continue;
        const QString name = QStringLiteral("Tavik ") + machine.name;
        if (m_devices.runGoing(row))
            running.append(name);
        else if (machine.work.count() > 0 || machine.logs.count() > 0)
            holding.append(name);
    }
    if (running.isEmpty() && holding.isEmpty())
        return true;
    QStringList parts;
    if (!running.isEmpty())
        parts.append(tr("%1: a work list is running. Removing stops the run where it stands and records it as cut "
                        "short.").arg(running.join(QStringLiteral(", "))));
    // A device comes back by its next announcement, but with an empty log
    // and no work list.
    parts.append(tr("%1 lose their work list and log with them. Remove?")
                     .arg((running + holding).join(QStringLiteral(", "))));
    const QString text = parts.join(QLatin1Char(' '));
    if (m_removeQuestion)
        return m_removeQuestion(text);
    return QMessageBox::question(m_table->window(), tr("TavikStudio"), StopKeys::duringRun(text, m_devices),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}

void DevicesTab::on_pushButton_machinesFluschTable_clicked()
{
    if (!mayRemove(Which::All))
        return;
    m_edits.removeAll();
    devicesRemoved();
}

void DevicesTab::on_pushButton_machinesDelUnresposive_clicked()
{
    if (!mayRemove(Which::Unresponsive))
        return;
    m_edits.removeUnresponsive();
    devicesRemoved();
}

void DevicesTab::on_pushButton_workDelete_clicked()
{
    if (!mayRemove(Which::Picked))
        return;
    m_edits.removeSelected();
    showSelectedDevice();
    markDirty();
}

void DevicesTab::on_pushButton_workMoveUp_clicked()
{
    if (m_edits.moveSelected(-1))
        markDirty();
}

void DevicesTab::on_pushButton_workMoveDown_clicked()
{
    if (m_edits.moveSelected(+1))
        markDirty();
}

void DevicesTab::on_lineEdit_workMachineName_textChanged(const QString &text)
{
    Machines &registry = m_devices.registry();
    if (m_fieldsFilling || !registry.change(m_devices.selectedKey(), [&text](Machine &machine) { machine.name = text; }))
        return;
    Q_EMIT workTitleChanged(text, registry.count());
    markDirty();
}

void DevicesTab::on_pushButton_copyNetIP_clicked()
{
    if (!m_devices.moveCursorToSelected())
        return;
    m_directAddress->setText(m_devices.registry().scanAddressText());
    on_lineEdit_MachineDirectIP_editingFinished();
}

void DevicesTab::on_lineEdit_MachineDirectIP_editingFinished()
{
    if (!m_devices.moveCursorToSelected())
        return;
    Machines &registry = m_devices.registry();
    const QString text = m_directAddress->text().trimmed();
    const QString before = registry.connectAddressText();
    if (text == before)
        return;
    if (!m_edits.setAddress(text)) {
        // The device keeps the address it has, and the field shows it:
        // the controller and the registry never disagree.
        m_directAddress->setText(before);
        Ipv4 address{};
        Q_EMIT noticeRequested((AddressText::parseIpv4(text, address)
                                    ? QStringLiteral("No device has the address %1. The device keeps %2.")
                                    : QStringLiteral("Not an IPv4 address: \"%1\". The device keeps %2."))
                                   .arg(text, before));
        return;
    }
    markDirty();
}

void DevicesTab::on_pushButton_tavikAuto_clicked()
{
    if (!m_devices.moveCursorToSelected())
        return;
    Machines &registry = m_devices.registry();
    registry.setAutoconnect(!registry.autoconnect());
    if (Tavik *tavik = m_devices.selectedController())
        tavik->setAutoConnect(registry.autoconnect());
    markDirty();
}

void DevicesTab::on_pushButton_machine_connect_clicked()
{
    Tavik *tavik = m_devices.selectedController();
    if (!tavik || !m_devices.moveCursorToSelected())
        return;
    tavik->setTCPIP(m_devices.registry().connectAddressText(), Link::defaultPort);
    tavik->requestConnect();
}

void DevicesTab::on_pushButton_machine_disconnect_clicked()
{
    if (Tavik *tavik = m_devices.selectedController())
        tavik->requestDisconnect();
}
