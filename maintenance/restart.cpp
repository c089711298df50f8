#include "maintenance/restart.h"

#include <QCoreApplication>
#include <QDebug>
#include <QProcess>

namespace {
bool restartAsked = false;
}

void restartApplication()
{
    restartAsked = true;
    QCoreApplication::quit();
}

bool startAgainIfAsked()
{
    if (!restartAsked)
        return false;
    // The program's own path rather than argv[0], which may be relative or
    // a bare name found through PATH; the arguments without argv[0], which
    // would otherwise arrive as the positional "file" argument.
    const QString program = QCoreApplication::applicationFilePath();
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (!QProcess::startDetached(program, arguments, QString()))
        qWarning().noquote() << "Could not start" << program << "again";
    return true;
}
