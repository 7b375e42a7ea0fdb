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
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Input { None, ForegroundTerminal, BackgroundTerminal };

// wheels_wait_in_window() in a child process whose standard input is
// /dev/null, or a terminal of its own with the child in its foreground or
// in a background job: 1 or 0, or -1 when the child could not be set up.
int waits_in_window(Input input)
{
    const pid_t child = fork();
    if (child == 0) {
        if (input == Input::None) {
            const int null = ::open("/dev/null", O_RDONLY);
            _exit(null >= 0 && ::dup2(null, STDIN_FILENO) >= 0 ? int(mirvek::wheels_wait_in_window()) : 3);
        }
        // A new session whose controlling terminal is a new pseudo-terminal.
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || setsid() < 0)
            _exit(3);
        const int terminal = ::open(ptsname(master), O_RDWR);
        if (terminal < 0 || ::dup2(terminal, STDIN_FILENO) < 0)
            _exit(3);
        if (input == Input::ForegroundTerminal)
            _exit(int(mirvek::wheels_wait_in_window()));
        const pid_t job = fork();  // a job of its own group: not the foreground
        if (job == 0)
            _exit(setpgid(0, 0) == 0 ? int(mirvek::wheels_wait_in_window()) : 3);
        int status = 0;
        _exit(job > 0 && waitpid(job, &status, 0) == job && WIFEXITED(status) ? WEXITSTATUS(status) : 3);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

class WheelPagerTest : public QObject {
    Q_OBJECT

private slots:
    // On a terminal in the foreground PGPLOT's own prompt waits; anything
    // else waits in the window, as does any run with an answer set.
    void whereTheSequenceWaits_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("in_window");
        QTest::newRow("no terminal") << int(Input::None) << 1;
        QTest::newRow("terminal, foreground") << int(Input::ForegroundTerminal) << 0;
        QTest::newRow("terminal, background job") << int(Input::BackgroundTerminal) << 1;
    }
    void whereTheSequenceWaits()
    {
        QFETCH(int, input);
        QFETCH(int, in_window);
        QCOMPARE(waits_in_window(static_cast<Input>(input)), in_window);
        mirvek::set_next_wheel_answer([](const QString &, int, int, bool) { return true; });
        QCOMPARE(waits_in_window(static_cast<Input>(input)), 1);
        mirvek::set_next_wheel_answer({});
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
