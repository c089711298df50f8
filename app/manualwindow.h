#pragma once

#include <QDialog>

class QTextBrowser;

// The manual, read from the program itself: it needs no network, no
// browser and no installed documentation, and it is the text of the
// release the operator runs.
class ManualWindow : public QDialog
{
    Q_OBJECT
public:
    static const char *const source;
    // Where the manual opens: how to use the program, not how to build it.
    static const char *const firstSection;

    explicit ManualWindow(QWidget *parent);

    QTextBrowser *browser() const { return m_browser; }

    // Shows the heading whose link name (its words in lower case joined by
    // hyphens, as the README's own links write it) is `anchor`.
    bool showHeading(const QString &anchor);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QTextBrowser *m_browser;
    bool m_scrolled = false;
};
