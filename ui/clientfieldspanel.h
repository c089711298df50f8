#pragma once

#include <QWidget>

namespace Ui { class ClientFieldsPanel; }
class ClientEditor;
struct ClientFields;

// The open client's name and notes, shown above its history on the client
// tab; every edit of the name goes to the client editor's name rule.
class ClientFieldsPanel : public QWidget
{
    Q_OBJECT

public:
    ClientFieldsPanel(ClientEditor &editor, QWidget *parent = nullptr);
    ~ClientFieldsPanel() override;

    // Shows what the editor holds (empty when no client is open).
    void fill();
    // Hands the shown fields to the editor's commit.
    void commit();
    // A new client shown is stored before a note is made for it; false
    // when no client is open after it.
    bool storeNewForNote();
    void focusName();

private Q_SLOTS:
    void on_lineEdit_client_name_textChanged(const QString &text);

private:
    ClientFields shown() const;

    ClientEditor &m_editor;
    Ui::ClientFieldsPanel *ui;
};
