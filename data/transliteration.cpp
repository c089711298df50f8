#include "data/transliteration.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

namespace Transliteration {

namespace {

// One transliterator of each kind for the process; ICU's are not to be
// used by two threads at once, and building one costs tens of milliseconds.
QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

icu::Transliterator *instance(const char *id)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::Transliterator *made =
        icu::Transliterator::createInstance(icu::UnicodeString::fromUTF8(id), UTRANS_FORWARD, status);
    if (U_FAILURE(status)) {
        // Without ICU's data search still ignores case and marks.
        qWarning() << "No transliterator" << id << u_errorName(status);
        delete made;
        return nullptr;
    }
    return made;
}

QString run(icu::Transliterator *transliterator, const QString &text)
{
    if (!transliterator)
        return text;
    icu::UnicodeString unicode(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    transliterator->transliterate(unicode);
    return QString(reinterpret_cast<const QChar *>(unicode.getBuffer()), unicode.length());
}

} // namespace

QString latinToAscii(const QString &text)
{
    QMutexLocker locked(&lock());
    static const std::unique_ptr<icu::Transliterator> ascii(instance("Latin-ASCII"));
    return run(ascii.get(), text);
}

QString toLatin(const QString &text)
{
    QMutexLocker locked(&lock());
    static const std::unique_ptr<icu::Transliterator> latin(instance("Any-Latin"));
    return run(latin.get(), text);
}

QString toCommonLatin(const QString &text)
{
    QMutexLocker locked(&lock());
    static const std::unique_ptr<icu::Transliterator> common(
        instance("Russian-Latin/BGN; Greek-Latin/BGN; Armenian-Latin/BGN; Any-Latin"));
    return run(common.get(), text);
}

QString toModernGreekLatin(const QString &text)
{
    QMutexLocker locked(&lock());
    static const std::unique_ptr<icu::Transliterator> modern(instance("Greek-Latin/UNGEGN; Any-Latin"));
    return run(modern.get(), text);
}

} // namespace Transliteration
