#pragma once

#include <QString>

class DeviceSlots;
class Library;
class Program;

// Writes what the library names into the selected device's work list, with
// each line's preset resolved to the LF value and time it runs with, and
// saves the registry that holds the list.
namespace SendToWork {

enum Outcome { Sent, NoDevice, DeviceBusy, NotWritten, NotSaved, NoLines };

// Replaces the work list by the program's lines; `general` says which
// program pool it came from. A program without lines leaves the list be.
Outcome program(Library &library, DeviceSlots &devices, const Program &program, bool general);
// Puts one preset line on top of the work list; a negative time takes the
// preset's own.
Outcome presetLine(Library &library, DeviceSlots &devices, const QString &name, int version, int minutes);

// What the operator is told; empty when the list was written.
QString notice(Outcome outcome);

} // namespace SendToWork
