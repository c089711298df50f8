#pragma once

#include "data/container.h"
#include "data/presets.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QNetworkReply;

// Fetches the maker's preset set. Each finished request emits downloaded();
// the data is kept only when the reply is usable (complete, HTTP 200, not
// empty, not over the size limit), otherwise errorText() says why.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    // The maker's preset server.
    static const char *const presetUrl;
    static constexpr qint64 defaultMaxSize = qint64(32) * 1024 * 1024;

    explicit FileDownloader(QObject *parent = nullptr);
    ~FileDownloader() override;

    // Sends a GET for the URL and returns at once.
    void download(const QUrl &url);
    QByteArray downloadedData() const { return m_data; }
    // Empty when the last finished download is usable.
    QString errorText() const { return m_error; }

    void setMaxSize(qint64 bytes) { m_maxSize = bytes; }
    // How long a transfer may go without data before it is given up.
    void setStallTimeout(int milliseconds) { m_stallMs = milliseconds; }
    // How long a whole transfer may take: a server that sends a byte now
    // and then never stalls, and would hold the download open for ever.
    void setDeadline(int milliseconds) { m_deadlineMs = milliseconds; }
    // A download was started and has not ended yet.
    bool isBusy() const { return m_busy; }
    // The TLS settings of the requests, by default the system's.
    void setSslConfiguration(const QSslConfiguration &configuration) { m_ssl = configuration; }

    // Replaces the pool's records by the downloaded preset set, but only
    // when the download is usable and decodes whole as a presets file with
    // at least one preset; otherwise the pool is left as it was. `notice`
    // is what the operator is told either way.
    bool installPresets(Presets &pool, QString &notice) const;

    // The same in two steps. The first checks and decodes, touching nothing
    // else, so it can run on a worker thread; the second replaces the pool
    // when the set is usable.
    struct PresetSet
    {
        QList<Preset> records;
        QString why;  // empty when usable
        // The records' keys carried from the pool at `poolRevision`, when
        // the set was decoded beside the window (see carryKeysFrom).
        QList<quint64> keys;
        quint64 poolRevision = 0;
        // Presets of the set another pool holds the pair of, left out.
        QStringList leftOut;
    };
    // A set the pool could not be saved with is refused.
    static PresetSet decodePresets(const QByteArray &data, const QString &error,
                                   qint64 sizeLimit = Container::sizeLimit);
    static bool install(Presets &pool, const PresetSet &set, QString &notice);
    // Leaves out of the set the presets whose name and version the other
    // pools hold, as an import or an editor would refuse them; the rest is
    // installed. Runs beside the window, before carryKeysFrom.
    static void leaveOutTaken(PresetSet &set, const QList<Preset> &general, const QList<Preset> &client);
    // Beside the window: the keys the set's records take from `old`, the
    // pool's records at `revision`, so that installing it carries nothing.
    static void carryKeysFrom(PresetSet &set, const QList<Preset> &old, const QList<quint64> &oldKeys,
                              quint64 revision);

Q_SIGNALS:
    void downloaded();
    // Bytes received so far, and the whole size when the server said it (else -1).
    void progress(qint64 received, qint64 total);

public Q_SLOTS:
    void fileDownloaded(QNetworkReply *reply);

private:
    QNetworkAccessManager m_manager;
    QByteArray m_data;
    QString m_error;
    qint64 m_maxSize = defaultMaxSize;
    int m_stallMs = 30000;
    int m_deadlineMs = 5 * 60 * 1000;
    bool m_busy = false;
    // Unset until asked for: loading the TLS settings would slow the start.
    std::optional<QSslConfiguration> m_ssl;
};
