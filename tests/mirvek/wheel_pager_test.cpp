// The wait between the wheels of a sequence on the X window: when it waits
// in the window rather than on the terminal, and the dialog's texts,
// buttons and answers.
#include "wheel_pager.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The standard input replaced by another file for the life of the object.
class StdinAs {
public:
    explicit StdinAs(int fd) : saved_(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
    ~StdinAs()
    {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    StdinAs(const StdinAs &) = delete;
    StdinAs &operator=(const StdinAs &) = delete;

private:
    int saved_;
};

} // namespace

class WheelPagerTest : public QObject {
    Q_OBJECT

private slots:
    // On a terminal PGPLOT's own prompt waits; anything else waits in the
    // window, as does any run with an answer set.
    void whereTheSequenceWaits()
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const int terminal = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0);
        const int null = ::open("/dev/null", O_RDONLY);
        {
            StdinAs in(terminal);
            QVERIFY(!mirvek::wheels_wait_in_window());
            mirvek::set_next_wheel_answer([](const QString &, int, int, bool) { return true; });
            QVERIFY(mirvek::wheels_wait_in_window());
            mirvek::set_next_wheel_answer({});
        }
        {
            StdinAs in(null);
            QVERIFY(mirvek::wheels_wait_in_window());
        }
        for (int fd : {null, terminal, master})
            ::close(fd);
    }

    void dialog_data()
    {
        QTest::addColumn<bool>("last");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("next");
        const QStringList both{"Next Wheel", "Stop"};
        const QString third = QStringLiteral("CLUSTER-2: wheel 3 of 17 is on the X window.");
        QTest::newRow("next wheel") << false << "Next Wheel" << third << both << true;
        QTest::newRow("stop") << false << "Stop" << third << both << false;
        QTest::newRow("escape stops") << false << "" << third << both << false;
        QTest::newRow("last wheel, done")
            << true << "Done" << QStringLiteral("CLUSTER-2: wheel 17 of 17, the last, is on the X window.")
            << QStringList{"Done"} << false;
    }
    void dialog()
    {
        QFETCH(bool, last);
        QFETCH(QString, press);
        QFETCH(QString, text);
        QFETCH(QStringList, buttons);
        QFETCH(bool, next);
        QString shown;
        QString title;
        QStringList offered;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            title = box->windowTitle();
            shown = box->text();
            QPushButton *chosen = nullptr;
            for (QAbstractButton *b : box->buttons()) {
                offered << b->text();
                if (b->text() == press)
                    chosen = qobject_cast<QPushButton *>(b);
            }
            if (chosen != nullptr)
                chosen->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(mirvek::ask_next_wheel(nullptr, QStringLiteral("CLUSTER-2"), last ? 17 : 3, 17, last), next);
        QCOMPARE(title, QStringLiteral("Wheel Sequence"));
        QCOMPARE(shown, text);
        offered.sort();
        buttons.sort();
        QCOMPARE(offered, buttons);
    }
};

QTEST_MAIN(WheelPagerTest)
#include "wheel_pager_test.moc"
