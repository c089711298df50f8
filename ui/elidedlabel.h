#pragma once

#include <QLabel>

// A label for text that comes from the data (a program name, its notes):
// it never asks for more room than a short text would, shows what fits
// with an ellipsis, and has the whole text in its tooltip when cut.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(const QString &text = QString(), QWidget *parent = nullptr);

    void setText(const QString &text);
    QString fullText() const { return m_full; }

    // Lines beyond these are cut; each line is cut at the label's width.
    void setMaximumLines(int lines);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_full;
    int m_maximumLines = 1;
};
