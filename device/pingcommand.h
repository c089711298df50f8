#pragma once

#include <QString>
#include <QStringList>

// What differs between platforms in the reachability ping: the program, its
// arguments for one echo request, and the phrases of its output. Each form
// is here in full so that both can be checked on any machine; `native()`
// picks the one of the running platform.
class PingCommand
{
public:
    enum class Verdict { Ignore, Reachable, Unreachable };

    static PingCommand windows();
    static PingCommand linux();
    static const PingCommand &native();

    QString program() const { return m_program; }
    QStringList arguments(const QString &address) const;

    // Judges one chunk of output. A chunk that holds only the program's
    // header line says nothing yet and is ignored.
    Verdict judge(const QString &chunk) const;

    // Only a dotted IPv4 address goes to the ping program: anything else,
    // text starting with "-" above all, would be read as an option.
    static bool isDottedIPv4(const QString &address);

private:
    enum class HeaderRule { WholeChunk, Line };

    QString m_program;
    QStringList m_argumentsBefore;
    QString m_header;
    HeaderRule m_headerRule = HeaderRule::WholeChunk;
    QStringList m_failurePhrases;
};
