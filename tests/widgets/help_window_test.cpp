// The help window: captions and start pages of both programs, the page
// folder from VELORA_HOME, Back/Forward/Top over two pages, the size it
// opens at on small and large desktops, and that it never keeps the
// program running once the main window has closed.
#include "Helpbwin.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
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
