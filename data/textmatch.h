#pragma once

#include <QString>

// The match of every search field and store filter: true when `pattern`
// occurs in `text` with case and diacritics ignored, so "rez" finds "Řez".
// An empty pattern matches every text.
bool containsIgnoringAccents(const QString &text, const QString &pattern);

// The form in which texts are compared: canonically decomposed, marks
// removed, case-folded. A search keeps this of each record, so that a
// keystroke compares plain text instead of decomposing every name again.
QString foldForSearch(const QString &text);
