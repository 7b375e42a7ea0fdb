// File I/O of tables and indexes, with the write-fault hook used by tests,
// and whole-file replacement through a temporary file and rename.
#include "dbf_int.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Fault hook state: writes still let through (-1: hook off) and writes
// still to fail once those are used up (-1: all of them).
long g_writesLeft = -1;
long g_failsLeft = 0;

}  // namespace

void dbfFailWrites(long after, long count)
{
    g_writesLeft = after < 0 ? -1 : after;
    g_failsLeft = count;
}

namespace libdb {
namespace io {

ssize_t ReadAt(int fd, void *buf, size_t count, off_t offset)
{
    auto *p = static_cast<unsigned char *>(buf);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, p + done, count - done, offset + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

ssize_t WriteOnce(int fd, const void *buf, size_t count, off_t offset)
{
    if (g_writesLeft >= 0) {
        if (g_writesLeft > 0) {
            --g_writesLeft;
        } else if (g_failsLeft != 0) {
            if (g_failsLeft > 0 && --g_failsLeft == 0)
                g_writesLeft = -1;
            // The device gives out halfway through this write.
            if (count / 2 > 0)
                (void)::pwrite(fd, buf, count / 2, offset);
            errno = ENOSPC;
            return -1;
        } else {
            g_writesLeft = -1;
        }
    }
    return ::pwrite(fd, buf, count, offset);
}

bool WriteAt(int fd, const void *buf, size_t count, off_t offset)
{
    const auto *p = static_cast<const unsigned char *>(buf);
    size_t done = 0;
    while (done < count) {
        const ssize_t put = WriteOnce(fd, p + done, count - done, offset + static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (put == 0) {
            errno = 0;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

int ReplaceFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return errno;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int err = 0;
    if (::fchmod(fd, 0666 & ~mask) != 0 || !WriteAt(fd, bytes.data(), bytes.size(), 0) ||
        ::fsync(fd) != 0)
        err = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0)
        ::unlink(temp.c_str());
    return err;
}

}  // namespace io

void TodayBytes(unsigned char out[3])
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    out[0] = static_cast<unsigned char>(local.tm_year);
    out[1] = static_cast<unsigned char>(local.tm_mon + 1);
    out[2] = static_cast<unsigned char>(local.tm_mday);
}

}  // namespace libdb
