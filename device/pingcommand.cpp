#include "device/pingcommand.h"

#include <QRegularExpression>

PingCommand PingCommand::windows()
{
    PingCommand command;
    command.m_program = QStringLiteral("ping");
    command.m_argumentsBefore = {QStringLiteral("-n"), QStringLiteral("1")};
    command.m_header = QStringLiteral("Pinging");
    command.m_headerRule = HeaderRule::WholeChunk;
    command.m_failurePhrases = {QStringLiteral("timed out"), QStringLiteral("unreachable"),
                                QStringLiteral("transmit failed"), QStringLiteral("Unreachable")};
    return command;
}

PingCommand PingCommand::linux()
{
    // iputils ping: "-n" would mean numeric output here, the count is "-c";
    // "-W 1" keeps a silent address from holding the controller for long.
    PingCommand command;
    command.m_program = QStringLiteral("ping");
    command.m_argumentsBefore = {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
                                 QStringLiteral("1")};
    // Piped output arrives whole at exit, header included, so only the
    // header line is set aside rather than the chunk.
    command.m_header = QStringLiteral("PING ");
    command.m_headerRule = HeaderRule::Line;
    command.m_failurePhrases = {QStringLiteral(" 0 received"), QStringLiteral("100% packet loss"),
                                QStringLiteral("unreachable"), QStringLiteral("Unreachable")};
    return command;
}

const PingCommand &PingCommand::native()
{
#ifdef Q_OS_WIN
    static const PingCommand command = windows();
#else
    static const PingCommand command = linux();
#endif
    return command;
}

QStringList PingCommand::arguments(const QString &address) const
{
    return m_argumentsBefore + QStringList{address};
}

PingCommand::Verdict PingCommand::judge(const QString &chunk) const
{
    QString text = chunk;
    if (m_headerRule == HeaderRule::WholeChunk) {
        if (text.contains(m_header))
            return Verdict::Ignore;
    } else {
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.removeIf([this](const QString &line) { return line.startsWith(m_header); });
        text = lines.join(QLatin1Char('\n'));
        if (text.trimmed().isEmpty())
            return Verdict::Ignore;
    }
    for (const QString &phrase : m_failurePhrases) {
        if (text.contains(phrase))
            return Verdict::Unreachable;
    }
    return Verdict::Reachable;
}

bool PingCommand::isDottedIPv4(const QString &address)
{
    static const QRegularExpression dotted(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])"
                       "(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return dotted.match(address).hasMatch();
}
