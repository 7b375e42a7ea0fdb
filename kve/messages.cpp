// Time texts and CDF epochs, the routing of library messages, default file
// and header names, and the status message table.
#include "kve_int.h"
#include "kcdf.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

void KvEpochBreakdown(cdf_epoch *e)
{
    kcdf::EPOCHbreakdown(e->tsince0, &e->year, &e->month, &e->day, &e->hour, &e->minute, &e->second, &e->msec);
}

void KvEpochCompute(cdf_epoch *e)
{
    e->tsince0 = kcdf::ComputeEpoch(e->year, e->month, e->day, e->hour, e->minute, e->second, e->msec);
}

std::string KvEpochText(double epoch, char separator)
{
    cdf_epoch e{};
    // A missing time (NaN, the fill value or any time before year 0) is
    // the fill text, as a time past year 9999 is; the text is of the
    // nearest millisecond.
    e.tsince0 = epoch >= 0.0 ? std::round(epoch) : kKvFillEpoch;
    KvEpochBreakdown(&e);
    std::string text = KvFormat("%4.4ld-%2.2ld-%2.2ld%c%2.2ld:%2.2ld:%2.2ld.%3.3ld", e.year, e.month, e.day, separator,
                                e.hour, e.minute, e.second, e.msec);
    if (separator == 'T')
        text += 'Z';
    return text;
}

char *KvEpochToISOString(double epoch, char separator)
{
    static char buffer[64];
    const std::string text = KvEpochText(epoch, separator);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return buffer;
}

int KvISOStringToEpochStatus(const char *text, double *epoch)
{
    *epoch = -1.0;
    if (text == nullptr || *text == '\0')
        return KV_WARNING;
    while (*text == ' ')
        ++text;
    if (std::strlen(text) < 19)
        return KV_BAD_ISO;
    const std::string s(text, std::min<size_t>(std::strlen(text), 30));
    // Fields in order, each up to its own terminators.
    const char *const stops[] = {"-", "-", " T", ":", ":", " Z"};
    std::string fields[6];
    size_t at = 0;
    for (int f = 0; f < 6; ++f) {
        if (at > s.size())
            return KV_WARNING;
        size_t end = s.find_first_of(stops[f], at);
        if (end == std::string::npos)
            end = s.size();
        fields[f] = s.substr(at, end - at);
        if (fields[f].empty())
            return KV_WARNING;
        at = end + 1;
    }
    char *stop = nullptr;
    long ymd[3];
    for (int f = 0; f < 3; ++f) {
        ymd[f] = std::strtol(fields[f].c_str(), &stop, 10);
        if (stop == fields[f].c_str())
            return KV_WARNING;
    }
    double hms[3];
    for (int f = 0; f < 3; ++f) {
        hms[f] = std::strtod(fields[3 + f].c_str(), &stop);
        if (stop == fields[3 + f].c_str())
            return KV_WARNING;
    }
    const double days = kcdf::ComputeEpoch(ymd[0], ymd[1], ymd[2], 0, 0, 0, 0) / 86400000.0;
    // To the nearest millisecond: the sum falls just short of it for some
    // dates far from now.
    *epoch = std::round((((days * 24.0 + hms[0]) * 60.0 + hms[1]) * 60.0 + hms[2]) * 1000.0);
    // The last second of 9999 is the text of a missing time.
    if (*epoch >= kcdf::ComputeEpoch(9999, 12, 31, 23, 59, 59, 0))
        *epoch = kKvFillEpoch;
    return 0;
}

double KvISOStringToEpoch(const char *text)
{
    double epoch = -1.0;
    const int status = KvISOStringToEpochStatus(text, &epoch);
    if (status == KV_BAD_ISO)
        return 145.0;
    return status == 0 ? epoch : -1.0;
}

int KvDisplayMessage(const char *text, KvOptions *options)
{
    if (text == nullptr || *text == '\0')
        return -1;
    std::string line = text;
    if (line.size() > 79)
        line = line.substr(0, 76) + "...\n";
    else if (line.back() != '\n')
        line += '\n';
    if (options == nullptr)
        return 0;
    if (options->debug_choice == 'f') {
        if (options->fp_display != nullptr)
            std::fputs(line.c_str(), options->fp_display);
    } else if (options->debug_choice == 'w') {
        KveAlertBox("KVE Message", line.c_str());
    }
    return 0;
}

int KvEnsureHeader(KvCDFContents *c, KvOptions *o)
{
    if (KvstrNULL(o->header_path))
        o->header_path = KvNewStr(KvstrNULL(c->io_f_path) ? "./" : c->io_f_path);
    if (KvstrNULL(o->header_name))
        o->header_name = KvNewStr(KvstrNULL(c->io_f_name) ? "datafile_description" : c->io_f_name);
    return 0;
}

int KvEnsureFileName(KvCDFContents *c, KvOptions *)
{
    if (KvstrNULL(c->io_f_name)) {
        if (c->io_f_name != STR_NULL)
            std::free(c->io_f_name);
        c->io_f_name = KvNewStr("data_ascii");
    }
    return 0;
}

int KvstrNULL(const char *text) { return text == nullptr || *text == '\0' ? 1 : 0; }

char *KvFreeStr(char *text)
{
    if (text != nullptr && text != STR_NULL && *text != '\0')
        std::free(text);
    return STR_NULL;
}

char *KvErrStr(int code)
{
    const char *text = nullptr;
    switch (code) {
    case -1: text = "Warning, function may not have executed as expected\n"; break;
    case 0: text = "OK\n"; break;
    case 102: text = "unable to open cdf\n"; break;
    case 103: text = "Variables have different number of records\n"; break;
    case 105: text = "data structure empty\n"; break;
    case 106: text = "data structure empty\n"; break;
    case 115: text = "can't handle data type\n"; break;
    case 116: text = "CDF record and hyperslab selection failed\n"; break;
    case 117: text = "Failed to read data from cdf file\n"; break;
    case 118: text = "Creating new Global Attribute \n"; break;
    case 119: text = "Cannot create new Global Attribute \n"; break;
    case 120: text = "Cannot add entry to Global Attribute \n"; break;
    case 121: text = "Cannot write entry to Global Attribute \n"; break;
    case 123: text = "Cannot write software version info to file \n"; break;
    case 124: text = "Cannot find variable in file \n"; break;
    case 125: text = "Creating new variable attribute \n"; break;
    case 126: text = "Cannot create new variable attribute\n"; break;
    case 128: text = "Failed to write data to cdf file\n"; break;
    case 129: text = "Unexpected metadata entry: too many?\n"; break;
    case 130: text = "Output file already exists \n"; break;
    case 131: text = "Error opening file\n"; break;
    case 133: text = "Bad syntax in parameter value pair in input file\n"; break;
    case 134: text = "Failure returned from CDF read\n"; break;
    case 145: text = "Bad ISO time string\n"; break;
    case 146: text = "too many variables\n"; break;
    case 147: text = "more records in file than header expects\n"; break;
    case 150: text = "No data found\n"; break;
    case 151: text = "Cannot understand header\n"; break;
    case 152: text = "header inconsistent with data\n"; break;
    case 153: text = "File type unknown\n"; break;
    case 154: text = "Variable data missing or shorter than its shape\n"; break;
    case 155: text = "short record in file\n"; break;
    case 156: text = "Corrupt file: NUL byte or INCLUDE loop\n"; break;
    case 157: text = "Variable block start and end name do not match\n"; break;
    case 158: text = "Global block start and end name do not match\n"; break;
    case 159: text = "Doy is not in range 1-365 (1-366 for leap years)\n"; break;
    case 160: text = "Date complete but list of date items not exhausted.\n"; break;
    case 161: text = "3-chararacter string not recognised as real month.\n"; break;
    case 162: text = "Month needed for date but not found\n"; break;
    case 163: text = "Free Time Parser over ran date item list. Report to pelm_support.\n"; break;
    case 164: text = "Free Time expected day of month but finished date list and didn't find it.\n"; break;
    case 165: text = "Concatenated Time and All Records strings longer than available space in string.\n"; break;
    case 166: text = "Time or Format String in Attributes too long.\n"; break;
    case 167: text = "Free Time Format String not found in attributes.\n"; break;
    case 168: text = "Free Time All Records attributes mis-count/match.\n"; break;
    case 169: text = "Free Time Format or All Records Format too long.\n"; break;
    case 170: text = "All Records Format string and time string different lengths.\n"; break;
    case 171: text = "One of All Records Format and String missing.\n"; break;
    case 172: text = "Resulting Format String and Time String have different lengths.\n"; break;
    case 173: text = "Month in file < 1 or > 12.\n"; break;
    case 174: text = "Day in file < 1 or > 31.\n"; break;
    case 175: text = "Unknown time format: `ISO' and `FREE_TIME_FORMAT' only recognised\n"; break;
    case 179: text = "Unable to find detached header\n"; break;
    case 180: text = "Badly formed text string in CEF2 format, missing quotes?\n"; break;
    case 181:
        text = "Record numbering ON flag found. Record Numbering is not allowed in the CEF 2 syntax\n Turn flag off "
               "and read rec numbers as a dummy variable - create var block";
        break;
    default: break;
    }
    if (text != nullptr)
        return KvNewStr(text);
    return KvNewStr(KvFormat("internal error, %4d: notify ROZUzodaved\n", code).c_str());
}
