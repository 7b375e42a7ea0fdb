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

    auto *browser = new QTextBrowser(this);
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
