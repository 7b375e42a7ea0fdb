/* Promotion: bringing to the local disk the description, header, data and
 * PNUR files that the catalog lists for a time range and the archive does
 * not hold yet, through each source's fetch program and servers, with the
 * progress shown in the progress window.
 *
 * The plain-function interface of the sweep readers: a request is an opaque
 * handle.  The configuration must be loaded (CfgInit) and the catalog open
 * (dbInitialize) before the first call.  A request belongs to one thread. */
#pragma once

#include "kombra_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new request for the range; progress window on when xstatus is 1. */
void *pro_InitPromote(int byear, int bday, long bmsec, int eyear, int eday, long emsec, int xstatus);
/* The same, passing app_name and the force flag to the fetch program. */
void *pro_InitPromoteNamed(int byear, int bday, long bmsec, int eyear, int eday, long emsec, int xstatus,
                           const char *app_name, KOMBRA_BOOL force);
/* Adds a data key; a null handle, key 0 or a key already there is ignored. */
void pro_AddSource(void *handle, KOMBRA_ULONG key);
/* sTrue when a catalogued file of the request is missing from the disk
 * (description "I", header, data and PNUR files), or a fetch of it is
 * under way or did not end well. */
KOMBRA_BOOL pro_NeedToPromote(void *handle);
/* Fetches every missing file; sTrue when all were fetched. */
KOMBRA_BOOL pro_PromoteAll(void *handle);
/* Removes the files this request fetched; 0 done, 1 when an unlink failed. */
int pro_DemoteAll(void *handle);
/* Ends the request; null does nothing. */
void pro_FreePromote(void *handle);
/* One-shot fetches of a key's description files for a range and of its PNUR
 * file; the result of the fetch, 0 when nothing was missing. */
int pro_PromoteKELD(KOMBRA_ULONG key, KOMBRA_SHORT byear, KOMBRA_SHORT bday, KOMBRA_LONG bmsec, KOMBRA_SHORT eyear,
                    KOMBRA_SHORT eday, KOMBRA_LONG emsec);
int pro_PromotePNUR(KOMBRA_ULONG key);
/* A function called every few hundredths of a second while a fetch program
 * runs (at most KOMBRA_FETCH_TIMEOUT seconds, 300 by default), so that a
 * window can repaint; NULL for none.  It must not start another request. */
void pro_SetWaitHook(void (*hook)(void));
/* As the program ends (1): a running fetch program is stopped as at its time
 * limit, with what it wrote, and no other starts; 0 lets fetches run again.
 * Only sets a flag, so a signal handler may call it. */
void pro_EndFetches(int ending);
/* For tests: 1 makes the watch of a fetch's folders fail, as when the
 * inotify limits are reached; 0 as normal. */
void pro_SetWatchFails(int fails);

#ifdef __cplusplus
}
#endif
