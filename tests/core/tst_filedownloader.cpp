#include "data/container.h"
#include "data/presets.h"
#include "maintenance/filedownloader.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An HTTPS server on 127.0.0.1 that answers every request with one fixed
// reply, under a self-signed certificate made for the test.
class PresetServer : public QObject
{
public:
    QSslCertificate certificate;
    QByteArray reply;

    bool start()
    {
        QTemporaryDir dir;
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                  "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return false;
        certificate = QSslCertificate(TestEnv::readFile(dir.filePath("cert.pem")));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(certificate);
        configuration.setPrivateKey(QSslKey(TestEnv::readFile(dir.filePath("key.pem")), QSsl::Rsa));
        m_server.setSslConfiguration(configuration);
        connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QIODevice::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (m_request.contains("\r\n\r\n")) {
                        m_request.clear();
                        socket->write(reply);
                        socket->disconnectFromHost();
                    }
                });
                connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return !certificate.isNull() && m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QSslServer m_server;
    QByteArray m_request;
};

QByteArray httpReply(const QByteArray &status, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray presetFile(const QStringList &names)
{
    QJsonArray presets;
    for (const QString &name : names)
        presets.append(QJsonObject{{"nam", name}, {"ver", "1"}, {"var", "100." + name}});
    return Container::encode({{"version", "1"}, {"presets", presets}});
}

QStringList names(const Presets &pool)
{
    QStringList result;
    for (const Preset &preset : pool.records())
        result << preset.name;
    return result;
}

} // namespace

class TestFileDownloader : public QObject
{
    Q_OBJECT

    PresetServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        TestEnv::useTemporaryHome();
        QVERIFY(QSslSocket::supportsSsl());
        QVERIFY2(m_server.start(), "the test's HTTPS server did not start");
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("reply");  // null: nothing listens on the port
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QStringList>("pool");
        QTest::addColumn<QString>("notice");

        const QStringList kept{"old 1", "old 2"};
        const QByteArray good = presetFile({"C", "A", "B"});
        QTest::newRow("good file, in the file's order")
            << httpReply("200 OK", good) << true << QStringList{"C", "A", "B"} << "Presets downloaded";
        QTest::newRow("404") << httpReply("404 Not Found", "no such file") << true << kept
                             << "Presets not downloaded: the server answered 404 Not Found";
        QTest::newRow("empty body") << httpReply("200 OK", "") << true << kept
                                    << "Presets not downloaded: the server sent an empty file";
        QTest::newRow("garbage body") << httpReply("200 OK", "<html>maintenance</html>") << true << kept
                                      << "Presets not downloaded: the file is damaged at byte 0";
        QTest::newRow("cut short") << httpReply("200 OK", good.chopped(4)) << true << kept
                                   << "Presets not downloaded: the file is damaged";
        QTest::newRow("no preset list") << httpReply("200 OK", Container::encode({{"version", "1"}})) << true
                                        << kept << "Presets not downloaded: the file is not a preset set";
        QTest::newRow("empty preset list") << httpReply("200 OK", presetFile({})) << true << kept
                                           << "Presets not downloaded: the file holds no presets";
        QTest::newRow("over the size limit") << httpReply("200 OK", QByteArray(4096, 'x')) << true << kept
                                             << "Presets not downloaded: the file is larger than 2048 bytes";
        QTest::newRow("untrusted certificate") << httpReply("200 OK", good) << false << kept
                                               << "Presets not downloaded: SSL handshake failed";
        QTest::newRow("connection refused") << QByteArray() << true << kept
                                            << "Presets not downloaded: Connection refused";
    }

    void download()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, trusted);
        QFETCH(QStringList, pool);
        QFETCH(QString, notice);

        quint16 port = m_server.port();
        if (reply.isNull()) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            port = closed.serverPort();
        }
        m_server.reply = reply;

        Presets legitimate;
        legitimate.records() = {Preset(), Preset()};
        legitimate.records()[0].name = "old 1";
        legitimate.records()[1].name = "old 2";

        FileDownloader downloader;
        downloader.setMaxSize(2048);
        if (trusted) {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setCaCertificates({m_server.certificate});
            downloader.setSslConfiguration(configuration);
        }
        QSignalSpy downloaded(&downloader, &FileDownloader::downloaded);
        downloader.download(QUrl(QString("https://127.0.0.1:%1/info/genpresets.dat").arg(port)));
        QVERIFY(downloaded.wait(20000));

        QString shown;
        QCOMPARE(downloader.installPresets(legitimate, shown), pool.first() == "C");
        QVERIFY2(shown.startsWith(notice), qPrintable(shown));
        QCOMPARE(names(legitimate), pool);
        if (shown == "Presets downloaded")
            QCOMPARE(legitimate.records().at(0).variable, QString("100.C"));
    }
};

QTEST_GUILESS_MAIN(TestFileDownloader)
#include "tst_filedownloader.moc"
