#include "app/aboutdialog.h"
#include "app/infobar.h"
#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "data/folderlock.h"
#include "data/platformfile.h"
#include "data/unstorededits.h"
#include "data/writebeside.h"
#include "support/installation.h"
#include "support/libraryfixture.h"
#include "support/testenv.h"
#include "support/windowtest.h"

#include "data/library.h"
#include "data/worklist.h"
#include "editors/librarysession.h"
#include "editors/textcolours.h"
#include "maintenance/csvimport.h"
#include "ui/checkboxdelegate.h"
#include "ui/dialognotes.h"
#include "ui/worktab.h"

#include <QTemporaryDir>
#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTextBrowser>
#include <QTextBlock>
#include <QToolButton>
#include <QListWidget>
#include <QStyleOptionViewItem>
#include <QPainter>
#include <QScopeGuard>
#include <QCursor>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QStatusBar>

#ifdef Q_OS_UNIX
#include <csignal>
#endif
#include <QAction>
#include <QWindow>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QCborMap>
#include <QCborValue>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>

#include <algorithm>

namespace {

// A client, a preset, a program, a history note and two devices with a
// work list, each named `name` wherever a name or a note is shown.
void fillEveryStore(MainWindow &window, const QString &name)
{
    Library &library = window.library();
    Clients &clients = library.clients();
    clients.setCurrent(0);
    clients.insertNew();
    clients.setName(name);
    clients.saveBase();
    library.openClient(clients.file());
    for (int pool : {0, 1}) {
        Presets &presets = library.presetPool(pool);
        presets.setCurrent(0);
        presets.insertNew();
        presets.setName(name);
        presets.setNotes(name);
        presets.setVariable("1234.5");
        presets.setTime(5);
    }
    library.generalPresets().saveBase();
    Programs &programs = library.programs();
    programs.insertNew(0, "Eva");
    programs.setName(name);
    programs.setNotes(name);
    programs.saveBase();
    Notes &notes = library.history().notes();
    for (const int colour : {Note::Red, Note::Yellow, Note::Green}) {
        notes.insertNote(LineType::Notes);
        notes.setText(name);
        notes.setColour(colour);
    }
    library.history().saveBase();
    Machines &registry = window.devices().registry();
    for (int device = 0; device < 2; ++device) {
        QVERIFY(registry.addMachine(DeviceSlots::count));
        registry.setCurrent(0);
        registry.setName(name);
        registry.setSerialNumber(QString::number(4700 + device));
        WorkList &work = *registry.work();
        work.programName = name;
        work.programNotes = name + "\n" + name + "\n" + name;
        work.insertNew();
        work.setName(name);
        work.setNote(name);
        work.setValue("1234.5");
        work.setLinePool(1);
        work.setTime(5);
    }
    registry.saveBase();
}

// The colours of a common dark desktop theme.
QPalette darkPalette()
{
    const QColor text(252, 252, 252);
    QPalette palette(QColor(49, 54, 59), QColor(42, 46, 50));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                           QPalette::ToolTipText, QPalette::HighlightedText})
        palette.setColor(role, text);
    palette.setColor(QPalette::Base, QColor(27, 30, 32));
    palette.setColor(QPalette::AlternateBase, QColor(35, 38, 41));
    palette.setColor(QPalette::ToolTipBase, QColor(49, 54, 59));
    palette.setColor(QPalette::Highlight, QColor(61, 174, 233));
    palette.setColor(QPalette::PlaceholderText, QColor(161, 169, 177));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(110, 116, 122));
    return palette;
}

// The contrast of what is drawn in `area` of a picture: its commonest
// colour is the background, the one that stands out most from it the text,
// whose strokes are solid somewhere whatever the smoothing.
double drawnContrast(const QImage &picture, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[picture.pixel(x, y)];
    }
    if (counts.isEmpty())
        return 21;
    const QRgb background = std::max_element(counts.constKeyValueBegin(), counts.constKeyValueEnd(),
                                             [](auto a, auto b) { return a.second < b.second; })->first;
    double most = 1;
    for (auto colour = counts.constKeyValueBegin(); colour != counts.constKeyValueEnd(); ++colour)
        most = qMax(most, TextColours::contrast(QColor(colour->first), QColor(background)));
    return most;
}

// The cells of a table's first row, drawn selected by their own
// delegates, whose text reads at less than the least contrast on the
// highlight.
QStringList unreadableSelection(QTableView *table)
{
    QStringList found;
    for (int column = 0; column < table->model()->columnCount(); ++column) {
        const QModelIndex cell = table->model()->index(0, column);
        // A check box is no text.
        if (table->isColumnHidden(column) || table->columnWidth(column) < 8 || cell.data().toString().trimmed().isEmpty()
            || qobject_cast<CheckBoxDelegate *>(table->itemDelegateForIndex(cell)))
            continue;
        QStyleOptionViewItem option;
        option.initFrom(table);
        option.state |= QStyle::State_Selected | QStyle::State_Active;
        option.widget = table;
        option.showDecorationSelected = true;
        option.rect = QRect(0, 0, table->columnWidth(column), table->rowHeight(0));
        QImage picture(option.rect.size(), QImage::Format_RGB32);
        picture.fill(table->palette().color(QPalette::Base));
        QPainter painter(&picture);
        table->itemDelegateForIndex(cell)->paint(&painter, option, cell);
        painter.end();
        const double contrast = drawnContrast(picture, option.rect.adjusted(2, 2, -2, -2));
        if (contrast < TextColours::leastContrast)
            found << QString("%1 column %2 %3:1").arg(table->objectName()).arg(column).arg(contrast, 0, 'f', 2);
    }
    return found;
}

// Where each text of `root` that is shown whole and can be used is drawn,
// in root's coordinates, by what it is.
QList<std::pair<QString, QRect>> textAreas(QWidget *root)
{
    QList<std::pair<QString, QRect>> areas;
    const auto add = [&](const QWidget *widget, const QString &text, const QRect &rect) {
        if (!text.trimmed().isEmpty())
            areas.append({widget->objectName() + " \"" + text.left(30) + "\"",
                          QRect(widget->mapTo(root, rect.topLeft()), rect.size())});
    };
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->window() != root
            || widget->visibleRegion() != QRegion(widget->rect()))
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            if (label->pixmap().isNull())
                add(label, label->text(), label->contentsRect());
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QStyle::SubElement part = qobject_cast<QRadioButton *>(button) ? QStyle::SE_RadioButtonContents
                                            : qobject_cast<QCheckBox *>(button) ? QStyle::SE_CheckBoxContents
                                                                                : QStyle::SE_PushButtonContents;
            const QRect contents = qobject_cast<QPushButton *>(button) || part != QStyle::SE_PushButtonContents
                                       ? button->style()->subElementRect(part, &option, button)
                                       : button->rect().adjusted(3, 3, -3, -3);
            add(button, button->text(), contents);
        } else if (auto *group = qobject_cast<QGroupBox *>(widget)) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.textAlignment = group->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            add(group, group->title(),
                group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group));
        } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            if (!edit->hasSelectedText())
                add(edit, edit->text(), edit->rect().adjusted(4, 4, -4, -4));
        } else if (auto *edit = qobject_cast<QPlainTextEdit *>(widget)) {
            add(edit->viewport(), edit->toPlainText(), edit->viewport()->rect().adjusted(2, 2, -2, -2));
        } else if (auto *bar = qobject_cast<QTabBar *>(widget)) {
            QRegion shown(bar->rect());
            for (const QWidget *arrow : bar->findChildren<QWidget *>()) {
                if (arrow->isVisible())
                    shown -= arrow->geometry();
            }
            for (int tab = 0; tab < bar->count(); ++tab) {
                if (shown.intersected(bar->tabRect(tab)) == QRegion(bar->tabRect(tab)))
                    add(bar, bar->tabText(tab), bar->tabRect(tab).adjusted(6, 6, -6, -6));
            }
        } else if (auto *header = qobject_cast<QHeaderView *>(widget)) {
            for (int section = 0; section < header->count(); ++section) {
                const QRect cell(header->sectionViewportPosition(section), 0, header->sectionSize(section),
                                 header->height());
                if (header->viewport()->rect().contains(cell))
                    add(header->viewport(), header->model()->headerData(section, header->orientation()).toString(),
                        cell.adjusted(3, 3, -3, -3));
            }
        } else if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
            const QAbstractItemModel *model = view->model();
            for (int row = 0; model && row < qMin(model->rowCount(), 40); ++row) {
                for (int column = 0; column < model->columnCount(); ++column) {
                    const QModelIndex cell = model->index(row, column);
                    // A selected row's text reads on the highlight too.
                    if (view->viewport()->rect().contains(view->visualRect(cell)))
                        add(view->viewport(), cell.data().toString(), view->visualRect(cell).adjusted(2, 2, -2, -2));
                }
            }
        }
    }
    return areas;
}

// Every text of `root` that reads at less than the least contrast, with
// what it measures.
QStringList unreadableTexts(QWidget *root)
{
    const QImage picture = root->grab().toImage();
    const qreal scale = picture.devicePixelRatio();
    QStringList found;
    for (const auto &[what, area] : textAreas(root)) {
        const QRect drawn = QRect((QPointF(area.topLeft()) * scale).toPoint(), (QSizeF(area.size()) * scale).toSize())
                            & picture.rect();
        const double contrast = drawnContrast(picture, drawn);
        if (contrast < TextColours::leastContrast)
            found << QString("%1 %2:1").arg(what).arg(contrast, 0, 'f', 2);
    }
    return found;
}

// A notice raised with the pointer on each button and each tab of the
// window as shown: where it lies over an enabled button, a tab, or the
// pointer.
QStringList noticesInTheWay(MainWindow &window, const QString &text)
{
    QList<std::pair<QString, QRect>> controls;
    QList<QPoint> pointers;
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        const QRect visible = button->visibleRegion().boundingRect();
        if (!button->isVisible() || button->window() != &window || visible.isEmpty()
            || button->parentWidget() == window.notice())
            continue;
        const QRect at(button->mapTo(&window, visible.topLeft()), visible.size());
        if (button->isEnabled())
            controls.append({button->objectName(), at});
        pointers.append(at.center());
    }
    QTabBar *bar = mainTabs(window)->tabBar();
    controls.append({"the tab bar", QRect(bar->mapTo(&window, QPoint()), bar->size())});
    for (int tab = 0; tab < bar->count(); ++tab)
        pointers.append(bar->mapTo(&window, bar->tabRect(tab).center()));
    QStringList found;
    for (const QPoint &pointer : pointers) {
        QCursor::setPos(window.mapToGlobal(pointer));
        window.showNotice(text);
        const QRect notice = window.notice()->geometry();
        if (notice.contains(pointer))
            found << QString("under the pointer at %1,%2").arg(pointer.x()).arg(pointer.y());
        for (const auto &[name, at] : controls) {
            if (notice.intersects(at))
                found << QString("over %1 with the pointer at %2,%3").arg(name).arg(pointer.x()).arg(pointer.y());
        }
    }
    window.notice()->hide();
    return found;
}

// The program in a child process with its debug lines on, which tell how
// far start-up has come; true once it has read its data folder.
bool startUntilRead(QProcess &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_LOGGING_RULES", "default.debug=true");
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setProcessEnvironment(environment);
    program.start(TAVIK_APP_PATH, {});
    QByteArray output;
    return program.waitForStarted()
           && QTest::qWaitFor([&] { return (output += program.readAll()).contains("readBase machines"); }, 20000);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    QString settingsPath() const { return TestEnv::dataFolder() + "settings.dat"; }

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        // Measured in what the program shows, not in the toolkit's default.
        QApplication::setFont(MainWindow::applicationFont());
    }
    void init() { QFile::remove(settingsPath()); }

    void tabTitlesAndSettingsOnClose()
    {
        {
            MainWindow window;
            auto *tabs = mainTabs(window);
            QCOMPARE(window.currentTab(), 0);

            // A long name never widens the window: cut short, whole in the tooltip.
            const int width = window.sizeHint().width();
            const QString longName(300, QLatin1Char('W'));
            window.setWorkTabTitle(longName);
            window.setProgramTabTitle(longName, 3);
            QVERIFY(tabs->tabText(MainWindow::TabWork).endsWith(QChar(0x2026)));
            QCOMPARE(tabs->tabToolTip(MainWindow::TabWork), "Work\n" + longName);
            QCOMPARE(tabs->tabToolTip(MainWindow::TabProgram), "Program\n" + longName + ".v.3");
            QCOMPARE(window.sizeHint().width(), width);
            // No name: the bare captions again.
            window.setWorkTabTitle(QString());
            window.setProgramTabTitle(QString(), 3);
            QCOMPARE(tabs->tabText(MainWindow::TabWork), QString("Work"));
            QCOMPARE(tabs->tabText(MainWindow::TabProgram), QString("Program\n"));

            tabs->setCurrentIndex(MainWindow::TabTools);
            QCOMPARE(window.currentTab(), int(MainWindow::TabTools));
            QVERIFY(!QFile::exists(settingsPath()));
        }
        // The first start had no settings file: auto-connect is on from then.
        const QCborMap stored = QCborValue::fromCbor(TestEnv::readFile(settingsPath())).toMap();
        QVERIFY(!stored.value(QStringLiteral("geometry")).toString().isEmpty());
        QCOMPARE(stored.value(QStringLiteral("machineAutoconnect")).toString(), QString("1"));
    }

    // A data folder written by another installation: the four library
    // files, a client's history, settings and the registry load silently.
    void startsOverAFullDataFolderWithoutWarnings()
    {
        const QString folder = TestEnv::dataFolder();
        QVERIFY(writeLibraryFolder(folder));
        QVERIFY(Container::writeFile(folder + "machines.dat",
                                     {{"version", "1"}, {"machines", QJsonArray{QJsonObject{{"SerialNumber", "5"}}}}}));
        QVERIFY(Container::writeFile(folder + "settings.dat", {}));
        {
            QTest::failOnWarning(QRegularExpression(".*"));
            MainWindow window;
            window.stopTimers();
            QCOMPARE(window.library().openClientName(), QString("Ana"));
            QCOMPARE(window.devices().registry().count(), 1);
            auto *tabs = mainTabs(window);
            QCOMPARE(tabs->tabText(MainWindow::TabClient), QString("Client\nAna"));
        }
        for (const char *name : {"presets.dat", "genpresets.dat", "programs.dat", "clients.dat", "machines.dat"})
            QFile::remove(folder + name);
        QFile::remove(folder + anaFile + ".dat");
    }

    void damagedSettingsAndRegistryAreNoticed()
    {
        const QString folder = TestEnv::dataFolder();
        TestEnv::writeFile(folder + "machines.dat",
                           Container::encode({{"machines", QJsonArray{QJsonObject{}, QJsonObject{}}}}).chopped(1));
        TestEnv::writeFile(settingsPath(), Container::encode({{"operator", QJsonObject{{"typ", "Eva"}}}}) + "x");
        {
            MainWindow window;
            window.show();
            window.uiTick();
            QVERIFY(window.notice()->isVisible());
            QVERIFY(window.notice()->text().contains("settings.dat was damaged and is kept aside as settings.dat.damaged-"));
            QVERIFY(window.notice()->text().contains("machines.dat was damaged"));
        }
        // A damaged pool, read beside the window, and an end before any UI
        // tick: the next start tells it.
        TestEnv::writeFile(folder + "genpresets.dat", Container::encode({{"presets", QJsonArray{}}}).chopped(1));
        { MainWindow window; }
        {
            // Kept until shown: a start killed before its first tick leaves it.
            MainWindow window;
            QVERIFY(QFile::exists(folder + "untold.dat"));
            window.show();
            window.uiTick();
            QVERIFY(window.notice()->text().contains("genpresets.dat was damaged and is kept aside"));
            QVERIFY(!QFile::exists(folder + "untold.dat"));
        }
        {
            MainWindow window;
            window.uiTick();
            QVERIFY(!window.notice()->isVisible());
        }
        for (const QString &aside : QDir(folder).entryList({"*.damaged-*"}))
            QFile::remove(folder + aside);
        QFile::remove(folder + "machines.dat");
    }

    void terminationSignalClosesLikeTheCloseButton()
    {
        // A history still being written beside the window when a signal
        // ends it lands whole before the window is gone.
        QString historyPath;
        {
            MainWindow window;
            Library &library = window.library();
            Clients &clients = library.clients();
            clients.insertNew();
            clients.setName("Long");
            library.openClient(clients.file());
            historyPath = library.history().path();
            mainTabs(window)->setCurrentIndex(MainWindow::TabClient);
            QList<Note> &notes = library.history().notes().editRecords();
            for (int i = 0; i < 40000; ++i)
                notes.append(Note::newRecord(LineType::Notes));
            // A slow disk: the history waits behind another file.
            WriteBeside::write(TestEnv::dataFolder() + "slow.dat", [] {
                QThread::msleep(500);
                return Container::encode({});
            });
            mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
            window.closeForSignal();
        }
        QFile written(historyPath);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(Container::decode(written.readAll()).value("history").toArray().size(), 40000);

        // The signal handler is in place before the window is built, so a
        // signal once the window reads its registry must close it cleanly.
        // A closed terminal's hang-up ends it the same way.
        QProcess program;
#ifdef Q_OS_UNIX
        for (const int signal : {SIGTERM, SIGHUP}) {
            QFile::remove(settingsPath());
            QVERIFY(startUntilRead(program));
            ::kill(pid_t(program.processId()), signal);
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            QVERIFY2(QFile::exists(settingsPath()), signal == SIGHUP ? "SIGHUP" : "SIGTERM");
        }
#endif

        // Not asked for, the terminal stays quiet.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_LOGGING_RULES");
        program.setProcessEnvironment(environment);
        program.start(TAVIK_APP_PATH, {});
        QVERIFY(program.waitForStarted());
        QTest::qWait(2000);
        program.terminate();
        QVERIFY(program.waitForFinished(20000));
        QVERIFY2(!program.readAll().contains("readBase"), "debug lines written unasked");
    }

    // What the editors refused is not dropped when the program ends with
    // nobody to ask: it is kept through the program's own exit (a kill
    // leaves it as it was) and offered again at the next start, in its
    // editor, in the record it belongs to, with its reason, until stored or
    // discarded there.
    void refusedEditsOutliveTheProgramsEnd()
    {
        const QString folder = TestEnv::dataFolder();
        const QString kept = folder + "unstored.dat";
        QVERIFY(writeLibraryFolder(folder));
        // Twins: the second L1 is the one edited.
        QVERIFY(Container::writeFile(folder + "genpresets.dat", {{"version", "1"}, {"presets", QJsonArray{
            QJsonObject{{"nam", "L1"}, {"ver", "1"}, {"tim", "5"}, {"var", "1000.0"}},
            QJsonObject{{"nam", "L2"}, {"ver", "1"}, {"tim", "5"}},
            QJsonObject{{"nam", "L1"}, {"ver", "1"}, {"tim", "5"}, {"var", "2000.0"}}}}}));
        const auto cleanUp = qScopeGuard([&folder] {
            for (const char *name : {"presets.dat", "genpresets.dat", "programs.dat", "clients.dat", "unstored.dat"})
                QFile::remove(folder + name);
            QFile::remove(folder + anaFile + ".dat");
            QFile::remove(folder + boFile + ".dat");
        });
        {
            MainWindow window;
            window.stopTimers();
            auto *tabs = mainTabs(window);
            Library &library = window.library();
            LibraryEditors &editors = window.editors();
            QVERIFY(editors.preset.open(PresetPool::Legitimate, library.legitimatePresets().keyAt(2)));
            tabs->setCurrentIndex(MainWindow::TabPreset);
            child<QLineEdit>(window, "lineEdit_preset_name")->setText("G1");  // General's
            child<QPlainTextEdit>(window, "plainTextEdit_preset_notes")->setPlainText("typed before the end");
            QVERIFY(editors.program.open(true, library.programs().keyAt(1)));
            tabs->setCurrentIndex(MainWindow::TabProgram);
            child<QLineEdit>(window, "lineEdit_program_name")->setText("CP1");  // the client's
            child<QPlainTextEdit>(window, "plainTextEdit_program_notes")->setPlainText("lines to come");
            tabs->setCurrentIndex(MainWindow::TabClient);
            child<QLineEdit>(window, "lineEdit_client_name")->setText("Bo");
            QVERIFY(editors.preset.holdsRefusedEdit() && editors.program.holdsRefusedEdit());
            window.closeForSignal();
        }
        const QList<UnstoredEdit> edits = UnstoredEdits::read(folder);
        QCOMPARE(edits.size(), 3);
        const auto same = [&edits](const QList<UnstoredEdit> &read) {
            return std::equal(read.cbegin(), read.cend(), edits.cbegin(), edits.cend(),
                              [](const UnstoredEdit &a, const UnstoredEdit &b) { return a.toJson() == b.toJson(); });
        };
        {
            // A version is any whole number the editors take.
            QTemporaryDir other;
            UnstoredEdit below = edits.first();
            below.version = -3;
            below.storedVersion = std::numeric_limits<int>::min();
            QVERIFY(UnstoredEdits::leave(other.path() + '/', {below}));
            const QList<UnstoredEdit> back = UnstoredEdits::read(other.path() + '/');
            QVERIFY(back.size() == 1 && back.first().toJson() == below.toJson());
        }

        // The program itself: killed, it leaves the edits as they were;
        // given SIGTERM, it offers them and keeps them again on its way out.
        const PlatformFile::Identity written = PlatformFile::identity(kept);
        for (const bool kill : {true, false}) {
            QProcess program;
            QVERIFY(startUntilRead(program));
            kill ? program.kill() : program.terminate();
            QVERIFY(program.waitForFinished(20000));
            if (kill) {
                QCOMPARE(PlatformFile::identity(kept), written);
            } else {
                QCOMPARE(program.exitCode(), 0);
                QVERIFY2(PlatformFile::identity(kept) != written, "the program's end did not keep the edits again");
            }
            QVERIFY(same(UnstoredEdits::read(folder)));
        }

        // The program edited is gone meanwhile: what was typed is a new one.
        QJsonObject programs;
        QCOMPARE(Container::readFile(folder + "programs.dat", programs), Container::ReadStatus::Read);
        QJsonArray list = programs.value("programs").toArray();
        list.removeAt(1);
        programs.insert("programs", list);
        QVERIFY(Container::writeFile(folder + "programs.dat", programs));
        {
            MainWindow window;
            window.stopTimers();
            window.uiTick();
            LibraryEditors &editors = window.editors();
            QCOMPARE(window.currentTab(), int(MainWindow::TabPreset));
            QVERIFY(editors.preset.edits(window.library().legitimatePresets().keyAt(2)));
            QCOMPARE(child<QLineEdit>(window, "lineEdit_preset_name")->text(), QString("G1"));
            QCOMPARE(child<QPlainTextEdit>(window, "plainTextEdit_preset_notes")->toPlainText(), QString("typed before the end"));
            QVERIFY(!edits.at(0).reason.isEmpty());
            QCOMPARE(child<QLabel>(window, "label_preset_name_info")->text(), edits.at(0).reason);
            QVERIFY(editors.program.holdsRefusedEdit() && editors.program.isNewPending());
            QCOMPARE(child<QLineEdit>(window, "lineEdit_program_name")->text(), QString("CP1"));
            QCOMPARE(child<QPlainTextEdit>(window, "plainTextEdit_program_notes")->toPlainText(), QString("lines to come"));
            QCOMPARE(child<QLabel>(window, "label_program_name_info")->text(), edits.at(1).reason);
            QCOMPARE(child<QLineEdit>(window, "lineEdit_client_name")->text(), QString("Bo"));
            QCOMPARE(child<QLabel>(window, "label_client_name_info")->text(), QString(ClientEditor::nameTakenMessage));
            const QString told = window.notice()->text();
            QVERIFY2(told.count("was not stored") == 3 && told.contains("P2.v.1 is gone"), qPrintable(told));

            // A logout keeps them at once; the program may run on.
            QVERIFY(QFile::remove(kept));
            window.endOfSession();
            QCOMPARE(window.currentTab(), int(MainWindow::TabPreset));
            QCOMPARE(UnstoredEdits::read(folder).size(), 3);
            // Stored once it may be: no longer kept.
            child<QSpinBox>(window, "spinBox_preset_mutation")->setValue(2);
            mainTabs(window)->setCurrentIndex(MainWindow::TabPresetSelection);
            QVERIFY(!editors.preset.holdsRefusedEdit());
            QCOMPARE(namesIn(folder + "genpresets.dat", "presets"), QStringList({"L1", "L2", "G1"}));
            window.uiTick();
            QCOMPARE(UnstoredEdits::read(folder).size(), 2);
            // Asked as the window closes, the operator lets the rest go.
            int asked = 0;
            window.setDiscardQuestion([&asked](const QString &) { ++asked; return true; });
            QVERIFY(window.close());
            QCOMPARE(asked, 2);
        }
        QVERIFY(!QFile::exists(kept));


        // One that cannot be read whole is kept aside and told; nothing is offered.
        QVERIFY(TestEnv::writeFile(kept, "\xa1\x65" "Edits" "\x9f"));
        {
            MainWindow window;
            window.stopTimers();
            window.uiTick();
            QVERIFY(!window.editors().preset.holdsRefusedEdit());
            QVERIFY2(window.notice()->text().contains("unstored.dat was damaged and is kept aside"),
                     qPrintable(window.notice()->text()));
            window.closeForSignal();
        }
        const QStringList aside = QDir(folder).entryList({"unstored.dat.damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(TestEnv::readFile(folder + aside.first()), QByteArray("\xa1\x65" "Edits" "\x9f"));
        QFile::remove(folder + aside.first());
    }

    // A second copy on the same data folder says who holds it and writes
    // nothing; a killed owner does not keep the folder from the next start.
    void oneProgramPerDataFolder()
    {
        const QString folder = TestEnv::dataFolder();
        QProcess owner;
        QVERIFY(startUntilRead(owner));
        const Files before = filesIn(folder);
        QVERIFY(before.contains(FolderLock::fileName));

        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.setProcessEnvironment(owner.processEnvironment());
        second.start(TAVIK_APP_PATH, {});
        const bool ended = second.waitForFinished(20000);
        const QString said = QString::fromLocal8Bit(second.readAll());
        if (!ended)
            second.kill();
        QVERIFY2(ended, "a second copy started on a folder in use");
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(said.contains(QDir::toNativeSeparators(QDir(folder).absolutePath()) + " is in use")
                     && said.contains(QString("process %1 ").arg(owner.processId())), qPrintable(said));
        QVERIFY(!said.contains("readBase"));
        QCOMPARE(filesIn(folder), before);

        owner.kill();
        QVERIFY(owner.waitForFinished(20000));
        QVERIFY(QFile::exists(folder + FolderLock::fileName));
        QProcess next;
        QVERIFY(startUntilRead(next));
        next.terminate();
        QVERIFY(next.waitForFinished(20000));
        QCOMPARE(next.exitCode(), 0);
        QVERIFY(!QFile::exists(folder + FolderLock::fileName));
    }

    // The operator clicks Start, whose notice comes up by the pointer, and
    // then Ctrl+Z with the pointer on Stop: a click at Stop's place, taken
    // by whatever lies on top there, stops the run at once.
    void aClickOnStopStopsWhateverNoticeIsShown()
    {
        WindowRig rig;
        QVERIFY(rig.start("4711"));
        MainWindow &window = rig.window;
        QVERIFY(rig.showReadyLongLine());
        window.library().closeClient();
        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        window.uiTick();
        auto *start = child<QPushButton>(window, "pushButton_work_start");
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");
        const auto placeOf = [&window](QWidget *button) { return button->mapTo(&window, button->rect().center()); };
        const auto clickAt = [&window](const QPoint &place) {
            QCursor::setPos(window.mapToGlobal(place));
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, place);
        };

        clickAt(placeOf(start));
        Sequencer *sequencer = window.devices().selectedSequencer();
        QVERIFY(sequencer->isRunning());
        QVERIFY(window.notice()->isVisible());
        QVERIFY(window.notice()->text().contains("No client open"));

        QCursor::setPos(window.mapToGlobal(placeOf(stop)));
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(window.notice()->text().startsWith("Nothing to put back"));
        clickAt(placeOf(stop));
        QVERIFY(!sequencer->isRunning());
        QVERIFY(!window.notice()->isVisible());
        QVERIFY(rig.driver.until([&] { return rig.sim.received().filter("command=3").size() == 1; }, 3000));
    }

    // Whatever dialog the program shows during a run, a click at Stop's
    // place and the stop keys, pressed in the window that has the focus,
    // reach the device; a question that holds the window says how to stop.
    void noDialogKeepsStopFromTheOperator()
    {
        WindowRig rig;
        QVERIFY(rig.start("4711"));
        MainWindow &window = rig.window;
        QVERIFY(rig.showReadyLongLine());
        Clients &clients = window.library().clients();
        clients.insertNew();
        clients.setName("Ann");
        window.library().openClient(clients.file());
        auto *start = child<QPushButton>(window, "pushButton_work_start");
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");
        QTabBar *bar = mainTabs(window)->tabBar();
        const auto clickAt = [&window](QWidget *target, const QPoint &place) {
            const QPoint inWindow = target->mapTo(&window, place);
            QCursor::setPos(window.mapToGlobal(inWindow));
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, inWindow);
        };
        const auto showWork = [&] {
            clickAt(bar, bar->tabRect(MainWindow::TabWork).center());
            window.uiTick();
        };
        const auto clickButton = [&](QWidget *button) {
            showWork();
            clickAt(button, button->rect().center());
        };
        const auto startRun = [&] {
            showWork();
            return rig.driver.until([&] { window.uiTick(); return start->isEnabled(); }, 10000)
                   && (clickButton(start), window.devices().selectedSequencer()->isRunning());
        };
        int stops = 0;
        const auto stoppedByDevice = [&] {
            ++stops;
            return rig.driver.until([&] { return rig.sim.received().filter("command=3").size() == stops; }, 3000);
        };
        // What a window manager does with a window shown or clicked: the
        // keys go to it.
        const auto focusOn = [](QWidget *shown) {
            shown->activateWindow();
            return QTest::qWaitFor([shown] { return QGuiApplication::focusWindow() == shown->windowHandle(); });
        };
        // With the dialog up: F6, then Start and a click on Stop, then
        // Start and Shift+F6, each stopping the device.
        const auto stopEveryWay = [&](QWidget *dialog, const char *what) {
            QVERIFY2(dialog->isVisible() && focusOn(dialog), what);
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_F6);
            QVERIFY2(stoppedByDevice(), what);
            QVERIFY2(startRun(), what);
            clickButton(stop);
            QVERIFY2(stoppedByDevice(), what);
            QVERIFY2(startRun() && focusOn(dialog), what);
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_F6, Qt::ShiftModifier);
            QVERIFY2(stoppedByDevice(), what);
            QVERIFY2(startRun(), what);
        };

        QVERIFY(startRun());
        window.findChild<QAction *>("action_about")->trigger();
        auto *about = window.findChild<AboutDialog *>();
        stopEveryWay(about, "About");
        about->close();

        mainTabs(window)->setCurrentIndex(MainWindow::TabClient);
        click(window, "pushButton_history_new");
        auto *notes = window.findChild<DialogNotes *>();
        stopEveryWay(notes, "notes");
        notes->close();

        // The manual is a window of its own.
        window.findChild<QAction *>("action_help")->trigger();
        stopEveryWay(child<QWidget>(window, "textBrowser_manual")->window(), "manual");
        QWidget *manual = child<QWidget>(window, "textBrowser_manual")->window();
        manual->close();

        // The file dialog answers in a loop of its own; so does a question.
        mainTabs(window)->setCurrentIndex(MainWindow::TabTools);
        QTimer::singleShot(0, &window, [&] {
            auto *files = window.findChild<QFileDialog *>();
            QVERIFY(files);
            stopEveryWay(files, "file dialog");
            files->reject();
        });
        click(window, "pushButton_backup");
        QVERIFY(!window.findChild<QFileDialog *>() || !window.findChild<QFileDialog *>()->isVisible());

        window.setQuitQuestion({});
        QTimer::singleShot(0, &window, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && focusOn(box));
            QVERIFY(box->text().contains("F6 stops the selected device"));
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_F6);
            QVERIFY(stoppedByDevice());
            box->button(QMessageBox::No)->click();
        });
        QVERIFY(window.devices().selectedSequencer()->isRunning());
        window.close();
        QVERIFY(window.isVisible());
    }

    void noticeCountsDownAndRestarts()
    {
        // A run an earlier window cut short would be told again at start.
        QFile::remove(TestEnv::dataFolder() + "runs.dat");
        MainWindow window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.showNotice("Saved");
        NoticePopup *notice = window.notice();
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString("Saved"));
        for (int i = 0; i < 10; ++i)
            window.uiTick();
        window.showNotice("Again");  // counts down afresh
        for (int i = 0; i < 18; ++i)
            window.uiTick();
        QVERIFY(notice->isVisible());
        window.uiTick();
        QVERIFY(!notice->isVisible());

        // A long notice shows from its first line to its last, inside the
        // window, and stays longer.
        window.resize(900, 700);
        const QString text = "Will not be saved: " + QString(300, 'n') + " " + QString(40, 'w')
                             + "\nPresets not downloaded: the server did not answer";
        window.showNotice(text);
        auto *label = notice->findChild<QLabel *>("label_notice");
        QVERIFY(notice->isVisible());
        QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                 qPrintable(QString("%1 < %2").arg(label->height()).arg(label->heightForWidth(label->width()))));
        QVERIFY(QRect(QPoint(), window.size()).contains(notice->geometry()));
        QVERIFY(notice->countdown() > 40);

        // A screen reader reads a notice as a notification, by its text,
        // also one that replaces another in place.
        for (const char *shown : {"Saved", "Again"}) {
            window.showNotice(shown);
            QAccessibleInterface *told = QAccessible::queryAccessibleInterface(notice);
            QCOMPARE(told->role(), QAccessible::Notification);
            QCOMPARE(told->text(QAccessible::Name), shown);
        }

        // Every notice can be read again, the newest first, from the
        // status bar's button or its keys.
        auto *logButton = child<QToolButton>(window, "toolButton_notices");
        QVERIFY(window.infoBar()->isAncestorOf(logButton));
        // Its tip shows at the bar's right end, never drawn over the
        // device's status line at its left.
        QTest::mouseMove(logButton);
        QTRY_COMPARE(child<QLabel>(window, "label_info_system")->text(), logButton->statusTip());
        QCOMPARE(window.statusBar()->currentMessage(), QString());
        QTest::mouseMove(&window, QPoint(window.width() / 2, 5));
        QTRY_COMPARE(child<QLabel>(window, "label_info_system")->text(), QString("System info"));
        QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        auto *log = child<QListWidget>(window, "listWidget_notices");
        QVERIFY(log->isVisible());
        QCOMPARE(log->count(), 5);
        QVERIFY(log->item(0)->text().endsWith("  Again"));
        QVERIFY(log->item(1)->text().endsWith("  Saved"));
        QVERIFY(log->item(2)->text().endsWith(text));

        // A CSV header has no spaces: it breaks at its commas, and shows whole.
        const QString header = QString("Nothing imported: the column header differs; the second line must read\n")
                               + Import::presetHeader;
        window.showNotice(header);
        QCOMPARE(notice->text(), header);
        QVERIFY(label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap,
                                                  label->text()).width() <= label->width());

        // The info bar follows the window's bottom edge.
        window.resize(900, 700);
        QCOMPARE(window.infoBar()->width(), 900);
        QCOMPARE(window.infoBar()->y() + window.infoBar()->height(), 700);
    }

    // Ctrl+Tab leaves a table with rows; Tab in a text field moves on
    // instead of typing into the data; entering the Work tab does not leave
    // the focus in its list.
    void keyboardMovesBetweenWidgets()
    {
        const QString folder = TestEnv::dataFolder();
        QVERIFY(Container::writeFile(folder + "clients.dat", {{"version", "1"}, {"clients", QJsonArray{
            QJsonObject{{"name", "Ana"}, {"file", "0123456789abcdef0123456789abcdef"}},
            QJsonObject{{"name", "Bo"}, {"file", "fedcba9876543210fedcba9876543210"}},
            QJsonObject{{"name", "Cy"}, {"file", "00000000000000000000000000000001"}}}}}));
        MainWindow window;
        window.stopTimers();
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *tabs = mainTabs(window);
        auto *table = child<QTableView>(window, "tableWidget_clientSelection");
        QVERIFY(table->model()->rowCount() >= 2);
        table->setFocus();
        table->setCurrentIndex(table->model()->index(0, 0));
        QTest::keyClick(table, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);

        for (QPlainTextEdit *edit : window.findChildren<QPlainTextEdit *>()) {
            edit->setPlainText("x");
            QTest::keyClick(edit, Qt::Key_Tab);
            QVERIFY2(edit->toPlainText() == "x", qPrintable(edit->objectName()));
        }

        tabs->setCurrentIndex(MainWindow::TabTools);
        child<QPushButton>(window, "pushButton_about")->setFocus();
        tabs->setCurrentIndex(MainWindow::TabWork);
        QVERIFY(QApplication::focusWidget() != child<QTableView>(window, "tableWidget_work"));

        // The arrow keys pick a pool, as a click on its round button does.
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        auto *genuine = child<QRadioButton>(window, "radioButton_presetGenuine");
        genuine->click();
        genuine->setFocus();
        QTest::keyClick(genuine, Qt::Key_Right);
        QVERIFY(child<QRadioButton>(window, "radioButton_presetGeneral")->isChecked());
        QCOMPARE(window.session().presetPool(), int(PresetPool::General));
        // Tab and Shift+Tab land on the pool picked, not on another, also
        // where the pool was picked by the program.
        child<QRadioButton>(window, "radioButton_presetClient")->setChecked(true);
        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            QWidget *focus = child<QLineEdit>(window, "lineEdit_presetSelection_search");
            focus->setFocus();
            for (int i = 0; i < 40 && !qobject_cast<QRadioButton *>(focus); ++i) {
                QTest::keyClick(focus, key);
                focus = QApplication::focusWidget();
            }
            QCOMPARE(focus, child<QRadioButton>(window, "radioButton_presetClient"));
        }

        // A delete can be taken back with Ctrl+Z, until its list changes.
        tabs->setCurrentIndex(MainWindow::TabClientSelection);
        const auto names = [&] { return namesIn(folder + "clients.dat", "clients", "name"); };
        const auto deleteRow = [&](int row) {
            table->setFocus();
            table->selectRow(row);
            click(window, "pushButton_clientSelection_delete");
        };
        deleteRow(1);
        QCOMPARE(names(), QStringList({"Ana", "Cy"}));
        QVERIFY(window.notice()->text().contains("Client Bo deleted"));
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(names(), QStringList({"Ana", "Bo", "Cy"}));
        QCOMPARE(table->model()->rowCount(), 3);
        // One step after another comes back, and goes again, each stored at
        // once; the notice says what the keys would do next.
        deleteRow(1);
        table->selectRow(0);
        click(window, "pushButton_clientSelection_moveDown");
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(names(), QStringList({"Ana", "Cy"}));
        QCOMPARE(window.notice()->text(), QString("Client Ana is back in its place. Ctrl+Z takes back the delete of "
                                                  "Client Bo. Ctrl+Shift+Z makes the move down of Client Ana again."));
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(names(), QStringList({"Ana", "Bo", "Cy"}));
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(names(), QStringList({"Cy", "Ana"}));
        QCOMPARE(table->model()->rowCount(), 2);
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(window.notice()->text().startsWith("Nothing to make again."));
        // A list changed by another path voids the steps on it, and says so.
        table->selectRow(0);
        click(window, "pushButton_clientSelection_edit");
        child<QLineEdit>(window, "lineEdit_client_name")->setText("Cyd");
        mainTabs(window)->setCurrentIndex(MainWindow::TabClientSelection);
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY2(window.notice()->text().startsWith("The move down of Client Ana is not taken back: its list changed since."),
                 qPrintable(window.notice()->text()));
        QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(window.notice()->text().startsWith("Nothing to put back"));

        // A new preset or program has the cursor in its name; Add Preset
        // leaves it in the list of presets to pick from.
        const auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };
        tabs->setCurrentIndex(MainWindow::TabPresetSelection);
        click(window, "radioButton_presetGeneral");
        click(window, "pushButton_presetSelection_new");
        QCOMPARE(focused(), QString("lineEdit_preset_name"));
        tabs->setCurrentIndex(MainWindow::TabProgramSelection);
        click(window, "radioButton_programGenuine");
        click(window, "pushButton_programSelection_new");
        QCOMPARE(focused(), QString("lineEdit_program_name"));
        click(window, "pushButton_program_addPreset");
        QCOMPARE(focused(), QString("tableWidget_presetSelection"));
        QFile::remove(folder + "clients.dat");
    }

    // The text the program picks reads on every background it may meet
    // (the old rule, white below half lightness, gave white on pure green),
    // and a refusal stays red.
    void textColoursReadOnEveryBackground()
    {
        QCOMPARE(qRound(TextColours::contrast(Qt::black, Qt::white) * 100), 2100);
        QCOMPARE(qRound(TextColours::contrast(QColor(170, 0, 0), QColor(42, 46, 50)) * 100), 176);
        for (int red = 0; red < 256; red += 15) {
            for (int green = 0; green < 256; green += 15) {
                for (int blue = 0; blue < 256; blue += 15) {
                    const QColor background(red, green, blue);
                    const QColor refusal = TextColours::refusal(background);
                    QVERIFY2(TextColours::contrast(TextColours::on(background), background) >= TextColours::leastContrast,
                             qPrintable(background.name()));
                    QVERIFY2(TextColours::contrast(refusal, background) >= TextColours::leastContrast
                                 || refusal == TextColours::on(background),
                             qPrintable(background.name()));
                }
            }
        }
        for (const QColor &background : {QColor(239, 240, 241), QColor(42, 46, 50), QColor(255, 255, 255), QColor(0, 0, 0)}) {
            const QColor refusal = TextColours::refusal(background);
            QVERIFY2(refusal.red() > refusal.green() + 60 && refusal.green() == refusal.blue(), qPrintable(refusal.name()));
        }
    }

    // Every tab at a small screen and at twice the scale, with ordinary
    // names and with long names in several scripts in every field that
    // shows data: the window fits the screen, every button can be seen,
    // no label is cut, Tab reaches Start and Stop, every input, table and
    // button has a name a screen reader can say, and every button a tooltip.
    void fitsTheScreenWithEveryName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ordinary") << "Ada";
        const QString scripts = QString::fromUtf8("Řezníček Ελληνικά Кириллица 中文名字 ");
        QString longName;
        while (longName.size() < 200)
            longName += scripts;
        QTest::newRow("200 characters, four scripts") << longName.left(200);
    }

    void fitsTheScreenWithEveryName()
    {
        QFETCH(QString, name);
        const QString folder = TestEnv::dataFolder();
        {
            // Stored by a window once larger than any screen.
            MainWindow window;
            window.stopTimers();
            window.resize(3000, 1600);
            fillEveryStore(window, name);
        }
        MainWindow window;
        window.stopTimers();
        window.setProgramTabTitle(name, 1);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QRect available = window.screen()->availableGeometry();
        const QString screen = QString("%1x%2 at %3x").arg(available.width()).arg(available.height())
                                   .arg(window.devicePixelRatio());
        qInfo("%s: window %dx%d, minimum %dx%d", qPrintable(screen), window.width(), window.height(),
              window.minimumSizeHint().width(), window.minimumSizeHint().height());
        QVERIFY2(available.contains(window.geometry()), qPrintable(screen));
        QVERIFY(window.minimumSizeHint().width() <= available.width());
        QVERIFY(window.minimumSizeHint().height() <= available.height());

        auto *tabs = mainTabs(window);
        const QRect inside(QPoint(), window.size());
        // In the desktop's light palette and in a dark one it switches to
        // while the program runs.
        const QPalette light = QApplication::palette();
        const auto lightAgain = qScopeGuard([&] { QApplication::setPalette(light); });
        for (const QPalette &palette : {light, darkPalette()}) {
            // The light one as the window started with it, no change told.
            if (palette != light)
                QApplication::setPalette(palette);
            QCoreApplication::processEvents();
            const QString shade = palette == light ? "light" : "dark";
            for (int index = 0; index < tabs->count(); ++index) {
                tabs->setCurrentIndex(index);
                window.uiTick();
                QCoreApplication::processEvents();
                QCOMPARE(tabs->currentWidget()->palette().color(QPalette::Window), palette.color(QPalette::Window));
                QVERIFY2(available.contains(window.geometry()), qPrintable(QString("tab %1").arg(index)));
                // From 1024 px up no tab scrolls sideways.
                auto *scroll = tabs->currentWidget()->findChild<QScrollArea *>();
                QVERIFY2(available.width() < 1024 || !scroll || scroll->horizontalScrollBar()->maximum() == 0,
                         qPrintable(QString("tab %1 scrolls sideways by %2 px").arg(index)
                                        .arg(scroll ? scroll->horizontalScrollBar()->maximum() : 0)));
                for (QPushButton *button : window.findChildren<QPushButton *>()) {
                    if (!button->isVisible() || button->window() != &window)
                        continue;
                    if (auto *scroll = qobject_cast<QScrollArea *>(tabs->currentWidget()->findChild<QScrollArea *>()))
                        scroll->ensureWidgetVisible(button);
                    const QRect at(button->mapTo(&window, QPoint()), button->size());
                    QVERIFY2(inside.contains(at) && !button->visibleRegion().isEmpty(),
                             qPrintable(QString("tab %1: %2").arg(index).arg(button->objectName())));
                }
                for (QLabel *label : window.findChildren<QLabel *>()) {
                    if (!label->isVisible() || label->window() != &window || label->wordWrap() || label->text().isEmpty()
                        || Qt::mightBeRichText(label->text()))
                        continue;
                    int widest = 0;
                    for (const QString &line : label->text().split('\n'))
                        widest = qMax(widest, label->fontMetrics().horizontalAdvance(line));
                    QVERIFY2(widest <= label->contentsRect().width(),
                             qPrintable(QString("tab %1: %2 is %3 px wide for %4 px: %5").arg(index)
                                            .arg(label->objectName()).arg(widest).arg(label->contentsRect().width())
                                            .arg(label->text().left(40))));
                }
                // A column title is read whole at the widths the window
                // gives, and cut with "…" where the operator narrows it.
                QStringList cutTitles;
                for (QHeaderView *header : window.findChildren<QHeaderView *>()) {
                    if (!header->isVisible() || header->window() != &window || header->orientation() != Qt::Horizontal)
                        continue;
                    // From 1024 px up the last titles are not out of view either.
                    const auto *table = qobject_cast<QAbstractScrollArea *>(header->parent());
                    if (available.width() >= 1024 && table && table->horizontalScrollBar()->maximum() > 0)
                        cutTitles << QString("%1 scrolls sideways by %2 px").arg(table->objectName())
                                         .arg(table->horizontalScrollBar()->maximum());
                    for (int column = 0; column < header->count(); ++column) {
                        const int needed = header->sectionSizeHint(column);
                        if (header->textElideMode() == Qt::ElideNone
                            || (!header->isSectionHidden(column) && needed > header->sectionSize(column)))
                            cutTitles << QString("%1's \"%2\" needs %3 px, has %4 px")
                                             .arg(header->parent()->objectName(),
                                                  header->model()->headerData(column, Qt::Horizontal).toString())
                                             .arg(needed).arg(header->sectionSize(column));
                    }
                }
                QVERIFY2(cutTitles.isEmpty(), qPrintable(QString("tab %1: %2").arg(index).arg(cutTitles.join("; "))));
                // Every text reads, a refusal under a name too, and a notice
                // raised on any control leaves every control free.
                for (QLabel *refusal : window.findChildren<QLabel *>(QRegularExpression("_name_info$")))
                    refusal->setText("Will not be saved: " + name);
                for (QTableView *table : window.findChildren<QTableView *>()) {
                    if (table->isVisible() && table->model()->rowCount() > 0)
                        table->selectRow(0), qInfo("selected in %s: %d rows, selected %d, style %s", qPrintable(table->objectName()), table->model()->rowCount(), int(table->selectionModel()->selectedIndexes().size()), qPrintable(table->style()->name()));
                }
                window.notice()->hide();
                QCoreApplication::processEvents();
                QStringList unreadable = unreadableTexts(&window);
                for (QTableView *table : window.findChildren<QTableView *>()) {
                    if (table->isVisible() && table->model()->rowCount() > 0)
                        unreadable += unreadableSelection(table);
                }
                QVERIFY2(unreadable.isEmpty(),
                         qPrintable(QString("%1, tab %2: %3").arg(shade).arg(index).arg(unreadable.join("; "))));
                const QStringList inTheWay = noticesInTheWay(
                    window, "Will not be saved: " + name + " is in use.\nNo client open: this run is not recorded in a history");
                QVERIFY2(inTheWay.isEmpty(), qPrintable(QString("tab %1: a notice %2").arg(index).arg(inTheWay.join("; "))));
            }
            auto *notes = window.findChild<DialogNotes *>();
            notes->setData(name, "01.02.2026 10:00", Note::Plain);
            notes->show();
            QVERIFY(QTest::qWaitForWindowExposed(notes));
            const QStringList unreadable = unreadableTexts(notes);
            notes->hide();
            QVERIFY2(unreadable.isEmpty(), qPrintable(shade + ", notes: " + unreadable.join("; ")));
        }
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // The keyboard reaches Start and Stop from the first widget, and
        // comes back round: no table keeps it.
        tabs->setCurrentIndex(MainWindow::TabWork);
        auto *start = child<QPushButton>(window, "pushButton_work_start");
        auto *stop = child<QPushButton>(window, "pushButton_work_stop");
        start->setEnabled(true);
        stop->setEnabled(true);
        tabs->tabBar()->setFocus();
        QWidget *first = QApplication::focusWidget();
        QVERIFY(first);
        bool startReached = false;
        bool stopReached = false;
        bool cameBack = false;
        for (int press = 0; press < 60 && !cameBack; ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            startReached = startReached || start->hasFocus();
            stopReached = stopReached || stop->hasFocus();
            cameBack = QApplication::focusWidget() == first;
        }
        QVERIFY(startReached);
        QVERIFY(stopReached);
        QVERIFY(cameBack);

        QStringList untold;
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            const bool named = qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
                               || qobject_cast<QPlainTextEdit *>(widget) || qobject_cast<QComboBox *>(widget)
                               || qobject_cast<QAbstractSpinBox *>(widget)
                               || (qobject_cast<QAbstractItemView *>(widget) && !widget->inherits("QComboBoxListView"));
            if (!named || widget->objectName().isEmpty() || widget->objectName().startsWith("qt_"))
                continue;
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(widget->objectName()));
            // A button also says what it does before it is pressed.
            if (qobject_cast<QAbstractButton *>(widget) && widget->toolTip().trimmed().isEmpty())
                untold.append(widget->objectName());
        }
        QVERIFY2(untold.isEmpty(), qPrintable("buttons without a tooltip: " + untold.join(' ')));
        for (const QString &file : QDir(folder).entryList({"*.dat"}))
            QFile::remove(folder + file);
    }

    // A column the operator widens keeps its width through the ticks and a
    // resize of the window, and after a restart.
    void columnsTheOperatorSetStay()
    {
        const auto workColumns = [](MainWindow &window) {
            return child<QTableView>(window, "tableWidget_work")->horizontalHeader();
        };
        {
            MainWindow window;
            window.stopTimers();
            window.resize(1000, 700);
            window.show();
            mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
            QHeaderView *header = workColumns(window);
            const int formula = header->sectionSize(0);
            header->resizeSection(2, 555);
            for (int i = 0; i < 5; ++i)
                window.uiTick();
            QCOMPARE(header->sectionSize(2), 555);
            window.resize(900, 650);
            QCoreApplication::processEvents();
            QCOMPARE(header->sectionSize(2), 555);
            QCOMPARE(header->sectionSize(0), formula);
        }
        MainWindow window;
        window.show();
        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        QCOMPARE(workColumns(window)->sectionSize(2), 555);
    }

    // A size missing from the resources leaves a title bar, a task switcher
    // or the About dialog without the program's icon.
    // About names the version --version prints. F1 opens the manual, at
    // how to use the program, with its pictures, with no network.
    void aboutAndManual()
    {
        MainWindow window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QProcess program;
        program.start(TAVIK_APP_PATH, {"--version"});
        QVERIFY(program.waitForFinished(20000));
        const QString printed = QString::fromLocal8Bit(program.readAllStandardOutput()).trimmed();
        QCOMPARE(printed, "TavikStudio " + child<QLabel>(window, "label_about_version")->text());

        QTest::keyClick(&window, Qt::Key_F1);
        auto *manual = child<QTextBrowser>(window, "textBrowser_manual");
        QVERIFY(QTest::qWaitForWindowExposed(manual->window()));
        const QString readme = QString::fromUtf8(TestEnv::readFile(QFINDTESTDATA("../../README.md")));
        const QString shown = manual->toPlainText();
        for (const QString &line : readme.split('\n')) {
            if (line.startsWith("## "))
                QVERIFY2(shown.contains(line.mid(3)), qPrintable(line));
        }
        // It opens at how to use the program; its links to its sections work.
        const auto shownFirst = [manual](const QString &heading) {
            const QTextBlock top = manual->cursorForPosition(QPoint(0, 0)).block();
            return top.text() == heading || top.previous().text() == heading;
        };
        QVERIFY(shownFirst("Using it"));
        Q_EMIT manual->anchorClicked(QUrl("#trying-it-with-the-simulated-device"));
        QVERIFY(shownFirst("Trying it with the simulated device"));
        QRegularExpressionMatchIterator pictures = QRegularExpression("!\\[[^]]*\\]\\(([^)]+)\\)").globalMatch(readme);
        QVERIFY(pictures.hasNext());
        while (pictures.hasNext()) {
            const QString picture = pictures.next().captured(1);
            QVERIFY2(!manual->loadResource(QTextDocument::ImageResource, QUrl(picture)).isNull(), qPrintable(picture));
        }
    }

    void iconShowsInTheWindowAndTheAboutDialog()
    {
        MainWindow window;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QImage image(QStringLiteral(":/icons/tavikstudio-%1.png").arg(size));
            QCOMPARE(image.size(), QSize(size, size));
        }
        QCOMPARE(window.windowIcon().pixmap(QSize(16, 16)).size(), QSize(16, 16));
        auto *about = window.findChild<AboutDialog *>();
        QVERIFY(about);
        QCOMPARE(about->windowIcon().cacheKey(), window.windowIcon().cacheKey());
        QCOMPARE(about->findChild<QLabel *>("label_about_logo")->pixmap().size(), QSize(128, 128));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
