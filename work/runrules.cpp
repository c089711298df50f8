#include "work/runrules.h"

#include "data/presetlookup.h"
#include "data/textforms.h"
#include "device/tavik.h"
#include "work/sequencer.h"
#include "data/worklist.h"

#include <algorithm>
#include <limits>

namespace RunRules {

bool presetFound(const WorkLine &line)
{
    return line.pool < PresetLookup::NotFound;
}

bool lineRunnable(const WorkLine &line)
{
    quint32 lf = 0;
    return PresetLookup::isUsable(line.pool) && TextForm::lfValue(line.value, lf);
}

QString lineProblem(const WorkLine &line)
{
    if (line.pool == PresetLookup::NotFound)
        return QStringLiteral("its preset was not found");
    if (line.pool == PresetLookup::Duplicate)
        return QStringLiteral("its preset is in the library twice");
    if (!PresetLookup::isUsable(line.pool))
        return QStringLiteral("its preset pool is unknown");
    quint32 lf = 0;
    if (!TextForm::lfValue(line.value, lf))
        return QStringLiteral("its frequency \"%1\" is not valid").arg(line.value.left(20));
    return {};
}

int firstUnrunnable(const WorkList &work)
{
    const QList<WorkLine> &lines = work.records();
    const auto found = std::find_if_not(lines.cbegin(), lines.cend(), lineRunnable);
    return found == lines.cend() ? -1 : int(found - lines.cbegin());
}

qint64 listSeconds(const WorkList &work)
{
    qint64 seconds = 0;
    for (const WorkLine &line : work.records()) {
        if (presetFound(line))
            seconds += qint64(qMax(0, line.time)) * 60;
    }
    return seconds;
}

Outcome check(const WorkList *work, const Tavik *tavik, const Sequencer *sequencer)
{
    if (!work || !tavik || !sequencer)
        return Outcome::NoDevice;
    if (!sequencer->canStart() || tavik->hasRun())
        return Outcome::StillRunning;
    if (work->count() == 0)
        return Outcome::NothingToRun;
    if (!std::all_of(work->records().cbegin(), work->records().cend(), lineRunnable))
        return Outcome::LineNotRunnable;
    const qint64 seconds = listSeconds(*work);
    if (seconds == 0)
        return Outcome::NothingToRun;
    // The device counts its transmission time in 16 bits of seconds, three
    // more than the list; a longer list would be cut short on air.
    if (seconds + 3 > qint64(Tavik::maxTransmitTime))
        return Outcome::TooLong;
    if (!tavik->isLinkUp() || !tavik->isConnected())
        return Outcome::DeviceNotReady;
    return Outcome::Ready;
}

QString text(Outcome outcome, const WorkList *work)
{
    switch (outcome) {
    case Outcome::Ready:
        return {};
    case Outcome::NoDevice:
        return QStringLiteral("No device picked: pick one on the Tavik tab.");
    case Outcome::NothingToRun:
        return QStringLiteral("Nothing to run: the work list has no lines with a time.");
    case Outcome::LineNotRunnable: {
        const int row = work ? firstUnrunnable(*work) : -1;
        if (row < 0)
            return QStringLiteral("A line of this list has no preset or no valid frequency: the list cannot run.");
        // A device's list is not edited line by line here: it is mended
        // where it came from and sent again.
        return QStringLiteral("Line %1 cannot run: %2. Mend the preset on the Preset tab or the program on the "
                              "Program tab, then send the program to work again.")
            .arg(row + 1)
            .arg(lineProblem(work->records().at(row)));
    }
    case Outcome::TooLong:
        return QStringLiteral("The list runs %1 min; a device can transmit at most %2 min at once.")
            .arg(work ? listSeconds(*work) / 60 : 0)
            .arg(maxMinutes());
    case Outcome::DeviceNotReady:
        return QStringLiteral("The device is not connected and ready.");
    case Outcome::StillRunning:
        return QStringLiteral("A run is still going on this device, or its stop is on the way: Start comes back once it is done.");
    }
    return {};
}

int maxMinutes()
{
    return (Tavik::maxTransmitTime - 3) / 60;
}

QString timeProblem(int minutes)
{
    if (minutes >= 1 && minutes <= maxMinutes())
        return {};
    return QStringLiteral("the time must be 1 to %1 minutes").arg(maxMinutes());
}

QString timeProblem(const QString &text)
{
    bool ok = false;
    const int minutes = text.trimmed().toInt(&ok, 10);
    return timeProblem(ok ? minutes : 0);
}

QString frequencyProblem(const QString &text)
{
    quint32 lf = 0;
    if (TextForm::lfValue(text, lf))
        return {};
    if (text.contains(QLatin1Char(',')))
        return QStringLiteral("write the frequency with a point, as in 1.5");
    // A device takes whole hertz and more: 0.5 is above 0 and still refused.
    return QStringLiteral("the frequency must be a plain number of hertz from 1 to %1, as in 1234.5")
        .arg(std::numeric_limits<quint32>::max());
}

} // namespace RunRules
