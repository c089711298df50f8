#include "data/textmatch.h"

#include <QRegularExpression>

static QString foldAccents(const QString &text)
{
    // Runs for every record on every keystroke: compile the expression once.
    static const QRegularExpression marks(QStringLiteral("\\p{M}"));
    return text.normalized(QString::NormalizationForm_D).remove(marks);
}

bool containsIgnoringAccents(const QString &text, const QString &pattern)
{
    return foldAccents(text).contains(foldAccents(pattern), Qt::CaseInsensitive);
}
