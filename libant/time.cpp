// The catalog's time triple.
#include "libant.h"

int compare_times(Time_t a, Time_t b)
{
    if (a.yr != b.yr)
        return a.yr < b.yr ? -1 : 1;
    if (a.day != b.day)
        return a.day < b.day ? -1 : 1;
    if (a.msec != b.msec)
        return a.msec < b.msec ? -1 : 1;
    return 0;
}
