#include "ui/stopkeys.h"

#include "work/deviceslots.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>

StopKeys::StopKeys(std::function<void()> stopSelected, std::function<void()> stopAll, QObject *parent)
    : QObject(parent), m_stopSelected(std::move(stopSelected)), m_stopAll(std::move(stopAll))
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool StopKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_F6)
        return false;
    // Taken here, before whatever has the focus: a held key stops again.
    if (key->modifiers() & Qt::ShiftModifier)
        m_stopAll();
    else
        m_stopSelected();
    return true;
}

QString StopKeys::duringRun(const QString &question, const DeviceSlots &devices)
{
    if (!devices.anyRunGoing())
        return question;
    if (!devices.anyRunUnpaused())
        return question + tr("\n\nA run stays paused meanwhile: F6 ends the selected device's run, Shift+F6 every "
                             "device's.");
    return question + tr("\n\nA run goes on meanwhile: F6 stops the selected device, Shift+F6 every device.");
}

int StopKeys::askWithoutBlocking(QDialog *dialog)
{
    QPointer<QDialog> asked(dialog);
    dialog->setWindowModality(Qt::NonModal);
    QEventLoop answered;
    QObject::connect(dialog, &QDialog::finished, &answered, &QEventLoop::quit);
    QObject::connect(dialog, &QObject::destroyed, &answered, &QEventLoop::quit);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    answered.exec();
    return asked ? asked->result() : QDialog::Rejected;
}
