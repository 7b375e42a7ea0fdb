// Turns at a catalog that other processes keep writing: see sqlite_int.h.
#include "sqlite_int.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace dbsql {

namespace {

// SQLite's lock bytes (the file format's lock-byte page): a writer holds
// the PENDING byte write-locked from just before it takes the whole file
// until it commits, and a reader takes a read lock on it to get in.
constexpr off_t kPendingByte = 0x40000000;

// Ends a timed wait: a real-time signal aimed at the waiting thread, whose
// handler does nothing, so that the wait returns with EINTR.
int TimerSignal()
{
    return SIGRTMIN + 4;
}

void Nothing(int) {}

void (*g_turnWaitHook)() = nullptr;

bool TimerSignalReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = Nothing;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the wait is to end
        ready = sigaction(TimerSignal(), &action, nullptr) == 0;
    });
    return ready;
}

flock PendingByte(short type)
{
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kPendingByte;
    lock.l_len = 1;
    return lock;
}

}  // namespace

int OpenTurnGate(const char *path)
{
    return open(path, O_RDONLY | O_CLOEXEC);
}

Turn AwaitTurn(int gate, std::chrono::milliseconds wait)
{
    if (gate < 0 || wait.count() <= 0 || !TimerSignalReady())
        return Turn::Unknown;
    flock lock = PendingByte(F_RDLCK);
    // Only another process's write lock is waited for.
    if (fcntl(gate, F_OFD_GETLK, &lock) != 0)
        return Turn::Unknown;
    if (lock.l_type == F_UNLCK || lock.l_pid == getpid())
        return Turn::NotHeld;
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = TimerSignal();
    event._sigev_un._tid = static_cast<pid_t>(syscall(SYS_gettid));
    timer_t timer;
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return Turn::Unknown;
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(wait.count() / 1000);
    when.it_value.tv_nsec = static_cast<long>(wait.count() % 1000) * 1000000L;
    // The signal repeats: one that lands before the wait has begun would
    // otherwise leave the wait to the writer's pleasure.
    when.it_interval.tv_nsec = 10 * 1000000L;
    lock = PendingByte(F_RDLCK);
    const bool armed = timer_settime(timer, 0, &when, nullptr) == 0;
    if (armed && g_turnWaitHook != nullptr)
        g_turnWaitHook();
    if (armed && fcntl(gate, F_OFD_SETLKW, &lock) == 0) {
        // The writer let go: this process's own read lock follows at once.
        flock release = PendingByte(F_UNLCK);
        fcntl(gate, F_OFD_SETLK, &release);
    }
    timer_delete(timer);
    return Turn::Waited;
}

void SetTurnWaitHook(void (*hook)())
{
    g_turnWaitHook = hook;
}

std::optional<std::uint32_t> ChangeCounter(int gate)
{
    unsigned char bytes[4];
    if (gate < 0 || pread(gate, bytes, sizeof bytes, 24) != static_cast<ssize_t>(sizeof bytes))
        return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

}  // namespace dbsql
