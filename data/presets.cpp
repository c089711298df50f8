#include "data/presets.h"

#include "data/textforms.h"

using namespace TextForm;

Preset Preset::newRecord()
{
    Preset preset;
    preset.created = QDateTime::currentDateTime();
    preset.modified = preset.created;
    preset.time = 5;
    preset.variable = QStringLiteral("5000.0");
    return preset;
}

namespace {

template <typename Object>
Preset read(const Object &object)
{
    Preset preset;
    QString held;
    QStringView word;
    readDateTime(object, "cre", preset.created);
    readDateTime(object, "mod", preset.modified);
    readText(object, "nam", preset.name);
    readInt(object, "ver", preset.version);
    if (viewOf(object, "for", held, word))
        preset.forMachine = Preset::forMachineFromWord(word);
    readText(object, "not", preset.notes);
    readMinutes(object, "tim", preset.time);
    readText(object, "var", preset.variable);
    if (viewOf(object, "obt", held, word))
        preset.obtained = Preset::obtainedFromWord(word);
    readText(object, "aut", preset.author);
    return preset;
}

} // namespace

Preset Preset::fromJson(const QJsonObject &object)
{
    return read(object);
}

Preset Preset::fromFields(const RecordFields &fields)
{
    return read(fields);
}

Preset::Texts Preset::texts() const
{
    return {{
        {QLatin1StringView("aut"), author},
        {QLatin1StringView("cre"), fromDateTime(created)},
        {QLatin1StringView("for"), forMachineWord(forMachine)},
        {QLatin1StringView("mod"), fromDateTime(modified)},
        {QLatin1StringView("nam"), name},
        {QLatin1StringView("not"), notes},
        {QLatin1StringView("obt"), obtainedWord(obtained)},
        {QLatin1StringView("tim"), fromMinutes(time)},
        {QLatin1StringView("var"), variable},
        {QLatin1StringView("ver"), fromInt(version)},
    }};
}

QJsonObject Preset::toJson() const
{
    QJsonObject object;
    for (const auto &[key, text] : texts())
        object.insert(key, text);
    return object;
}

QString Preset::forMachineWord(int value)
{
    switch (value) {
    case 0: return QStringLiteral("T5 T7");
    case 1: return QStringLiteral("T8");
    default: return QString();
    }
}

int Preset::forMachineFromWord(QStringView word)
{
    return word == QLatin1String("T8") ? 1 : 0;
}

QString Preset::obtainedWord(int value)
{
    switch (value) {
    case 0: return QStringLiteral("Calc");
    case 1: return QStringLiteral("DNA List");
    case 2: return QStringLiteral("FScan");
    default: return QString();
    }
}

int Preset::obtainedFromWord(QStringView word)
{
    if (word == QLatin1String("DNA List"))
        return 1;
    if (word == QLatin1String("FScan"))
        return 2;
    return 0;
}

namespace PresetPool {

QString word(int pool)
{
    switch (pool) {
    case Client: return QStringLiteral("Client");
    case General: return QStringLiteral("General");
    case Legitimate: return QStringLiteral("Legitimate");
    default: return QString();
    }
}

int fromWord(const QString &word)
{
    if (word == QLatin1String("Client"))
        return Client;
    if (word == QLatin1String("General"))
        return General;
    return Legitimate;
}

} // namespace PresetPool

Presets::Presets() : RecordStore<Preset>(QStringLiteral("presets"), QStringLiteral("presets")) {}

void Presets::insertNew()
{
    insertRecord(Preset::newRecord());
}

Preset Presets::currentPreset() const
{
    const Preset *preset = currentRecord();
    return preset ? *preset : Preset();
}

QString Presets::forMachineWord() const
{
    return hasCurrent() ? Preset::forMachineWord(forMachine()) : QString();
}

void Presets::setForMachineWord(const QString &word)
{
    setForMachine(Preset::forMachineFromWord(word));
}

QString Presets::obtainedWord() const
{
    return hasCurrent() ? Preset::obtainedWord(obtained()) : QString();
}

void Presets::setObtainedWord(const QString &word)
{
    setObtained(Preset::obtainedFromWord(word));
}
