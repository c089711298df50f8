#pragma once

#include <QKeySequence>
#include <QList>

class QAbstractButton;
class QAbstractItemView;
class QAction;
class QLineEdit;

// The keyboard and the right-click menu of a tab's list, the way desktop
// programs have them.
namespace ListKeys {

// An action on the list's right-click menu that presses one of the tab's
// buttons, so that its keys and the menu take the same path, and ask the
// same question, as a click; it is enabled exactly when the button is.
// Keys act while the list has the focus; `tabWide` keys (Ctrl+N) act
// wherever the focus is while the list's tab is shown.
QAction *addButton(QAbstractItemView *view, QAbstractButton *button, const QList<QKeySequence> &keys = {},
                   bool tabWide = false);

// A line on the list's right-click menu between the actions before and after.
void addSeparator(QAbstractItemView *view);

// Ctrl+F, while the field's tab is shown, puts the focus in the field with
// its text selected.
void addFind(QLineEdit *field);

// A list with no rows takes no Tab stop: it would hold the focus where
// nothing shows it. One that loses its last row while it has the focus
// hands it on.
void focusOnlyWhenFilled(QAbstractItemView *view);

} // namespace ListKeys
