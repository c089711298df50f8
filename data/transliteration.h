#pragma once

#include <QString>

// The two transliterations search needs, kept apart from everything else
// because they come from ICU: a build for a system without it replaces
// this file alone. Both are safe to call from any thread.
namespace Transliteration {

// Latin letters and punctuation to their plain ASCII forms: "ł" to "l",
// "ß" to "ss", "æ" to "ae", "’" to "'". Other scripts pass unchanged.
QString latinToAscii(const QString &text);

// Any script to Latin letters, as ICU writes them: "Москва" to "Moskva",
// "北京" to "běi jīng". Latin text passes unchanged.
QString toLatin(const QString &text);

// Cyrillic, Greek and Armenian as English texts spell them (BGN/PCGN):
// "Жито" to "Zhito", "Щука" to "Shchuka", "Θεσσαλονίκη" to "Thessaloníki",
// "Երևան" to "Yerevan", where toLatin gives "Žito", "Ŝuka", "Thessaloníkē"
// and "Erevan". Other scripts as toLatin.
QString toCommonLatin(const QString &text);

// Greek as Greece's own road signs and maps spell it (ELOT 743, adopted by
// the UN), which keeps the vowel pairs BGN/PCGN drops: "Ηράκλειο" to
// "Irákleio" where toCommonLatin gives "Iráklio". Other scripts as toLatin.
QString toModernGreekLatin(const QString &text);

} // namespace Transliteration
