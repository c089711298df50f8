#pragma once

#include <QList>

// Column widths of the library lists as functions of the table's width in
// pixels, so that they follow the window as it is resized. No width is
// negative: a narrow window squeezes the free-text column to nothing
// instead of handing the header a negative size.
namespace ColumnWidths {

QList<int> presetList(int tableWidth);   // 5 columns
QList<int> programList(int tableWidth);  // 4 columns
QList<int> clientList(int tableWidth);   // 3 columns
QList<int> historyList(int tableWidth, int dateWidth = 100);  // 2 columns

} // namespace ColumnWidths
