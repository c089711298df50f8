#pragma once

#include "ui/tabpage.h"

#include <QWidget>

namespace Ui { class ProgramTab; }
class DeviceSlots;
class ProgramEditor;
class ProgramLinesModel;

// The "Program" tab: the open program's fields and lines, handed to the
// program editor; leaving the tab commits.
class ProgramTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    ProgramTab(ProgramEditor &editor, DeviceSlots &devices, QWidget *parent = nullptr);
    ~ProgramTab() override;

    void enter() override;
    void leave() override;

    // Nothing is sent to a device that is running a list.
    void setToWorkEnabled(bool enabled);

Q_SIGNALS:
    void noticeRequested(const QString &text);
    void showTabRequested(int tab);
    // "Program To Work" on a program without a name.
    void nameMissing();

private Q_SLOTS:
    void on_lineEdit_program_name_textChanged(const QString &text);
    void on_spinBox_program_version_valueChanged(int value);
    void on_plainTextEdit_program_notes_textChanged();
    void on_pushButton_program_addPreset_clicked();
    void on_pushButton_program_deleteLine_clicked();
    void on_pushButton_program_moveUp_clicked();
    void on_pushButton_program_moveDown_clicked();
    void on_pushButton_program_programToWork_clicked();

private:
    void lineTimeEdited(int row, const QString &refused);
    void linesSelectionChanged();
    // Delete Line and the moves act on the line picked, and only then are enabled.
    void updateLineButtons();
    void fillFields();
    void fillLines();
    void check();

    ProgramEditor &m_editor;
    DeviceSlots &m_devices;
    Ui::ProgramTab *ui;
    ProgramLinesModel *m_lines;
    int m_linesRow = 0;
    bool m_filling = false;
};
