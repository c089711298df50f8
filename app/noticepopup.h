#pragma once

#include <QDateTime>
#include <QFrame>
#include <QList>
#include <QPoint>

class QLabel;

// A short message shown beside the mouse cursor, sized to its text and kept
// inside the window, that hides itself after a number of UI ticks (more for
// a long text). It never takes a click and never lies over a control: a
// click meant for Stop must reach Stop whatever is shown. A click anywhere
// in the window closes it, and still reaches what it was meant for.
class NoticePopup : public QFrame
{
    Q_OBJECT
public:
    static constexpr int shownTicks = 20;
    static constexpr int readingWidth = 480;
    static constexpr int minimumWidth = 120;
    static constexpr int edge = 4;
    // The notices kept for reading again, the newest last.
    static constexpr int loggedNotices = 100;

    struct Logged
    {
        QDateTime shown;
        QString text;
    };

    // The ticks a notice of this text stays up.
    static int ticksFor(const QString &text);

    explicit NoticePopup(QWidget *parent);

    // Shows the text near `pointer` (in the parent's coordinates) and starts
    // the count-down again, also when a notice is already up.
    void showNotice(const QString &text, const QPoint &pointer);

    // One UI tick of the count-down. A notice that a tab change, a resize or
    // a button shown since has put over a control moves out of its way.
    void tick();
    // Moves out of the way of controls now, if it lies over one.
    void keepClear();

    int countdown() const { return m_countdown; }
    QString text() const;
    const QList<Logged> &log() const { return m_log; }

Q_SIGNALS:
    void logged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void place();

    QLabel *m_label;
    QPoint m_pointer;
    int m_countdown = 0;
    QList<Logged> m_log;
};
