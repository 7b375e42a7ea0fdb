// Opening the files the system reads: only regular files are read.  A FIFO
// would block the open (and every read) until some other process writes, and
// a device such as /dev/zero never ends; both are refused without waiting.
#include "libant.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenRegularFile(const char *path, int flags)
{
    if (path == nullptr) {
        errno = ENOENT;
        return -1;
    }
    // Anything but a regular file is refused unopened (opening a FIFO, even
    // without waiting, would let a writer waiting for a reader go on).
    // O_NONBLOCK makes the open of a FIFO put there meanwhile return at once;
    // it has no effect on a regular file and is cleared again below.
    struct stat named {};
    if (::stat(path, &named) == 0 && !S_ISREG(named.st_mode)) {
        errno = S_ISDIR(named.st_mode) ? EISDIR : ENXIO;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = st.st_mode == 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = error;
        return -1;
    }
    if ((flags & O_NONBLOCK) == 0) {
        const int now = ::fcntl(fd, F_GETFL);
        if (now != -1)
            ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    }
    return fd;
}

FILE *FopenRegularFile(const char *path, const char *mode)
{
    if (mode == nullptr || mode[0] != 'r') {
        errno = EINVAL;
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    const int fd = OpenRegularFile(path, update ? O_RDWR : O_RDONLY);
    if (fd < 0)
        return nullptr;
    FILE *stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return stream;
}

const char *OpenErrorText(int error)
{
    // ENXIO is what OpenRegularFile reports for a FIFO, device or socket;
    // open(2) itself gives it only for special files too.
    return error == ENXIO ? "not a regular file" : std::strerror(error);
}
