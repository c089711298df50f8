#include "data/textmatch.h"

#include <array>

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

QString foldSlowly(const QString &text)
{
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

// The Latin letters (accented or not) fold to one unit each, and folding a
// name letter by letter gives what folding it whole gives: decomposition
// only adds marks, which go, and simple case folding looks at one letter.
constexpr char16_t latinEnd = 0x250;
constexpr char16_t notSingle = 0xFFFF;

const std::array<char16_t, latinEnd> &latinFolds()
{
    static const std::array<char16_t, latinEnd> table = [] {
        std::array<char16_t, latinEnd> folds{};
        for (char16_t c = 0; c < latinEnd; ++c) {
            const QString folded = foldSlowly(QString(QChar(c)));
            folds[c] = folded.size() == 1 ? folded.at(0).unicode() : notSingle;
        }
        return folds;
    }();
    return table;
}

} // namespace

QString foldForSearch(const QString &text)
{
    // Most names are plain ASCII: nothing to decompose, no marks.
    if (isAscii(text))
        return text.toLower();

    const std::array<char16_t, latinEnd> &latin = latinFolds();
    QString folded(text.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= latinEnd || latin[c] == notSingle)
            return foldSlowly(text);
        out[i] = QChar(latin[c]);
    }
    return folded;
}

bool containsIgnoringAccents(const QString &text, const QString &pattern)
{
    return foldForSearch(text).contains(foldForSearch(pattern));
}
