#pragma once

#include <QDialog>

class NoticePopup;
class QListWidget;

// The notices shown since the program started, newest first: one that
// vanished before it was read, or one replaced by the next, is here.
class NoticeLog : public QDialog
{
    Q_OBJECT
public:
    NoticeLog(const NoticePopup &notices, QWidget *parent);

    void fill();

private:
    const NoticePopup &m_notices;
    QListWidget *m_list;
};
