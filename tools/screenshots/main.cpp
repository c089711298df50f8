// Walks the road of one run in the real window, with a simulated device on
// the network, and saves the README's pictures on the way. Every widget is
// found by its object name and every picture is the window's own drawing:
// neither a screen position, the screen's size nor a window manager's frame
// enters them. A widget no longer found by its name ends the walk with its
// name, rather than a picture of the wrong place.
//
//   tavik-screenshots FOLDER   (run by scripts/screenshots.sh)

#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "device/tavik.h"
#include "work/sequencer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

class Walk
{
public:
    Walk(MainWindow &window, const QString &folder) : m_window(window), m_folder(folder) {}

    template <typename Widget>
    Widget *find(const char *name)
    {
        auto *found = m_window.findChild<Widget *>(QLatin1String(name));
        if (!found) {
            std::fprintf(stderr, "tavik-screenshots: no widget %s\n", name);
            std::exit(1);
        }
        return found;
    }

    void tab(MainWindow::Tab index)
    {
        find<QTabWidget>("MainPage")->setCurrentIndex(index);
        QTest::qWait(300);
    }

    void click(const char *name)
    {
        auto *button = find<QAbstractButton>(name);
        if (!waitFor([button] { return button->isEnabled(); }, 20000, name))
            return;
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::qWait(300);
    }

    // Typed key by key, as a person would, into a field emptied first.
    template <typename Field>
    void type(const char *name, const QString &text)
    {
        auto *field = find<Field>(name);
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::qWait(200);
    }

    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs, const char *what)
    {
        if (QTest::qWaitFor(condition, timeoutMs))
            return true;
        std::fprintf(stderr, "tavik-screenshots: waited in vain for %s\n", what);
        std::exit(1);
    }

    void shot(const char *file)
    {
        QTest::qWait(800);
        // A notice is gone by the time anyone reads a picture of it.
        m_window.notice()->hide();
        const QString path = QDir(m_folder).filePath(QLatin1String(file));
        if (!m_window.grab().save(path)) {
            std::fprintf(stderr, "tavik-screenshots: cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        std::printf("%s\n", qPrintable(path));
    }

private:
    MainWindow &m_window;
    QString m_folder;
};

} // namespace

int main(int argc, char *argv[])
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TavikStudio"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavik-screenshots FOLDER\n");
        return 2;
    }
    QApplication::setFont(MainWindow::applicationFont());
    MainWindow window;
    window.resize(1100, 760);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Walk walk(window, QString::fromLocal8Bit(argv[1]));

    // The client.
    walk.tab(MainWindow::TabClientSelection);
    walk.click("pushButton_clientSelection_new");
    walk.type<QLineEdit>("lineEdit_client_name", QStringLiteral("Ada"));
    walk.type<QPlainTextEdit>("plainTextEdit_client_notes1", QStringLiteral("Main Street 1"));

    // The preset, in the General pool.
    walk.tab(MainWindow::TabPresetSelection);
    walk.click("radioButton_presetGeneral");
    walk.click("pushButton_presetSelection_new");
    walk.type<QLineEdit>("lineEdit_preset_name", QStringLiteral("Sun"));
    walk.type<QLineEdit>("lineEdit_preset_workTime", QStringLiteral("1"));
    walk.type<QLineEdit>("lineEdit_preset_variable", QStringLiteral("4321"));
    walk.type<QPlainTextEdit>("plainTextEdit_preset_notes", QStringLiteral("Morning calm"));
    walk.shot("preset-tab.png");

    // The program, in the general pool, with the preset added from the list.
    walk.tab(MainWindow::TabProgramSelection);
    walk.click("radioButton_programGenuine");
    walk.click("pushButton_programSelection_new");
    walk.type<QLineEdit>("lineEdit_program_name", QStringLiteral("Day"));
    walk.type<QPlainTextEdit>("plainTextEdit_program_notes", QStringLiteral("Ten minutes at noon"));
    walk.click("pushButton_program_addPreset");
    walk.find<QTableView>("tableWidget_presetSelection")->selectRow(0);
    walk.click("pushButton_presetSelection_toProgram");
    walk.tab(MainWindow::TabProgram);
    walk.shot("program-tab.png");

    // Program To Work once the device is connected, Start, and the run on air.
    walk.waitFor([&window] {
        const Tavik *tavik = window.devices().selectedController();
        return tavik && tavik->isConnected();
    }, 30000, "the simulated device");
    walk.click("pushButton_program_programToWork");
    walk.click("pushButton_work_start");
    walk.waitFor([&window] {
        const Sequencer *sequencer = window.devices().selectedSequencer();
        return sequencer && sequencer->state() == Sequencer::S_SEND_LF && sequencer->progress(0) >= 5;
    }, 30000, "the run on air");
    walk.shot("main-window.png");
    walk.tab(MainWindow::TabTavik);
    walk.shot("devices-tab.png");
    walk.tab(MainWindow::TabClient);
    walk.shot("client-tab.png");

    walk.tab(MainWindow::TabWork);
    walk.click("pushButton_work_stop");
    window.setQuitQuestion([] { return true; });
    window.close();
    return 0;
}
