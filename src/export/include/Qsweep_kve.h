/* The host callbacks of the exchange library, as the programs supply them:
 * KvCEFmsg (drops CEF remarks), KveAlertBox (the text on standard error)
 * and KveVersion (the library version text).  Declared in kve_meta.h. */
#pragma once

#include "kve_meta.h"
