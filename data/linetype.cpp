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

int fromWord(const QString &text, std::initializer_list<int> kinds, int fallback)
{
    const int type = fromWord(text);
    for (const int kind : kinds) {
        if (type == kind)
            return type;
    }
    return fallback;
}

} // namespace LineType
