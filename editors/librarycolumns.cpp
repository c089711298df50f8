#include "editors/librarycolumns.h"

#include "data/textforms.h"
#include "editors/textcolours.h"
#include "work/runrules.h"

#include <QColor>

namespace LibraryColumns {

namespace {

QString fixed(const char *text)
{
    return QString::fromLatin1(text);
}

// A cell shows a note's first line, cut short: laying out a note of
// megabytes for one row would hold up the window for seconds.
constexpr qsizetype cellLength = 200;
// A tooltip shows more, but never the whole of a very long note.
constexpr qsizetype tooltipLength = 2000;

QString cut(QStringView text, qsizetype length)
{
    if (text.size() <= length)
        return text.toString();
    // Not between the two halves of a surrogate pair.
    qsizetype end = length;
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end).toString() + QChar(0x2026);
}

QString firstLine(const QString &text)
{
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    if (end < 0)
        return cut(text, cellLength);
    QStringView line = QStringView(text).left(end);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return cut(line, cellLength) + (line.size() <= cellLength ? QStringLiteral(" ") + QChar(0x2026) : QString());
}

QString tooltipOf(const QString &text)
{
    return cut(text, tooltipLength);
}

QString minutesOf(int minutes)
{
    return QString::number(minutes);
}

// A stored preset whose frequency or time cannot go on air is marked where
// the operator sees it; it stays as stored.
QVariant unsendable(const QString &problem)
{
    return problem.isEmpty() ? QVariant() : QVariant(QColor(255, 200, 200));
}

QString nameVersion(const Note &note)
{
    return TextForm::versioned(note.text, note.version);
}

// ".tim:" and the minutes, for entries that ran for some time.
QString runTime(const Note &note)
{
    const int minutes = note.time;
    return minutes > 0 ? QStringLiteral(".tim:") + QString::number(minutes) : QString();
}

QString historyText(const Note &note)
{
    switch (note.type) {
    case LineType::Preset: return QStringLiteral("pre: ") + nameVersion(note) + runTime(note);
    case LineType::Program: return QStringLiteral("pro: ") + nameVersion(note);
    case LineType::Notes: return firstLine(note.text);
    case LineType::PresetNote: return QStringLiteral(" - ") + nameVersion(note) + runTime(note);
    default: return QString();
    }
}

QString historyTooltip(const Note &note)
{
    switch (note.type) {
    case LineType::Preset:
    case LineType::PresetNote:
        return QStringLiteral("Double click to load preset ") + nameVersion(note)
               + QStringLiteral(" to client program, preset, not implemented yet");
    case LineType::Program:
        return QStringLiteral("Double click to load program ") + nameVersion(note)
               + QStringLiteral(" to client program, not implemented yes");
    case LineType::Notes: return fixed("Double click to edit");
    default: return QString();
    }
}

QVariant colourOrNothing(int code)
{
    const QColor colour = noteColour(code);
    return colour.isValid() ? QVariant(colour) : QVariant();
}

} // namespace

QColor noteColour(int code)
{
    switch (code) {
    case Note::Red: return QColor(255, 200, 200);
    case Note::Yellow: return QColor(255, 255, 200);
    case Note::Green: return QColor(200, 255, 200);
    case Note::ProgramRun: return QColor(255, 180, 180);
    case Note::PresetRun: return QColor(220, 140, 140);
    default: return QColor();
    }
}

QColor textColourOn(const QColor &background)
{
    return TextColours::on(background);
}

QList<ListColumn<Client>> clients()
{
    const auto own = [](QString Client::*member) {
        return [member](const Client &c) { return firstLine(c.*member); };
    };
    const auto whole = [](QString Client::*member) {
        return [member](const Client &c) { return tooltipOf(c.*member); };
    };
    return {
        {fixed("Name"), own(&Client::name), [](const Client &) { return fixed("Double click to edit"); }, {}},
        {fixed("Address"), own(&Client::notes1), whole(&Client::notes1), {}},
        {fixed("Notes"), own(&Client::notes2), whole(&Client::notes2), {}},
    };
}

QList<ListColumn<Note>> history()
{
    return {
        {fixed("Date"),
         [](const Note &n) { return n.type == LineType::PresetNote ? QString() : TextForm::fromDateTime(n.created); },
         {},
         [](const Note &n) { return n.type == LineType::PresetNote ? QVariant() : colourOrNothing(n.colour); }},
        {fixed("Notes"), historyText, historyTooltip,
         [](const Note &n) {
             const bool painted = n.type == LineType::Notes && n.colour >= Note::Red && n.colour <= Note::Green;
             return painted ? colourOrNothing(n.colour) : QVariant();
         }},
    };
}

QList<ListColumn<Program>> programs()
{
    const auto toEdit = [](const Program &) { return fixed("Double click to edit"); };
    return {
        {fixed("Name"), [](const Program &p) { return p.name; }, toEdit, {}},
        {fixed("Version"), [](const Program &p) { return QString::number(p.version); }, toEdit, {}},
        {fixed("Description"), [](const Program &p) { return firstLine(p.notes); },
         [](const Program &p) { return tooltipOf(p.notes); }, {}},
        {fixed("Time\nmin"), [](const Program &p) { return minutesOf(p.time); }, {}, {}},
    };
}

QList<ListColumn<Preset>> presets()
{
    const auto toProgram = [](const Preset &) { return fixed("Double click to add to program"); };
    const auto toEdit = [](const Preset &) { return fixed("Double click to edit"); };
    return {
        {fixed("Name"), [](const Preset &p) { return p.name; }, toProgram, {}},
        {fixed("Version"), [](const Preset &p) { return QString::number(p.version); }, toProgram, {}},
        {fixed("Description"), [](const Preset &p) { return firstLine(p.notes); },
         [](const Preset &p) { return tooltipOf(p.notes); }, {}},
        {fixed("Frequency"), [](const Preset &p) { return p.variable; },
         [](const Preset &p) {
             const QString problem = RunRules::frequencyProblem(p.variable);
             return problem.isEmpty() ? fixed("Double click to edit") : QStringLiteral("Cannot be sent: ") + problem;
         },
         [](const Preset &p) { return unsendable(RunRules::frequencyProblem(p.variable)); }},
        {fixed("Time\nmin"), [](const Preset &p) { return minutesOf(p.time); }, toEdit,
         [](const Preset &p) { return unsendable(RunRules::timeProblem(p.time)); }},
    };
}

} // namespace LibraryColumns
