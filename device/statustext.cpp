#include "device/statustext.h"

#include <QDateTime>
#include <QTime>

#include <utility>

namespace {

using BitText = std::pair<quint32, const char *>;

// In the order they are written, which is not bit order: Cooling (bit 14)
// belongs with the tube's state words, before the frequency words.
constexpr BitText statusTexts[] = {
    {0x1, " Stand by"},     {0x2, " Ready"},   {0x4, " POW"},      {0x8, " HV"},
    {0x10, " OSC"},         {0x20, " Transmit"}, {0x4000, " Cooling"}, {0x40, " FR-OFF"},
    {0x100, " FR-Unlocked"}, {0x80, " FR-Ok"},  {0x200, " AMP"},    {0x400, " AMP-OFF"},
    {0x800, " MOVE"},       {0x1000, " RF-OOR"}, {0x2000, " LF-OOR"}, {0x10000, " LOG-RDY"},
};

constexpr BitText errorTexts[] = {
    {0x1, " WD"},      {0x2, " TUBE"},  {0x4, " FILAMENT"}, {0x8, " ANODE"},  {0x10, " X1"},
    {0x20, " X2"},     {0x40, " NO-RF"}, {0x80, " HEAT"},   {0x100, " COMMAND"}, {0x200, " LU"},
    {0x400, " DB"},    {0x800, " INIT"}, {0x1000, " FAN"},  {0x2000, " EL"},   {0x8000, " ETH"},
};

template <std::size_t N>
QString bitsText(const char *lead, quint32 bits, const BitText (&table)[N])
{
    QString text = QString::fromLatin1(lead);
    for (const BitText &entry : table) {
        if (bits & entry.first) {
            text += QString::fromLatin1(entry.second);
            bits &= ~entry.first;
        }
    }
    if (bits != 0)
        text += QStringLiteral("num: ") + QString::number(bits, 2);
    return text;
}

} // namespace

namespace StatusText {

QString decodeStatus(quint32 statusBits, quint32 errorBits)
{
    if (errorBits != 0)
        return bitsText("Error:", errorBits, errorTexts);
    return bitsText("Status:", statusBits, statusTexts);
}

QString minutesSeconds(quint32 seconds)
{
    return QString::number(seconds / 60) + QLatin1Char(':')
        + QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString durationText(quint32 seconds)
{
    return QTime(0, 0).addSecs(int(seconds % 86400)).toString(QStringLiteral("hh:mm:ss"));
}

QString buildTimeText(quint32 secondsSinceEpoch)
{
    return QDateTime::fromSecsSinceEpoch(qint64(secondsSinceEpoch))
        .toLocalTime()
        .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QString configLine(quint32 serialNumber, quint32 buildTime, quint32 firmwareVersion)
{
    return QStringLiteral("SN:") + QString::number(serialNumber) + QStringLiteral(" compiled:")
        + buildTimeText(buildTime) + QStringLiteral(" version:") + QString::number(firmwareVersion);
}

QString livetimeLine(quint32 tube, quint32 lamp, quint32 uptime)
{
    return QStringLiteral("Livetime tube:") + durationText(tube) + QStringLiteral(" lamp:")
        + durationText(lamp) + QStringLiteral(" uptime:") + durationText(uptime);
}

QString eventWord(LinkEvent event)
{
    switch (event) {
    case LinkEvent::TryToConnect: return QStringLiteral("Try To Connect");
    case LinkEvent::Connecting: return QStringLiteral("Connecting");
    case LinkEvent::Connected: return QStringLiteral("Connected");
    case LinkEvent::Disconnected: return QStringLiteral("Disconnected");
    case LinkEvent::Ready: return QStringLiteral("Ready");
    case LinkEvent::Warming: return QStringLiteral("WARMING");
    case LinkEvent::Transmitting: return QStringLiteral("TRANSMITTING");
    }
    return QString();
}

QString activityWord(DeviceActivity activity)
{
    switch (activity) {
    case DeviceActivity::Disconnected: return QStringLiteral("Disconnected");
    case DeviceActivity::Connecting: return QStringLiteral("Connecting");
    case DeviceActivity::Ready: return QStringLiteral("Ready");
    case DeviceActivity::Warming: return QStringLiteral("Warming");
    case DeviceActivity::Transmitting: return QStringLiteral("Transmitting");
    case DeviceActivity::Stopping: return QStringLiteral("Stop");
    case DeviceActivity::Disconnecting: return QStringLiteral("Disconnecting");
    case DeviceActivity::Unknown: break;
    }
    return QString();
}

} // namespace StatusText
