#include "ui/presettab.h"

#include "editors/programeditor.h"
#include "ui_presettab.h"

#include <QSignalBlocker>

#include <limits>

PresetTab::PresetTab(PresetEditor &editor, ProgramEditor &program, QWidget *parent)
    : QWidget(parent), m_editor(editor), m_program(program), ui(new Ui::PresetTab)
{
    ui->setupUi(this);
    // A version is any integer a file holds (imports make large ones): a
    // narrower box would renumber a record merely opened.
    ui->spinBox_preset_mutation->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    setEnabled(false);
}

void PresetTab::leave()
{
    if (m_editor.commit(shownFields()) || m_editor.message().isEmpty())
        return;
    ui->label_preset_name_info->setText(m_editor.message());
    Q_EMIT noticeRequested(QStringLiteral(" Preset ") + m_editor.message());
}

PresetTab::~PresetTab()
{
    delete ui;
}

void PresetTab::enter()
{
    m_editor.followStore();
    if (!m_editor.isLoaded()) {
        setEnabled(false);
        if (m_shownRevision != m_editor.revision())
            fill();
        return;
    }
    if (m_shownRevision != m_editor.revision())
        fill();
    ui->pushButton_preset_toProgram->setEnabled(m_program.isLoaded());
    ui->label_presetSelection->setText(m_editor.poolWord());
    setEnabled(true);
}

void PresetTab::fill()
{
    // Filling from code is not an edit: the check must not run on half-filled fields.
    const PresetFields &fields = m_editor.shown();
    const QSignalBlocker nameBlock(ui->lineEdit_preset_name);
    const QSignalBlocker versionBlock(ui->spinBox_preset_mutation);
    ui->label_preset_name_info->setText(m_editor.message());
    ui->label_preset_createdDate->setText(fields.created);
    ui->label_preset_modifiedDate->setText(fields.modified);
    ui->lineEdit_preset_name->setText(fields.name);
    ui->plainTextEdit_preset_notes->setPlainText(m_editor.notesShown());
    ui->plainTextEdit_preset_notes->setReadOnly(!m_editor.notesEditable());
    ui->spinBox_preset_mutation->setValue(fields.version);
    ui->lineEdit_preset_workTime->setText(fields.workTime);
    ui->lineEdit_preset_variable->setText(fields.variable);
    ui->comboBox_preset_forMachine->setCurrentIndex(qBound(0, fields.forMachine, 1));
    ui->comboBox_preset_obtained->setCurrentIndex(qBound(0, fields.obtained, 2));
    ui->label_presetSelection->setText(m_editor.isLoaded() ? m_editor.poolWord() : QString());
    m_shownRevision = m_editor.revision();
}

PresetFields PresetTab::shownFields() const
{
    PresetFields fields;
    fields.name = ui->lineEdit_preset_name->text();
    fields.version = ui->spinBox_preset_mutation->value();
    fields.created = ui->label_preset_createdDate->text();
    fields.modified = ui->label_preset_modifiedDate->text();
    // A stored value the combo does not list is kept, not reset to 0.
    const PresetFields &loaded = m_editor.fields();
    fields.forMachine = loaded.forMachine > 1 && ui->comboBox_preset_forMachine->currentIndex() == 0
        ? loaded.forMachine : ui->comboBox_preset_forMachine->currentIndex();
    fields.obtained = loaded.obtained > 2 && ui->comboBox_preset_obtained->currentIndex() == 0
        ? loaded.obtained : ui->comboBox_preset_obtained->currentIndex();
    fields.workTime = ui->lineEdit_preset_workTime->text();
    fields.variable = ui->lineEdit_preset_variable->text();
    fields.notes = ui->plainTextEdit_preset_notes->toPlainText();
    return fields;
}

void PresetTab::check()
{
    m_editor.check(ui->lineEdit_preset_name->text(), ui->spinBox_preset_mutation->value());
    ui->label_preset_name_info->setText(m_editor.message());
}

void PresetTab::on_lineEdit_preset_name_textChanged(const QString &)
{
    check();
}

void PresetTab::on_spinBox_preset_mutation_valueChanged(int)
{
    check();
}

void PresetTab::on_pushButton_preset_toProgram_clicked()
{
    // The preset added is the one edited here, once it is saved; a refused
    // or dropped preset adds nothing.
    if (!m_editor.commit(shownFields()) || !m_editor.isLoaded())
        return;
    fill();
    const ProgramEditor::AddResult result = m_program.addPreset(m_editor.pool(), m_editor.savedName(), m_editor.savedVersion());
    Q_EMIT noticeRequested(m_program.addResultText(result));
}

void PresetTab::on_pushButton_preset_copy_clicked()
{
    switch (m_editor.cloneToClient(shownFields())) {
    case PresetEditor::Cloned: break;
    case PresetEditor::NotLoaded: return;
    case PresetEditor::NoClient: Q_EMIT noticeRequested(QStringLiteral(" Open a client first")); return;
    case PresetEditor::NoName: Q_EMIT noticeRequested(QStringLiteral(" The preset has no name")); return;
    case PresetEditor::Refused:
        ui->label_preset_name_info->setText(m_editor.message());
        Q_EMIT noticeRequested(QStringLiteral(" Not cloned: ") + m_editor.message());
        return;
    }
    enter();
}
