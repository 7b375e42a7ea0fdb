// Opening data sets: the process's open-file limit.  Many data sets with
// their header and data files can be open at once, so the reader raises its
// limit to the most the system allows.
#include "nurv_int.h"

#include <cstdio>
#include <sys/resource.h>

// Sets the soft RLIMIT_NOFILE to the hard limit.  Either call failing prints
// the system error ("getrlimit: ..." or "setrlimit: ...") and leaves the
// limit as it is: the reader works on with fewer files open at once, and an
// open that meets the limit fails as any other open does.  Returns the
// result of the set call (0, or -1 after a failure).
int ir_set_fd_limit(void)
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::perror("getrlimit");
        return -1;
    }
    limit.rlim_cur = limit.rlim_max;
    const int rval = setrlimit(RLIMIT_NOFILE, &limit);
    if (rval != 0)
        std::perror("setrlimit");
    return rval;
}
