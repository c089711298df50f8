#include "maintenance/filedownloader.h"

#include "data/presetlookup.h"
#include "data/presets.h"
#include "device/outbound.h"
#include "maintenance/offthread.h"
#include "maintenance/wholeobject.h"

#include <QDebug>
#include <QJsonArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

const char *const FileDownloader::presetUrl = "https://presets.tavik.invalid/info/genpresets.dat";

namespace {

const char *const tooLargeProperty = "tavikTooLarge";
const char *const deadlineProperty = "tavikDeadline";

} // namespace

FileDownloader::FileDownloader(QObject *parent) : QObject(parent)
{
    connect(&m_manager, &QNetworkAccessManager::finished, this, &FileDownloader::fileDownloaded);
}

FileDownloader::~FileDownloader()
{
    disconnect(&m_manager, &QNetworkAccessManager::finished, this, &FileDownloader::fileDownloaded);
}

void FileDownloader::download(const QUrl &url)
{
    QNetworkRequest request(url);
    if (m_ssl)
        request.setSslConfiguration(*m_ssl);
    // A server that stops sending ends the transfer instead of holding it open.
    request.setTransferTimeout(m_stallMs);
    m_busy = true;
    Outbound::aboutToSend(url.host(), "HTTPS");
    QNetworkReply *reply = m_manager.get(request);
    // Stop a reply as soon as it announces or delivers more than the limit,
    // instead of holding an arbitrarily large body in memory.
    const qint64 limit = m_maxSize;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply, limit](qint64 received, qint64 total) {
        if (received > limit || total > limit) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
            return;
        }
        Q_EMIT progress(received, total);
    });
    QTimer::singleShot(m_deadlineMs, reply, [reply] {
        reply->setProperty(deadlineProperty, true);
        reply->abort();
    });
}

void FileDownloader::fileDownloaded(QNetworkReply *reply)
{
    reply->deleteLater();
    m_busy = false;
    m_data.clear();
    m_error.clear();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    if (reply->property(tooLargeProperty).toBool() || body.size() > m_maxSize) {
        m_error = QStringLiteral("the file is larger than %1 bytes").arg(m_maxSize);
    } else if (status.isValid() && status.toInt() != 200) {
        m_error = QStringLiteral("the server answered %1 %2")
                      .arg(status.toInt())
                      .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    } else if (reply->property(deadlineProperty).toBool()) {
        m_error = QStringLiteral("the transfer took longer than %1 s").arg(m_deadlineMs / 1000.0);
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        m_error = QStringLiteral("the transfer stalled for %1 s").arg(m_stallMs / 1000.0);
    } else if (reply->error() != QNetworkReply::NoError) {
        m_error = reply->errorString();
    } else if (!status.isValid()) {
        m_error = QStringLiteral("the server gave no answer");
    } else if (body.isEmpty()) {
        m_error = QStringLiteral("the server sent an empty file");
    } else {
        m_data = body;
    }
    if (!m_error.isEmpty())
        qDebug().noquote() << "download" << reply->url().toString() << m_error;
    Q_EMIT downloaded();
}

bool FileDownloader::installPresets(Presets &pool, QString &notice) const
{
    return install(pool, decodePresets(m_data, m_error), notice);
}

FileDownloader::PresetSet FileDownloader::decodePresets(const QByteArray &data, const QString &error, qint64 sizeLimit)
{
    PresetSet set;
    set.why = error;
    QJsonObject object;
    if (set.why.isEmpty() && WholeObject::decode(data, object, set.why)) {
        const QJsonValue list = object.value(QStringLiteral("presets"));
        if (!list.isArray())
            set.why = QStringLiteral("the file is not a preset set");
        else if (list.toArray().isEmpty())
            set.why = QStringLiteral("the file holds no presets");
        else if (!std::all_of(list.toArray().cbegin(), list.toArray().cend(), [](const QJsonValue &element) {
                     return element.isObject() && element.toObject().value(QStringLiteral("nam")).isString()
                         && !element.toObject().value(QStringLiteral("nam")).toString().isEmpty();
                 }))
            // A pool replaced by records that are not presets is a pool lost.
            set.why = QStringLiteral("the file holds entries that are not named presets");
    }
    if (set.why.isEmpty()) {
        Presets incoming;
        incoming.fromJson(object);
        // The pool is saved as the program writes it, every field spelled
        // out: a terse set could pass what the program reads back.
        set.why = Container::tooLarge(incoming.encoded().size(), sizeLimit);
        if (set.why.isEmpty())
            set.records = incoming.records();
        else
            set.why = QStringLiteral("the preset set is too large: ") + set.why;
    }
    return set;
}

bool FileDownloader::install(Presets &pool, const PresetSet &set, QString &notice)
{
    if (!set.why.isEmpty()) {
        notice = QStringLiteral("Presets not downloaded: ") + set.why;
        return false;
    }
    releaseOffThread(pool.replaceRecords(set.records, set.keys, set.poolRevision));
    notice = QStringLiteral("Presets downloaded");
    if (!set.leftOut.isEmpty()) {
        const qsizetype shown = 5;
        notice += QStringLiteral("; %1 left out: another pool holds their name and version (%2%3)")
                      .arg(set.leftOut.size())
                      .arg(set.leftOut.mid(0, shown).join(QStringLiteral(", ")),
                           set.leftOut.size() > shown ? QStringLiteral(", ...") : QString());
    }
    return true;
}

void FileDownloader::leaveOutTaken(PresetSet &set, const QList<Preset> &general, const QList<Preset> &client)
{
    if (!set.why.isEmpty())
        return;
    const PresetLookup::PairCounts others = PresetLookup::countAll(client, general, {});
    QList<Preset> kept;
    for (const Preset &preset : std::as_const(set.records)) {
        if (PresetLookup::refusal(others.value({preset.name, preset.version}), PresetPool::Legitimate).isEmpty())
            kept.append(preset);
        else
            set.leftOut << preset.name + QStringLiteral(".v.") + QString::number(preset.version);
    }
    // A set all of whose presets are held elsewhere would leave the pool empty.
    if (kept.isEmpty())
        set.why = QStringLiteral("another pool holds the name and version of every preset of the set");
    else if (!set.leftOut.isEmpty())
        set.records = std::move(kept);
}

void FileDownloader::carryKeysFrom(PresetSet &set, const QList<Preset> &old, const QList<quint64> &oldKeys,
                                   quint64 revision)
{
    if (!set.why.isEmpty())
        return;
    set.keys = Presets::carriedKeys(set.records, old, oldKeys);
    set.poolRevision = revision;
}
