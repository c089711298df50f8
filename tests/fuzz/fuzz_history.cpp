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
    history.editRecords() = notes.taken();
    history.presets().editRecords() = presets.taken();
    history.programs().editRecords() = programs.taken();
    for (history.first(); history.hasCurrent(); history.next())
        history.presetNotesAfterCurrent();
    Fuzz::roundTrip(QStringLiteral("history"), history.records());
    Fuzz::roundTrip(QStringLiteral("presets"), history.presets().records());
    Fuzz::roundTrip(QStringLiteral("programs"), history.programs().records());
    return 0;
}
