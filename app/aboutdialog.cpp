#include "app/aboutdialog.h"

#include "revision.h"
#include "ui_aboutdialog.h"

const char *const AboutDialog::release = TAVIK_VERSION;
const char *const AboutDialog::buildDate = TAVIK_RELEASE_DAY;

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    ui->label_about_version->setText(QString::fromLatin1(release));
    ui->label_about_buildDate->setText(QString::fromLatin1(buildDate));
    ui->label_about_revision->setText(revision());
    connect(ui->pushButton_about_close, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() { delete ui; }

QString AboutDialog::revision() { return QStringLiteral(TAVIK_REVISION); }
