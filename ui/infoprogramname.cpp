#include "ui/infoprogramname.h"

#include "ui_infoprogramname.h"

InfoProgramName::InfoProgramName(QWidget *parent) : QDialog(parent), ui(new Ui::InfoProgramName)
{
    ui->setupUi(this);
}

InfoProgramName::~InfoProgramName()
{
    delete ui;
}
