/* The windows while a fetch program runs or a busy catalog is waited for,
 * and the end of the program asked for by Quit or a signal meanwhile: see
 * fetch_wait.h. */
#include "fetch_wait.h"

#include "libPromote.h"
#include "libdbSQL.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

std::vector<QPointer<QAbstractButton>> &quit_buttons()
{
    static std::vector<QPointer<QAbstractButton>> buttons;
    return buttons;
}

bool is_quit_button(const QWidget *widget)
{
    for (const QPointer<QAbstractButton> &button : quit_buttons())
        if (button != nullptr && widget != nullptr && (widget == button || button->isAncestorOf(widget)))
            return true;
    return false;
}

/* Ignores the user's input while a fetch program runs, but for a press on a
 * Quit button; a release or a move without a press does nothing. */
class QuitOnly : public QObject {
public:
    bool eventFilter(QObject *target, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const QWidget *widget = qobject_cast<QWidget *>(target);
            if (widget == nullptr && qobject_cast<QWindow *>(target) != nullptr)
                widget = QApplication::widgetAt(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
            return !is_quit_button(widget);
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
};

void process_window_events()
{
    if (QCoreApplication::instance() == nullptr)
        return;
    static QuitOnly filter;
    QCoreApplication::instance()->installEventFilter(&filter);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::instance()->removeEventFilter(&filter);
}

volatile sig_atomic_t g_signal = 0;
int g_wake[2] = {-1, -1};

/* Only notes the signal: the fetch wait stops its program, the catalog
 * wait ends, and the event loop hears of it through the pipe. */
void on_signal(int signal)
{
    const int saved = errno;
    g_signal = signal;
    pro_EndFetches(1);
    dbEndWaits(1);
    if (g_wake[1] >= 0)
        (void)!write(g_wake[1], "x", 1);
    errno = saved;
}

} // namespace

namespace widgets {

void repaint_while_fetching()
{
    pro_SetWaitHook(process_window_events);
    dbSetWaitHook(process_window_events);
}

void quit_ends_fetches(QAbstractButton *quit)
{
    quit_buttons().emplace_back(quit);
    QObject::connect(quit, &QAbstractButton::clicked, [] {
        pro_EndFetches(1);
        dbEndWaits(1);
    });
}

void end_on_signals(QCoreApplication &app)
{
    if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        g_wake[0] = g_wake[1] = -1;
    if (g_wake[0] >= 0) {
        auto *notifier = new QSocketNotifier(g_wake[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char drained[16];
            while (read(g_wake[0], drained, sizeof drained) > 0) {
            }
            QCoreApplication::exit(128 + g_signal);
        });
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool ending_on_signal()
{
    return g_signal != 0;
}

bool program_ending()
{
    return g_signal != 0 || dbWaitsEnded() != 0;
}

bool nothing_written_as_ending()
{
    if (!program_ending())
        return false;
    std::printf("Nothing written, as the program is ending\n");
    std::fflush(stdout);
    return true;
}

int exit_status(int status)
{
    const int signal = g_signal;
    if (signal == 0)
        return status;
    std::fflush(nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    return 128 + signal;
}

} // namespace widgets
