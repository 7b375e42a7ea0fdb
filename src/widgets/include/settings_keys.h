/* The key tables of both programs' settings files, in the order the keys are
 * written.  Each ends with "DUMMY_STRING", which is never written and never
 * matched. */
#pragma once

namespace lunder {

extern const char *const savestrings[115];
enum { N_SAVED_KEYS = 114 };

} // namespace lunder

namespace mirvek {

/* The energy spacing's key is spelt "CUTSOM_BIN_LINLOG", as files have
 * always carried it. */
extern const char *const savestrings[43];
enum { N_SAVED_KEYS = 42 };

} // namespace mirvek
