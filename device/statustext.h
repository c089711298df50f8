#pragma once

#include "device/deviceactivity.h"

#include <QString>
#include <QStringList>

// The texts a device's numbers and states are shown as: in its log, in the
// devices table, in the info bar and in the remaining-time label.
namespace StatusText {

// "Error:" and the set error bits when there are any, otherwise "Status:"
// and the set status bits; unnamed bits follow as "num: " and binary.
QString decodeStatus(quint32 statusBits, quint32 errorBits);

// Minutes and two-digit seconds: 75 gives "1:15".
QString minutesSeconds(quint32 seconds);

// The time of day reached after the seconds from midnight: "hh:mm:ss".
QString durationText(quint32 seconds);

// Seconds since 1970 UTC as local "dd.MM.yyyy hh:mm:ss".
QString buildTimeText(quint32 secondsSinceEpoch);

QString configLine(quint32 serialNumber, quint32 buildTime, quint32 firmwareVersion);
QString livetimeLine(quint32 tube, quint32 lamp, quint32 uptime);

QString eventWord(LinkEvent event);
QString activityWord(DeviceActivity activity);

} // namespace StatusText
