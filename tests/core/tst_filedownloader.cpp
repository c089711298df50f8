#include "data/container.h"
#include "data/presets.h"
#include "maintenance/filedownloader.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

namespace {

QByteArray presetFile(const QStringList &names)
{
    QJsonArray presets;
    for (const QString &name : names)
        presets.append(QJsonObject{{"nam", name}, {"var", "100." + name}});
    return Container::encode({{"version", "1"}, {"presets", presets}});
}

} // namespace

class TestFileDownloader : public QObject
{
    Q_OBJECT

    // HTTPS on 127.0.0.1 under a certificate made here; every request gets m_reply.
    QSslServer m_server;
    QSslCertificate m_certificate;
    QByteArray m_reply;

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        QTemporaryDir dir;
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", dir.filePath("key"),
                                  "-out", dir.filePath("cert")});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        m_certificate = QSslCertificate(TestEnv::readFile(dir.filePath("cert")));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(m_certificate);
        configuration.setPrivateKey(QSslKey(TestEnv::readFile(dir.filePath("key")), QSsl::Rsa));
        m_server.setSslConfiguration(configuration);
        connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QIODevice::readyRead, socket, [this, socket] {
                    socket->setProperty("request", socket->property("request").toByteArray() + socket->readAll());
                    // An empty reply is a server that goes quiet.
                    if (socket->property("request").toByteArray().contains("\r\n\r\n") && m_reply == "trickle") {
                        // A byte every 100 ms: never silent for long, never done.
                        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
                        auto *timer = new QTimer(socket);
                        connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                        timer->start(100);
                    } else if (socket->property("request").toByteArray().contains("\r\n\r\n") && !m_reply.isEmpty()) {
                        socket->write(m_reply);
                        socket->disconnectFromHost();
                    }
                });
                connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("status");  // null: nothing listens on the port
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("notice");

        QTest::newRow("good file") << QByteArray("200 OK") << presetFile({"C", "A", "B"}) << true << "Presets downloaded";
        QTest::newRow("404") << QByteArray("404 Not Found") << QByteArray("gone") << true << "the server answered 404 Not Found";
        QTest::newRow("empty body") << QByteArray("200 OK") << QByteArray() << true << "the server sent an empty file";
        QTest::newRow("garbage body") << QByteArray("200 OK") << QByteArray("<html>") << true << "the file is damaged";
        QTest::newRow("empty preset list") << QByteArray("200 OK") << presetFile({}) << true << "the file holds no presets";
        QTest::newRow("not presets") << QByteArray("200 OK")
                                     << Container::encode({{"presets", QJsonArray{1, "x", QJsonValue()}}}) << true
                                     << "the file holds entries that are not named presets";
        QTest::newRow("over the limit") << QByteArray("200 OK") << QByteArray(4096, 'x') << true
                                        << "the file is larger than 2048 bytes";
        QTest::newRow("untrusted certificate") << QByteArray("200 OK") << presetFile({"C"}) << false << "SSL handshake failed";
        QTest::newRow("stalled transfer") << QByteArray("stall") << QByteArray() << true << "the transfer stalled for 0.5 s";
        QTest::newRow("trickling transfer") << QByteArray("trickle") << QByteArray() << true
                                            << "the transfer took longer than 2 s";
        QTest::newRow("connection refused") << QByteArray() << QByteArray() << true << "Connection refused";
    }

    void download()
    {
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, trusted);
        QFETCH(QString, notice);

        m_reply = status == "stall" ? QByteArray() : status == "trickle" ? status
                                    : "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
                                          + "\r\nConnection: close\r\n\r\n" + body;
        quint16 port = m_server.serverPort();
        QTcpServer closed;
        if (status.isNull()) {
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            port = closed.serverPort();
            closed.close();
        }
        Presets legitimate;
        legitimate.editRecords() = {Preset(), Preset()};
        legitimate.editRecords()[0].name = "old";

        FileDownloader downloader;
        downloader.setMaxSize(2048);
        downloader.setStallTimeout(500);
        downloader.setDeadline(2000);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        if (trusted)
            configuration.setCaCertificates({m_certificate});
        downloader.setSslConfiguration(configuration);
        QSignalSpy downloaded(&downloader, &FileDownloader::downloaded);
        QSignalSpy progress(&downloader, &FileDownloader::progress);
        downloader.download(QUrl(QString("https://127.0.0.1:%1/info/genpresets.dat").arg(port)));
        QVERIFY(downloaded.wait(20000));

        if (status == "trickle")
            QVERIFY2(!progress.isEmpty() && progress.last().at(0).toLongLong() > 0
                    && progress.last().at(1).toLongLong() == 1000, qPrintable(QString("%1 progress signals, %2").arg(progress.size()).arg(downloader.errorText())));
        QString shown;
        const bool good = notice == "Presets downloaded";
        QCOMPARE(downloader.installPresets(legitimate, shown), good);
        QVERIFY2(shown.startsWith(good ? notice : "Presets not downloaded: " + notice), qPrintable(shown));
        QStringList names;
        for (const Preset &preset : legitimate.records())
            names << preset.name + "=" + preset.variable;
        const QStringList expected = good ? QStringList{"C=100.C", "A=100.A", "B=100.B"} : QStringList{"old=", "="};
        QCOMPARE(names, expected);
        if (good) {
            // A set the pool could not be saved with and read back is refused.
            const FileDownloader::PresetSet set = FileDownloader::decodePresets(downloader.downloadedData(), QString(), 200);
            QVERIFY2(set.why.startsWith("the preset set is too large: it would be"), qPrintable(set.why));
            QVERIFY(set.records.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestFileDownloader)
#include "tst_filedownloader.moc"
