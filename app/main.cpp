#include "app/mainwindow.h"
#include "app/signalcloser.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QLocale>
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TavikStudio"));
    QApplication::setApplicationVersion(QStringLiteral("6.9.2"));
    // Lets a Wayland desktop match the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVIK_APP_ID));

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::applicationName());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The file to open."));
    parser.process(app);

    QTranslator translator;
    installTranslation(app, translator);
    QApplication::setFont(QFont(QStringLiteral("Arial"), 13));

    // Caught from before the window is built: a logout during a slow start
    // then closes the window as soon as the event loop runs, instead of
    // killing the program.
    SignalCloser closer;
    MainWindow window;
    QObject::connect(&closer, &SignalCloser::closeRequested, &window, &MainWindow::closeForSignal);
    // A session logout asks no question either.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, &MainWindow::stopAllDevices);
    window.show();
    return app.exec();
}
