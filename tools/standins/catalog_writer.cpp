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
// same.  A signal ends it after the transaction under way.  Prints
// "locked" once it holds its first lock, and at the end the number of
// transactions; exits 0, 1 when a transaction failed, 2 on a usage
// error.
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "catalog_writer: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    sqlite3_busy_timeout(db, 10000);

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
            std::fprintf(stderr, "catalog_writer: %s\n", message != nullptr ? message : sqlite3_errmsg(db));
            status = 1;
        }
        sqlite3_free(message);
        if (done == 0 && status == 0) {
            std::printf("locked\n");
            std::fflush(stdout);
        }
        Sleep(Clock::now() + std::chrono::milliseconds(hold));
        if (sqlite3_exec(db, status == 0 ? "COMMIT;" : "ROLLBACK;", nullptr, nullptr, nullptr) != SQLITE_OK)
            status = 1;
        ++done;
    }
    sqlite3_close(db);
    std::printf("%ld transactions\n", done);
    return status;
}
