// Free-format times of the flat reader: the picture of a CDF_EPOCH
// variable's time text (TIME_FORMAT_STRING, with an optional all-records
// part appended), where each date and time item sits in it, and the
// conversion of one record's time text into a CDF epoch.
#include "kve_flat.h"
#include "kve_read_int.h"
#include "kve_int.h"
#include "kcdf.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

const long kve_days_in_month[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                       {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

namespace {

constexpr const char *kMonths[13] = {"",    "JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Time items in table order: picture key and milliseconds per unit.
struct TimeKey {
    const char *key;
    double msecs;
};
constexpr TimeKey kTimeKeys[9] = {{"H", 3600000.0}, {"MI", 60000.0}, {"S", 1000.0},
                                  {"MC", 1.0},       {"d", 86400000.0}, {"h", 3600000.0},
                                  {"m", 60000.0},    {"s", 1000.0},    {"c", 1.0}};

bool Leap(long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The characters of text at [start, start + width), clipped to the text.
std::string Item(const char *text, int32_t start, int32_t width)
{
    const size_t len = std::strlen(text);
    if (start < 0 || width <= 0 || static_cast<size_t>(start) >= len)
        return {};
    return std::string(text + start, std::min(len - static_cast<size_t>(start), static_cast<size_t>(width)));
}

// An item read as a whole number; *zero_written tells whether it holds a '0'.
long Whole(const std::string &item, bool *zero_written)
{
    *zero_written = item.find('0') != std::string::npos;
    return std::strtol(item.c_str(), nullptr, 10);
}

void AddDate(KvFTParser *p, KvSFTdatestrings_e item, size_t at, int32_t width)
{
    const int32_t n = p->n_found_date++;
    p->found_date[n] = item;
    p->date_start_in_FT[n] = static_cast<int32_t>(at);
    p->date_width_in_FT[n] = width;
}

}  // namespace

void make_uppercase(char *text)
{
    for (; *text != '\0'; ++text)
        *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

int KvParseFreeTimeFormatString_date(const char *picture, KvFTParser *p)
{
    const std::string s = picture;
    p->n_found_date = 0;
    if (const size_t at = s.find("YYYY"); at != std::string::npos)
        AddDate(p, YYYY_FTe, at, 4);
    else if (const size_t at2 = s.find("YY"); at2 != std::string::npos)
        AddDate(p, YY_FTe, at2, 2);
    if (const size_t at = s.find("Doy"); at != std::string::npos) {
        AddDate(p, DOY_FTe, at, 3);
        return 0;
    }
    if (const size_t at = s.find("MON"); at != std::string::npos)
        AddDate(p, MON_FTe, at, 3);
    else if (const size_t at2 = s.find("MO"); at2 != std::string::npos)
        AddDate(p, MO_FTe, at2, 2);
    if (const size_t at = s.find("DD"); at != std::string::npos)
        AddDate(p, DD_FTe, at, 2);
    return 0;
}

int KvParseFreeTimeFormatString_time(const char *picture, KvFTParser *p)
{
    const std::string s = picture;
    p->n_found_time = 0;
    for (int k = 0; k < 9; ++k) {
        const std::string key = kTimeKeys[k].key;
        const size_t at = s.find(key);
        if (at == std::string::npos)
            continue;
        int32_t width = 1;
        for (size_t i = at + 1; i < s.size() && s[i] == key.back(); ++i)
            ++width;
        const int32_t n = p->n_found_time++;
        p->found_time[n] = k;
        p->time_start_in_FT[n] = static_cast<int32_t>(at);
        p->time_width_in_FT[n] = width;
    }
    return 0;
}

int KvFTCpyCalcmsecsFactors(const KvFTParser *p, double *factors)
{
    for (int32_t n = 0; n < p->n_found_time && n < 9; ++n) {
        const int item = p->found_time[n];
        double unit = kTimeKeys[item].msecs;
        if (item >= d_FTe)
            unit *= std::pow(10.0, -p->time_width_in_FT[n]);
        factors[n] = unit;
    }
    return 0;
}

int KvFTCatTime_All(char *text, const char *append)
{
    const size_t a = std::strlen(text);
    const size_t b = std::strlen(append);
    if (a + b + 2 > 256)
        return KV_FT_CAT_LONG;
    text[a] = ' ';
    std::memcpy(text + a + 1, append, b + 1);
    return 0;
}

int KvFTinit_parsers(KvCDFContents *c, KvRecord_format *f)
{
    if (c->vardata == nullptr || f->ftpackets == nullptr)
        return 0;
    for (long i = 0; i < c->n_vars; ++i) {
        const KvCDFVariable *v = c->vardata[i];
        KvFTpacket *pk = &f->ftpackets[i];
        if (v == nullptr || v->data_type != CDF_EPOCH || pk->timeformat != FREE_TIME_FORMAT)
            continue;
        pk->AllRecordsFlag = No_all_records_time;
        int pictures = 0, times = 0, formats = 0;
        for (long a = 0; a < v->num_v_attrs && a < KV_VATTR_SLOTS; ++a) {
            const KvVarAttribute &attr = v->attribute[a];
            if (attr.name == nullptr || attr.data == nullptr ||
                (attr.data_type != CDF_CHAR && attr.data_type != CDF_UCHAR))
                continue;
            const char *text = static_cast<const char *>(attr.data);
            char *into = nullptr;
            if (std::strncmp(attr.name, "All_records_time", 15) == 0) {
                into = pk->AllRecordsTimeString;
                ++times;
            } else if (std::strncmp(attr.name, "All_records_format", 15) == 0) {
                into = pk->AllRecordsFormatString;
                ++formats;
            } else if (std::strncmp(attr.name, "TIME_FORMAT_STRING", 15) == 0) {
                into = pk->FreeTimeFormatString;
                ++pictures;
            } else {
                continue;
            }
            if (std::strlen(text) > 255)
                return KV_FT_ATTR_LONG;
            std::strcpy(into, text);
        }
        if (times + formats > 0)
            pk->AllRecordsFlag = All_records_time_found;
        if (pictures != 1)
            return KV_FT_NO_PICTURE;
        if (times + formats > 0) {
            if (times + formats != 2)
                return KV_FT_ALL_MISSING;
            if (times != 1)
                return KV_FT_ALL_PAIR;
            if (std::strlen(pk->AllRecordsFormatString) != std::strlen(pk->AllRecordsTimeString))
                return KV_FT_ALL_LENGTHS;
            if (const int status = KvFTCatTime_All(pk->FreeTimeFormatString, pk->AllRecordsFormatString);
                status != 0)
                return status;
        }
        KvParseFreeTimeFormatString_date(pk->FreeTimeFormatString, &pk->ft_parser_s);
        KvParseFreeTimeFormatString_time(pk->FreeTimeFormatString, &pk->ft_parser_s);
        KvFTCpyCalcmsecsFactors(&pk->ft_parser_s, pk->time2msecs_factors_adjusted);
    }
    return 0;
}

int KvYearDoyToDate(long year, long doy, long *month, long *day)
{
    const int leap = Leap(year) ? 1 : 0;
    if (doy < 1 || doy > (leap ? 366 : 365)) {
        *month = -1;
        *day = -1;
        return KV_BAD_DOY;
    }
    long m = 1;
    while (doy > kve_days_in_month[leap][m]) {
        doy -= kve_days_in_month[leap][m];
        ++m;
    }
    *month = m;
    *day = doy;
    return 0;
}

int KvFTGetDate(const KvFTParser *p, const char *text, long *year, long *month, long *day)
{
    *year = 0;
    *month = 1;
    *day = 1;
    int32_t n = 0;
    const int32_t found = std::min<int32_t>(p->n_found_date, 6);
    auto item = [&](int32_t k) { return Item(text, p->date_start_in_FT[k], p->date_width_in_FT[k]); };
    bool zero = false;
    if (n < found && p->found_date[n] == YYYY_FTe) {
        *year = Whole(item(n++), &zero);
        if (*year == 0 && !zero)
            return KV_BAD_YEAR;
    } else if (n < found && p->found_date[n] == YY_FTe) {
        const long yy = Whole(item(n++), &zero);
        if (yy == 0 && !zero)
            return KV_BAD_YEAR;
        // Without a YY_OFFSET a two-digit year has no century.
        if (kv_reader_year.offset < 1)
            return KV_NO_YY_OFFSET;
        if (kv_reader_year.increasing && yy < kv_reader_year.last_yy) {
            KveAlertBox("Warning", "Century boundary detected");
            kv_reader_year.offset += 100;
        }
        kv_reader_year.last_yy = yy;
        *year = yy + kv_reader_year.offset;
    }
    if (n >= found)
        return 0;
    if (p->found_date[n] == DOY_FTe) {
        const long doy = Whole(item(n++), &zero);
        const int status = KvYearDoyToDate(*year, doy, month, day);
        return n < found ? KV_DATE_ITEMS_LEFT : status;
    }
    if (p->found_date[n] == MON_FTe) {
        std::string name = item(n++);
        for (char &ch : name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        long m = 0;
        for (long k = 1; k <= 12 && m == 0; ++k)
            if (name.compare(0, 3, kMonths[k]) == 0)
                m = k;
        if (m == 0 && name.compare(0, 3, "JLY") == 0)
            m = 7;
        if (m == 0)
            return KV_BAD_MONTH_NAME;
        *month = m;
    } else if (p->found_date[n] == MO_FTe) {
        *month = Whole(item(n++), &zero);
        if (*month < 1 || *month > 12)
            return KV_BAD_MONTH;
    }
    if (n >= found)
        return 0;
    *day = Whole(item(n), &zero);
    // A day beyond its month (31 April) is as wrong as day 32.
    const long limit = *month >= 1 && *month <= 12 ? kve_days_in_month[Leap(*year) ? 1 : 0][*month] : 31;
    if (*day < 1 || *day > limit)
        return KV_BAD_DAY;
    return 0;
}

int KvFTGetMsecs(const KvFTpacket *pk, const char *text, double *msecs)
{
    const KvFTParser &p = pk->ft_parser_s;
    double sum = 0.0;
    for (int32_t n = 0; n < p.n_found_time && n < 9; ++n) {
        const std::string item = Item(text, p.time_start_in_FT[n], p.time_width_in_FT[n]);
        sum += std::strtod(item.c_str(), nullptr) * pk->time2msecs_factors_adjusted[n];
    }
    *msecs = sum;
    return 0;
}

double KvFTComputeEpoch(long year, long month, long day, double msecs)
{
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0 || year > 9999)
        return -1.0;
    return kcdf::ComputeEpoch(year, month, day, 0, 0, 0, 0) + msecs;
}

int KvFTtoEPOCH(KvFTpacket *pk, const char *text)
{
    long year = 0, month = 0, day = 0;
    if (const int status = KvFTGetDate(&pk->ft_parser_s, text, &year, &month, &day); status != 0)
        return status;
    double msecs = 0.0;
    KvFTGetMsecs(pk, text, &msecs);
    pk->epoch.tsince0 = KvFTComputeEpoch(year, month, day, msecs);
    return 0;
}
