#include "ui/toolstab.h"

#include "data/settings.h"
#include "data/library.h"
#include "data/untoldnotice.h"
#include "maintenance/csvimport.h"
#include "maintenance/offthread.h"
#include "ui_toolstab.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <array>

namespace {

const QString backupCaption = QStringLiteral("backup file");
const QString backupFilter = QStringLiteral("backup files (*.bkp)");

QString askWithDialog(ToolsTab::FileDialog kind, const QString &caption, const QString &folder,
                      const QString &filter, QWidget *parent)
{
    return kind == ToolsTab::FileDialog::Save ? QFileDialog::getSaveFileName(parent, caption, folder, filter)
                                              : QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

std::optional<CodePage::Page> askCodePage(CodePage::Page guess, QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("csv file"),
                    QStringLiteral("The file is not UTF-8, and its letters do not tell which code page it was "
                                   "written in. Read it as:"),
                    QMessageBox::Cancel, parent);
    QPushButton *central = box.addButton(QLatin1String(CodePage::displayName(CodePage::CentralEuropean)),
                                         QMessageBox::AcceptRole);
    QPushButton *western = box.addButton(QLatin1String(CodePage::displayName(CodePage::Western)), QMessageBox::AcceptRole);
    box.setDefaultButton(guess == CodePage::Western ? western : central);
    box.exec();
    if (box.clickedButton() == central)
        return CodePage::CentralEuropean;
    if (box.clickedButton() == western)
        return CodePage::Western;
    return std::nullopt;
}

} // namespace

ToolsTab::ToolsTab(QWidget *page, Settings &settings, Library &library, WorkList &work, DeviceSlots &devices)
    : QWidget(page),
      ui(new Ui::ToolsTab),
      m_settings(settings),
      m_library(library),
      m_backup(settings, library, work, devices),
      m_downloadUrl(QString::fromLatin1(FileDownloader::presetUrl))
{
    ui->setupUi(this);
    if (!page->layout())
        new QVBoxLayout(page);
    page->layout()->addWidget(this);
    m_chooseFile = [this](FileDialog kind, const QString &caption, const QString &folder, const QString &filter) {
        return askWithDialog(kind, caption, folder, filter, this);
    };
    m_chooseCodePage = [this](CodePage::Page guess) { return askCodePage(guess, this); };
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
    const QString path = m_chooseFile(FileDialog::Open, QStringLiteral("csv file"), m_settings.exportFolder(),
                                      QStringLiteral("csv files (*.csv)"));
    if (path.isEmpty())
        return;
    std::optional<CodePage::Page> codePage;
    CodePage::Page guess = CodePage::CentralEuropean;
    if (codePageUnsure(path, guess)) {
        codePage = m_chooseCodePage(guess);
        if (!codePage)
            return;
    }
    inTurn(QStringLiteral("import"), [this, path, codePage] { importFile(path, codePage); });
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
    const QString poolPath = m_library.legitimatePresets().path();
    // The other pools' names are gathered beside the window too: at a
    // million presets that alone held it most of a second.
    const std::array<QList<Preset>, 2> others = {m_library.presetPool(PresetPool::General).records(),
                                                 m_library.presetPool(PresetPool::Client).records()};
    QProgressDialog *busy = showBusy(QStringLiteral("Importing %1...").arg(QFileInfo(path).fileName()));
    runOffThread<ImportedPool>(this, [records, poolPath, path, others, codePage] {
        Import::Pairs elsewhere;
        for (const QList<Preset> &pool : others) {
            for (const Preset &preset : pool)
                elsewhere.insert({preset.name, preset.version});
        }
        return importOnPool(records, poolPath, path, elsewhere, Container::sizeLimit, codePage);
    },
                                 [this, busy](ImportedPool run) {
        busy->deleteLater();
        // The pool the import wrote is not written again when its list is
        // left, and the records it replaces are let go beside the window.
        if (run.changed() && run.saved)
            releaseOffThread(m_library.legitimatePresets().replaceRecordsWritten(std::move(run.records)));
        else if (run.changed())
            releaseOffThread(m_library.legitimatePresets().replaceRecords(std::move(run.records)));
        Q_EMIT noticeRequested(run.notice());
        UntoldNotice::told(run.heldNotice);
        turnEnded();
    });
}

// The window takes no input while work runs off the GUI thread, so nothing
// changes the records the work was given a copy of.
QProgressDialog *ToolsTab::showBusy(const QString &text)
{
    auto *busy = new QProgressDialog(text, QString(), 0, 0, window());
    busy->setWindowModality(Qt::WindowModal);
    busy->setCancelButton(nullptr);
    busy->setMinimumDuration(0);
    busy->show();
    return busy;
}

void ToolsTab::on_pushButton_backup_clicked()
{
    m_settings.setGeometry(window()->saveGeometry());
    QString path = m_chooseFile(FileDialog::Save, backupCaption, m_settings.backupFolder(), backupFilter);
    if (path.isEmpty()) {
        qWarning() << "Couldn't open save file.";
        return;
    }
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".bkp");
    // Every store encoded and the histories read: beside the window, from
    // copies of the stores.
    QProgressDialog *busy = showBusy(QStringLiteral("Writing %1...").arg(QFileInfo(path).fileName()));
    const Backup::Stores stores = m_backup.stores();
    runOffThread<QString>(this, [stores, path] {
        QString why;
        return Backup::write(stores, path, &why) ? QStringLiteral("Backup written to ") + QDir::toNativeSeparators(path)
                                                 : QStringLiteral("Backup failed: ") + why;
    }, [this, busy](QString notice) {
        busy->deleteLater();
        Q_EMIT noticeRequested(notice);
    });
}

void ToolsTab::on_pushButton_restore_clicked()
{
    const QString path = m_chooseFile(FileDialog::Open, backupCaption, m_settings.backupFolder(), backupFilter);
    if (path.isEmpty() || (m_restoreGuard && !m_restoreGuard()))
        return;
    inTurn(QStringLiteral("restore"), [this, path] { restoreFile(path); });
}

void ToolsTab::restoreFile(const QString &path)
{
    // Reading and checking a large backup, the safety backup and writing
    // the restored files take seconds each: beside the window.
    QProgressDialog *busy = showBusy(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    runOffThread<Backup::Read>(this, [path] { return Backup::read(path); }, [this, busy, path](Backup::Read read) {
        if (read.why.isEmpty() && m_backup.refuseWhileRunning()) {
            busy->deleteLater();
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
            [this, busy](Backup::Applied applied) {
                m_restoreEnded = true;
                busy->deleteLater();
                if (m_backup.finish(std::move(applied)) != Backup::Restored) {
                    m_restoreWriting = false;
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
    runOffThread<FileDownloader::PresetSet>(this, [data, error] { return FileDownloader::decodePresets(data, error); },
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
