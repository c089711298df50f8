#include "simprocess.h"

#include "data/worklist.h"
#include "device/outbound.h"
#include "device/tavik.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

SimProcess::SimProcess()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(QStringList arguments)
{
#ifdef TAVIK_SIM_PATH
    // The simulator announces where it is told; the suite's watcher refuses
    // any target off this machine.
    const int to = arguments.indexOf("--announce-to");
    if (to >= 0 && to + 1 < arguments.size())
        Outbound::aboutToSend(arguments.at(to + 1).section(':', 0, 0), "UDP announcements");
    if (!arguments.contains("--announce-to") && !arguments.contains("--announce-interval-ms"))
        arguments << "--announce-interval-ms" << "0";
    if (!arguments.contains("--port"))
        arguments << "--port" << "0";
    arguments << "--trace" << tracePath();
    m_process.start(QStringLiteral(TAVIK_SIM_PATH), arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains('\n') && m_process.waitForReadyRead(5000))
        out += m_process.readAllStandardOutput();
    const auto match = QRegularExpression("listening on port (\\d+)").match(QString::fromUtf8(out));
    m_port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    return m_port != 0;
#else
    Q_UNUSED(arguments);
    return false;
#endif
}

bool SimProcess::hold(bool on)
{
#ifdef Q_OS_UNIX
    return m_process.processId() > 0 && ::kill(pid_t(m_process.processId()), on ? SIGSTOP : SIGCONT) == 0;
#else
    Q_UNUSED(on);
    return false;
#endif
}

void SimProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString SimProcess::tracePath() const
{
    return m_dir.filePath("trace.txt");
}

QStringList SimProcess::received() const
{
    return trace().filter(QRegularExpression(QStringLiteral("^RX ")));
}

QList<std::pair<qint64, QString>> SimProcess::stampedTrace() const
{
    QFile file(tracePath());
    QList<std::pair<qint64, QString>> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int blank = line.indexOf(' ');
        if (blank > 0)
            lines.append({line.left(blank).toLongLong(), QString::fromUtf8(line.mid(blank + 1))});
    }
    return lines;
}

QStringList SimProcess::trace() const
{
    QStringList lines;
    for (const auto &[at, text] : stampedTrace())
        lines.append(text);
    return lines;
}

qint64 SimProcess::timeOf(const QString &text) const
{
    for (const auto &[at, line] : stampedTrace()) {
        if (line.contains(text))
            return at;
    }
    return -1;
}

void tickDevice(Tavik &tavik, int pauseMs)
{
    QTest::qWait(pauseMs);
    if (tavik.takePacketReady())
        tavik.readPacket();
    tavik.tick();
}

bool inReadyCycle(const Tavik &tavik)
{
    return tavik.state() == Tavik::M_MACHINE_GET_STATUS || tavik.state() == Tavik::M_MACHINE_COMMAND_BRING_UP;
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

void addWorkLine(WorkList &work, const QString &name, const QString &value, int minutes, int version, int pool)
{
    work.setCurrent(work.count());
    work.insertNew();
    work.setName(name);
    work.setLineVersion(version);
    work.setValue(value);
    work.setLinePool(pool);
    work.setTime(minutes);
}
