#include "ui/programtab.h"

#include "editors/programeditor.h"
#include "editors/programlinesmodel.h"
#include "ui/celltips.h"
#include "ui/columnwidths.h"
#include "ui/listkeys.h"
#include "ui_programtab.h"

#include <limits>
#include <QDebug>
#include <QHeaderView>
#include <QItemSelectionModel>

#include <array>

namespace {

// The lines table's column widths for a table this wide.
std::array<int, ProgramLinesModel::ColumnCount> columnWidths(int tableWidth)
{
    const int w = tableWidth - 1;
    int a = 300;
    int b = 640;
    if (w >= 1181) {
        a = 450;
        b = 790;
    } else if (w >= 879) {
        a = (w - 279) / 2;
        b = a + 340;
    }
    return {90, a, 80, w - 29 - b, 80, 90};
}

} // namespace

ProgramTab::ProgramTab(ProgramEditor &editor, DeviceSlots &devices, QWidget *parent)
    : QWidget(parent), m_editor(editor), m_devices(devices), ui(new Ui::ProgramTab),
      m_lines(new ProgramLinesModel(editor, this))
{
    ui->setupUi(this);
    ui->spinBox_program_version->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    QTableView *table = ui->tableWidget_program;
    table->setModel(m_lines);
    table->verticalHeader()->setDefaultSectionSize(24);
    new ColumnFit(table, [](int width) {
        const std::array<int, ProgramLinesModel::ColumnCount> widths = columnWidths(width);
        QList<int> fitted;
        for (int column : widths)
            fitted << qMax(30, column);
        return fitted;
    });
    table->setWordWrap(false);
    CellTips::install(table);
    ListKeys::focusOnlyWhenFilled(table);
    ListKeys::addButton(table, ui->pushButton_program_addPreset);
    ListKeys::addButton(table, ui->pushButton_program_deleteLine, QKeySequence::keyBindings(QKeySequence::Delete));
    ListKeys::addButton(table, ui->pushButton_program_moveUp, {QKeySequence(Qt::CTRL | Qt::Key_Up)});
    ListKeys::addButton(table, ui->pushButton_program_moveDown, {QKeySequence(Qt::CTRL | Qt::Key_Down)});
    connect(m_lines, &ProgramLinesModel::timeEdited, this, &ProgramTab::lineTimeEdited);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ProgramTab::linesSelectionChanged);
    // The lines take the height the window gives; the fields above keep theirs.
    ui->verticalLayout_ProgramTab->setStretch(3, 1);
    // Closed from elsewhere (its program or client deleted): nothing of it
    // may stay editable here.
    connect(&editor, &ProgramEditor::openChanged, this, [this](bool open) {
        if (!open)
            enter();
    });
    setEnabled(false);
}

ProgramTab::~ProgramTab()
{
    delete ui;
}

void ProgramTab::enter()
{
    if (!m_editor.isLoaded()) {
        setEnabled(false);
        m_lines->refill();
        ui->label_programSelection->clear();
        ui->label_program_status->clear();
        return;
    }
    setEnabled(true);
    ui->label_programSelection->setText(m_editor.poolWord());
    fillFields();
    fillLines();
}

void ProgramTab::leave()
{
    if (!m_editor.commit() && m_editor.isLoaded() && !m_editor.message().isEmpty()) {
        ui->label_program_name_info->setText(m_editor.message());
        Q_EMIT noticeRequested(QStringLiteral(" Program ") + m_editor.message());
    }
    ui->label_program_modified->setText(m_editor.modifiedText());
}

void ProgramTab::fillFields()
{
    m_filling = true;
    const QSignalBlocker nameBlock(ui->lineEdit_program_name);
    const QSignalBlocker versionBlock(ui->spinBox_program_version);
    const QSignalBlocker notesBlock(ui->plainTextEdit_program_notes);
    ui->lineEdit_program_name->setText(m_editor.name());
    ui->spinBox_program_version->setValue(m_editor.version());
    ui->plainTextEdit_program_notes->setPlainText(m_editor.notes());
    ui->label_program_name_info->setText(m_editor.message());
    ui->label_program_created->setText(m_editor.createdText());
    ui->label_program_modified->setText(m_editor.modifiedText());
    m_filling = false;
}

void ProgramTab::fillLines()
{
    const int remembered = m_linesRow;
    m_lines->refill();
    ui->label_program_totalTime->setText(QString::number(m_lines->totalMinutes()));
    if (remembered >= 0 && remembered < m_lines->rowCount())
        ui->tableWidget_program->selectRow(remembered);
    m_linesRow = remembered;
}

void ProgramTab::setToWorkEnabled(bool enabled)
{
    ui->pushButton_program_programToWork->setEnabled(enabled);
}

void ProgramTab::check()
{
    m_editor.check(ui->lineEdit_program_name->text(), ui->spinBox_program_version->value());
    ui->label_program_name_info->setText(m_editor.message());
}

void ProgramTab::on_lineEdit_program_name_textChanged(const QString &)
{
    check();
}

void ProgramTab::on_spinBox_program_version_valueChanged(int)
{
    check();
}

void ProgramTab::on_plainTextEdit_program_notes_textChanged()
{
    if (!m_filling)
        m_editor.setNotes(ui->plainTextEdit_program_notes->toPlainText());
}

void ProgramTab::lineTimeEdited(int row, const QString &refused)
{
    if (!refused.isEmpty())
        Q_EMIT noticeRequested(refused);
    ui->label_program_totalTime->setText(QString::number(m_lines->totalMinutes()));
    m_linesRow = row;
    ui->tableWidget_program->selectRow(row);
}

void ProgramTab::linesSelectionChanged()
{
    const QModelIndexList rows = ui->tableWidget_program->selectionModel()->selectedRows();
    // With nothing selected the line buttons do nothing, as in the lists.
    m_linesRow = rows.isEmpty() ? -1 : rows.first().row();
    qDebug() << "program_row" << m_linesRow;
}

void ProgramTab::on_pushButton_program_addPreset_clicked()
{
    Q_EMIT showTabRequested(4);
}

void ProgramTab::on_pushButton_program_deleteLine_clicked()
{
    m_editor.deleteLine(m_linesRow);
    fillLines();
}

void ProgramTab::on_pushButton_program_moveUp_clicked()
{
    m_linesRow = m_editor.moveUp(m_linesRow);
    fillLines();
}

void ProgramTab::on_pushButton_program_moveDown_clicked()
{
    m_linesRow = m_editor.moveDown(m_linesRow);
    fillLines();
}

void ProgramTab::on_pushButton_program_programToWork_clicked()
{
    if (m_editor.name().isEmpty()) {
        Q_EMIT nameMissing();
        return;
    }
    const SendToWork::Outcome outcome = m_editor.toWork(m_devices);
    if (outcome == SendToWork::NotSaved) {
        ui->label_program_name_info->setText(m_editor.message());
        Q_EMIT noticeRequested(QStringLiteral(" Nothing sent: the program cannot be saved: ") + m_editor.message());
        return;
    }
    if (outcome != SendToWork::Sent) {
        Q_EMIT noticeRequested(SendToWork::notice(outcome));
        return;
    }
    Q_EMIT showTabRequested(6);
}
