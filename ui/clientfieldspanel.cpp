#include "ui/clientfieldspanel.h"

#include "editors/clienteditor.h"
#include "ui_clientfieldspanel.h"

#include <QSignalBlocker>

ClientFieldsPanel::ClientFieldsPanel(ClientEditor &editor, QWidget *parent)
    : QWidget(parent), m_editor(editor), ui(new Ui::ClientFieldsPanel)
{
    ui->setupUi(this);
    // The history below takes the height the window gives.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    fill();
}

ClientFieldsPanel::~ClientFieldsPanel()
{
    delete ui;
}

void ClientFieldsPanel::fill()
{
    const ClientFields &fields = m_editor.fields();
    const QSignalBlocker block(ui->lineEdit_client_name);
    ui->lineEdit_client_name->setText(fields.name);
    ui->plainTextEdit_client_notes1->setPlainText(fields.address);
    ui->plainTextEdit_client_notes2->setPlainText(fields.notes);
    ui->label_client_name_info->setText(m_editor.message());
    setEnabled(m_editor.isLoaded());
}

ClientFields ClientFieldsPanel::shown() const
{
    return {ui->lineEdit_client_name->text(), ui->plainTextEdit_client_notes1->toPlainText(),
            ui->plainTextEdit_client_notes2->toPlainText()};
}

void ClientFieldsPanel::commit()
{
    m_editor.commit(shown());
    fill();
}

bool ClientFieldsPanel::storeNewForNote()
{
    const bool pending = m_editor.isNewPending();
    const bool open = m_editor.storeNewForNote(shown());
    if (pending)
        fill();
    return open;
}

void ClientFieldsPanel::on_lineEdit_client_name_textChanged(const QString &text)
{
    m_editor.nameEdited(text);
    ui->label_client_name_info->setText(m_editor.message());
}

void ClientFieldsPanel::focusName()
{
    ui->lineEdit_client_name->setFocus();
}
