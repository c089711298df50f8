#include "app/mainwindow.h"
#include "app/signalcloser.h"
#include "data/folderlock.h"
#include "data/settings.h"
#include "maintenance/restart.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QLocale>
#include <QMessageBox>
#include <QLoggingCategory>
#include <QTranslator>

namespace {

void installTranslation(QApplication &app, QTranslator &translator)
{
    const QStringList languages = QLocale::system().uiLanguages();
    for (const QString &language : languages) {
        const QString baseName = QStringLiteral("TavikStudio_") + QLocale(language).name();
        if (translator.load(QStringLiteral(":/i18n/") + baseName)) {
            app.installTranslator(&translator);
            return;
        }
    }
}

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QCoreApplication::applicationName());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The file to open."));
}

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("TavikStudio"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));
}

// --help and --version answer without a display: a packager's checks and
// a terminal over ssh have none, and the widget application would abort
// looking for one.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--")
            break;
        if (word == "-h" || word == "--help" || word == "-?" || word == "--help-all" || word == "-v"
            || word == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication text(argc, argv);
        nameApplication();
        QCommandLineParser parser;
        describe(parser);
        parser.process(text);  // prints and ends the program
        return 0;
    }

    // The debug lines (a few every second while idle) are for whoever asks
    // for them: QT_LOGGING_RULES="default.debug=true" overrides this.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QApplication app(argc, argv);
    nameApplication();
    // Lets a Wayland desktop match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVIK_APP_ID));

    QCommandLineParser parser;
    describe(parser);
    parser.process(app);

    QTranslator translator;
    installTranslation(app, translator);
    QApplication::setFont(MainWindow::applicationFont());

    // Taken before anything in the folder is read or finished, and held
    // until the window has saved its last file.
    Settings folders;
    folders.init(QStringLiteral("settings.dat"));
    FolderLock lock(folders.dataFolder());
    if (!lock.tryLock()) {
        qCritical().noquote() << lock.refusal();
        // Where no screen shows it, the line above is all there is.
        const QString platform = QGuiApplication::platformName();
        const bool shown = platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
        // A lock that names no copy of the program is the operator's to take.
        const bool takeOver = shown && lock.mayTakeOver()
                              && QMessageBox::question(nullptr, QCoreApplication::applicationName(), lock.refusal(),
                                                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                                     == QMessageBox::Yes;
        if (!takeOver || !lock.takeOver()) {
            if (shown && !lock.mayTakeOver())
                QMessageBox::critical(nullptr, QCoreApplication::applicationName(), lock.refusal());
            return 1;
        }
    }

    int code = 0;
    {
        // Caught from before the window is built: a logout during a slow start
        // then closes the window as soon as the event loop runs, instead of
        // killing the program.
        SignalCloser closer;
        MainWindow window;
        QObject::connect(&closer, &SignalCloser::closeRequested, &window, &MainWindow::closeForSignal);
        // A session logout asks no question either.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, &MainWindow::endOfSession);
        window.show();
        code = app.exec();
    }
    lock.unlock();
    startAgainIfAsked();
    return code;
}
