#include "app/manualwindow.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

const char *const ManualWindow::source = "qrc:/manual/README.md";
const char *const ManualWindow::firstSection = "using-it";

ManualWindow::ManualWindow(QWidget *parent) : QDialog(parent), m_browser(new QTextBrowser(this))
{
    Q_INIT_RESOURCE(manual);
    setObjectName(QStringLiteral("ManualWindow"));
    setWindowTitle(tr("TavikStudio manual"));
    m_browser->setObjectName(QStringLiteral("textBrowser_manual"));
    m_browser->setAccessibleName(tr("Manual"));
    // Its links lead to its own sections, the source tree or the web; the
    // source tree is not there to open.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
            QDesktopServices::openUrl(url);
        else if (url.path().isEmpty() && url.hasFragment())
            showHeading(url.fragment());
    });
    m_browser->setSource(QUrl(QLatin1String(source)), QTextDocument::MarkdownResource);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setToolTip(tr("Close the manual"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);
    // Room to read, within the screen it opens on.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    resize(QSize(900, 700).boundedTo(screen->availableSize() * 0.9));
}

void ManualWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_scrolled)
        m_scrolled = showHeading(QLatin1String(firstSection));
}

bool ManualWindow::showHeading(const QString &anchor)
{
    static const QRegularExpression notInName(QStringLiteral("[^a-z0-9 -]"));
    QTextDocument *document = m_browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        const QString name = block.text().toLower().remove(notInName).replace(QLatin1Char(' '), QLatin1Char('-'));
        if (name != anchor)
            continue;
        m_browser->setTextCursor(QTextCursor(block));
        m_browser->verticalScrollBar()->setValue(int(document->documentLayout()->blockBoundingRect(block).top()));
        return true;
    }
    return false;
}
