#pragma once

#include <QObject>

class QWidget;

// Gives the texts the program colours itself (the reason under a name that
// is not stored) a shade that reads on the desktop's palette, light or
// dark, and follows the desktop when it changes its palette while the
// program runs.
class WindowColours : public QObject
{
    Q_OBJECT
public:
    explicit WindowColours(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void recolour();
    void followPalette();

    QWidget *m_window;
};
