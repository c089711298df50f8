#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "data/linetype.h"
#include "device/tavik.h"
#include "work/deviceslots.h"
#include "ui/dialognotes.h"
#include "ui/elidedlabel.h"
#include "editors/libraryeditors.h"
#include "editors/librarysession.h"
#include "editors/storetablemodel.h"
#include "ui/toolstab.h"

#include "support/testenv.h"
#include "support/windowtest.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTcpServer>
#include <QTcpSocket>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <algorithm>

#include <memory>
#include <optional>

// Random walks through the library as a user clicks it, in the real window,
// beside a small model of what the files must hold. After every step the
// files are read back and held against the model:
// - every client not deleted is stored with its last committed name and
//   address and notes, and no other client is;
// - every note written is in its client's history file, and no history file
//   holds a note written for another client;
// - nothing nameless is stored;
// - the client open is the one last picked;
// - a restore gives back the clients and the notes its backup was made
//   from, and nothing is owed from before it;
// - a preset or program leaves its file only by a delete, or by its editor
//   storing it under another name and version;
// - every value typed into the preset or the program editor (name, version,
//   time, frequency, notes, lines) is stored with the record, or is still
//   shown in its editor (with the reason once the editor has been left), or
//   was discarded by the operator answering the question that asks;
// - a run started on the Work tab (a simulated device, its line named for
//   the run) is in the history of the client the tab named at its Start,
//   and in no other, and so is what its end adds to a history.
// The runs go on while the walk goes on, so a replay of a seed meets the
// same steps but may see a run end a step earlier or later.
// A failure prints the seed and the steps, so that the walk can be replayed:
//   TAVIK_WALK_SEEDS=17 TAVIK_WALK_STEPS=300 tst_librarywalk
// and a campaign over a range of seeds: TAVIK_WALK_SEEDS=201-260.
namespace {

QJsonObject stored(const QString &file)
{
    QJsonObject object;
    Container::readFile(TestEnv::dataFolder() + file, object);
    return object;
}

// "1,2,5" or "201-260", or both.
QList<int> numbers(const char *variable, const QList<int> &fallback)
{
    QList<int> values;
    for (const QString &word : qEnvironmentVariable(variable).split(',', Qt::SkipEmptyParts)) {
        const int first = word.section('-', 0, 0).trimmed().toInt();
        const int last = word.contains('-') ? word.section('-', 1, 1).trimmed().toInt() : first;
        for (int value = first; value <= last; ++value)
            values << value;
    }
    return values.isEmpty() ? fallback : values;
}

struct ClientModel
{
    QString name;
    QString address;
    QString notes;
};

using Shown = QMap<QString, QString>;

// What the operator typed into an editor and has not seen stored yet.
struct Typed
{
    bool active = false;
    Shown values;
    QString file;
    QString key;
    bool mayGo = false;  // a step deleted it, or the client it belongs to
};

class Walk
{
public:
    explicit Walk(quint32 seed) : m_seed(seed), m_random(seed) {}

    // Empty when the walk held; else what failed, the seed and the steps.
    QString run(int steps)
    {
        // A missing widget ends the test program at once: the seed is known.
        qInfo("walk seed %u", m_seed);
        seedFolder();
        open();
        for (int step = 0; step < steps && m_failure.isEmpty(); ++step) {
            m_act = step;
            const auto before = pairsInFiles();
            m_renamed = editorPairs();
            m_discarded = false;
            m_kept = false;
            act();
            driveDevice();
            // A restore replaces every file: nothing of before is owed.
            if (m_failure.isEmpty())
                check(std::exchange(m_restored, false) || std::exchange(m_editStepped, false) ? Pairs() : before);
        }
        // Closing the window commits what the shown tab edits; what cannot
        // be stored is discarded by answering so.
        m_answer = true;
        leaving();
        if (!m_window->close())
            fail(QStringLiteral("the window did not close after discarding"));
        m_window.reset();
        m_runToken.clear();
        afterTabChange();
        m_discarded = true;
        if (m_failure.isEmpty())
            check({});
        if (qEnvironmentVariableIsSet("TAVIK_WALK_LOG"))
            fprintf(stderr, "%s\n", qPrintable(m_steps.join('\n')));
        if (m_failure.isEmpty())
            return {};
        const QStringList last = m_steps.mid(std::max<qsizetype>(0, m_steps.size() - 80));
        return QStringLiteral("seed %1, step %2: %3\nlast steps:\n  %4")
            .arg(m_seed).arg(m_steps.size()).arg(m_failure, last.join(QStringLiteral("\n  ")));
    }

private:
    // ---- the folder the walk starts from ----------------------------------
    void seedFolder()
    {
        QDir(TestEnv::dataFolder()).removeRecursively();
        const QString folder = TestEnv::dataFolder();
        // Two clients of one name, as an older file or a restore can give.
        const QStringList files{QStringLiteral("aaaa0000aaaa0000aaaa0000aaaa0000"),
                                QStringLiteral("bbbb0000bbbb0000bbbb0000bbbb0000"),
                                QStringLiteral("cccc0000cccc0000cccc0000cccc0000")};
        const QStringList names{QStringLiteral("Ana"), QStringLiteral("Twin"), QStringLiteral("Twin")};
        QJsonArray clients;
        for (int i = 0; i < files.size(); ++i) {
            clients.append(QJsonObject{{"name", names.at(i)}, {"notes1", ""}, {"notes2", ""}, {"file", files.at(i)}});
            m_clients.insert(files.at(i), {names.at(i), QString(), QString()});
            TestEnv::writeFile(folder + files.at(i) + ".dat",
                               Container::encode({{"presets", QJsonArray{QJsonObject{{"nam", "Own"}, {"ver", "1"},
                                                                                     {"var", "100"}, {"tim", "5"}}}}}));
        }
        TestEnv::writeFile(folder + "clients.dat", Container::encode({{"clients", clients}}));
        QJsonArray presets;
        for (const char *name : {"Sun", "Moon", "Star"})
            presets.append(QJsonObject{{"nam", name}, {"ver", "1"}, {"var", "1234.5"}, {"tim", "5"}});
        presets.append(QJsonObject{{"nam", "Huge"}, {"ver", "12000"}, {"var", "NaN"}, {"tim", "100000"}});
        // Pairs at version 0, the one a new record starts with, in other
        // pools than the one a new record may be made in: refusals.
        presets.append(QJsonObject{{"nam", "Own"}, {"ver", "0"}, {"var", "100"}, {"tim", "5"}});
        TestEnv::writeFile(folder + "presets.dat", Container::encode({{"presets", presets}}));
        TestEnv::writeFile(folder + "genpresets.dat",
                           Container::encode({{"presets", QJsonArray{QJsonObject{{"nam", "Moon"}, {"ver", "0"},
                                                                                 {"var", "200"}, {"tim", "5"}}}}}));
        // Programs with lines, so that the line buttons have lines to act on.
        const QJsonArray lines{QJsonObject{{"nam", "Sun"}, {"ver", "1"}}, QJsonObject{{"nam", "Moon"}, {"ver", "1"}},
                               QJsonObject{{"nam", "Star"}, {"ver", "1"}}};
        TestEnv::writeFile(folder + "programs.dat",
                           Container::encode({{"programs", QJsonArray{QJsonObject{{"nam", "Day"}, {"ver", "1"}, {"program", lines}},
                                                                      QJsonObject{{"nam", "Night"}, {"ver", "2"}, {"program", lines}}}}}));
    }

    void open()
    {
        m_window = std::make_unique<MainWindow>();
        // A new window may take the old one's address: its pools are seen anew.
        m_clashesOf.clear();
        m_window->stopTimers();
        m_window->devices().setClock(&m_clock);
        m_window->resize(1024, 768);
        m_window->show();
        m_tabs = mainTabs(*m_window);
        m_driver.emplace(WindowDriver{*m_window});
        m_window->setQuitQuestion([this] {
            m_steps << QStringLiteral("asked to stop the run and quit: %1").arg(m_answer ? "yes" : "no");
            return m_answer;
        });
        m_notes = m_window->findChild<DialogNotes *>();
        m_window->setDiscardQuestion([this](const QString &text) {
            m_steps << QStringLiteral("asked \"%1\": %2").arg(text.section('\n', 0, 0), m_answer ? "discard" : "keep");
            m_discarded = m_discarded || m_answer;
            m_kept = m_kept || !m_answer;
            // What the operator discarded is no longer owed, whatever the
            // record opened next shows.
            m_preset.mayGo = m_preset.mayGo || (m_answer && text.startsWith(QLatin1String("The preset")));
            m_program.mayGo = m_program.mayGo || (m_answer && text.startsWith(QLatin1String("The program")));
            return m_answer;
        });
        // The library starts with the client open at the last exit, or with
        // its first client when it has never been closed.
        const QJsonArray clients = stored("clients.dat").value("clients").toArray();
        if (!m_started)
            m_open = clients.isEmpty() ? QString() : clients.first()["file"].toString();
        m_started = true;
        m_pending = false;
        if (m_window->library().openClientFile() != m_open)
            fail(QStringLiteral("client %1 is open at start, not %2")
                     .arg(m_window->library().openClientFile().left(4), m_open.left(4)));
    }

    void fail(const QString &what)
    {
        if (m_failure.isEmpty())
            m_failure = what + QStringLiteral(" (after step %1)").arg(m_steps.size());
    }

    int pick(int n) { return n <= 0 ? 0 : int(m_random.bounded(n)); }
    template <typename T>
    const T &oneOf(const QList<T> &list) { return list.at(pick(int(list.size()))); }

    // ---- steps ----------------------------------------------------------
    void act()
    {
        m_answer = pick(2) == 0;
        const int choice = pick(128);
        if (choice >= 122) takeAgainAndUndo();
        else if (choice >= 116) workStep();
        else if (choice >= 114) renew();
        else if (choice >= 112) backup();
        else if (choice >= 111) restore();
        else if (choice >= 108) download();
        else if (choice >= 106) importCsv();
        else if (choice >= 100) programLines();
        else if (choice < 3 && pick(3) == 0) redo();
        else if (choice < 3) undo();
        else if (choice < 12) goToTab(oneOf<int>({0, 1, 2, 3, 4, 5, 6, 8}));
        else if (choice < 20) selectIn(QStringLiteral("tableWidget_clientSelection"), 0);
        else if (choice < 27) openClient();
        else if (choice < 31) clickIn(0, QStringLiteral("pushButton_clientSelection_new"), "new client");
        else if (choice < 41) typeClient();
        else if (choice < 44) deleteClient();
        else if (choice < 47) clickIn(0, oneOf<QString>({"pushButton_clientSelection_moveUp", "pushButton_clientSelection_moveDown"}), "move client");
        else if (choice < 50) search(0, QStringLiteral("lineEdit_clientSelection_search"));
        else if (choice < 55 && pick(3) == 0) editNote();
        else if (choice < 55) newNote();
        else if (choice < 57) deleteNote();
        else if (choice < 58) deleteEdited();
        else if (choice < 60) selectIn(QStringLiteral("tableWidget_clientHistory"), 1);
        else if (choice < 64) presetPool();
        else if (choice < 70) presetButton();
        else if (choice < 77) typePreset();
        else if (choice < 80) search(4, QStringLiteral("lineEdit_presetSelection_search"));
        else if (choice < 84) selectIn(QStringLiteral("tableWidget_presetSelection"), 4);
        else if (choice < 88) programButton();
        else if (choice < 91) typeProgram();
        else if (choice < 93 && pick(2) == 0) typePreset();
        else if (choice < 93) selectIn(QStringLiteral("tableWidget_programSelection"), 2);
        else if (choice < 95) clickIn(5, QStringLiteral("pushButton_preset_copy"), "clone to client");
        else if (choice < 97) clickIn(3, QStringLiteral("pushButton_program_programToWork"), "program to work");
        else if (choice < 98) everyonesThenClient();
        else if (choice == 99) terminate();
        else reopen();
    }

    // Leaving the client tab commits what its fields show; the model takes
    // it as the rule says.
    void commitClientModel()
    {
        const QString name = child<QLineEdit>(*m_window, "lineEdit_client_name")->text();
        const QString address = child<QPlainTextEdit>(*m_window, "plainTextEdit_client_notes1")->toPlainText();
        const QString notes = child<QPlainTextEdit>(*m_window, "plainTextEdit_client_notes2")->toPlainText();
        if (m_pending) {
            if (name.isEmpty()) {
                m_pending = false;
                m_open = m_clients.contains(m_previous) ? m_previous : QString();
            } else if (!takenByOther(name, QString())) {
                m_pending = false;
                m_adoptNew = {name, address, notes};
            }
            return;
        }
        // Its own stored name is always acceptable, even one another has.
        const bool own = name == m_clients.value(m_open).name;
        if (!m_clients.contains(m_open) || name.isEmpty() || (!own && takenByOther(name, m_open)))
            return;  // refused: the typed name stays on screen, the history is stored as shown
        m_clients[m_open] = {name, address, notes};
    }

    bool takenByOther(const QString &name, const QString &own) const
    {
        for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
            if (it.value().name == name && it.key() != own)
                return true;
        }
        return false;
    }

    void goToTab(int index)
    {
        if (m_tabs->currentIndex() == index)
            return;
        m_steps << QStringLiteral("tab %1").arg(index);
        leaving();
        m_tabs->setCurrentIndex(index);
        afterTabChange();
    }

    // What leaving the current tab does to the model.
    void leaving()
    {
        switch (m_tabs->currentIndex()) {
        case MainWindow::TabClient: commitClientModel(); break;
        default: break;
        }
    }

    void afterTabChange()
    {
        if (m_adoptNew) {
            // The new client's file identifier is the one the model lacks.
            for (const QJsonValue &c : stored("clients.dat").value("clients").toArray()) {
                if (!m_clients.contains(c["file"].toString())) {
                    m_open = c["file"].toString();
                    m_clients.insert(m_open, *m_adoptNew);
                }
            }
            m_adoptNew.reset();
        }
    }

    void ensureTab(int index)
    {
        if (m_tabs->currentIndex() != index)
            goToTab(index);
    }

    // A row of a list, or a click below the last one.
    void selectIn(const QString &view, int tab)
    {
        ensureTab(tab);
        auto *table = child<QTableView>(*m_window, view);
        const int rows = table->model()->rowCount();
        const int row = pick(rows + 1);
        m_steps << QStringLiteral("select %1 row %2 of %3").arg(view.section('_', 1)).arg(row).arg(rows);
        if (row == rows) {
            const QPoint below(5, table->viewport()->height() - 2);
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, below);
            if (table->indexAt(below).isValid())
                table->clearSelection();
        } else {
            table->selectRow(row);
        }
    }

    void clickIn(int tab, const QString &button, const char *what)
    {
        ensureTab(tab);
        m_steps << QString::fromLatin1(what);
        auto *b = child<QPushButton>(*m_window, button);
        if (!b || !b->isEnabled())
            return;
        const int tabBefore = m_tabs->currentIndex();
        b->click();
        // A new client comes only when no editor keeps a refused edit.
        if (button == QLatin1String("pushButton_clientSelection_new") && !m_kept) {
            if (!m_pending)
                m_previous = m_open;
            m_pending = true;
            m_open.clear();
        }
        if (m_tabs->currentIndex() != tabBefore)
            afterTabChange();
    }

    QString selectedClientFile()
    {
        auto *table = child<QTableView>(*m_window, "tableWidget_clientSelection");
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        if (rows.isEmpty())
            return {};
        auto *model = qobject_cast<StoreTableModel *>(table->model());
        const int record = model->recordAt(rows.first().row());
        return record < 0 ? QString() : m_window->library().clients().records().at(record).file;
    }

    void openClient(bool afterEveryones = false)
    {
        // Opening another client changes nothing of the General lists: a
        // step just made on one still comes back after it.
        const bool everyones = afterEveryones || m_everyoneStep == m_act - 1;
        const QString top = undoText();
        ensureTab(0);
        const QString file = selectedClientFile();
        const int how = pick(3);
        m_steps << QStringLiteral("open client %1 by %2").arg(file.left(4), QStringList{"Edit", "double click", "Enter"}.at(how));
        auto *table = child<QTableView>(*m_window, "tableWidget_clientSelection");
        if (how == 0) {
            child<QPushButton>(*m_window, "pushButton_clientSelection_edit")->click();
        } else if (how == 1) {
            const QModelIndexList rows = table->selectionModel()->selectedRows();
            if (rows.isEmpty())
                return;
            // A real double click: a click, then the second press as a double click.
            const QPoint at = table->visualRect(rows.first()).center();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        } else {
            table->setFocus();
            QTest::keyClick(table, Qt::Key_Return);
        }
        if (everyones && undoText() != top)
            fail(QStringLiteral("opening another client voided \"%1\"").arg(top));
        // Nothing picked, or an editor keeps its refused edit: the open
        // client stays.
        if (!file.isEmpty() && !m_kept) {
            m_open = file;
            m_pending = false;
            if (m_tabs->currentIndex() != MainWindow::TabClient)
                fail(QStringLiteral("opening a client did not show the client tab"));
            else if (child<QLineEdit>(*m_window, "lineEdit_client_name")->text() != m_clients.value(file).name)
                fail(QStringLiteral("the client opened shows %1, not %2")
                         .arg(child<QLineEdit>(*m_window, "lineEdit_client_name")->text(), m_clients.value(file).name));
        }
        // The undo stores the shown editor first: the client just opened.
        if (everyones && (afterEveryones || pick(2) == 0)) {
            const QString said = undo();
            if (said.contains(QLatin1String("its list changed")) || said.startsWith(QLatin1String("Nothing")))
                fail(QStringLiteral("after opening another client, \"%1\" was not taken back: %2").arg(top, said));
        }
    }

    void typeClient()
    {
        ensureTab(1);
        QStringList names{QString(), QStringLiteral("Twin"), QStringLiteral("C%1").arg(++m_serial),
                          QStringLiteral("Žofie Dvořáková %1 李").arg(++m_serial),
                          QString(200, QChar(0x161)) + QString::number(++m_serial)};
        for (const ClientModel &c : m_clients)
            names << c.name;
        auto *name = child<QLineEdit>(*m_window, "lineEdit_client_name");
        if (!name->isEnabled())
            return;
        if (pick(2) == 0) {
            const QString text = oneOf(names);
            m_steps << QStringLiteral("type client name \"%1\"").arg(text);
            name->selectAll();
            name->del();
            // Key clicks spell only ASCII; other letters come as an input
            // method commits them.
            bool ascii = true;
            for (const QChar c : text)
                ascii = ascii && c.unicode() < 0x80;
            if (ascii)
                QTest::keyClicks(name, text);
            else
                name->insert(text);
        } else {
            const bool address = pick(2) == 0;
            const QString text = QStringLiteral("%1 %2").arg(address ? "addr" : "client notes").arg(++m_serial);
            m_steps << QStringLiteral("type client %1 \"%2\"").arg(address ? "address" : "notes", text);
            child<QPlainTextEdit>(*m_window, address ? "plainTextEdit_client_notes1" : "plainTextEdit_client_notes2")->setPlainText(text);
        }
    }

    void deleteClient()
    {
        ensureTab(0);
        const QString file = selectedClientFile();
        m_steps << QStringLiteral("delete client %1").arg(file.left(4));
        child<QPushButton>(*m_window, "pushButton_clientSelection_delete")->click();
        if (file.isEmpty())
            return;
        if (m_kept)
            return;  // an editor keeps its refused edit, and the client stays
        clientGone(file);
    }

    void clientGone(const QString &file)
    {
        m_gone.insert(file, {m_clients.value(file), m_written.value(file)});
        m_clients.remove(file);
        m_written.remove(file);
        // Deleting the open client lets go of what the editors hold of its
        // pools (the operator was asked), and of nothing else.
        m_preset.mayGo = m_preset.mayGo || m_preset.file == file + ".dat";
        m_program.mayGo = m_program.mayGo || m_program.file == file + ".dat";
        if (file == m_open)
            m_open.clear();
        if (file == m_previous)
            m_previous.clear();
    }

    // The clients the file holds now, beside the model: one came back or
    // went again.
    void followClients()
    {
        QSet<QString> inFile;
        for (const QJsonValue &c : stored("clients.dat").value("clients").toArray())
            inFile << c["file"].toString();
        for (const QString &file : inFile) {
            if (!m_clients.contains(file) && m_gone.contains(file)) {
                m_clients.insert(file, m_gone.value(file).model);
                m_written.insert(file, m_gone.take(file).written);
            }
        }
        for (const QString &file : m_clients.keys()) {
            if (!inFile.contains(file))
                clientGone(file);
        }
    }

    // Ctrl+Z: the last delete comes back, unless its list changed since or
    // another pool holds its name and version now (the oracle checks that
    // no pair lives in two pools).
    QString undo()
    {
        m_steps << QStringLiteral("ctrl+z");
        leaving();  // the shown editor stores first, as leaving its tab would
        m_window->undoStep();
        const QString said = m_window->notice()->text();
        m_steps << QStringLiteral("told \"%1\"").arg(said);
        if (said.startsWith(QLatin1String("Client ")))
            followClients();
        followEditStep(said);
        if (m_tabs->currentIndex() == MainWindow::TabClientSelection || m_tabs->currentIndex() == MainWindow::TabClient)
            afterTabChange();
        return said;
    }

    // Ctrl+Shift+Z: the last step taken back is made again. A delete made
    // again asks first when an editor holds a refused edit of its record,
    // and lets go of an edit stored into it.
    void redo()
    {
        m_steps << QStringLiteral("ctrl+shift+z");
        leaving();
        const bool presetRefused = m_window->editors().preset.holdsRefusedEdit();
        const bool programRefused = m_window->editors().program.holdsRefusedEdit();
        m_window->redoStep();
        const QString said = m_window->notice()->text();
        m_steps << QStringLiteral("told \"%1\"").arg(said);
        if (said.startsWith(QLatin1String("Preset ")) && said.contains(QLatin1String(" is deleted again.")))
            m_preset.mayGo = m_preset.mayGo || !presetRefused;
        if (said.startsWith(QLatin1String("Program ")) && said.contains(QLatin1String(" is deleted again.")))
            m_program.mayGo = m_program.mayGo || !programRefused;
        if (said.startsWith(QLatin1String("Client ")))
            followClients();
        followEditStep(said);
        if (m_tabs->currentIndex() == MainWindow::TabClientSelection || m_tabs->currentIndex() == MainWindow::TabClient)
            afterTabChange();
    }

    // A stored edit taken back or made again: what was typed into it is
    // the operator's to let go, and its pair may leave its file.
    void followEditStep(const QString &said)
    {
        if (!said.contains(QLatin1String(" is as before its edit.")) && !said.contains(QLatin1String(" is edited again.")))
            return;
        m_editStepped = true;
        if (said.startsWith(QLatin1String("Preset ")))
            m_preset.mayGo = true;
        if (said.startsWith(QLatin1String("Program ")))
            m_program.mayGo = true;
    }

    // Delete on the record an editor holds a refused edit of: the question
    // comes first, and Cancel keeps the record and the edit.
    void deleteEdited()
    {
        const bool presets = pick(2) == 0;
        const RecordEditorBase &editor = presets ? static_cast<const RecordEditorBase &>(m_window->editors().preset)
                                                 : m_window->editors().program;
        if (!editor.holdsRefusedEdit() || editor.isNewPending())
            return;
        const QString pair = editor.savedName() + ".v." + QString::number(editor.savedVersion());
        const QString radio = presets ? QStringList{"radioButton_presetClient", "radioButton_presetGeneral",
                                                    "radioButton_presetGenuine"}.value(m_window->editors().preset.pool())
                                      : m_window->editors().program.isGeneral() ? QStringLiteral("radioButton_programGenuine")
                                                                                : QStringLiteral("radioButton_programClient");
        const int tab = presets ? 4 : 2;
        const QString view = presets ? QStringLiteral("tableWidget_presetSelection") : QStringLiteral("tableWidget_programSelection");
        ensureTab(tab);
        m_steps << QStringLiteral("delete the edited %1 %2").arg(presets ? "preset" : "program", pair);
        child<QRadioButton>(*m_window, radio)->click();
        child<QLineEdit>(*m_window, presets ? "lineEdit_presetSelection_search" : "lineEdit_programSelection_search")->clear();
        auto *table = child<QTableView>(*m_window, view);
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const QModelIndex at = table->model()->index(row, 0);
            if (at.data().toString() + ".v." + at.siblingAtColumn(1).data().toString() != pair)
                continue;
            table->selectRow(row);
            allowDropOfSelected(tab, view, presets ? QStringLiteral("presets") : QStringLiteral("programs"));
            child<QPushButton>(*m_window, presets ? "pushButton_presetSelection_delete" : "pushButton_programSelection_delete")->click();
            return;
        }
    }

    void search(int tab, const QString &field)
    {
        ensureTab(tab);
        const QString text = oneOf<QString>({"", "T", "tw", "Sun", "zz", "C1", "o"});
        m_steps << QStringLiteral("search \"%1\" on tab %2").arg(text).arg(tab);
        child<QLineEdit>(*m_window, field)->setText(text);
    }

    void newNote()
    {
        ensureTab(1);
        // A client just made is stored first, as leaving the tab would,
        // when its name may be.
        const QString typed = child<QLineEdit>(*m_window, "lineEdit_client_name")->text();
        const bool storesNew = m_pending && !typed.isEmpty() && !takenByOther(typed, QString());
        m_steps << QStringLiteral("new notes");
        child<QPushButton>(*m_window, "pushButton_history_new")->click();
        if (storesNew) {
            commitClientModel();
            afterTabChange();
        }
        const bool open = !m_pending && !m_open.isEmpty();
        const QString token = QStringLiteral("note%1@%2").arg(++m_serial).arg(m_open.left(8));
        m_steps << QStringLiteral("new note %1").arg(token);
        if (!m_notes->isVisible()) {
            if (open)
                fail(QStringLiteral("New Notes opened no dialog for an open client"));
            return;
        }
        if (!open)
            fail(QStringLiteral("New Notes opened a dialog with no client open"));
        if (answerNotes(token, "cancel the note"))
            m_written[m_open] << token;
    }

    // Types the token into the notes dialog shown, then answers Cancel (now
    // and then) or OK; true for OK. Now and then the tab changes before the
    // tick takes the note.
    bool answerNotes(const QString &token, const char *cancelStep)
    {
        m_notes->findChild<QPlainTextEdit *>("plainTextEdit_notes")->setPlainText(token);
        auto *buttons = m_notes->findChild<QDialogButtonBox *>("buttonBox");
        if (pick(4) == 0) {
            m_steps << QString::fromLatin1(cancelStep);
            buttons->button(QDialogButtonBox::Cancel)->click();
            m_window->uiTick();
            m_cancelled << token;
            return false;
        }
        buttons->button(QDialogButtonBox::Ok)->click();
        if (pick(3) == 0)
            goToTab(oneOf<int>({0, 2, 4}));
        m_window->uiTick();
        return true;
    }

    // Notes Edit on a history entry: OK puts the text typed in place of
    // the entry's, Cancel changes nothing.
    void editNote()
    {
        ensureTab(1);
        auto *table = child<QTableView>(*m_window, "tableWidget_clientHistory");
        const int rows = table->model()->rowCount();
        if (rows == 0)
            return;
        const int row = pick(rows);
        table->selectRow(row);
        m_steps << QStringLiteral("notes edit on row %1 of %2").arg(row).arg(rows);
        child<QPushButton>(*m_window, "pushButton_history_edit")->click();
        if (!m_notes->isVisible())
            return;
        const QString old = m_notes->findChild<QPlainTextEdit *>("plainTextEdit_notes")->toPlainText();
        const QString token = QStringLiteral("note%1@%2").arg(++m_serial).arg(m_open.left(8));
        m_steps << QStringLiteral("edit note \"%1\" to %2").arg(old.left(30), token);
        if (!answerNotes(token, "cancel the edit"))
            return;
        m_written[m_open].removeAll(old);
        m_written[m_open] << token;
    }

    void deleteNote()
    {
        ensureTab(1);
        auto *table = child<QTableView>(*m_window, "tableWidget_clientHistory");
        const QModelIndexList rows = table->selectionModel()->selectedRows(1);
        const QString text = rows.isEmpty() ? QString() : rows.first().data().toString();
        m_steps << QStringLiteral("delete history entry \"%1\"").arg(text);
        child<QPushButton>(*m_window, "pushButton_history_delete")->click();
        // A run's line shows as " - NAME.v.VERSION.tim:MINUTES".
        const QString shown = text.startsWith(QLatin1String(" - ")) ? text.mid(3).section(QStringLiteral(".v."), 0, 0) : text;
        if (!shown.isEmpty())
            m_written[m_open].removeAll(shown);
    }

    void presetPool()
    {
        ensureTab(4);
        const QString radio = oneOf<QString>({"radioButton_presetClient", "radioButton_presetGeneral", "radioButton_presetGenuine"});
        m_steps << radio;
        child<QRadioButton>(*m_window, radio)->click();
    }

    void presetButton()
    {
        const QString button = oneOf<QString>({"new", "edit", "edit", "delete", "moveUp", "moveDown", "toProgram"});
        // Mostly on a row just picked, now and then on whatever is selected.
        if (pick(4) != 0)
            selectIn(QStringLiteral("tableWidget_presetSelection"), 4);
        if (button == QLatin1String("delete")) {
            allowDropOfSelected(4, QStringLiteral("tableWidget_presetSelection"), QStringLiteral("presets"));
            // A stored edit goes with its record; a refused one only when
            // the operator answers the question so.
            m_preset.mayGo = m_preset.mayGo || !m_window->editors().preset.holdsRefusedEdit();
        }
        const QString top = undoText();
        clickIn(4, "pushButton_presetSelection_" + button, qPrintable("preset " + button));
        if (child<QRadioButton>(*m_window, "radioButton_presetGeneral")->isChecked())
            madeStepOnEveryones(top);
        // Adding a preset stores the open program with the line on top.
        if (button == QLatin1String("toProgram") && m_program.active && m_window->editors().program.isLoaded())
            m_program.values = programShown();
    }

    // A preset or program deleted, its name and version taken into another
    // pool right after (made there in its editor, imported or downloaded),
    // then Ctrl+Z: the deleted one may not come back beside it, and the
    // notice says why.
    void takeAgainAndUndo()
    {
        const bool presets = pick(3) != 0;
        const int tab = presets ? 4 : 2;
        const QString view = presets ? QStringLiteral("tableWidget_presetSelection") : QStringLiteral("tableWidget_programSelection");
        const QString prefix = presets ? QStringLiteral("pushButton_presetSelection_") : QStringLiteral("pushButton_programSelection_");
        const QStringList radios = presets ? QStringList{"radioButton_presetClient", "radioButton_presetGeneral", "radioButton_presetGenuine"}
                                           : QStringList{"radioButton_programClient", "radioButton_programGenuine"};
        ensureTab(tab);
        const QString from = oneOf(radios);
        m_steps << from;
        child<QRadioButton>(*m_window, from)->click();
        auto *table = child<QTableView>(*m_window, view);
        const int rows = table->model()->rowCount();
        if (rows == 0 || !child<QPushButton>(*m_window, prefix + "delete")->isEnabled())
            return;
        table->selectRow(pick(rows));
        const QModelIndex picked = table->selectionModel()->selectedRows().value(0);
        const QString name = picked.data().toString();
        const int version = picked.siblingAtColumn(1).data().toInt();
        allowDropOfSelected(tab, view, presets ? QStringLiteral("presets") : QStringLiteral("programs"));
        Typed &edit = presets ? m_preset : m_program;
        edit.mayGo = edit.mayGo || !(presets ? m_window->editors().preset.holdsRefusedEdit()
                                             : m_window->editors().program.holdsRefusedEdit());
        clickIn(tab, prefix + "delete", presets ? "preset delete" : "program delete");
        if (table->model()->rowCount() != rows - 1)
            return;  // an editor keeps its refused edit, and the record stays
        const QString pair = name + ".v." + QString::number(version);
        const int way = presets && from != radios.at(2) ? pick(3) : 0;
        if (way == 0) {
            // Into a new record of another pool, where the pair is the
            // deleted one's and nothing else's.
            QString into = oneOf(radios);
            if (into == from)
                into = radios.at((radios.indexOf(from) + 1) % radios.size());
            m_steps << into;
            child<QRadioButton>(*m_window, into)->click();
            if (!child<QPushButton>(*m_window, prefix + "new")->isEnabled())
                return;
            clickIn(tab, prefix + "new", presets ? "preset new" : "program new");
            const QString label = presets ? QStringLiteral("label_presetSelection") : QStringLiteral("label_programSelection");
            ensureTab(presets ? 5 : 3);
            auto *field = child<QLineEdit>(*m_window, presets ? "lineEdit_preset_name" : "lineEdit_program_name");
            if (!field->isEnabled() || !field->text().isEmpty())
                return;  // the editor kept a refused edit of its own
            m_steps << QStringLiteral("type %1 name \"%2\" version %3").arg(presets ? "preset" : "program", name).arg(version);
            field->setText(name);
            child<QSpinBox>(*m_window, presets ? "spinBox_preset_mutation" : "spinBox_program_version")->setValue(version);
            if (presets)
                typed(m_preset, presetShown(), label);
            else
                typed(m_program, programShown(), label);
            ensureTab(tab);  // leaving the editor stores the new record
        } else if (way == 1) {
            // Only a name the import's "name version" column gives back whole.
            if (version < 0 || name != name.trimmed() || name.contains(',') || name.contains('"'))
                return;
            importCsv({name + " " + QString::number(version)});
        } else {
            answerDownload(QJsonArray{QJsonObject{{"nam", name}, {"ver", QString::number(version)}, {"var", "500"}, {"tim", "5"}}});
        }
        if (!m_window)
            return;
        const bool taken = stillIn(presets, from, name, version) == 0 && storedElsewhere(presets, from, name, version);
        const QString said = undo();
        if (taken && (!said.contains(QLatin1String("Protected can't save")) || stillIn(presets, from, name, version) > 0))
            fail(QStringLiteral("Ctrl+Z after %1 was taken into another pool said \"%2\"").arg(pair, said));
    }

    // How often a pool holds the pair in memory: the pool a radio button names.
    int stillIn(bool presets, const QString &radio, const QString &name, int version)
    {
        Library &library = m_window->library();
        const auto count = [&](const auto &store) {
            return int(std::count_if(store.records().cbegin(), store.records().cend(),
                                     [&](const auto &r) { return r.name == name && r.version == version; }));
        };
        if (!presets)
            return count(radio.endsWith(QLatin1String("Genuine")) ? library.programs() : library.history().programs());
        const int pool = radio.endsWith(QLatin1String("Client")) ? PresetPool::Client
                         : radio.endsWith(QLatin1String("General")) ? PresetPool::General : PresetPool::Legitimate;
        return count(library.presetPool(pool));
    }

    bool storedElsewhere(bool presets, const QString &radio, const QString &name, int version)
    {
        const QStringList radios = presets ? QStringList{"radioButton_presetClient", "radioButton_presetGeneral", "radioButton_presetGenuine"}
                                           : QStringList{"radioButton_programClient", "radioButton_programGenuine"};
        for (const QString &other : radios) {
            if (other != radio && stillIn(presets, other, name, version) > 0)
                return true;
        }
        return false;
    }

    // Opens a record in an editor when none is open, so that typing has
    // something to type into.
    void openSomething(int listTab, const QString &list, const QString &prefix, int editorTab, const QString &field)
    {
        ensureTab(editorTab);
        if (child<QLineEdit>(*m_window, field)->isEnabled())
            return;
        selectIn(list, listTab);
        clickIn(listTab, prefix + (pick(3) == 0 ? "new" : "edit"), "open for typing");
        ensureTab(editorTab);
    }

    void typePreset()
    {
        openSomething(4, QStringLiteral("tableWidget_presetSelection"), QStringLiteral("pushButton_presetSelection_"), 5,
                      QStringLiteral("lineEdit_preset_name"));
        auto *name = child<QLineEdit>(*m_window, "lineEdit_preset_name");
        if (!name->isEnabled())
            return;
        const Shown before = presetShown();
        const int what = pick(5);
        if (what == 4) {
            const QString text = QStringLiteral("notes %1").arg(++m_serial);
            m_steps << QStringLiteral("type preset notes \"%1\"").arg(text);
            child<QPlainTextEdit>(*m_window, "plainTextEdit_preset_notes")->setPlainText(text);
        } else if (what == 0) {
            const QString text = oneOf<QString>({"", "Sun", "Moon", "Own", QStringLiteral("P%1").arg(++m_serial),
                                                 QStringLiteral("Řeřicha %1 日本").arg(++m_serial),
                                                 QString(200, QChar(0x17E)) + QString::number(++m_serial)});
            m_steps << QStringLiteral("type preset name \"%1\"").arg(text);
            name->setText(text);
        } else if (what == 1) {
            const int version = oneOf<int>({0, 1, 2, 9999, 10000, -3});
            m_steps << QStringLiteral("type preset version %1").arg(version);
            child<QSpinBox>(*m_window, "spinBox_preset_mutation")->setValue(version);
        } else if (what == 2) {
            const QString text = oneOf<QString>({"1234.5", "-5", "5e9", "1,5", "NaN", "77"});
            m_steps << QStringLiteral("type frequency \"%1\"").arg(text);
            child<QLineEdit>(*m_window, "lineEdit_preset_variable")->setText(text);
        } else {
            const QString text = oneOf<QString>({"0", "5", "1440", "-5", "12"});
            m_steps << QStringLiteral("type preset time \"%1\"").arg(text);
            child<QLineEdit>(*m_window, "lineEdit_preset_workTime")->setText(text);
        }
        // A field given the value it shows is no edit of the operator's.
        if (presetShown() != before)
            typed(m_preset, presetShown(), QStringLiteral("label_presetSelection"));
    }

    void programButton()
    {
        ensureTab(2);
        if (pick(4) == 0) {
            const QString radio = oneOf<QString>({"radioButton_programClient", "radioButton_programGenuine"});
            m_steps << radio;
            child<QRadioButton>(*m_window, radio)->click();
            return;
        }
        const QString button = oneOf<QString>({"new", "edit", "edit", "delete", "moveUp", "moveDown", "toWork"});
        if (pick(4) != 0)
            selectIn(QStringLiteral("tableWidget_programSelection"), 2);
        if (button == QLatin1String("delete")) {
            allowDropOfSelected(2, QStringLiteral("tableWidget_programSelection"), QStringLiteral("programs"));
            m_program.mayGo = m_program.mayGo || !m_window->editors().program.holdsRefusedEdit();
        }
        const QString top = undoText();
        clickIn(2, "pushButton_programSelection_" + button, qPrintable("program " + button));
        if (child<QRadioButton>(*m_window, "radioButton_programGenuine")->isChecked())
            madeStepOnEveryones(top);
    }

    QString undoText() { return m_window->session().undoStack().undoText(); }

    // A delete or a move in a General list, another client opened, Ctrl+Z.
    void everyonesThenClient()
    {
        const bool presets = pick(2) == 0;
        const int tab = presets ? 4 : 2;
        const QString prefix = presets ? QStringLiteral("pushButton_presetSelection_") : QStringLiteral("pushButton_programSelection_");
        const QString view = presets ? QStringLiteral("tableWidget_presetSelection") : QStringLiteral("tableWidget_programSelection");
        ensureTab(tab);
        const QString radio = presets ? QStringLiteral("radioButton_presetGeneral") : QStringLiteral("radioButton_programGenuine");
        m_steps << radio;
        child<QRadioButton>(*m_window, radio)->click();
        selectIn(view, tab);
        const QString button = oneOf<QString>({"delete", "moveUp", "moveDown"});
        if (button == QLatin1String("delete")) {
            allowDropOfSelected(tab, view, presets ? QStringLiteral("presets") : QStringLiteral("programs"));
            Typed &edit = presets ? m_preset : m_program;
            edit.mayGo = edit.mayGo || !(presets ? m_window->editors().preset.holdsRefusedEdit()
                                                 : m_window->editors().program.holdsRefusedEdit());
        }
        const QString top = undoText();
        clickIn(tab, prefix + button, qPrintable(QStringLiteral("General %1 %2").arg(presets ? "preset" : "program", button)));
        if (undoText() == top)
            return;
        selectIn(QStringLiteral("tableWidget_clientSelection"), 0);
        openClient(true);
    }

    // A step on the General presets or programs: no client's list.
    void madeStepOnEveryones(const QString &before)
    {
        if (undoText() != before)
            m_everyoneStep = m_act;
    }

    // A deleted record leaves its file when its list is next written.
    void allowDropOfSelected(int tab, const QString &view, const QString &key)
    {
        ensureTab(tab);
        auto *table = child<QTableView>(*m_window, view);
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        if (!rows.isEmpty())
            m_deleted << key + ":" + rows.first().data().toString() + ".v."
                    + rows.first().siblingAtColumn(1).data().toString();
    }

    void typeProgram()
    {
        openSomething(2, QStringLiteral("tableWidget_programSelection"), QStringLiteral("pushButton_programSelection_"),
                      3, QStringLiteral("lineEdit_program_name"));
        auto *name = child<QLineEdit>(*m_window, "lineEdit_program_name");
        if (!name->isEnabled())
            return;
        const Shown before = programShown();
        if (pick(3) == 0) {
            const QString text = QStringLiteral("program notes %1").arg(++m_serial);
            m_steps << QStringLiteral("type program notes \"%1\"").arg(text);
            child<QPlainTextEdit>(*m_window, "plainTextEdit_program_notes")->setPlainText(text);
        } else {
            const QString text = oneOf<QString>({"", "Day", QStringLiteral("G%1").arg(++m_serial),
                                                 QStringLiteral("Ünïcødé %1").arg(++m_serial),
                                                 QString(200, QChar(0x10D)) + QString::number(++m_serial)});
            m_steps << QStringLiteral("type program name \"%1\"").arg(text.left(20));
            name->setText(text);
        }
        if (programShown() != before)
            typed(m_program, programShown(), QStringLiteral("label_programSelection"));
    }

    // Update Presets against a local server that answers a few steps later
    // (or at once when asked again), with a set of its own.
    void download()
    {
        if (!m_asking.isEmpty()) {
            const QString name = QStringLiteral("D%1").arg(++m_serial);
            // Now and then also a pair the General pool or a client's holds.
            const QString taken = oneOf<QString>({"", "", "Sun", "Own", "Moon"});
            QJsonArray set{QJsonObject{{"nam", name}, {"ver", "1"}, {"var", "300"}, {"tim", "5"}}};
            if (!taken.isEmpty())
                set.append(QJsonObject{{"nam", taken}, {"ver", "1"}, {"var", "400"}, {"tim", "5"}});
            answerDownload(set);
            return;
        }
        askDownload();
    }

    // Update Presets clicked; true once the server was asked.
    bool askDownload()
    {
        ensureTab(MainWindow::TabTools);
        if (!m_server.isListening()) {
            m_server.listen(QHostAddress::LocalHost);
            QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
                while (QTcpSocket *socket = m_server.nextPendingConnection())
                    m_asking << socket;
            });
        }
        auto *button = child<QPushButton>(*m_window, "pushButton_Update_Preset");
        if (!button->isEnabled())
            return false;
        m_window->findChild<ToolsTab *>()->setDownloadUrl(
            QUrl(QStringLiteral("http://127.0.0.1:%1/info/genpresets.dat").arg(m_server.serverPort())));
        m_steps << QStringLiteral("update presets");
        button->click();
        if (!QTest::qWaitFor([&] { return !m_asking.isEmpty(); }, 5000)) {
            fail(QStringLiteral("the download never asked the server"));
            return false;
        }
        return true;
    }

    // The server answers the download asking with `set` (asked first when
    // none is), and the download ends.
    void answerDownload(const QJsonArray &set)
    {
        if (m_asking.isEmpty() && !askDownload())
            return;
        ensureTab(MainWindow::TabTools);
        settleStoredEdit();
        QStringList names;
        for (const QJsonValue &preset : set)
            names << preset["nam"].toString() + ".v." + preset["ver"].toString();
        m_steps << QStringLiteral("the server answers with %1").arg(names.join(' '));
        for (const QJsonValue &r : stored("genpresets.dat").value("presets").toArray())
            m_downloadedOver.append(r);
        const QByteArray body = Container::encode({{"version", "1"}, {"presets", set}});
        for (QTcpSocket *socket : std::exchange(m_asking, {})) {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        }
        m_downloaded = true;
        if (!QTest::qWaitFor([&] { return child<QPushButton>(*m_window, "pushButton_Update_Preset")->isEnabled()
                                          && !m_window->findChild<QProgressDialog *>(); }, 20000))
            fail(QStringLiteral("the download did not end"));
    }

    // Leaving the preset tab for the tools stored the edit; a download or an
    // import the operator asks for then may replace or update it.
    void settleStoredEdit()
    {
        if (m_preset.active && storedAsTyped(m_preset))
            m_preset.active = false;
    }

    // A frequency table into the Legitimate pool; its lines for pairs the
    // General pool holds are refused. Its lines name "NAME VERSION".
    void importCsv(QStringList pairs = {})
    {
        ensureTab(MainWindow::TabTools);
        settleStoredEdit();
        const QString csv = TestEnv::dataFolder() + "../walk.csv";
        QByteArray lines = "Actinomyces israelii ,440\n";
        if (pairs.isEmpty())
            pairs = QStringList{QStringLiteral("Sun 1"), QStringLiteral("Moon 1"), QStringLiteral("L%1 2").arg(++m_serial)};
        for (const QString &name : std::as_const(pairs))
            lines += name.toUtf8() + "," + QByteArray::number(100 + m_serial) + "\n";
        TestEnv::writeFile(csv, lines);
        auto *tools = m_window->findChild<ToolsTab *>();
        tools->setFileChooser([csv](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return csv; });
        m_steps << QStringLiteral("import %1").arg(pairs.join(QStringLiteral(", ")));
        child<QPushButton>(*m_window, "pushButton_import")->click();
        if (!QTest::qWaitFor([&] { return !m_window->findChild<QProgressDialog *>(); }, 20000))
            fail(QStringLiteral("the import did not end"));
    }

    // Delete, move and time cells of the open program's lines, with a line
    // selected or none.
    void programLines()
    {
        openSomething(2, QStringLiteral("tableWidget_programSelection"), QStringLiteral("pushButton_programSelection_"),
                      3, QStringLiteral("lineEdit_program_name"));
        auto *table = child<QTableView>(*m_window, "tableWidget_program");
        if (!child<QLineEdit>(*m_window, "lineEdit_program_name")->isEnabled())
            return;
        const int rows = table->model()->rowCount();
        const int row = pick(rows + 1);
        if (row == rows)
            table->clearSelection();
        else
            table->selectRow(row);
        const QString button = oneOf<QString>({"deleteLine", "moveUp", "moveDown", "time"});
        m_steps << QStringLiteral("program line %1 at %2 of %3").arg(button).arg(row).arg(rows);
        const QStringList before = programShown().value("lines").split('|');
        if (button == QLatin1String("time")) {
            if (row < rows)
                table->model()->setData(table->model()->index(row, 4), oneOf<QString>({"7", "0", "5", "x"}));
        } else {
            child<QPushButton>(*m_window, "pushButton_program_" + button)->click();
        }
        const QStringList after = programShown().value("lines").split('|');
        if (row == rows && before != after)
            fail(QStringLiteral("a line button changed the lines with no line selected"));
        typed(m_program, programShown(), QStringLiteral("label_programSelection"));
    }

    // Sends a history entry back to the work list: nothing of the library
    // may change with it.
    void renew()
    {
        ensureTab(MainWindow::TabClient);
        auto *table = child<QTableView>(*m_window, "tableWidget_clientHistory");
        const int rows = table->model()->rowCount();
        if (rows > 0)
            table->selectRow(pick(rows));
        m_steps << QStringLiteral("renew history entry of %1").arg(rows);
        child<QPushButton>(*m_window, "pushButton_history_toWork")->click();
    }

    // ---- runs on a simulated device ---------------------------------------
    // The window's ticks as its timers give them, the simulator's time as
    // fast as the window's clock.
    void tickWindow() { m_driver->step(); }

    // A few ticks after every step once a device is about; a run that has
    // ended is no longer owed.
    void driveDevice()
    {
        if (!m_simStarted || !m_window)
            return;
        for (int tick = pick(12); tick > 0; --tick)
            tickWindow();
        if (!m_runToken.isEmpty() && !m_window->devices().anyRunGoing()) {
            m_steps << QStringLiteral("run %1 ended").arg(m_runToken);
            m_runToken.clear();
        }
    }

    // The simulated device found, connected and ready for a run.
    bool deviceReady()
    {
        if (!m_simStarted) {
            m_simStarted = true;
            m_steps << QStringLiteral("a device comes up");
            if (!m_sim.start(WindowRig::simArguments(QStringLiteral("7070"), timeScale))) {
                fail(QStringLiteral("the simulator did not start"));
                return false;
            }
        }
        Machines &registry = m_window->devices().registry();
        const bool ready = m_driver->until([&] {
            if (registry.count() > 0 && !registry.hasCurrent())
                registry.setCurrent(0);
            const Tavik *tavik = m_window->devices().selectedController();
            return selectedReady(*m_window) || (tavik && tavik->hasRun());
        }, 30000);
        if (!ready)
            fail(QStringLiteral("the device was not ready within 30 s"));
        return ready;
    }

    // Start on the Work tab with a line named for the run, or Stop the run
    // going.
    void workStep()
    {
        if (!deviceReady())
            return;
        ensureTab(MainWindow::TabWork);
        m_window->uiTick();
        if (!m_runToken.isEmpty()) {
            m_steps << QStringLiteral("stop run %1").arg(m_runToken);
            child<QPushButton>(*m_window, "pushButton_work_stop")->click();
            return;
        }
        WorkList &work = *m_window->devices().registry().work();
        while (work.count() > 0) {
            work.setCurrent(0);
            work.removeCurrent();
        }
        const QString token = QStringLiteral("R%1").arg(++m_serial);
        addWorkLine(work, token, QStringLiteral("777"), 1 + pick(2), 1, 1);
        m_window->uiTick();
        auto *start = child<QPushButton>(*m_window, "pushButton_work_start");
        // The whole text, which a narrow window shows cut.
        const QString named = child<ElidedLabel>(*m_window, "label_work_client")->fullText();
        m_steps << QStringLiteral("start run %1 recorded for \"%2\"").arg(token, named);
        if (!start->isEnabled())
            return;
        start->click();
        if (!m_window->devices().anyRunGoing())
            return fail(QStringLiteral("Start did not start a run"));
        m_runToken = token;
        // The client the tab names is the one whose history holds the run.
        const bool client = !m_pending && !m_open.isEmpty();
        if (named != (client ? m_clients.value(m_open).name : QStringLiteral("no client: recorded in no history")))
            return fail(QStringLiteral("the Work tab named \"%1\" for a run of client %2").arg(named, m_open.left(4)));
        m_runOwner.insert(token, client ? m_open : QString());
        if (client) {
            m_written[m_open] << token;
            ++m_runsFor[m_open];
        }
    }

    // What the files hold when a backup is written, so that a restore of it
    // can be checked.
    struct Saved
    {
        QMap<QString, ClientModel> clients;
        QMap<QString, QStringList> written;
        QString open;  // the client open when it was written
    };

    bool waitForTools()
    {
        return QTest::qWaitFor([&] { return !m_window->findChild<QProgressDialog *>(); }, 20000);
    }

    void backup()
    {
        ensureTab(MainWindow::TabTools);
        const QString path = TestEnv::dataFolder() + QStringLiteral("../walk%1.bkp").arg(++m_serial);
        m_window->findChild<ToolsTab *>()->setFileChooser(
            [path](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return path; });
        m_steps << QStringLiteral("backup %1").arg(m_serial);
        child<QPushButton>(*m_window, "pushButton_backup")->click();
        if (!waitForTools() || !QFile::exists(path))
            return fail(QStringLiteral("the backup was not written"));
        // A new client not stored yet is in no file, nor in the backup.
        m_backups.insert(path, {m_clients, m_written, m_pending ? QString() : m_open});
    }

    // Restores a backup (or a file that is none), and starts again as the
    // program does after a restore.
    void restore()
    {
        ensureTab(MainWindow::TabTools);
        // A restore waits its turn behind a download the server has not
        // answered yet.
        if (!m_asking.isEmpty())
            return;
        const QStringList paths = m_backups.keys();
        const QString path = paths.isEmpty() || pick(4) == 0 ? TestEnv::dataFolder() + "../none.bkp" : oneOf(paths);
        m_steps << QStringLiteral("restore %1").arg(QFileInfo(path).fileName());
        auto *tools = m_window->findChild<ToolsTab *>();
        tools->setFileChooser([path](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return path; });
        bool restart = false;
        const QMetaObject::Connection asked = QObject::connect(tools, &ToolsTab::restartRequested, [&restart] { restart = true; });
        // Leaving the editors for this tab stored what they could: what is
        // still owed, they refused, and the restore asks before it goes.
        const bool refused = owed(m_preset) || owed(m_program);
        child<QPushButton>(*m_window, "pushButton_restore")->click();
        const bool ended = waitForTools();
        QObject::disconnect(asked);
        if (!ended)
            return fail(QStringLiteral("the restore did not end"));
        if (!restart) {
            // A restore waits until no device is transmitting, and is not
            // made when the operator keeps an edit.
            if (m_backups.contains(path) && m_runToken.isEmpty() && !m_kept)
                fail(QStringLiteral("a backup was not restored"));
            if (m_tabs->currentIndex() != MainWindow::TabTools)
                afterTabChange();
            return;
        }
        if (refused && !m_discarded)
            return fail(QStringLiteral("a restore let an edit go without asking"));
        if (!m_runToken.isEmpty())
            return fail(QStringLiteral("a backup was restored while a run went on"));
        // The operator replaced everything with the backup: what the
        // editors held goes with the old files.
        m_steps << QStringLiteral("restart");
        m_window.reset();
        const Saved &saved = m_backups[path];
        m_clients = saved.clients;
        m_written = saved.written;
        // The client open at the backup is opened again; without one, the
        // restored list's first, as at a first start.
        m_open = saved.clients.contains(saved.open) ? saved.open : QString();
        m_started = !m_open.isEmpty();
        m_pending = false;
        m_adoptNew.reset();
        m_preset.mayGo = m_program.mayGo = true;
        m_restored = true;
        open();
        const LibraryEditors &editors = m_window->editors();
        if (editors.preset.holdsRefusedEdit() || editors.program.holdsRefusedEdit() || editors.client.holdsRefusedEdit())
            fail(QStringLiteral("an edit refused before the restore is offered in the restored library"));
    }

    void reopen()
    {
        m_steps << QStringLiteral("close and reopen");
        // Refusing to stop a run keeps the window as it was: no tab is left.
        const bool stays = m_window->devices().anyRunGoing() && !m_answer;
        if (!stays)
            leaving();
        if (!m_window->close()) {
            if (!stays)
                afterTabChange();
            return;  // kept what an editor refused, or the run: the window stays
        }
        m_window.reset();
        m_runToken.clear();  // the window stopped it on its way out
        afterTabChange();
        if (m_pending)
            m_pending = false;  // a new client not stored is gone with the window
        check({});
        open();
    }

    // A termination signal (or a logout): nobody is asked, and what the
    // editors refused is offered again, with its reason, at the next start.
    void terminate()
    {
        m_steps << QStringLiteral("terminated");
        leaving();
        m_window->closeForSignal();
        const ClientEditor &client = m_window->editors().client;
        const bool newClientHeld = m_pending && client.isNewPending() && client.holdsRefusedEdit();
        m_window.reset();
        m_runToken.clear();  // the window stopped it on its way out
        afterTabChange();
        m_pending = false;
        open();
        if (newClientHeld) {
            // Offered as the new client it was; no client was open before it.
            m_pending = m_window->editors().client.isNewPending();
            m_previous.clear();
            if (!m_pending)
                fail(QStringLiteral("a new client refused was not offered again after the program ended"));
        }
        offeredAgain(m_preset, m_window->editors().preset, "preset", "label_preset_name_info");
        offeredAgain(m_program, m_window->editors().program, "program", "label_program_name_info");
    }

    void offeredAgain(const Typed &edit, const RecordEditorBase &editor, const char *what, const QString &reason)
    {
        if (edit.mayGo || !owed(edit))
            return;
        if (!editor.holdsRefusedEdit() || editor.message().isEmpty())
            return fail(QStringLiteral("a refused %1 edit was not offered again after the program ended").arg(what));
        if (child<QLabel>(*m_window, reason)->text() != editor.message())
            fail(QStringLiteral("a refused %1 edit was offered again without its reason").arg(what));
    }

    // ---- the oracle ------------------------------------------------------
    using Pairs = QMap<QString, QMap<QString, int>>;

    // (name.v.version) counts in every preset and program list of every file.
    Pairs pairsInFiles()
    {
        Pairs pairs;
        const QStringList files = QDir(TestEnv::dataFolder()).entryList({"*.dat"}, QDir::Files);
        for (const QString &file : files) {
            const QJsonObject object = stored(file);
            for (const char *key : {"presets", "programs"}) {
                for (const QJsonValue &r : object.value(QLatin1String(key)).toArray())
                    ++pairs[file + ":" + key][r["nam"].toString() + ".v." + r["ver"].toString()];
            }
        }
        return pairs;
    }

    Shown presetShown()
    {
        return {{"nam", child<QLineEdit>(*m_window, "lineEdit_preset_name")->text()},
                {"ver", QString::number(child<QSpinBox>(*m_window, "spinBox_preset_mutation")->value())},
                {"tim", child<QLineEdit>(*m_window, "lineEdit_preset_workTime")->text()},
                {"var", child<QLineEdit>(*m_window, "lineEdit_preset_variable")->text()},
                {"not", child<QPlainTextEdit>(*m_window, "plainTextEdit_preset_notes")->toPlainText()}};
    }

    Shown programShown()
    {
        // A hidden tab refills its table when shown: until then the editor
        // holds what it will show.
        QStringList names;
        if (m_tabs->currentIndex() == MainWindow::TabProgram) {
            const QAbstractItemModel *lines = child<QTableView>(*m_window, "tableWidget_program")->model();
            for (int row = 0; row < lines->rowCount(); ++row)
                names << lines->index(row, 1).data().toString() + ".v." + lines->index(row, 2).data().toString();
        } else if (m_window->editors().program.isLoaded()) {
            for (const ProgramLineView &line : m_window->editors().program.lineViews())
                names << line.name + ".v." + line.version;
        }
        return {{"nam", child<QLineEdit>(*m_window, "lineEdit_program_name")->text()},
                {"ver", QString::number(child<QSpinBox>(*m_window, "spinBox_program_version")->value())},
                {"not", child<QPlainTextEdit>(*m_window, "plainTextEdit_program_notes")->toPlainText()},
                {"lines", names.join('|')}};
    }

    QString poolFile(const QString &word, bool presets)
    {
        if (word == QLatin1String("Client"))
            return m_open + ".dat";
        if (!presets)
            return QStringLiteral("programs.dat");
        return word == QLatin1String("Legitimate") ? QStringLiteral("genpresets.dat") : QStringLiteral("presets.dat");
    }

    void typed(Typed &edit, const Shown &values, const QString &poolLabel)
    {
        const bool presets = &edit == &m_preset;
        edit.active = true;
        edit.values = values;
        edit.file = poolFile(child<QLabel>(*m_window, poolLabel)->text(), presets);
        edit.key = presets ? QStringLiteral("presets") : QStringLiteral("programs");
    }

    static bool holds(const QJsonValue &r, const Shown &values)
    {
        QStringList lines;
        for (const QJsonValue &line : r["program"].toArray())
            lines << line["nam"].toString() + ".v." + line["ver"].toString();
        bool same = true;
        for (auto it = values.cbegin(); it != values.cend() && same; ++it)
            same = (it.key() == QLatin1String("lines") ? lines.join('|') : r[it.key()].toString()) == it.value();
        return same;
    }

    bool storedAsTyped(const Typed &edit)
    {
        const QJsonArray records = stored(edit.file).value(edit.key).toArray();
        return std::any_of(records.begin(), records.end(), [&](const QJsonValue &r) { return holds(r, edit.values); });
    }

    // Whether the operator typed something into the editor that is not
    // stored. A new record left as New made it holds nothing of theirs.
    bool owed(const Typed &edit)
    {
        const Shown fresh = &edit == &m_preset ? Shown{{"nam", ""}, {"ver", "0"}, {"tim", "5"}, {"var", "5000.0"}, {"not", ""}}
                                               : Shown{{"nam", ""}, {"ver", "0"}, {"not", ""}, {"lines", ""}};
        return edit.active && edit.values != fresh && !storedAsTyped(edit);
    }

    // Each typed edit is stored, still shown (with the reason once its tab
    // was left), or was let go by the operator.
    void checkTyped(Typed &edit, const char *what, int tab, const QString &field, const QString &reason)
    {
        const bool mayGo = std::exchange(edit.mayGo, false);
        if (!edit.active)
            return;
        if (!owed(edit) || mayGo) {
            edit.active = false;
            return;
        }
        // Held: its editor still has a record open and the fields show the edit.
        const bool open = m_window && (&edit == &m_preset ? m_window->editors().preset.isLoaded()
                                                          : m_window->editors().program.isLoaded());
        if (open && child<QLineEdit>(*m_window, field)->isEnabled()
            && (&edit == &m_preset ? presetShown() : programShown()) == edit.values) {
            if (m_tabs->currentIndex() != tab && child<QLabel>(*m_window, reason)->text().isEmpty())
                fail(QStringLiteral("the %1 editor holds an edit it did not store, with no reason").arg(what));
            return;
        }
        // Typed back to a Legitimate record a download took out: nothing
        // differs from what the editor opened, and the download stands.
        if (m_discarded || (edit.file == QLatin1String("genpresets.dat")
                            && std::any_of(m_downloadedOver.cbegin(), m_downloadedOver.cend(),
                                           [&](const QJsonValue &r) { return holds(r, edit.values); }))) {
            edit.active = false;
            return;
        }
        QStringList typed;
        for (auto it = edit.values.cbegin(); it != edit.values.cend(); ++it)
            typed << it.key() + "=" + it.value().left(40);
        fail(QStringLiteral("a %1 edit was lost: %2 is neither stored in %3 nor shown")
                 .arg(what, typed.join(' '), edit.file));
    }

    // The pairs the editors hold, in their files: a commit may move them.
    QSet<QString> editorPairs()
    {
        QSet<QString> pairs;
        if (!m_window)
            return pairs;
        const PresetEditor &preset = m_window->editors().preset;
        if (preset.isLoaded() && !preset.isNewPending())
            pairs << poolFile(preset.poolWord(), true) + ":presets|" + preset.savedName() + ".v."
                    + QString::number(preset.savedVersion());
        const ProgramEditor &program = m_window->editors().program;
        if (program.isLoaded() && !program.isNewPending())
            pairs << poolFile(program.poolWord(), false) + ":programs|" + program.savedName() + ".v."
                    + QString::number(program.savedVersion());
        return pairs;
    }

    void check(const Pairs &before)
    {
        const QJsonArray clients = stored("clients.dat").value("clients").toArray();
        QMap<QString, ClientModel> inFile;
        for (const QJsonValue &c : clients) {
            if (c["name"].toString().isEmpty())
                return fail(QStringLiteral("a nameless client is stored"));
            inFile.insert(c["file"].toString(), {c["name"].toString(), c["notes1"].toString(), c["notes2"].toString()});
        }
        if (inFile.keys() != m_clients.keys())
            return fail(QStringLiteral("clients stored %1, expected %2")
                            .arg(inFile.keys().join(','), m_clients.keys().join(',')));
        for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
            const ClientModel &file = inFile.value(it.key());
            if (file.name != it.value().name || file.address != it.value().address || file.notes != it.value().notes)
                return fail(QStringLiteral("client %1 stored as %2/%3, expected %4/%5")
                                .arg(it.key().left(4), file.name, file.address, it.value().name, it.value().address));
        }
        const QStringList files = QDir(TestEnv::dataFolder()).entryList({"*.dat"}, QDir::Files);
        for (const QString &name : files) {
            const QJsonObject object = stored(name);
            const QString owner = name.chopped(4);
            QStringList notes;
            int endings = 0;
            for (const QJsonValue &n : object.value("history").toArray()) {
                const QString text = n["not"].toString();
                const bool note = n["typ"].toString() == LineType::word(LineType::Notes);
                if (note || !text.isEmpty())
                    notes << text;
                if (text.startsWith("note") && !text.endsWith("@" + owner.left(8)))
                    return fail(QStringLiteral("history %1 holds %2").arg(owner.left(4), text));
                if (m_runOwner.contains(text) && m_runOwner.value(text) != owner)
                    return fail(QStringLiteral("history %1 holds run %2 of client %3")
                                    .arg(owner.left(4), text, m_runOwner.value(text).left(4)));
                if (note && text.startsWith("Tavik ") && ++endings > m_runsFor.value(owner))
                    return fail(QStringLiteral("history %1 holds \"%2\", one end more than it had runs")
                                    .arg(owner.left(4), text));
            }
            for (const char *key : {"presets", "programs"}) {
                for (const QJsonValue &r : object.value(QLatin1String(key)).toArray()) {
                    if (r["nam"].toString().isEmpty())
                        return fail(QStringLiteral("a nameless record is stored in %1").arg(name));
                }
            }
            for (const QString &token : m_written.value(owner)) {
                if (!notes.contains(token))
                    return fail(QStringLiteral("note %1 is missing from its history").arg(token));
            }
            for (const QString &token : m_cancelled) {
                if (notes.contains(token))
                    return fail(QStringLiteral("note %1 is stored although its dialog was cancelled").arg(token));
            }
            if (notes.contains(QString()))
                return fail(QStringLiteral("an empty note is stored in %1").arg(owner.left(4)));
        }
        if (!before.isEmpty()) {
            const Pairs after = pairsInFiles();
            for (auto list = before.cbegin(); list != before.cend(); ++list) {
                for (auto pair = list.value().cbegin(); pair != list.value().cend(); ++pair) {
                    if (after.value(list.key()).value(pair.key()) < pair.value()
                        && !m_deleted.contains(list.key().section(':', 1) + ":" + pair.key())
                        && !(m_downloaded && list.key().startsWith(QLatin1String("genpresets.dat")))
                        && !m_renamed.contains(list.key() + "|" + pair.key()))
                        return fail(QStringLiteral("%1 lost %2").arg(list.key(), pair.key()));
                }
            }
        }
        // A pair lives in one pool only.
        QSet<QString> general;
        for (const QJsonValue &r : stored("presets.dat").value("presets").toArray())
            general << r["nam"].toString() + ".v." + r["ver"].toString();
        // A download replaces the Legitimate pool in memory only: the
        // program holds what is in memory, the file follows at its next save.
        QList<std::pair<QString, QString>> legitimate;
        if (m_window) {
            for (const Preset &preset : m_window->library().legitimatePresets().records())
                legitimate.append({preset.name, QString::number(preset.version)});
        } else {
            for (const QJsonValue &r : stored("genpresets.dat").value("presets").toArray())
                legitimate.append({r["nam"].toString(), r["ver"].toString()});
        }
        for (const auto &[name, version] : legitimate) {
            if (general.contains(name + ".v." + version))
                return fail(QStringLiteral("%1.v.%2 is in the General and the Legitimate pool").arg(name, version));
        }
        // The open client's pools, as the program holds them. Another
        // client's pool may hold a pair stored elsewhere while it was not
        // open; while one client stays open, no path adds a pair to two pools.
        if (m_window && m_window->library().hasOpenClient()) {
            Library &library = m_window->library();
            const auto pair = [](const auto &record) { return record.name + ".v." + QString::number(record.version); };
            QSet<QString> others, clashes;
            for (const Preset &preset : library.generalPresets().records())
                others << pair(preset);
            for (const Preset &preset : library.legitimatePresets().records())
                others << pair(preset);
            for (const Preset &preset : library.presetPool(PresetPool::Client).records()) {
                if (others.contains(pair(preset)))
                    clashes << QStringLiteral("preset ") + pair(preset);
            }
            QSet<QString> generalPrograms;
            for (const Program &program : library.programs().records())
                generalPrograms << pair(program);
            for (const Program &program : library.history().programs().records()) {
                if (generalPrograms.contains(pair(program)))
                    clashes << QStringLiteral("program ") + pair(program);
            }
            const QString viewed = QString::number(quintptr(m_window.get())) + library.openClientFile();
            if (viewed == m_clashesOf) {
                for (const QString &clash : std::as_const(clashes)) {
                    if (!m_clashes.contains(clash))
                        return fail(QStringLiteral("%1 is now in the client's pool and another").arg(clash));
                }
            }
            m_clashesOf = viewed;
            m_clashes = clashes;
        } else {
            // No client open: the one opened next may hold pairs stored
            // elsewhere meanwhile, even when it is the one open before.
            m_clashesOf.clear();
        }
        checkTyped(m_preset, "preset", MainWindow::TabPreset, QStringLiteral("lineEdit_preset_name"),
                   QStringLiteral("label_preset_name_info"));
        checkTyped(m_program, "program", MainWindow::TabProgram, QStringLiteral("lineEdit_program_name"),
                   QStringLiteral("label_program_name_info"));
        if (!m_failure.isEmpty())
            return;
        // While a run goes on, the Work tab names the client whose history
        // holds it, whichever client is open now.
        if (m_window && !m_runToken.isEmpty() && m_tabs->currentIndex() == MainWindow::TabWork) {
            const QString owner = m_runOwner.value(m_runToken);
            const QString named = child<ElidedLabel>(*m_window, "label_work_client")->fullText();
            const QString expected = owner.isEmpty()             ? QStringLiteral("no client: recorded in no history")
                                     : m_clients.contains(owner) ? m_clients.value(owner).name
                                                                 : QStringLiteral("a deleted client, whose history file keeps the run");
            if (named != expected)
                return fail(QStringLiteral("the Work tab names \"%1\" for run %2 of client %3")
                                .arg(named, m_runToken, owner.left(4)));
        }
        if (m_window && !m_pending && m_window->library().openClientFile() != m_open)
            return fail(QStringLiteral("client %1 is open, %2 was picked")
                            .arg(m_window->library().openClientFile().left(4), m_open.left(4)));
    }

    static constexpr double timeScale = 60;

    quint32 m_seed;
    QRandomGenerator m_random;
    SimProcess m_sim;
    ScaledClock m_clock {timeScale};
    bool m_simStarted = false;
    std::optional<WindowDriver> m_driver;  // for the window now open
    QString m_runToken;                     // the line of the run going
    QMap<QString, QString> m_runOwner;      // run line: the client it is recorded for
    QMap<QString, int> m_runsFor;           // client: the runs recorded for it
    std::unique_ptr<MainWindow> m_window;
    QTabWidget *m_tabs = nullptr;
    DialogNotes *m_notes = nullptr;
    QStringList m_steps;
    QString m_failure;
    int m_serial = 0;
    QSet<QString> m_deleted;
    QSet<QString> m_renamed;
    bool m_answer = false;
    bool m_discarded = false;
    bool m_kept = false;
    // A download replaced the Legitimate pool: its earlier presets may go.
    bool m_downloaded = false;
    QTcpServer m_server;
    QList<QTcpSocket *> m_asking;
    bool m_started = false;
    QMap<QString, Saved> m_backups;
    bool m_restored = false;
    Typed m_preset;
    Typed m_program;
    QStringList m_cancelled;

    QMap<QString, ClientModel> m_clients;
    QMap<QString, QStringList> m_written;
    QString m_open;
    QString m_previous;
    // Pairs in the open client's pool and another, and whose they are.
    QSet<QString> m_clashes;
    QString m_clashesOf;
    // The client deleted last, as Ctrl+Z would bring it back.
    struct DeletedClient
    {
        ClientModel model;
        QStringList written;
    };
    QMap<QString, DeletedClient> m_gone;  // by file, as Ctrl+Z brings them back
    int m_act = 0;
    bool m_editStepped = false;
    int m_everyoneStep = -2;  // the act that last made a step on a list that is no client's
    bool m_pending = false;
    std::optional<ClientModel> m_adoptNew;
    QList<QJsonValue> m_downloadedOver;  // Legitimate records as they were before a download
};

} // namespace

class TestLibraryWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void randomWalks()
    {
        const QList<int> seeds = numbers("TAVIK_WALK_SEEDS", {1, 2, 3, 4});
        const int steps = numbers("TAVIK_WALK_STEPS", {250}).first();
        for (int seed : seeds) {
            const QString failure = Walk(quint32(seed)).run(steps);
            if (!failure.isEmpty()) {
                // The whole list: QtTest cuts long messages short.
                fprintf(stderr, "%s\n", qPrintable(failure));
                QFAIL(qPrintable(failure.section('\n', 0, 0)));
            }
        }
    }
};

QTEST_MAIN(TestLibraryWalk)
#include "tst_librarywalk.moc"
