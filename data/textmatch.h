#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The match of every search field and store filter: true when `pattern`
// occurs in `text` once both are folded (below), or in the Latin spelling of
// a text in another script, so "rez" finds "Řez", "lodz" finds "Łódź" and
// "moskva" finds "Москва". A pattern that folds to nothing matches every
// text.
bool containsIgnoringAccents(const QString &text, const QString &pattern);

// The form in which texts are compared, the same for names and for what is
// typed: compatibility forms to their plain letters ("ﬁ", "Ａ", no-break
// space), case folded, marks, invisible format characters and control
// characters removed, Latin letters without a decomposition to their
// plain spelling ("ł" to "l", "ß" to "ss", "æ" to "ae"), every run of white
// space one space, none at either end. A search keeps this of each record,
// so that a keystroke compares plain text.
QString foldForSearch(QStringView text);
// The same, appended to `out` (which is not cleared): no allocation per
// text once `out` has grown.
void appendFolded(QStringView text, QString &out);

// Whether the table folding looks letters up in is built: it is built on
// first use, in tens of milliseconds, on whichever thread folds first.
bool foldingReady();

// Whether a folded text holds letters of a script other than Latin, which
// a Latin keyboard cannot type: those texts get more keys.
bool needsTransliteration(QStringView folded);
// Those keys: the text's Latin spellings, folded, each once and none equal
// to `folded`, the text's own fold. ICU's ("Москва" gives "moskva", "Жито"
// "zito", "北京" "bei jing"); for Cyrillic and Greek also the English one
// ("zhito", "olga" for "Ольга", "thessaloniki"); and ICU's without the
// spaces it put between syllables the text wrote together ("beijing").
// Tens of microseconds a text: made beside the window, not on each
// keystroke.
QStringList spellingsForSearch(const QString &text, QStringView folded);
