#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ColumnFit;
class QLineEdit;
class QPushButton;
class QTableView;
class StoreTableModel;

// One library list as the user works it: the search field filters the
// store and refills the view at each keystroke, the Clear button empties
// the field, and the list's selected row follows the view's selection.
//
// The selection is the key of the record under it (0 for none): the model
// follows its store's changes row by row, and after a whole list is shown
// anew the row showing that record is selected again, and nothing when the
// record is gone or the search hides it.
class SearchableList : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        QLineEdit *search = nullptr;
        QPushButton *clear = nullptr;
        QTableView *view = nullptr;
        StoreTableModel *model = nullptr;
    };

    // `selected` is the list's selection, kept by whoever outlives the list.
    // `setFilter` hands the search text to the store shown; `widths` gives
    // the column widths for a table width.
    SearchableList(const Parts &parts, quint64 &selected, std::function<void(const QString &)> setFilter,
                   std::function<QList<int>(int)> widths, QObject *parent = nullptr);

    // Writes each search text to the debug log, after `label` if any.
    void logSearches(const QString &label) { m_logLabel = label; m_log = true; }

    void refill();
    // Also done whenever the table changes size; a column the operator set
    // keeps its width.
    void applyWidths();
    // Empties the search field; the store's filter goes with it.
    void clearSearch();
    // Hands the field's text to the store shown again (after a pool switch).
    void reapplySearch();

    // The selected row, -1 for none.
    int row() const;
    // The key of the record selected and shown, 0 for none: what the list
    // hands on, so that whoever acts on it finds that record whatever has
    // moved since the list was filled.
    quint64 key() const { return row() >= 0 ? m_selected : 0; }

Q_SIGNALS:
    // Enter on the list: the selected record is to be opened.
    void openRequested();
    // A record was picked or nothing is picked any more: buttons that act
    // on the pick follow.
    void pickChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchChanged(const QString &text);
    void reselect();
    void selectionChanged();

    Parts m_parts;
    quint64 &m_selected;
    std::function<void(const QString &)> m_setFilter;
    ColumnFit *m_columns = nullptr;
    QString m_logLabel;
    bool m_log = false;
    bool m_rowsMoving = false;
};
