#pragma once

#include <QWidget>

class QLabel;

// A short message shown under the mouse cursor, sized to its text and kept
// inside the window, that hides itself after a number of UI ticks (more for
// a long text) or when clicked.
class NoticePopup : public QWidget
{
    Q_OBJECT
public:
    static constexpr int shownTicks = 20;
    static constexpr int readingWidth = 480;
    static constexpr int minimumWidth = 120;
    static constexpr int edge = 4;

    // The ticks a notice of this text stays up.
    static int ticksFor(const QString &text);

    explicit NoticePopup(QWidget *parent);

    // Shows the text at `position` (in the parent's coordinates) and starts
    // the count-down again, also when a notice is already up.
    void showNotice(const QString &text, const QPoint &position);

    // One UI tick of the count-down.
    void tick();

    int countdown() const { return m_countdown; }
    QString text() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void placeWithin(const QPoint &position);

    QLabel *m_label;
    int m_countdown = 0;
};
