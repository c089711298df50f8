#pragma once

#include "data/clients.h"
#include "data/notes.h"
#include "data/presets.h"
#include "data/programs.h"
#include "editors/storetablemodel.h"

#include <QColor>

// What each library list shows, column by column, declared once.
namespace LibraryColumns {

// The lists below are in the order of these.
enum ClientColumn { ClientName, ClientAddress, ClientNotes };
enum HistoryColumn { HistoryDate, HistoryNotes };
enum ProgramColumn { ProgramName, ProgramVersion, ProgramDescription, ProgramTime };
enum PresetColumn { PresetName, PresetVersion, PresetDescription, PresetFrequency, PresetTime };

QList<ListColumn<Client>> clients();
QList<ListColumn<Note>> history();
QList<ListColumn<Program>> programs();
QList<ListColumn<Preset>> presets();

// The background of a history colour code; invalid for 0 and unknown codes.
QColor noteColour(int code);

// Text that reads on `background`, whatever the desktop's palette: dark
// text on the pale note colours.
QColor textColourOn(const QColor &background);

// Row height of the preset list.
constexpr int presetRowHeight = 50;

} // namespace LibraryColumns

using ClientListModel = RecordTableModel<Clients, Client>;
using HistoryListModel = RecordTableModel<Notes, Note>;
using ProgramListModel = RecordTableModel<Programs, Program>;
using PresetListModel = RecordTableModel<Presets, Preset>;
