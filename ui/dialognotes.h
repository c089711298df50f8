#pragma once

#include "data/notes.h"

#include <QDialog>

namespace Ui { class DialogNotes; }

// Edits one history note's text and colour. Shown without blocking; the
// main window collects an accepted edit on its tick (takeAccepted).
class DialogNotes : public QDialog
{
    Q_OBJECT

public:
    explicit DialogNotes(QWidget *parent = nullptr);
    ~DialogNotes() override;

    // Replaces everything shown, so a reused dialog keeps nothing of the
    // previous note.
    void setData(const QString &text, const QString &date, int colour);
    QString text() const;
    int colour() const { return m_colour; }
    // True once after OK; Cancel and closing leave it false.
    bool takeAccepted();

protected:
    // Every opening starts in the text: a dialog shown again would give
    // the focus back to OK, and the first space typed would store the note.
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void on_pushButton_notes_color_white_clicked() { setColour(Note::Plain); }
    void on_pushButton_notes_colorR_clicked() { setColour(Note::Red); }
    void on_pushButton_notes_colorY_clicked() { setColour(Note::Yellow); }
    void on_pushButton_notes_colorG_clicked() { setColour(Note::Green); }
    void on_pushButton_notes_clear_clicked();
    void on_buttonBox_accepted() { m_accepted = true; }

private:
    void setColour(int colour);
    // A note of nothing but blanks is no note: OK waits for some text.
    void textChanged();

    Ui::DialogNotes *ui;
    int m_colour = 0;
    bool m_accepted = false;
};
