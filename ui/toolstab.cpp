#include "ui/toolstab.h"

#include "data/settings.h"
#include "data/library.h"
#include "maintenance/csvimport.h"
#include "maintenance/offthread.h"
#include "ui_toolstab.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QProgressDialog>

namespace {

const QString backupCaption = QStringLiteral("backup file");
const QString backupFilter = QStringLiteral("backup files (*.bkp)");

QString askWithDialog(ToolsTab::FileDialog kind, const QString &caption, const QString &folder,
                      const QString &filter, QWidget *parent)
{
    return kind == ToolsTab::FileDialog::Save ? QFileDialog::getSaveFileName(parent, caption, folder, filter)
                                              : QFileDialog::getOpenFileName(parent, caption, folder, filter);
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
    connect(&m_downloader, &FileDownloader::downloaded, this, &ToolsTab::loadFile);
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
    const QList<Preset> records = m_library.legitimatePresets().records();
    const QString poolPath = m_library.legitimatePresets().path();
    QProgressDialog *busy = showBusy(QStringLiteral("Importing %1...").arg(QFileInfo(path).fileName()));
    runOffThread<ImportedPool>(this, [records, poolPath, path] { return importOnPool(records, poolPath, path); },
                                 [this, busy](ImportedPool run) {
        busy->deleteLater();
        const Import &import = run.import;
        if (import.added() > 0 || import.updated() > 0)
            m_library.legitimatePresets().editRecords() = std::move(run.records);
        if (!run.saved)
            Q_EMIT noticeRequested(Import::summary(import) + QStringLiteral("\nbut the preset file could not be saved"));
        else if (!import.fileError().isEmpty())
            Q_EMIT noticeRequested(QStringLiteral("Import failed: ") + import.fileError());
        else if (import.layout() == Import::Unknown)
            Q_EMIT noticeRequested(QStringLiteral("Nothing imported: not a preset or frequency table"));
        else if (import.layout() == Import::PresetTable && !import.headerMatched())
            Q_EMIT noticeRequested(QStringLiteral("Nothing imported: the column header differs"));
        else
            Q_EMIT noticeRequested(Import::summary(import));
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
    if (path.isEmpty())
        return;
    // Reading and checking a large backup, the safety backup and writing
    // the restored files take seconds each: beside the window.
    QProgressDialog *busy = showBusy(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    runOffThread<Backup::Read>(this, [path] { return Backup::read(path); }, [this, busy](Backup::Read read) {
        if (read.why.isEmpty() && m_backup.refuseWhileRunning()) {
            busy->deleteLater();
            Q_EMIT noticeRequested(m_backup.message());
            return;
        }
        busy->setLabelText(QStringLiteral("Restoring..."));
        // The safety backup written before the restore keeps this window's place too.
        m_settings.setGeometry(window()->saveGeometry());
        const Backup::Stores stores = m_backup.stores();
        const QString safetyPath = m_backup.nextSafetyPath();
        runOffThread<Backup::Applied>(
            this, [read, stores, safetyPath] { return Backup::apply(read, stores, safetyPath); },
            [this, busy](Backup::Applied applied) {
                busy->deleteLater();
                if (m_backup.finish(std::move(applied)) != Backup::Restored) {
                    Q_EMIT noticeRequested(m_backup.message());
                    return;
                }
                if (!m_settings.geometry().isEmpty())
                    window()->restoreGeometry(m_settings.geometry());
                Q_EMIT restartRequested();
            });
    });
}

void ToolsTab::on_pushButton_Update_Preset_clicked()
{
    if (m_downloader.isBusy())
        return;
    ui->pushButton_Update_Preset->setEnabled(false);
    m_updateText = ui->pushButton_Update_Preset->text();
    ui->pushButton_Update_Preset->setText(QStringLiteral("Downloading..."));
    m_downloader.download(m_downloadUrl);
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
        FileDownloader::install(m_library.legitimatePresets(), set, notice);
        Q_EMIT noticeRequested(notice);
    });
}
