#pragma once

#include "ui/tabpage.h"
#include "editors/preseteditor.h"

#include <QWidget>

namespace Ui { class PresetTab; }
class ProgramEditor;

// The "Preset" tab: shows the preset editor's record and hands every edit
// to it; leaving the tab commits.
class PresetTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    PresetTab(PresetEditor &editor, ProgramEditor &program, QWidget *parent = nullptr);
    ~PresetTab() override;

    void enter() override;
    void leave() override;

    PresetFields shownFields() const;

Q_SIGNALS:
    void noticeRequested(const QString &text);

private Q_SLOTS:
    void on_lineEdit_preset_name_textChanged(const QString &text);
    void on_spinBox_preset_mutation_valueChanged(int value);
    void on_pushButton_preset_toProgram_clicked();
    void on_pushButton_preset_copy_clicked();

private:
    void fill();
    void check();

    PresetEditor &m_editor;
    ProgramEditor &m_program;
    Ui::PresetTab *ui;
    int m_shownRevision = -1;
};
