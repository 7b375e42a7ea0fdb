// Host callbacks of the exchange library for its fuzz targets: silent, so
// that only a crash or a sanitizer report speaks.
#include "kve_meta.h"

int KvCEFmsg(int, const char *, const char *, const char *) { return 0; }

void KveAlertBox(const char *, const char *) {}

char *KveVersion()
{
    static char version[] = "KVE V_3.2.0 [9 Dec 2004]";
    return version;
}
