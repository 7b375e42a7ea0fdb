// The host callbacks of the exchange library.
#include "Qsweep_kve.h"

#include <cstdio>
#include <cstring>

int KvCEFmsg(int, const char *, const char *, const char *) { return 0; }

void KveAlertBox(const char *, const char *text)
{
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
}

char *KveVersion()
{
    static char buffer[32];
    std::strcpy(buffer, "KVE V_3.2.0 [9 Dec 2004]");
    return buffer;
}
