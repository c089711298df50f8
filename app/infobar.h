#pragma once

#include <QWidget>

class ElidedLabel;
class QAction;
class QHBoxLayout;
class QLabel;

// The strip along the window's bottom edge: the device status line on the
// left, system information on the right.
class InfoBar : public QWidget
{
    Q_OBJECT
public:
    explicit InfoBar(QWidget *parent);

    void setDeviceText(const QString &text);
    // No device picked: the line names none.
    void clearDeviceText();
    QString deviceText() const;

    // Spans the parent's width along its bottom edge.
    void placeAtBottom();

    // Buttons for the window's own commands, at the right end.
    void addCommands(QAction *first, QAction *second);
    // A status tip in place of the system information; none puts that back.
    void setTip(const QString &tip);

private:
    QHBoxLayout *m_layout;
    ElidedLabel *m_device;  // holds a device name
    QLabel *m_system;
};
