// Internal helpers of the dBASE catalog back end.
#pragma once

#include "DbDefs.h"
#include "libCfg.h"

#include <string>

namespace server_internal {

// Virtual-instrument node of a key, or nullptr.
StrHier_s *NodeOfKey(KOMBRA_ULONG key);
// Sets the back end's error text (Tarvo_dbErrorMsg).
void SetErrorText(const char *text);
// Copies text into dst of size bytes (always terminated when size > 0).
void CopyName(char *dst, size_t size, const char *text);

}  // namespace server_internal
