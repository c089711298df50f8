#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "ui/elidedlabel.h"
#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "support/windowtest.h"
#include "ui/clientselectiontab.h"
#include "ui/clienttab.h"
#include "ui/dialognotes.h"
#include "editors/librarycolumns.h"
#include "editors/clienthistory.h"
#include "editors/clienteditor.h"
#include "editors/librarysession.h"
#include "ui/presetselectiontab.h"
#include "ui/programselectiontab.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPainter>
#include <QScopeGuard>
#include <QScreen>
#include <QTabBar>
#include <QToolTip>
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

// The library for a window, which shows the General pools.
void writeWindowLibrary(const QString &folder)
{
    writeLibrary(folder);
    TestEnv::writeFile(folder + "settings.dat", Container::encode({{"presetsGenuine", "1"}, {"programsGenuine", "1"}}));
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
        const QString reading = search->placeholderText();  // says the list is coming
        QVERIFY(!reading.isEmpty());
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
        QVERIFY(search->placeholderText() != reading);
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
        QCOMPARE(view->selectionModel()->selectedRows(1).value(0).data().toString(), picked);
        QTest::mouseClick(tabs.find<QPushButton>("pushButton_history_delete"), Qt::LeftButton);
        QCOMPARE(model->rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            QVERIFY(at(row, 1).toString() != picked);
        // Under a search, an entry added on top shows only if it matches,
        // and the search goes on showing what it found.
        auto *search = tabs.find<QLineEdit>("lineEdit_history_search");
        search->setText("Sleep");
        QCOMPARE(model->rowCount(), 1);
        QVERIFY(ClientHistory::recordCutShort(tabs.library, tabs.library.history().path(), "Tavik 2: cut short"));
        QCOMPARE(model->rowCount(), 1);
        QVERIFY(ClientHistory::recordCutShort(tabs.library, tabs.library.history().path(), "Sleep cut short"));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(at(0, 1).toString(), QString("Sleep cut short"));
        search->clear();
        QCOMPARE(model->rowCount(), 6);

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

        // Every opening starts in the text, also after OK was pressed: what
        // is typed is the note, and OK waits for more than blanks.
        QAbstractButton *ok = dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok);
        for (int opening = 0; opening < 2; ++opening) {
            dialog.setData(QString(), "date", 0);
            dialog.show();
            QCOMPARE(dialog.focusWidget(), text);
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
            QCOMPARE(dialog.text(), QString(" "));
            QVERIFY(!ok->isEnabled());
            QTest::keyClicks(text, "x");
            QTest::mouseClick(ok, Qt::LeftButton);
            QVERIFY(dialog.takeAccepted());
        }
    }

    // A name too long for its cell shows as much as fits and then "…",
    // where a right-to-left name ends, and its tooltip has it whole in
    // lines that stay on the screen; a name that fits keeps the hint.
    void longNamesReadWhole()
    {
        // In the program's own font a row holds one line, as on screen.
        const QFont before = QApplication::font();
        QApplication::setFont(MainWindow::applicationFont());
        const auto restore = qScopeGuard([&before] { QApplication::setFont(before); });
        Tabs tabs;
        QString latin;
        while (latin.size() < 200)
            latin += "Nizhnynovgorodskaya";
        latin.truncate(200);
        const QString arabic = QString::fromUtf8("فيلادلفيا ") + QString::fromUtf8("السلام الكبرى للعلاج ").repeated(8);
        Notes &notes = tabs.library.history().notes();
        for (const QString &name : {latin, arabic}) {
            notes.setCurrent(0);
            notes.insertNote(LineType::PresetNote);
            notes.setText(name);
        }
        tabs.client->refill();
        tabs.page.show();
        auto *view = tabs.find<QTableView>("tableWidget_clientHistory");
        view->clearSelection();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs.page));
        const auto cell = [view](int row) {
            const QRect rect = view->visualRect(view->model()->index(row, LibraryColumns::HistoryNotes));
            return std::make_pair(rect, view->viewport()->grab(rect).toImage().convertToFormat(QImage::Format_RGB32));
        };
        // Where the rendering of `text` alone sits best in `image`, in pixels from the left.
        const auto placeOf = [view](const QString &text, const QImage &image) {
            QImage part(image.size(), QImage::Format_RGB32);
            part.fill(Qt::white);
            QPainter painter(&part);
            painter.setFont(view->font());
            painter.setPen(Qt::black);
            const int width = painter.fontMetrics().horizontalAdvance(text);
            painter.drawText(QRect(QPoint(), image.size()), Qt::AlignLeft | Qt::AlignVCenter, text);
            painter.end();
            qint64 best = std::numeric_limits<qint64>::max();
            int place = -1;
            for (int x = 0; x + width <= image.width(); ++x) {
                qint64 difference = 0;
                for (int dx = 0; dx < width; ++dx)
                    for (int y = 0; y < image.height(); ++y)
                        difference += qAbs(qGray(part.pixel(dx, y)) - qGray(image.pixel(x + dx, y)));
                if (difference < best) {
                    best = difference;
                    place = x;
                }
            }
            return place;
        };
        // Drawn on one line: the name fills its cell, not " - …".
        const auto [latinRect, latinCell] = cell(1);
        int inked = 0;
        for (int x = 0; x < latinCell.width(); ++x)
            for (int y = 0; y < latinCell.height(); ++y)
                inked = qGray(latinCell.pixel(x, y)) < 100 ? x : inked;
        QVERIFY2(inked > latinRect.width() * 3 / 4, qPrintable(QString("ink ends at %1 of %2").arg(inked).arg(latinRect.width())));
        const auto [arabicRect, arabicCell] = cell(0);
        QVERIFY(placeOf(QString::fromUtf8("فيلادلفيا"), arabicCell) > arabicRect.width() / 2);
        QVERIFY(placeOf(QString(QChar(0x2026)), arabicCell) < arabicRect.width() / 4);

        const auto tipAt = [](QTableView *table, const QRect &rect) {
            QHelpEvent help(QEvent::ToolTip, rect.center(), table->viewport()->mapToGlobal(rect.center()));
            QApplication::sendEvent(table->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        const QString tip = tipAt(view, latinRect);
        QVERIFY2(QString(tip).remove('\n').contains(latin), qPrintable(tip));
        const int screenHalf = view->screen()->availableGeometry().width() / 2;
        for (const QString &line : tip.split('\n'))
            QVERIFY(QFontMetrics(QToolTip::font()).horizontalAdvance(line) <= screenHalf);
        auto *clients = tabs.find<QTableView>("tableWidget_clientSelection");
        QCOMPARE(tipAt(clients, clients->visualRect(clients->model()->index(0, 0))), QString("Double click to edit"));
        QToolTip::hideText();
    }

    // The notes dialog starts in its text; New Notes works for a client
    // just typed; a refused name is told when the tab is left, and the
    // question before it is let go gives the reason once.
    void notesAndRefusedNames()
    {
        const QString folder = TestEnv::dataFolder();
        writeWindowLibrary(folder);
        MainWindow window;
        window.stopTimers();
        QStringList questions;
        window.setDiscardQuestion([&questions](const QString &text) {
            questions << text;
            return false;
        });
        auto *dialog = window.findChild<DialogNotes *>();
        auto *text = dialog->findChild<QPlainTextEdit *>("plainTextEdit_notes");
        auto *name = child<QLineEdit>(window, "lineEdit_client_name");
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        click(window, "pushButton_clientSelection_new");
        // An empty history has no entry to edit, move, delete or renew.
        for (const char *button : {"pushButton_history_edit", "pushButton_history_delete", "pushButton_history_moveUp",
                                   "pushButton_history_moveDown", "pushButton_history_toWork"})
            QVERIFY2(!child<QPushButton>(window, button)->isEnabled(), button);
        click(window, "pushButton_history_new");
        QVERIFY(!dialog->isVisible());
        QVERIFY(window.notice()->text().contains("name"));
        name->setText("Dora");
        for (const char *note : {"first", "second"}) {
            click(window, "pushButton_history_new");
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->focusWidget(), text);
            QTest::keyClicks(dialog->focusWidget(), note);
            QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            window.uiTick();
        }
        QCOMPARE(window.library().openClientName(), QString("Dora"));
        QCOMPARE(namesIn(window.library().history().path(), "history", "not"), (QStringList{"second", "first"}));

        name->setText("Ana");
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        QCOMPARE(window.notice()->text(), QString(" Client: ") + ClientEditor::nameTakenMessage);
        child<QTableView>(window, "tableWidget_clientSelection")->selectRow(1);
        click(window, "pushButton_clientSelection_edit");
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions.first().count("lient exist, please change name"), 1);
        QVERIFY2(!questions.first().contains("saved"), qPrintable(questions.first()));
        QCOMPARE(window.library().openClientName(), QString("Dora"));

        // Deleting the record an editor holds a refused edit of asks the
        // same question; Cancel keeps the record and what was typed.
        mainTabs(window)->setCurrentIndex(MainWindow::TabPresetSelection);
        auto *presets = child<QTableView>(window, "tableWidget_presetSelection");
        presets->selectRow(0);
        click(window, "pushButton_presetSelection_edit");
        auto *presetName = child<QLineEdit>(window, "lineEdit_preset_name");
        QCOMPARE(presetName->text(), QString("Eden"));
        presetName->setText("L1");
        mainTabs(window)->setCurrentIndex(MainWindow::TabPresetSelection);
        presets->selectRow(0);
        click(window, "pushButton_presetSelection_delete");
        QCOMPARE(questions.size(), 2);
        QVERIFY2(questions.last().startsWith("The preset you edited"), qPrintable(questions.last()));
        QCOMPARE(window.library().generalPresets().records().at(0).name, QString("Eden"));
        QCOMPARE(presetName->text(), QString("L1"));
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        auto *clients = child<QTableView>(window, "tableWidget_clientSelection");
        clients->selectRow(clients->model()->match(clients->model()->index(0, 0), Qt::DisplayRole, "Dora").value(0).row());
        click(window, "pushButton_clientSelection_delete");
        QVERIFY(questions.size() > 2);
        QCOMPARE(window.library().openClientName(), QString("Dora"));
        QCOMPARE(name->text(), QString("Ana"));
    }

    // A client added while clients.dat cannot be read is kept on screen
    // until the operator lets it go, not dropped by closing the window.
    void unsavedClientsAreAskedAbout()
    {
        const QString folder = TestEnv::dataFolder();
        writeWindowLibrary(folder);
        QVERIFY(QFile::remove(folder + "clients.dat"));
        QVERIFY(QDir(folder).mkdir("clients.dat"));
        const auto cleanup = qScopeGuard([&folder] { QDir(folder).rmdir("clients.dat"); });
        MainWindow window;
        window.stopTimers();
        QStringList questions;
        bool discard = false;
        window.setDiscardQuestion([&](const QString &text) {
            questions << text;
            return discard;
        });
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        click(window, "pushButton_clientSelection_new");
        child<QLineEdit>(window, "lineEdit_client_name")->setText("Dora");
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        QVERIFY(!window.close());
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions.first().startsWith("The clients you added or changed could not be saved: clients.dat could not "
                                              "be written (it could not be read"), qPrintable(questions.first()));
        discard = true;
        QVERIFY(window.close());
    }

    // The keys and menus of desktop programs: Ctrl+F to the search of the
    // list shown, Down and Enter from there into the list, Ctrl+N for the
    // tab's New, Delete and the right-click menu through the tab's own
    // buttons, Alt and a letter no other button of the tab has, every
    // field named apart for a screen reader, the client's own fields
    // before its history, and no Tab stop on a list that shows nothing.
    void keysAndMenus()
    {
        const QString folder = TestEnv::dataFolder();
        writeWindowLibrary(folder);
        MainWindow window;
        window.stopTimers();
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTabWidget *tabs = mainTabs(window);
        const auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
        };

        QStringList clashes;
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            QHash<QString, QString> taken;
            const auto claim = [&](const QString &what, QObject *widget) {
                if (taken.contains(what))
                    clashes << QString("tab %1: %2 and %3 share %4").arg(tab).arg(taken[what], widget->objectName(), what);
                taken.insert(what, widget->objectName());
            };
            for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
                if (!button->isVisible() || button->window() != &window || button->text().isEmpty())
                    continue;
                const QKeySequence letter = QKeySequence::mnemonic(button->text());
                // Start, Stop and the status line's Help and Notices have keys of their own.
                const bool ownKeys = button->text().trimmed() == ">" || button->objectName().startsWith("pushButton_work_")
                                     || window.infoBar()->isAncestorOf(button);
                if (letter.isEmpty() && !ownKeys)
                    clashes << QString("tab %1: %2 has no Alt key").arg(tab).arg(button->objectName());
                if (!letter.isEmpty())
                    claim(letter.toString(), button);
            }
            // A list's buttons name the keys that press them.
            for (QAbstractItemView *view : window.findChildren<QAbstractItemView *>()) {
                for (QAction *action : view->actions()) {
                    auto *button = window.findChild<QAbstractButton *>("pushButton_" + action->objectName().mid(7));
                    if (!view->isVisible() || action->isSeparator() || !button)
                        continue;
                    for (const QKeySequence &key : {action->shortcut(), QKeySequence::mnemonic(button->text())}) {
                        if (!button->toolTip().contains(key.toString(QKeySequence::NativeText)))
                            clashes << QString("tab %1: %2's tooltip misses %3").arg(tab).arg(button->objectName(),
                                                                                              key.toString());
                    }
                }
            }
            for (QWidget *field : window.findChildren<QWidget *>()) {
                const bool input = qobject_cast<QLineEdit *>(field) || qobject_cast<QPlainTextEdit *>(field)
                                   || qobject_cast<QTableView *>(field);
                if (input && field->isVisible() && field->window() == &window && !field->objectName().startsWith("qt_"))
                    claim("the name \"" + QAccessible::queryAccessibleInterface(field)->text(QAccessible::Name) + '"', field);
            }
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
        QCOMPARE(child<QPushButton>(window, "pushButton_programSelection_toWork")->text().remove('&'), QString("Program to Work"));

        // From the tab bar the Client tab's first stop is the client's name.
        tabs->setCurrentIndex(MainWindow::TabClient);
        tabs->tabBar()->setFocus();
        for (int i = 0; i < 4 && !tabs->currentWidget()->isAncestorOf(QApplication::focusWidget()); ++i)
            press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("lineEdit_client_name"));

        // Ctrl+F, then Down onto what was found; Tab passes a list that shows nothing.
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        auto *presets = child<QTableView>(window, "tableWidget_presetSelection");
        auto *search = child<QLineEdit>(window, "lineEdit_presetSelection_search");
        presets->setFocus();
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), search);
        QTest::keyClicks(search, "kura");
        press(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), presets);
        QCOMPARE(presets->selectionModel()->selectedRows().value(0).data().toString(), QString("Kůra"));
        search->setFocus();
        search->setText("zzz");
        for (int i = 0; i < 12; ++i) {
            press(Qt::Key_Tab);
            QVERIFY(!presets->hasFocus());
        }
        search->clear();

        // Program to Work waits for a program to be picked.
        tabs->setCurrentIndex(MainWindow::TabProgramSelection);
        auto *toWork = child<QPushButton>(window, "pushButton_programSelection_toWork");
        child<QTableView>(window, "tableWidget_programSelection")->clearSelection();
        window.deviceTick();
        QVERIFY(!toWork->isEnabled());
        child<QTableView>(window, "tableWidget_programSelection")->selectRow(0);
        window.deviceTick();
        QVERIFY(toWork->isEnabled());

        // Enter from the search opens; Delete and the menu take the button's way.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        auto *clients = child<QTableView>(window, "tableWidget_clientSelection");
        clients->clearSelection();
        QAction *remove = clients->findChild<QAction *>("action_clientSelection_delete");
        QCOMPARE(clients->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(clients->actions().contains(remove) && !remove->isEnabled());
        clients->setFocus();
        clients->selectRow(1);
        QVERIFY(remove->isEnabled());
        press(Qt::Key_Delete);
        QCOMPARE(clients->model()->rowCount(), 2);
        QVERIFY(window.notice()->text().contains("Ctrl+Z"));
        press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(clients->model()->rowCount(), 3);
        clients->selectRow(0);
        press(Qt::Key_O, Qt::AltModifier);  // Move Down, pressed the way a mnemonic presses
        QTRY_COMPARE(clients->model()->index(1, 0).data().toString(), QString("Ana"));
        child<QLineEdit>(window, "lineEdit_clientSelection_search")->setFocus();
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), clients);
        press(Qt::Key_Return);
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabClient));
        QCOMPARE(window.library().openClientName(), QString("Ana"));

        // Ctrl+N is the New of the tab shown, wherever its focus is.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        child<QLineEdit>(window, "lineEdit_clientSelection_search")->setFocus();
        press(Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), int(MainWindow::TabClient));
        QVERIFY(window.editors().client.isNewPending());
    }

    // Moves and deletes are written when their tab is left, and the tab
    // shown at close is left too.
    void leavingWritesTheListShown()
    {
        const QString folder = TestEnv::dataFolder();
        writeWindowLibrary(folder);
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
