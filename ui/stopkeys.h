#pragma once

#include <QObject>
#include <QString>

#include <functional>

class DeviceSlots;
class QDialog;

// F6 stops the selected device's run, Shift+F6 every device's, in every
// window of the program and under every dialog. Qt hands a key to the
// window that has the focus and blocks even application shortcuts under a
// modal dialog: a device on air would wait for the dialog to close.
class StopKeys : public QObject
{
    Q_OBJECT
public:
    StopKeys(std::function<void()> stopSelected, std::function<void()> stopAll, QObject *parent = nullptr);

    // A question that must hold the window while it is asked says, while a
    // run goes on or is paused, that the run can still be stopped.
    static QString duringRun(const QString &question, const DeviceSlots &devices);

    // Shows a dialog without blocking any window and waits for its answer,
    // so that Stop can still be clicked meanwhile. A dialog deleted or an
    // application ending while it is open counts as cancelled.
    static int askWithoutBlocking(QDialog *dialog);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_stopSelected;
    std::function<void()> m_stopAll;
};
