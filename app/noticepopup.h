#pragma once

#include <QWidget>

class QLabel;

// A short message shown under the mouse cursor that hides itself after a
// number of UI ticks.
class NoticePopup : public QWidget
{
    Q_OBJECT
public:
    static constexpr int shownTicks = 20;

    explicit NoticePopup(QWidget *parent);

    // Shows the text at `position` (in the parent's coordinates) and starts
    // the count-down again, also when a notice is already up.
    void showNotice(const QString &text, const QPoint &position);

    // One UI tick of the count-down.
    void tick();

    int countdown() const { return m_countdown; }
    QString text() const;

private:
    QLabel *m_label;
    int m_countdown = 0;
};
