/* The help window. */
#include "Helpbwin.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdlib>
#include <filesystem>

namespace {

/* A browser that reads only regular files: a FIFO or a device such as
 * /dev/zero in place of a help page would block the window for ever (the
 * start page already while the window is built). */
class HelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl &name) override
    {
        return readable(name) ? QTextBrowser::loadResource(type, name) : QVariant();
    }

private:
    /* False when the file the name resolves to (as the browser resolves it:
     * a relative name on each search path in turn) is not a regular file. */
    bool readable(const QUrl &name) const
    {
        if (!name.isLocalFile() && !name.scheme().isEmpty())
            return true;
        const std::filesystem::path file = (name.isLocalFile() ? name.toLocalFile() : name.path()).toStdString();
        std::error_code ec;
        if (file.is_absolute())
            return !std::filesystem::exists(file, ec) || std::filesystem::is_regular_file(file, ec);
        for (const QString &folder : searchPaths()) {
            const std::filesystem::path at = std::filesystem::path(folder.toStdString()) / file;
            if (std::filesystem::exists(at, ec))
                return std::filesystem::is_regular_file(at, ec);
        }
        return true;
    }
};

} // namespace

Helpbwin::Helpbwin(QWidget *parent, const char *name, Program program) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    const bool lunder = program == Program::Lunder;

    resize(600, 600);
    setWindowTitle(lunder ? QStringLiteral("lunder help") : QStringLiteral("mirvek help"));
    /* A help window left open must not keep the program running once its
     * main window has closed. */
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    layout->addLayout(row);
    auto *back = new QPushButton(QStringLiteral("<- Back"), this);
    auto *forward = new QPushButton(QStringLiteral("Forward ->"), this);
    auto *top = new QPushButton(QStringLiteral("Top"), this);
    back->setObjectName(QStringLiteral("back"));
    forward->setObjectName(QStringLiteral("forward"));
    top->setObjectName(QStringLiteral("top"));
    row->addWidget(back);
    row->addWidget(forward);
    row->addWidget(top);

    auto *browser = new HelpBrowser(this);
    browser->setObjectName(QStringLiteral("browser"));
    layout->addWidget(browser);
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(top, &QPushButton::clicked, browser, &QTextBrowser::home);

    const char *home = std::getenv("VELORA_HOME");
    const QString path = QString::fromLocal8Bit(home != nullptr ? home : "") + QStringLiteral("/doc/");
    browser->setSearchPaths({path});
    const QString page = lunder ? QStringLiteral("lunder.html") : QStringLiteral("mirvek.html");
    if (QFileInfo(path + page).isFile()) {
        browser->setSource(QUrl(page));
    } else {
        const QString where = home != nullptr ? QStringLiteral("the folder doc of VELORA_HOME")
                                              : QStringLiteral("VELORA_HOME is not set");
        browser->setPlainText(QStringLiteral("The help pages are looked for in %1 (%2), and %3 is not there.")
                                  .arg(path, where, page));
    }
}

void Helpbwin::showPage(const QString &page)
{
    auto *browser = findChild<QTextBrowser *>(QStringLiteral("browser"));
    for (const QString &folder : browser->searchPaths())
        if (QFileInfo(folder + page).isFile()) {
            browser->setSource(QUrl(page));
            return;
        }
}

Helpbwin::~Helpbwin()
{
    hide();
}

void Helpbwin::showOnDesktop(const QSize &desktop)
{
    if (desktop.width() < 600 || desktop.height() < 600)
        showMaximized();
    else
        showNormal();
}

void Helpbwin::showOnDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    showOnDesktop(screen != nullptr ? screen->virtualSize() : QSize(0, 0));
}
