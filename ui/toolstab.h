#pragma once

#include "maintenance/backup.h"
#include "maintenance/codepage.h"
#include "maintenance/filedownloader.h"

#include <QFuture>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

namespace Ui { class ToolsTab; }
class DeviceSlots;
class QProgressDialog;
class Library;
class Settings;
class WorkList;

// The Tools tab: CSV import, backup, restore and the preset download. The
// work itself is done by the maintenance classes; the tab asks for files
// and tells the operator how it went.
class ToolsTab : public QWidget
{
    Q_OBJECT
public:
    enum class FileDialog { Open, Save };
    // Asks for a file; an empty text means the dialog was cancelled.
    using FileChooser = std::function<QString(FileDialog, const QString &caption, const QString &folder,
                                              const QString &filter)>;

    ToolsTab(QWidget *page, Settings &settings, Library &library, WorkList &work, DeviceSlots &devices);
    ~ToolsTab() override;

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // Asked before a restore replaces the data: false keeps what an editor
    // still holds unstored, and the restore is not made.
    void setRestoreGuard(std::function<bool()> guard) { m_restoreGuard = std::move(guard); }
    // Asks which code page a CSV file that does not tell is in, offering
    // the likelier first; nothing when the operator cancels.
    using CodePageSamples = QList<std::pair<QString, QString>>;
    using CodePageChooser = std::function<std::optional<CodePage::Page>(CodePage::Page guess, const CodePageSamples &samples)>;
    void setCodePageChooser(CodePageChooser chooser) { m_chooseCodePage = std::move(chooser); }
    void setDownloadUrl(const QUrl &url) { m_downloadUrl = url; }
    FileDownloader &downloader() { return m_downloader; }

    // Whether a restore was writing the data folder, or has written it,
    // when the program began to end. It waits up to `milliseconds` for
    // those writes to end; the stores in memory are the old data, and
    // saving any of them would mix it into the restored files.
    bool waitForRestore(int milliseconds);
    // The data folder holds a restore's files: nothing this copy of the
    // program holds may be stored or asked about any more.
    bool restoreLanded() const { return m_restoreWriting && m_restoreEnded; }

Q_SIGNALS:
    void noticeRequested(const QString &text);
    void aboutRequested();
    // A restore replaced the stores; the program starts again with them.
    void restartRequested();

public Q_SLOTS:
    void loadFile();

private Q_SLOTS:
    void on_pushButton_import_clicked();
    void on_pushButton_backup_clicked();
    void on_pushButton_restore_clicked();
    void on_pushButton_Update_Preset_clicked();
    void on_pushButton_about_clicked();

private:
    QProgressDialog *showBusy(const QString &text);
    QString chooseFile(FileDialog kind, const QString &caption, const QString &folder, const QString &filter);
    void importFile(const QString &path, std::optional<CodePage::Page> codePage);
    void restoreFile(const QString &path);
    // Import, download and restore each replace a pool from what it held
    // when they began: they run one at a time, in the order asked for, so
    // that none throws away what another did.
    void inTurn(const QString &what, std::function<void()> job);
    void turnEnded();

    Ui::ToolsTab *ui = nullptr;
    Settings &m_settings;
    Library &m_library;
    DeviceSlots &m_devices;
    Backup m_backup;
    FileDownloader m_downloader;
    QUrl m_downloadUrl;
    QString m_updateText;
    QFuture<void> m_restoring;
    bool m_restoreWriting = false;
    // The restore's result was taken: its future no longer says it ended.
    bool m_restoreEnded = false;
    FileChooser m_chooseFile;
    std::function<bool()> m_restoreGuard;
    QString m_turnHolder;
    QList<std::pair<QString, std::function<void()>>> m_waiting;
    CodePageChooser m_chooseCodePage;
};
