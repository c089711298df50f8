#pragma once

#include <QString>

// The match of every search field and store filter: true when `pattern`
// occurs in `text` with case and diacritics ignored, so "rez" finds "Řez".
// An empty pattern matches every text.
bool containsIgnoringAccents(const QString &text, const QString &pattern);
