// The parser's reporter and the status texts of the library.
//
// Only the first message for a file name is printed (on stdout, with the
// line and the token where it arose); the rest for that name are dropped, so
// that a broken description yields one complaint.  A message for another file
// name prints again.
#include <cstdio>
#include <string>

#include "keld_int.h"

char GLOBAL_KELDFileName[255];

namespace {

std::string g_currentName;  // whole name of the file being parsed
std::string FileName;       // the name the last message was for
bool ErrorPrinted = false;  // a message for FileName was printed
long g_syntaxErrors = 0;    // syntax errors met since keld_set_file_name
bool g_quiet = false;       // no message printed

// The name of the file being parsed.  GLOBAL_KELDFileName holds it cut short;
// when someone has set that global to another name, the global wins.
std::string CurrentName()
{
    if (g_currentName.compare(0, sizeof GLOBAL_KELDFileName - 1, GLOBAL_KELDFileName) != 0)
        return GLOBAL_KELDFileName;
    return g_currentName;
}

}  // namespace

void keld_set_file_name(const char *name)
{
    g_syntaxErrors = 0;
    g_currentName = name != nullptr ? name : "";
    std::snprintf(GLOBAL_KELDFileName, sizeof GLOBAL_KELDFileName, "%s", g_currentName.c_str());
}

int v_error(const char *message)
{
    // A failed read ends the input early; the caller reports that instead.
    if (keld_read_errno() != 0)
        return -1;
    ++g_syntaxErrors;
    if (g_quiet)
        return -1;
    const std::string name = CurrentName();
    if (name != FileName) {
        FileName = name;
        ErrorPrinted = false;
    }
    if (!ErrorPrinted) {
        ErrorPrinted = true;
        std::printf("\nError in %s: Line %d : %s at '%s'\n", name.c_str(), keld_lineno,
                    message != nullptr ? message : "", v_text != nullptr ? v_text : "");
        std::printf("\nFix KELD before continuing...\n\n");
        std::fflush(stdout);
    }
    return -1;
}

long keld_syntax_errors(void)
{
    return g_syntaxErrors;
}

void keld_quiet(int quiet)
{
    g_quiet = quiet != 0;
}

const char *KELDStatusText(int status)
{
    switch (status) {
    case KELD_SUCCESS: return "success";
    case KELD_OPEN_FAILED: return "description file cannot be opened or read, or none loaded";
    case KELD_NO_IMAGE: return "no memory for the description image";
    case KELD_BAD_VERSION: return "older description is not version V2.1";
    case KELD_NO_TABLE_MEMORY: return "no memory for the table offsets";
    case KELD_NO_CONST_MEMORY: return "no memory for the constant offsets";
    case KELD_TOO_LONG: return "request longer than the stored item";
    case KELD_ITEM_EMPTY: return "whole request of an empty item";
    case KELD_BAD_TABLE: return "no such table";
    case KELD_BAD_CONST: return "no such constant";
    case KELD_NOT_ONLINE: return "description file is not online";
    case KELD_DISK_MODE: return "reading from the disk is no longer supported";
    case KELD_ITEM_ABSENT: return "item not in the description";
    case KELD_OUT_OF_DATE: return "description does not cover the requested time";
    case KELD_NO_MEMORY: return "no memory for the description";
    case KELD_SHORT_BUFFER: return "buffer too small for the item";
    case KELD_CORRUPT: return "older description is corrupt";
    default: return "Unknown KELD status";
    }
}
