#pragma once

#include <QDialog>

namespace Ui { class AboutDialog; }

class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    // The program's version, the one --version prints.
    static const char *const release;
    static const char *const buildDate;

    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    // The 40-hex-digit source revision this program was built from.
    static QString revision();

private:
    Ui::AboutDialog *ui;
};
