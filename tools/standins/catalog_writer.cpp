// Stand-in for another process that writes the SQLite catalog while the
// programs read it (a catalog fetch program, a second program adding rows):
//
//   catalog_writer DATABASE SECONDS RATE HOLD_MS
//
// For SECONDS (0: until SIGTERM or SIGINT) it runs RATE write transactions
// a second.  Each takes the
// write lock (BEGIN EXCLUSIVE, waiting for readers as a writer does), adds
// and removes a hierarchy row, rewrites every header and data entry
// unchanged, keeps the lock HOLD_MS milliseconds and commits, so readers
// meet the lock a good part of the time while what they read stays the
// same.  Readers that wait for its lock when it commits are let in: it
// begins its next transaction once as many other processes read the
// catalog as were waiting (or a second has passed), so that a reader
// waiting on the lock gets its turn however slow the machine makes it,
// while one that only retries now and then meets the lock.  It waits for
// readers to let go as long as they read.  A signal ends it after the
// transaction under way.  Prints
// "locked" once it holds its first lock, and at the end the number of
// transactions; exits 0, 1 when a transaction failed, 2 on a usage
// error.
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace {

volatile sig_atomic_t g_stop = 0;

using Clock = std::chrono::steady_clock;

void Stop(int)
{
    g_stop = 1;
}

// Sleeps until then, or until a signal asks it to stop.
void Sleep(Clock::time_point then)
{
    while (g_stop == 0 && Clock::now() < then)
        std::this_thread::sleep_for(std::min<Clock::duration>(then - Clock::now(), std::chrono::milliseconds(10)));
}

// SQLite's lock bytes: the PENDING byte, on which a waiting reader of these
// programs blocks, and the SHARED range, which a reader holds while it reads.
constexpr long long kPendingByte = 0x40000000;
constexpr long long kSharedFirst = kPendingByte + 2, kSharedLast = kSharedFirst + 509;

// From /proc/locks, the locks on the file of inode: the read requests
// blocked on its PENDING byte, and the processes (other than this one) whose
// SQLite holds its SHARED range for reading.
struct Readers {
    int waiting = 0;
    std::set<std::string> reading;
};

Readers ReadersOf(ino_t inode)
{
    Readers readers;
    std::ifstream locks("/proc/locks");
    const std::string self = std::to_string(getpid()), file = ":" + std::to_string(inode);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, type, pid, id;
        long long start = 0, end = 0;
        words >> number >> kind;
        const bool blocked = kind == "->";
        if (blocked)
            words >> kind;
        if (!(words >> mode >> type >> pid >> id >> start >> end) || type != "READ" ||
            id.size() < file.size() || id.compare(id.size() - file.size(), file.size(), file) != 0)
            continue;
        if (blocked && start <= kPendingByte && end >= kPendingByte)
            ++readers.waiting;
        else if (!blocked && kind == "POSIX" && pid != self && start <= kSharedLast && end >= kSharedFirst)
            readers.reading.insert(pid);
    }
    return readers;
}

// Keeps waiting for the catalog while it is read, until a signal asks it to
// stop.
int BusyHandler(void *, int)
{
    if (g_stop != 0)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    const double seconds = std::atof(argv[2]), rate = std::atof(argv[3]);
    const int hold = std::atoi(argv[4]);
    if (seconds < 0 || rate <= 0 || hold < 0)
        return 2;
    struct sigaction stop {};
    stop.sa_handler = Stop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    struct stat st {};
    if (stat(argv[1], &st) != 0) {
        std::perror("catalog_writer");
        return 1;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "catalog_writer: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    sqlite3_busy_handler(db, BusyHandler, nullptr);

    const auto period = std::chrono::duration<double>(1.0 / rate);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    long done = 0;
    int status = 0;
    for (Clock::time_point next = start; (seconds == 0 || Clock::now() < end) && status == 0 && g_stop == 0;
         next += std::chrono::duration_cast<Clock::duration>(period)) {
        Sleep(next);
        if (g_stop != 0)
            break;
        char *message = nullptr;
        if (sqlite3_exec(db,
                         "BEGIN EXCLUSIVE;"
                         "INSERT INTO hierarchy VALUES (NULL, 'WRITER', 'M', 'E', 'I', 'V');"
                         "DELETE FROM hierarchy WHERE project = 'WRITER';"
                         "UPDATE hd_entries SET size = size;",
                         nullptr, nullptr, &message) != SQLITE_OK) {
            // A signal that came while it waited for readers only ends it.
            if (g_stop != 0) {
                sqlite3_free(message);
                sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
                break;
            }
            std::fprintf(stderr, "catalog_writer: %s\n", message != nullptr ? message : sqlite3_errmsg(db));
            status = 1;
        }
        sqlite3_free(message);
        if (done == 0 && status == 0) {
            std::printf("locked\n");
            std::fflush(stdout);
        }
        Sleep(Clock::now() + std::chrono::milliseconds(hold));
        const int waiting = ReadersOf(st.st_ino).waiting;
        if (sqlite3_exec(db, status == 0 ? "COMMIT;" : "ROLLBACK;", nullptr, nullptr, nullptr) != SQLITE_OK)
            status = 1;
        ++done;
        const Clock::time_point letIn = Clock::now() + std::chrono::seconds(1);
        while (waiting > 0 && g_stop == 0 && Clock::now() < letIn &&
               static_cast<int>(ReadersOf(st.st_ino).reading.size()) < waiting)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    sqlite3_close(db);
    std::printf("%ld transactions\n", done);
    return status;
}
