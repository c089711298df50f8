#pragma once

#include <QWidget>

class ElidedLabel;
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

private:
    ElidedLabel *m_device;  // holds a device name
    QLabel *m_system;
};
