#pragma once

#include <QString>

#include <initializer_list>

// What a line of a program, of a device's work list or of a client's
// history stands for. One enum for all three, stored by its word; each
// record type takes the kinds it can hold.
namespace LineType {

enum Type { None = 0, Preset = 1, Program = 2, Notes = 3, PresetNote = 4 };

// "Preset", "Program", "Notes", "PresetNote"; empty for None.
QString word(int type);
// Case-sensitive; a word of no kind gives None.
int fromWord(const QString &word);
// Whether `type` is one of `kinds`.
bool isOneOf(int type, std::initializer_list<int> kinds);
// The kind the word names when it is one of `kinds`, else `fallback`.
int fromWord(const QString &word, std::initializer_list<int> kinds, int fallback);

} // namespace LineType
