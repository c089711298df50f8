#include "ui/toolstab.h"

#include "data/settings.h"
#include "data/library.h"
#include "data/presetlookup.h"
#include "data/untoldnotice.h"
#include "maintenance/csvimport.h"
#include "maintenance/offthread.h"
#include "ui/stopkeys.h"
#include "work/deviceslots.h"
#include "ui_toolstab.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

#include <array>

namespace {

const QString backupCaption = QStringLiteral("backup file");
const QString backupFilter = QStringLiteral("backup files (*.bkp)");

// Qt's own dialog, not the desktop's: a native one holds the window on
// some systems, and a run on air must stay within a click of Stop.
QString askWithDialog(ToolsTab::FileDialog kind, const QString &caption, const QString &folder,
                      const QString &filter, QWidget *parent)
{
    const bool save = kind == ToolsTab::FileDialog::Save;
    auto *dialog = new QFileDialog(parent, caption, folder, filter);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QPointer<QFileDialog> asked(dialog);
    const bool accepted = StopKeys::askWithoutBlocking(dialog) == QDialog::Accepted;
    if (!asked)
        return {};
    const QStringList chosen = dialog->selectedFiles();
    dialog->deleteLater();
    return accepted && !chosen.isEmpty() ? chosen.first() : QString();
}

std::optional<CodePage::Page> askCodePage(CodePage::Page guess, const ToolsTab::CodePageSamples &samples,
                                          QWidget *parent)
{
    // The operator knows the names: a few as each page reads them answer
    // the question.
    QStringList centralNames, westernNames;
    for (const auto &[asCentral, asWestern] : samples) {
        centralNames << asCentral;
        westernNames << asWestern;
    }
    const QString shown = samples.isEmpty()
        ? QString()
        : QStringLiteral("\n\nSome names as each reads them:\n%1: %2\n%3: %4")
              .arg(QLatin1String(CodePage::displayName(CodePage::CentralEuropean)), centralNames.join(QStringLiteral(", ")),
                   QLatin1String(CodePage::displayName(CodePage::Western)), westernNames.join(QStringLiteral(", ")));
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("csv file"),
                                QStringLiteral("The file is not UTF-8, and its letters do not tell which code page it "
                                               "was written in.%1\n\nRead it as:").arg(shown),
                                QMessageBox::Cancel, parent);
    QPushButton *central = box->addButton(QLatin1String(CodePage::displayName(CodePage::CentralEuropean)),
                                          QMessageBox::AcceptRole);
    QPushButton *western = box->addButton(QLatin1String(CodePage::displayName(CodePage::Western)),
                                          QMessageBox::AcceptRole);
    box->setDefaultButton(guess == CodePage::Western ? western : central);
    QPointer<QMessageBox> asked(box);
    StopKeys::askWithoutBlocking(box);
    if (!asked)
        return std::nullopt;
    const QAbstractButton *clicked = box->clickedButton();
    box->deleteLater();
    if (clicked == central)
        return CodePage::CentralEuropean;
    if (clicked == western)
        return CodePage::Western;
    return std::nullopt;
}

} // namespace

ToolsTab::ToolsTab(QWidget *page, Settings &settings, Library &library, WorkList &work, DeviceSlots &devices)
    : QWidget(page),
      ui(new Ui::ToolsTab),
      m_settings(settings),
      m_library(library),
      m_devices(devices),
      m_backup(settings, library, work, devices),
      m_downloadUrl(QString::fromLatin1(FileDownloader::presetUrl))
{
    ui->setupUi(this);
    if (!page->layout())
        new QVBoxLayout(page);
    page->layout()->addWidget(this);
    // The dialogs belong to the window: this tab waits while they are open.
    m_chooseFile = [this](FileDialog kind, const QString &caption, const QString &folder, const QString &filter) {
        return askWithDialog(kind, caption, folder, filter, window());
    };
    m_chooseCodePage = [this](CodePage::Page guess, const CodePageSamples &samples) {
        return askCodePage(guess, samples, window());
    };
    connect(&m_downloader, &FileDownloader::downloaded, this, &ToolsTab::loadFile);
    connect(&m_downloader, &FileDownloader::progress, this, [this](qint64 received, qint64 total) {
        const QString done = total > 0 ? QStringLiteral("%1%").arg(received * 100 / total)
                                       : QStringLiteral("%1 KiB").arg(received / 1024);
        ui->pushButton_Update_Preset->setText(QStringLiteral("Downloading... ") + done);
    });
}

ToolsTab::~ToolsTab()
{
    delete ui;
}

void ToolsTab::on_pushButton_import_clicked()
{
    const QString path = chooseFile(FileDialog::Open, QStringLiteral("csv file"), m_settings.exportFolder(),
                                    QStringLiteral("csv files (*.csv)"));
    if (path.isEmpty())
        return;
    std::optional<CodePage::Page> codePage;
    CodePage::Page guess = CodePage::CentralEuropean;
    CodePageSamples samples;
    if (codePageUnsure(path, guess, &samples)) {
        setEnabled(false);
        codePage = m_chooseCodePage(guess, samples);
        setEnabled(true);
        if (!codePage)
            return;
    }
    inTurn(QStringLiteral("import"), [this, path, codePage] { importFile(path, codePage); });
}

QString ToolsTab::chooseFile(FileDialog kind, const QString &caption, const QString &folder, const QString &filter)
{
    // The rest of the window stays in use while a file is picked; this
    // tab's buttons wait, so that one click asks once.
    setEnabled(false);
    const QString path = m_chooseFile(kind, caption, folder, filter);
    setEnabled(true);
    return path;
}

void ToolsTab::inTurn(const QString &what, std::function<void()> job)
{
    if (!m_turnHolder.isEmpty())
        Q_EMIT noticeRequested(QStringLiteral("The %1 starts when the %2 has ended").arg(what, m_turnHolder));
    m_waiting.append({what, std::move(job)});
    if (m_turnHolder.isEmpty())
        turnEnded();
}

void ToolsTab::turnEnded()
{
    m_turnHolder.clear();
    if (m_waiting.isEmpty())
        return;
    auto [what, job] = m_waiting.takeFirst();
    m_turnHolder = what;
    job();
}

void ToolsTab::importFile(const QString &path, std::optional<CodePage::Page> codePage)
{
    const QList<Preset> records = m_library.legitimatePresets().records();
    const QList<quint64> keys = m_library.legitimatePresets().keys();
    const quint64 revision = m_library.legitimatePresets().revision();
    const QString poolPath = m_library.legitimatePresets().path();
    // The other pools' names are gathered beside the window too: at a
    // million presets that alone held it most of a second.
    const std::array<QList<Preset>, 2> others = {m_library.presetPool(PresetPool::General).records(),
                                                 m_library.presetPool(PresetPool::Client).records()};
    QProgressDialog *busy = showBusy(QStringLiteral("Importing %1...").arg(QFileInfo(path).fileName()));
    runOffThread<ImportedPool>(this, [records, keys, poolPath, path, others, codePage] {
        const PresetLookup::PairCounts elsewhere = PresetLookup::countAll(others[1], others[0], {});
        ImportedPool run = importOnPool(records, poolPath, path, elsewhere, Container::sizeLimit, codePage);
        // The records still there keep their keys: a pick in the list and an
        // editor follow them.
        if (run.changed())
            run.keys = Presets::carriedKeys(run.records, records, keys);
        return run;
    },
                                 [this, busy, revision](ImportedPool run) {
        busy->deleteLater();
        // The pool the import wrote is not written again when its list is
        // left, and the records it replaces are let go beside the window.
        Presets &pool = m_library.legitimatePresets();
        if (run.changed() && run.saved)
            releaseOffThread(pool.replaceRecordsWritten(std::move(run.records), std::move(run.keys), revision));
        else if (run.changed())
            releaseOffThread(pool.replaceRecords(std::move(run.records), std::move(run.keys), revision));
        Q_EMIT noticeRequested(run.notice());
        UntoldNotice::told(run.heldNotice);
        turnEnded();
    });
}

// The window takes no input while work runs off the GUI thread, so nothing
// changes the records the work was given a copy of; the stop keys still do.
QProgressDialog *ToolsTab::showBusy(const QString &text)
{
    auto *busy = new QProgressDialog(StopKeys::duringRun(text, m_devices), QString(), 0, 0, window());
    busy->setWindowModality(Qt::WindowModal);
    busy->setCancelButton(nullptr);
    busy->setMinimumDuration(0);
    busy->show();
    return busy;
}

void ToolsTab::on_pushButton_backup_clicked()
{
    m_settings.setGeometry(window()->saveGeometry());
    QString path = chooseFile(FileDialog::Save, backupCaption, m_settings.backupFolder(), backupFilter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".bkp");
    // Every store encoded and the histories read: beside the window, from
    // copies of the stores.
    QProgressDialog *busy = showBusy(QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()));
    const Backup::Stores stores = m_backup.stores();
    runOffThread<QString>(this, [stores, path] {
        QString why;
        QStringList remarks;
        if (!Backup::write(stores, path, &why, &remarks))
            return QStringLiteral("Backup failed: ") + why;
        remarks.prepend(QStringLiteral("Backup written to ") + QDir::toNativeSeparators(path));
        return remarks.join(QStringLiteral("\n"));
    }, [this, busy](QString notice) {
        busy->deleteLater();
        Q_EMIT noticeRequested(notice);
    });
}

void ToolsTab::on_pushButton_restore_clicked()
{
    const QString path = chooseFile(FileDialog::Open, backupCaption, m_settings.backupFolder(), backupFilter);
    if (path.isEmpty() || (m_restoreGuard && !m_restoreGuard()))
        return;
    inTurn(QStringLiteral("restore"), [this, path] { restoreFile(path); });
}

void ToolsTab::restoreFile(const QString &path)
{
    // Reading and checking a large backup, the safety backup and writing
    // the restored files take seconds each: beside the window.
    QProgressDialog *busy = showBusy(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    // Until it ends with nothing changed, the next start is to hear that
    // the restore did not happen, should the program end meanwhile.
    const quint64 held = UntoldNotice::hold(m_settings.dataFolder(), Backup::unfinishedNote(path));
    runOffThread<Backup::Read>(this, [path] { return Backup::read(path); }, [this, busy, path, held](Backup::Read read) {
        if (read.why.isEmpty() && m_backup.refuseWhileRunning()) {
            busy->deleteLater();
            UntoldNotice::told(held);
            Q_EMIT noticeRequested(m_backup.message());
            turnEnded();
            return;
        }
        busy->setLabelText(QStringLiteral("Restoring..."));
        // The safety backup written before the restore keeps this window's place too.
        m_settings.setGeometry(window()->saveGeometry());
        const Backup::Stores stores = m_backup.stores();
        const QString safetyPath = m_backup.nextSafetyPath();
        m_restoreWriting = true;
        m_restoreEnded = false;
        m_restoring = runOffThread<Backup::Applied>(
            this, [read, stores, safetyPath] { return Backup::apply(read, stores, safetyPath); },
            [this, busy, held](Backup::Applied applied) {
                m_restoreEnded = true;
                busy->deleteLater();
                const bool landed = applied.landed;
                if (m_backup.finish(std::move(applied)) != Backup::Restored) {
                    m_restoreWriting = false;
                    // Nothing changed; one that landed in part is told by its own word.
                    if (!landed)
                        UntoldNotice::told(held);
                    Q_EMIT noticeRequested(m_backup.message());
                    turnEnded();
                    return;
                }
                // The folder holds the restored data, with word of it for the
                // next start: nothing of this copy is saved over it any more.
                Q_EMIT restartRequested();
                turnEnded();
            });
    });
}

bool ToolsTab::waitForRestore(int milliseconds)
{
    if (!m_restoreWriting)
        return false;
    QElapsedTimer waited;
    waited.start();
    const auto ended = [this] { return m_restoreEnded || m_restoring.isFinished(); };
    while (!ended() && waited.elapsed() < milliseconds)
        QThread::msleep(10);
    if (!ended())
        qWarning() << "The restore still writes; the program ends without saving";
    return true;
}

void ToolsTab::on_pushButton_Update_Preset_clicked()
{
    if (m_downloader.isBusy())
        return;
    ui->pushButton_Update_Preset->setEnabled(false);
    m_updateText = ui->pushButton_Update_Preset->text();
    ui->pushButton_Update_Preset->setText(QStringLiteral("Downloading..."));
    inTurn(QStringLiteral("download"), [this] { m_downloader.download(m_downloadUrl); });
}

void ToolsTab::on_pushButton_about_clicked()
{
    Q_EMIT aboutRequested();
}

void ToolsTab::loadFile()
{
    ui->pushButton_Update_Preset->setText(m_updateText);
    ui->pushButton_Update_Preset->setEnabled(true);
    const QByteArray data = m_downloader.downloadedData();
    const QString error = m_downloader.errorText();
    QProgressDialog *busy = error.isEmpty() ? showBusy(QStringLiteral("Reading the presets...")) : nullptr;
    // The pool's keys go with it, so that a pick in its list and an editor
    // follow a record the set still holds.
    const Presets &pool = m_library.legitimatePresets();
    // A pair another pool holds stays out, judged here on copies: the window
    // takes no input while this runs.
    runOffThread<FileDownloader::PresetSet>(this, [data, error, old = pool.records(), keys = pool.keys(),
                                                   revision = pool.revision(),
                                                   general = m_library.generalPresets().records(),
                                                   client = m_library.presetPool(PresetPool::Client).records()] {
        FileDownloader::PresetSet set = FileDownloader::decodePresets(data, error);
        FileDownloader::leaveOutTaken(set, general, client);
        FileDownloader::carryKeysFrom(set, old, keys, revision);
        return set;
    },
                                            [this, busy](FileDownloader::PresetSet set) {
        if (busy)
            busy->deleteLater();
        QString notice;
        // Stored at once, beside the window: kept only in memory, the set
        // was lost by a restart after "Presets downloaded" was said. A
        // failed write is told as every failed write is.
        if (FileDownloader::install(m_library.legitimatePresets(), set, notice))
            m_library.legitimatePresets().saveIfChanged();
        Q_EMIT noticeRequested(notice);
        if (m_turnHolder == QLatin1String("download"))
            turnEnded();
    });
}
