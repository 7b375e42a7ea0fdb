// The help window: captions and start pages of both programs, the page
// folder from VELORA_HOME and the line shown when it holds no pages,
// Back/Forward/Top over two pages, the shipped pages (every link leads to a
// page, every page is reached from the contents and leads back, a link
// clicked is followed and Back/Forward/Top come back), the size it opens at
// on small and large desktops, and that it never keeps the program running
// once the main window has closed.
#include "Helpbwin.h"

#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

namespace {

void write_page(const QString &path, const QString &body)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(("<html><body>" + body + "</body></html>").toUtf8());
}

QTextBrowser *browser_of(Helpbwin &w)
{
    return w.findChild<QTextBrowser *>(QStringLiteral("browser"));
}

void click(Helpbwin &w, const char *button)
{
    w.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

// The links of the page the browser shows, in document order, each with the
// position of its first character.
QList<QPair<QString, int>> links_of(const QTextBrowser *b)
{
    QList<QPair<QString, int>> links;
    for (QTextBlock block = b->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QString href = it.fragment().charFormat().anchorHref(); !href.isEmpty())
                links.append({href, it.fragment().position()});
    return links;
}

// The folder of the shipped pages: doc/ of the source tree.
const QString kDocHome = QStringLiteral(KOMBRA_SOURCE_ROOT);

} // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void programs_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("page");
        QTest::newRow("lunder") << int(Helpbwin::Program::Lunder) << "lunder help" << "lunder.html";
        QTest::newRow("mirvek") << int(Helpbwin::Program::Mirvek) << "mirvek help" << "mirvek.html";
    }
    void programs()
    {
        QFETCH(int, program);
        QFETCH(QString, caption);
        QFETCH(QString, page);
        QTemporaryDir home;
        QDir(home.path()).mkdir("doc");
        write_page(home.path() + "/doc/" + page, "start of " + page);
        qputenv("VELORA_HOME", home.path().toLocal8Bit());
        Helpbwin w(nullptr, nullptr, static_cast<Helpbwin::Program>(program));
        qunsetenv("VELORA_HOME");
        QCOMPARE(w.windowTitle(), caption);
        QCOMPARE(w.size(), QSize(600, 600));
        QVERIFY(!w.isVisible());
        QCOMPARE(browser_of(w)->searchPaths(), QStringList{home.path() + "/doc/"});
        QCOMPARE(browser_of(w)->source(), QUrl(page));
        QVERIFY(browser_of(w)->toPlainText().contains("start of " + page));
        QStringList texts;
        for (const char *name : {"back", "forward", "top"})
            texts << w.findChild<QPushButton *>(QString::fromLatin1(name))->text();
        QCOMPARE(texts, (QStringList{"<- Back", "Forward ->", "Top"}));
    }

    void unsetHomeLooksInDoc()
    {
        qunsetenv("VELORA_HOME");
        Helpbwin w;
        QCOMPARE(browser_of(w)->searchPaths(), QStringList{QStringLiteral("/doc/")});
    }

    // No pages where they are looked for: one line that says where.
    void missingPages_data()
    {
        QTest::addColumn<bool>("home_set");
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("line");
        QTest::newRow("home without doc, lunder")
            << true << int(Helpbwin::Program::Lunder)
            << "The help pages are looked for in %1/doc/ (the folder doc of VELORA_HOME), and lunder.html is not "
               "there.";
        QTest::newRow("home without doc, mirvek")
            << true << int(Helpbwin::Program::Mirvek)
            << "The help pages are looked for in %1/doc/ (the folder doc of VELORA_HOME), and mirvek.html is not "
               "there.";
        QTest::newRow("home unset")
            << false << int(Helpbwin::Program::Lunder)
            << "The help pages are looked for in /doc/ (VELORA_HOME is not set), and lunder.html is not there.";
    }
    void missingPages()
    {
        QFETCH(bool, home_set);
        QFETCH(int, program);
        QFETCH(QString, line);
        QTemporaryDir home;
        if (home_set)
            qputenv("VELORA_HOME", home.path().toLocal8Bit());
        else
            qunsetenv("VELORA_HOME");
        Helpbwin w(nullptr, nullptr, static_cast<Helpbwin::Program>(program));
        qunsetenv("VELORA_HOME");
        QCOMPARE(browser_of(w)->toPlainText(), home_set ? line.arg(home.path()) : line);
    }

    // Each program's pages form one linked set: every link names a page in
    // the folder, every page of the program is reached from its contents
    // page, and every page leads back to the contents.
    void shippedPagesAreLinked_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("start");
        QTest::newRow("lunder") << int(Helpbwin::Program::Lunder) << "lunder";
        QTest::newRow("mirvek") << int(Helpbwin::Program::Mirvek) << "mirvek";
    }
    void shippedPagesAreLinked()
    {
        QFETCH(int, program);
        QFETCH(QString, start);
        qputenv("VELORA_HOME", kDocHome.toLocal8Bit());
        Helpbwin w(nullptr, nullptr, static_cast<Helpbwin::Program>(program));
        qunsetenv("VELORA_HOME");
        QTextBrowser *b = browser_of(w);
        const QDir doc(kDocHome + QStringLiteral("/doc"));
        const QString contents = start + QStringLiteral(".html");
        QSet<QString> reached{contents};
        QStringList queue{contents};
        while (!queue.isEmpty()) {
            const QString page = queue.takeFirst();
            b->setSource(QUrl(page));
            QVERIFY2(!b->toPlainText().isEmpty(), qPrintable(page));
            QSet<QString> targets;
            for (const auto &[href, position] : links_of(b)) {
                QVERIFY2(doc.exists(href), qPrintable(page + " links to " + href));
                targets.insert(href);
                if (!reached.contains(href)) {
                    reached.insert(href);
                    queue.append(href);
                }
            }
            if (page != contents)
                QVERIFY2(targets.contains(contents), qPrintable(page + " does not lead back"));
        }
        const QStringList own = doc.entryList({start + QStringLiteral("*.html")}, QDir::Files);
        QVERIFY(own.size() >= 5);
        for (const QString &page : own)
            QVERIFY2(reached.contains(page), qPrintable(page + " is not reached from " + contents));
    }

    // A link clicked on the contents page is followed; Back, Forward and
    // Top come back.
    void followsAClickedLinkAndComesBack_data() { shippedPagesAreLinked_data(); }
    void followsAClickedLinkAndComesBack()
    {
        QFETCH(int, program);
        QFETCH(QString, start);
        qputenv("VELORA_HOME", kDocHome.toLocal8Bit());
        Helpbwin w(nullptr, nullptr, static_cast<Helpbwin::Program>(program));
        qunsetenv("VELORA_HOME");
        w.showOnDesktop(QSize(1280, 1024));
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTextBrowser *b = browser_of(w);
        const QUrl contents(start + QStringLiteral(".html"));
        const auto links = links_of(b);
        QVERIFY(links.size() >= 5);
        const auto &[href, position] = links.first();
        QTextCursor cursor(b->document());
        cursor.setPosition(position + 1);
        const QPoint at = b->cursorRect(cursor).center();
        QTest::mouseClick(b->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(b->source(), QUrl(href));
        const QString linked = b->toPlainText();
        click(w, "back");
        QCOMPARE(b->source(), contents);
        click(w, "forward");
        QCOMPARE(b->source(), QUrl(href));
        QCOMPARE(b->toPlainText(), linked);
        click(w, "top");
        QCOMPARE(b->source(), contents);
    }

    void backForwardTop()
    {
        QTemporaryDir home;
        QDir(home.path()).mkdir("doc");
        write_page(home.path() + "/doc/lunder.html", "first page <a href=\"second.html\">on</a>");
        write_page(home.path() + "/doc/second.html", "second page");
        qputenv("VELORA_HOME", home.path().toLocal8Bit());
        Helpbwin w;
        qunsetenv("VELORA_HOME");
        QTextBrowser *b = browser_of(w);
        b->setSource(QUrl("second.html"));
        QVERIFY(b->toPlainText().contains("second page"));
        click(w, "back");
        QVERIFY(b->toPlainText().contains("first page"));
        click(w, "forward");
        QVERIFY(b->toPlainText().contains("second page"));
        click(w, "top");
        QVERIFY(b->toPlainText().contains("first page"));
    }

    void desktopSize_data()
    {
        QTest::addColumn<QSize>("desktop");
        QTest::addColumn<bool>("maximised");
        QTest::newRow("800 x 599") << QSize(800, 599) << true;
        QTest::newRow("1024 x 500") << QSize(1024, 500) << true;
        QTest::newRow("599 x 800") << QSize(599, 800) << true;
        QTest::newRow("600 x 600") << QSize(600, 600) << false;
        QTest::newRow("1280 x 1024") << QSize(1280, 1024) << false;
    }
    void desktopSize()
    {
        QFETCH(QSize, desktop);
        QFETCH(bool, maximised);
        Helpbwin w;
        w.showOnDesktop(desktop);
        QVERIFY(w.isVisible());
        QCOMPARE(w.isMaximized(), maximised);
        if (!maximised)
            QCOMPARE(w.size(), QSize(600, 600));
    }

    // Closing the main window ends the event loop even with help open.
    void helpDoesNotKeepProgramAlive()
    {
        QWidget main;
        Helpbwin help;
        main.show();
        help.showOnDesktop(QSize(1280, 1024));
        QTimer::singleShot(0, &main, &QWidget::close);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
