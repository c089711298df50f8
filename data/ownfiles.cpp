#include "data/ownfiles.h"

#include <QRegularExpression>

namespace OwnFiles {

QStringList names()
{
    return {settings, presets, genpresets, programs, clients, work, machines, restored, untold, unstored, runs, journal, lock};
}

bool isOwn(const QString &fileName)
{
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"), QRegularExpression::CaseInsensitiveOption);
    if (device.match(fileName).hasMatch())
        return true;
    for (const QString &own : names()) {
        if (own.compare(fileName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isHistoryIdentifier(const QString &identifier)
{
    static const QRegularExpression plain(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9]{1,64}")));
    return plain.match(identifier).hasMatch() && !isOwn(identifier + QStringLiteral(".dat"));
}

} // namespace OwnFiles
