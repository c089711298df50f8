#pragma once

#include "data/linetype.h"
#include "data/recordstore.h"

#include <QDateTime>
#include <QLatin1StringView>
#include <QTime>

#include <array>
#include <utility>

// One entry of a client's history: a free note, or the record that a preset
// or program was given.
struct Note
{
    // An entry is a preset given, a program given, a free note, or a
    // preset of a program run (shown under its program).
    static constexpr std::initializer_list<int> kinds = {LineType::Preset, LineType::Program, LineType::Notes,
                                                         LineType::PresetNote};
    // The operator paints a free note one of the first three; a recorded
    // run marks its program and its presets with the other two.
    enum Colour { Plain = 0, Red = 1, Yellow = 2, Green = 3, ProgramRun = 4, PresetRun = 5 };

    TextForm::Stamp created;
    int type = LineType::None;
    QString text;
    int version = 0;
    QString variable;
    int time = TextForm::noMinutes;
    int colour = 0;

    static Note newRecord(int type);
    static Note fromJson(const QJsonObject &object);
    static Note fromFields(const RecordFields &fields);
    QJsonObject toJson() const;
    // What toJson holds, keys in their stored order: a history of tens of
    // thousands of entries is read and written without an object per entry.
    using Texts = std::array<std::pair<QLatin1StringView, QString>, 7>;
    Texts texts() const;
    const QString &displayText() const { return text; }
};

class Notes : public RecordStore<Note>
{
public:
    explicit Notes(const QString &listKey = QStringLiteral("notes"),
                   const QString &debugName = QStringLiteral("notes"));

    // A new note of this type before the current one; it becomes current.
    void insertNote(int type);

    QString createdText() const { return dateTimeText(&Note::created); }
    void setCreatedNow() { setNow(&Note::created); }
    int type() const { return field(&Note::type); }
    QString typeWord() const;
    QString text() const { return field(&Note::text); }
    void setText(const QString &text) { setField(&Note::text, text); }
    int version() const { return field(&Note::version); }
    QString versionText() const { return intText(&Note::version); }
    void setVersion(int version) { setField(&Note::version, version); }
    QString variable() const { return field(&Note::variable); }
    void setVariable(const QString &variable) { setField(&Note::variable, variable); }
    int timeMinutes() const { return minutes(&Note::time); }
    QString timeText() const { return minutesText(&Note::time); }
    void setTime(int value) { setMinutes(&Note::time, value); }
    void setTimeText(const QString &text) { setMinutesText(&Note::time, text); }
    // The stored value is kept as read; only 0 to 6 name a colour.
    int colour() const;
    void setColour(int colour) { setField(&Note::colour, colour); }
};
