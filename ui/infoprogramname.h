#pragma once

#include <QDialog>

namespace Ui { class InfoProgramName; }

// Tells the user that a program needs a name before it goes to work.
class InfoProgramName : public QDialog
{
    Q_OBJECT

public:
    explicit InfoProgramName(QWidget *parent = nullptr);
    ~InfoProgramName() override;

private:
    Ui::InfoProgramName *ui;
};
