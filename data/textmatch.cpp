#include "data/textmatch.h"

namespace {

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isMark(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

QString foldForSearch(const QString &text)
{
    // Most names are plain ASCII: nothing to decompose, no marks.
    if (isAscii(text))
        return text.toLower();

    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString kept;
    kept.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed.at(i);
        if (c.isHighSurrogate() && i + 1 < decomposed.size() && decomposed.at(i + 1).isLowSurrogate()) {
            const QChar low = decomposed.at(++i);
            if (!isMark(QChar::surrogateToUcs4(c, low))) {
                kept.append(c);
                kept.append(low);
            }
        } else if (!isMark(c.unicode())) {
            kept.append(c);
        }
    }
    return kept.toCaseFolded();
}

bool containsIgnoringAccents(const QString &text, const QString &pattern)
{
    return foldForSearch(text).contains(foldForSearch(pattern));
}
