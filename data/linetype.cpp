#include "data/linetype.h"

namespace LineType {

QString word(int type)
{
    switch (type) {
    case Preset: return QStringLiteral("Preset");
    case Program: return QStringLiteral("Program");
    case Notes: return QStringLiteral("Notes");
    case PresetNote: return QStringLiteral("PresetNote");
    default: return QString();
    }
}

int fromWord(const QString &text)
{
    for (int type = Preset; type <= PresetNote; ++type) {
        if (text == word(type))
            return type;
    }
    return None;
}

bool isOneOf(int type, std::initializer_list<int> kinds)
{
    for (const int kind : kinds) {
        if (type == kind)
            return true;
    }
    return false;
}

int fromWord(const QString &text, std::initializer_list<int> kinds, int fallback)
{
    const int type = fromWord(text);
    return isOneOf(type, kinds) ? type : fallback;
}

} // namespace LineType
