#include "app/mainwindow.h"
#include "ui/elidedlabel.h"
#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "ui/clientselectiontab.h"
#include "ui/clienttab.h"
#include "ui/dialognotes.h"
#include "editors/librarycolumns.h"
#include "editors/clienthistory.h"
#include "editors/librarysession.h"
#include "ui/presetselectiontab.h"
#include "ui/programselectiontab.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

namespace {

void writeLibrary(const QString &folder)
{
    const auto write = [&](const QString &name, const QJsonObject &object) {
        TestEnv::writeFile(folder + name, Container::encode(object));
    };
    write("presets.dat", {{"presets", namedRecords({"Eden", "Řez", "café", "Ètude", "Kůra"})}});
    write("genpresets.dat", {{"presets", namedRecords({"L1", "L2"})}});
    write("programs.dat", {{"programs", namedRecords({"Sleep", "Spine", "Knee"})}});
    write("clients.dat", {{"clients", QJsonArray{QJsonObject{{"name", "Ana"}, {"file", anaFile}},
                                                 QJsonObject{{"name", "Bořek"}}, QJsonObject{{"name", "Cyril"}}}}});
    write(anaFile + ".dat",
          {{"presets", namedRecords({"C1"})},
           {"programs", namedRecords({"CP1"})},
           {"history", QJsonArray{
                QJsonObject{{"typ", "Preset"}, {"not", "Alfa"}, {"ver", "2"}, {"tim", "10"},
                            {"cre", "01.02.2026 10:00"}},
                QJsonObject{{"typ", "Program"}, {"not", "Sleep"}, {"ver", "1"}, {"col", "4"},
                            {"cre", "02.02.2026 10:00"}},
                QJsonObject{{"typ", "PresetNote"}, {"not", "Beta"}, {"ver", "3"}, {"tim", "0"}, {"col", "5"}},
                QJsonObject{{"typ", "Notes"}, {"not", "knee better"}, {"col", "1"},
                            {"cre", "03.02.2026 10:00"}}}}});
}

// The four library tabs over a library in a temporary folder, without
// the window around them.
struct Tabs
{
    QTemporaryDir dir;
    QString folder = dir.path() + "/";
    Library library;
    Settings settings;
    std::unique_ptr<LibrarySession> session;
    QWidget page;
    std::unique_ptr<ClientSelectionTab> clients;
    std::unique_ptr<ClientTab> client;
    std::unique_ptr<ProgramSelectionTab> programs;
    std::unique_ptr<PresetSelectionTab> presets;

    explicit Tabs(int presetPool = 1, bool poolsInPlace = true)
    {
        writeLibrary(folder);
        library.load(folder);
        settings.setPresetsPool(presetPool);
        settings.setProgramsGeneral(true);
        session = std::make_unique<LibrarySession>(library, settings);
        new QVBoxLayout(&page);
        page.resize(1200, 800);
        clients = std::make_unique<ClientSelectionTab>(&page, *session);
        client = std::make_unique<ClientTab>(&page, *session);
        programs = std::make_unique<ProgramSelectionTab>(&page, *session);
        presets = std::make_unique<PresetSelectionTab>(&page, *session);
        if (poolsInPlace)
            library.takePools();
        presets->enter();
    }
    template <typename T>
    T *find(const QString &name) const
    {
        return page.findChild<T *>(name);
    }
};

} // namespace

class TestLibraryLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestEnv::useTemporaryHome(); }

    void modelsPassTheTester()
    {
        Tabs tabs;
        for (const char *name : {"tableWidget_clientSelection", "tableWidget_clientHistory",
                                 "tableWidget_programSelection", "tableWidget_presetSelection"}) {
            QAbstractItemModel *model = tabs.find<QTableView>(name)->model();
            QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
            QVERIFY2(model->rowCount() > 0, name);
        }
        auto *search = tabs.find<QLineEdit>("lineEdit_presetSelection_search");
        QAbstractItemModelTester tester(tabs.find<QTableView>("tableWidget_presetSelection")->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTest::keyClicks(search, "zz");
        search->clear();
    }

    // A pool still being read beside the window: its list shows nothing and
    // holds nothing up, and fills at the first tick after it arrives.
    void presetListWaitsForItsPool()
    {
        Tabs tabs(PresetPool::General, false);
        auto *table = tabs.find<QTableView>("tableWidget_presetSelection");
        auto *search = tabs.find<QLineEdit>("lineEdit_presetSelection_search");
        QVERIFY(!tabs.library.poolsInPlace());
        QCOMPARE(table->model()->rowCount(), 0);
        QVERIFY(!search->isEnabled());
        QCOMPARE(search->placeholderText(), QString("Reading the presets..."));
        QVERIFY(!tabs.find<QPushButton>("pushButton_presetSelection_new")->isEnabled());
        // The client's pool is there at once; back to General, it still arrives.
        QTest::mouseClick(tabs.find<QRadioButton>("radioButton_presetClient"), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 1);
        QVERIFY(search->isEnabled());
        QTest::mouseClick(tabs.find<QRadioButton>("radioButton_presetGeneral"), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 0);
        tabs.presets->leave();
        tabs.presets->enter();
        QVERIFY(!tabs.library.poolsInPlace());

        tabs.library.takePools();
        tabs.presets->refresh();
        QCOMPARE(table->model()->rowCount(), 5);
        QVERIFY(search->isEnabled());
        QVERIFY(search->placeholderText() != "Reading the presets...");
        QVERIFY(tabs.find<QPushButton>("pushButton_presetSelection_new")->isEnabled());
    }

    void typingNarrowsTheList_data()
    {
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rows");
        QTest::newRow("presets") << "presetSelection" << "tableWidget_presetSelection" << "kura" << 1;
        QTest::newRow("programs") << "programSelection" << "tableWidget_programSelection" << "sp" << 1;
        QTest::newRow("clients") << "clientSelection" << "tableWidget_clientSelection" << "bore" << 1;
        QTest::newRow("history") << "history" << "tableWidget_clientHistory" << "KNEE" << 1;
    }

    void typingNarrowsTheList()
    {
        QFETCH(QString, area);
        QFETCH(QString, view);
        QFETCH(QString, typed);
        QFETCH(int, rows);
        Tabs tabs;
        auto *table = tabs.find<QTableView>(view);
        const int all = table->model()->rowCount();
        table->selectRow(0);
        QTest::keyClicks(tabs.find<QLineEdit>("lineEdit_" + area + "_search"), typed);
        QCOMPARE(table->model()->rowCount(), rows);
        // The first record does not match: a hidden record is not selected.
        QVERIFY(table->selectionModel()->selectedRows().isEmpty());

        // Clear shows every record again; the selection stays on its record.
        table->selectRow(0);
        const QString picked = table->model()->index(0, 1).data().toString();
        QTest::mouseClick(tabs.find<QPushButton>("pushButton_" + area + "_clear"), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), all);
        QCOMPARE(table->selectionModel()->selectedRows(1).value(0).data().toString(), picked);
        // So does Escape in the search field.
        auto *search = tabs.find<QLineEdit>("lineEdit_" + area + "_search");
        QTest::keyClicks(search, typed);
        QCOMPARE(table->model()->rowCount(), rows);
        QTest::keyClick(search, Qt::Key_Escape);
        QCOMPARE(search->text(), QString());
        QCOMPARE(table->model()->rowCount(), all);
    }

    void presetButtonsFollowThePool_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<bool>("clientOpen");
        QTest::addColumn<bool>("programOpen");
        QTest::addColumn<QList<bool>>("enabled");  // New, Delete, Up, Down, Edit, Add to Program
        QTest::newRow("General") << "radioButton_presetGeneral" << true << true
                                 << QList<bool>{true, true, true, true, true, true};
        QTest::newRow("Legitimate") << "radioButton_presetGenuine" << true << true
                                    << QList<bool>{false, false, false, false, true, true};
        QTest::newRow("Client, none open") << "radioButton_presetClient" << false << true
                                           << QList<bool>{false, false, false, false, false, false};
        QTest::newRow("Client, no program") << "radioButton_presetClient" << true << false
                                            << QList<bool>{true, true, true, true, true, false};
    }

    void presetButtonsFollowThePool()
    {
        QFETCH(QString, radio);
        QFETCH(bool, clientOpen);
        QFETCH(bool, programOpen);
        QFETCH(QList<bool>, enabled);
        Tabs tabs;
        if (!clientOpen)
            tabs.library.closeClient();
        tabs.session->setProgramOpen(programOpen);
        QTest::mouseClick(tabs.find<QRadioButton>(radio), Qt::LeftButton);
        const QStringList buttons{"new", "delete", "moveUp", "moveDown", "edit", "toProgram"};
        // With no preset picked, only New is there to press.
        auto *table = tabs.find<QTableView>("tableWidget_presetSelection");
        table->clearSelection();
        for (int i = 1; i < buttons.size(); ++i)
            QVERIFY2(!tabs.find<QPushButton>("pushButton_presetSelection_" + buttons.at(i))->isEnabled(),
                     qPrintable(buttons.at(i)));
        table->selectRow(0);
        for (int i = 0; i < buttons.size(); ++i)
            QVERIFY2(tabs.find<QPushButton>("pushButton_presetSelection_" + buttons.at(i))->isEnabled() == enabled.at(i),
                     qPrintable(buttons.at(i)));
        QCOMPARE(tabs.settings.presetsPool(), tabs.session->presetPool());
    }

    void historyShowsEntriesByType()
    {
        Tabs tabs;
        const QAbstractItemModel *model = tabs.find<QTableView>("tableWidget_clientHistory")->model();
        const auto at = [model](int row, int column, int role = Qt::DisplayRole) {
            return model->data(model->index(row, column), role);
        };
        QCOMPARE(at(0, 1).toString(), QString("pre: Alfa.v.2.tim:10"));
        QCOMPARE(at(0, 1, Qt::ToolTipRole).toString(),
                 QString("Double click to load preset Alfa.v.2 to client program, preset, not implemented yet"));
        QCOMPARE(at(2, 0).toString(), QString());
        QVERIFY(!at(2, 0, Qt::BackgroundRole).isValid());
        QCOMPARE(at(3, 0).toString(), QString("03.02.2026 10:00"));
        // A note's row has its pale colour, and its text reads on it also
        // where the desktop's palette writes white.
        for (const QModelIndex &cell : {model->index(1, 0), model->index(3, 1)}) {
            const QColor background = cell.data(Qt::BackgroundRole).value<QColor>();
            const QColor text = cell.data(Qt::ForegroundRole).value<QColor>();
            QVERIFY(text.isValid() && qAbs(text.lightnessF() - background.lightnessF()) > 0.5);
        }

        // A run's end adds an entry on top while the tab is shown: the
        // selection stays on the entry picked, and Delete takes that one.
        auto *view = tabs.find<QTableView>("tableWidget_clientHistory");
        const QString picked = at(3, 1).toString();
        view->selectRow(3);
        QVERIFY(ClientHistory::recordCutShort(tabs.library, tabs.library.history().path(), "Tavik 1: run cut short"));
        tabs.client->refresh();  // as the UI tick does
        QCOMPARE(view->selectionModel()->selectedRows(1).value(0).data().toString(), picked);
        QTest::mouseClick(tabs.find<QPushButton>("pushButton_history_delete"), Qt::LeftButton);
        QCOMPARE(model->rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            QVERIFY(at(row, 1).toString() != picked);

        // A note of megabytes shows its first line, cut short, and a bounded tooltip.
        Preset preset;
        preset.notes = "Dose " + QString(1 << 20, 'x') + "\nsecond";
        const ListColumn<Preset> description = LibraryColumns::presets().at(2);
        QCOMPARE(description.text(preset).size(), 201);
        QVERIFY(description.text(preset).startsWith("Dose xx") && description.text(preset).endsWith(QChar(0x2026)));
        QCOMPARE(description.tooltip(preset).size(), 2001);
        preset.notes = "Short first\r\nsecond line";
        QCOMPARE(description.text(preset), QString("Short first ") + QChar(0x2026));
        Note note;
        note.type = LineType::Notes;
        note.text = QString(300, 'n') + "\nmore";
        QCOMPARE(LibraryColumns::history().at(1).text(note).size(), 201);
    }

    void notesDialog()
    {
        DialogNotes dialog;
        auto *text = dialog.findChild<QPlainTextEdit *>("plainTextEdit_notes");
        dialog.setData("first", "01.02.2026 10:00", 3);
        QTest::mouseClick(dialog.findChild<QPushButton *>("pushButton_notes_colorR"), Qt::LeftButton);
        dialog.show();
        dialog.accept();  // as OK does, through the button box
        QVERIFY(!dialog.takeAccepted());  // accept() alone is not OK
        dialog.show();
        QMetaObject::invokeMethod(dialog.findChild<QObject *>("buttonBox"), "accepted");
        QVERIFY(dialog.takeAccepted());
        QVERIFY(!dialog.takeAccepted());
        QCOMPARE(dialog.colour(), 1);

        dialog.setData("second", "date", 0);  // white, although red before
        QCOMPARE(text->styleSheet(), QString("background-color: #ffffff; color: #000000;"));
        QTest::mouseClick(dialog.findChild<QPushButton *>("pushButton_notes_clear"), Qt::LeftButton);
        QCOMPARE(dialog.text(), QString());
        dialog.reject();
        QVERIFY(!dialog.takeAccepted());
    }

    // Moves and deletes are written when their tab is left, and the tab
    // shown at close is left too.
    void leavingWritesTheListShown()
    {
        const QString folder = TestEnv::dataFolder();
        writeLibrary(folder);
        TestEnv::writeFile(folder + "settings.dat",
                           Container::encode({{"presetsGenuine", "1"}, {"programsGenuine", "1"}}));
        {
            MainWindow window;
            window.stopTimers();
            auto *tabs = window.findChild<QTabWidget *>("MainPage");
            const auto click = [&window](const QString &name) {
                QTest::mouseClick(window.findChild<QPushButton *>(name), Qt::LeftButton);
            };

            tabs->setCurrentIndex(MainWindow::TabPresetSelection);
            QTest::keyClicks(window.findChild<QLineEdit *>("lineEdit_presetSelection_search"), "e");
            window.findChild<QTableView *>("tableWidget_presetSelection")->selectRow(1);  // Řez
            click("pushButton_presetSelection_moveUp");
            tabs->setCurrentIndex(MainWindow::TabProgramSelection);
            QCOMPARE(window.findChild<QLineEdit *>("lineEdit_presetSelection_search")->text(), QString());
            QCOMPARE(namesIn(folder + "presets.dat", "presets").mid(0, 2), (QStringList{"Řez", "Eden"}));

            window.findChild<QTableView *>("tableWidget_programSelection")->selectRow(1);
            click("pushButton_programSelection_delete");
            tabs->setCurrentIndex(MainWindow::TabClientSelection);
            QCOMPARE(namesIn(folder + "programs.dat", "programs"), (QStringList{"Sleep", "Knee"}));

            window.findChild<QTableView *>("tableWidget_clientSelection")->selectRow(2);
            click("pushButton_clientSelection_moveUp");
        }
        QCOMPARE(namesIn(folder + "clients.dat", "clients", "name"), (QStringList{"Ana", "Cyril", "Bořek"}));
    }
};

QTEST_MAIN(TestLibraryLists)
#include "tst_librarylists.moc"
