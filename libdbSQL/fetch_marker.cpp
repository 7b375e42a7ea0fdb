// Files whose fetch has not ended: the marker a fetch keeps beside its file,
// and what it says.
#include "libdbSQL.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string dbFetchMarker(const std::string &file)
{
    return file + ".fetch";
}

DbFetchState dbFetchState(const std::string &file)
{
    const std::string marker = dbFetchMarker(file);
    struct stat st {};
    if (lstat(marker.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? DbFetchState::None : DbFetchState::Unfinished;
    const int fd = open(marker.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? DbFetchState::None : DbFetchState::Unfinished;
    // Any lock of another open file description on it (this process's own
    // running fetch included) says that the fetch runs.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool held = fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    close(fd);
    return held ? DbFetchState::Running : DbFetchState::Unfinished;
}
