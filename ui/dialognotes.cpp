#include "ui/dialognotes.h"

#include "editors/librarycolumns.h"
#include "editors/textcolours.h"

#include "ui_dialognotes.h"

#include <QPushButton>

namespace {

// The colour buttons keep their colours on every palette; their text is
// the one that reads on them (a dark palette's white vanished on yellow).
void paint(QPushButton *button, const QColor &colour)
{
    button->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3); color: %4;")
                              .arg(colour.red()).arg(colour.green()).arg(colour.blue())
                              .arg(TextColours::on(colour).name()));
}

} // namespace

DialogNotes::DialogNotes(QWidget *parent) : QDialog(parent), ui(new Ui::DialogNotes)
{
    ui->setupUi(this);
    paint(ui->pushButton_notes_colorR, QColor(255, 0, 0));
    paint(ui->pushButton_notes_colorY, QColor(255, 255, 0));
    paint(ui->pushButton_notes_colorG, QColor(0, 255, 0));
    connect(ui->plainTextEdit_notes, &QPlainTextEdit::textChanged, this, &DialogNotes::textChanged);
    textChanged();
}

DialogNotes::~DialogNotes()
{
    delete ui;
}

void DialogNotes::setData(const QString &text, const QString &date, int colour)
{
    ui->plainTextEdit_notes->setPlainText(text);
    ui->label_notes_date->setText(date);
    setColour(colour);
}

QString DialogNotes::text() const
{
    return ui->plainTextEdit_notes->toPlainText();
}

void DialogNotes::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ui->plainTextEdit_notes->setFocus(Qt::OtherFocusReason);
    ui->plainTextEdit_notes->moveCursor(QTextCursor::End);
}

void DialogNotes::textChanged()
{
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!text().trimmed().isEmpty());
}

bool DialogNotes::takeAccepted()
{
    const bool accepted = m_accepted;
    m_accepted = false;
    return accepted;
}

void DialogNotes::on_pushButton_notes_clear_clicked()
{
    ui->plainTextEdit_notes->clear();
}

void DialogNotes::setColour(int colour)
{
    m_colour = colour;
    if (colour < Note::Plain || colour > Note::Green)
        return;
    // The note is shown in the colour its line has in the history.
    const QColor shown = colour == Note::Plain ? QColor(Qt::white) : LibraryColumns::noteColour(colour);
    const QColor text = LibraryColumns::textColourOn(shown);
    ui->plainTextEdit_notes->setStyleSheet(QStringLiteral("background-color: %1; color: %2;")
                                               .arg(shown.name(), text.name()));
}
