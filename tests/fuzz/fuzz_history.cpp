// The history file's three lists, read as History::readBase reads them.
#include "fuzzsupport.h"

#include "data/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Container::ListOf<Note> notes(QStringLiteral("history"));
    Container::ListOf<Preset> presets(QStringLiteral("presets"));
    Container::ListOf<Program> programs(QStringLiteral("programs"));
    QJsonObject rest;
    if (!Container::decode(Fuzz::bytes(data, size), rest, {&notes, &presets, &programs}))
        return 0;
    History history;
    Notes &entries = history.notes();
    entries.replaceRecords(notes.taken());
    history.presets().replaceRecords(presets.taken());
    history.programs().replaceRecords(programs.taken());
    for (entries.first(); entries.hasCurrent(); entries.next())
        history.presetNotesAfterCurrent();
    Fuzz::roundTrip(QStringLiteral("history"), entries.records());
    Fuzz::roundTrip(QStringLiteral("presets"), history.presets().records());
    Fuzz::roundTrip(QStringLiteral("programs"), history.programs().records());
    return 0;
}
