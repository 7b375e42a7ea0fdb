/* Time records: building and comparing them, calendar conversions, Julian
 * days and epoch seconds. */
#include "Qnurv_utils.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

const int qnur_days_in_month[2][13] = {
    {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

namespace {

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

/* Julian day number of 0000-01-01, day 0 of the epoch-seconds scale. */
constexpr long kEpochJulianDay = 1721060;

} // namespace

void to_nurv_time(int year, int doy, int hour, int minute, int second, int nano, NURV_TIME_S *out)
{
    out->year = static_cast<KOMBRA_SHORT>(year);
    out->doy = static_cast<KOMBRA_SHORT>(doy);
    out->sec = static_cast<KOMBRA_LONG>((static_cast<int64_t>(hour) * 60 + minute) * 60 + second);
    out->nano = nano;
}

void to_hms_time(const NURV_TIME_S *t, int *hour, int *minute, int *second, int *nano)
{
    *hour = t->sec / 3600;
    *minute = t->sec / 60 - *hour * 60;
    *second = t->sec - (*minute + *hour * 60) * 60;
    *nano = t->nano;
}

void sec_nano_to_msec_nano(KOMBRA_LONG sec, KOMBRA_LONG nano, KOMBRA_LONG *msec, KOMBRA_LONG *nano_out)
{
    *msec = static_cast<KOMBRA_LONG>(static_cast<int64_t>(sec) * 1000 + nano / 1000000);
    *nano_out = nano % 1000000;
}

void msec_nano_to_sec_nano(KOMBRA_LONG msec, KOMBRA_LONG nano, KOMBRA_LONG *sec, KOMBRA_LONG *nano_out)
{
    *sec = msec / 1000;
    *nano_out = static_cast<KOMBRA_LONG>(static_cast<int64_t>(msec % 1000) * 1000000 + nano);
}

NURV_TIME_S t1_minus_t2(const NURV_TIME_S *t1, const NURV_TIME_S *t2)
{
    NURV_TIME_S d;
    d.year = static_cast<KOMBRA_SHORT>(t1->year - t2->year);
    d.doy = static_cast<KOMBRA_SHORT>(t1->doy - t2->doy);
    d.sec = static_cast<KOMBRA_LONG>(static_cast<int64_t>(t1->sec) - t2->sec);
    d.nano = static_cast<KOMBRA_LONG>(static_cast<int64_t>(t1->nano) - t2->nano);
    return d;
}

NURV_TIME_COMPARE compare_nurv_time(const NURV_TIME_S *t1, const NURV_TIME_S *t2)
{
    const int64_t diffs[] = {t1->year - t2->year, t1->doy - t2->doy, static_cast<int64_t>(t1->sec) - t2->sec,
                             static_cast<int64_t>(t1->nano) - t2->nano};
    for (int64_t d : diffs) {
        if (d > 0)
            return T1_LATER;
        if (d < 0)
            return T2_LATER;
    }
    return SAME_TIME;
}

void QanYearDoyToDate(int year, int doy, int *month, int *day)
{
    const int leap = IsLeap(year) ? 1 : 0;
    if (doy < 1 || doy > (leap ? 366 : 365)) {
        *month = -1;
        *day = -1;
        return;
    }
    int m = 1;
    while (doy > qnur_days_in_month[leap][m]) {
        doy -= qnur_days_in_month[leap][m];
        ++m;
    }
    *month = m;
    *day = doy;
}

void QanDateToYearDoy(int year, int month, int day, int *doy)
{
    if (month < 1 || month > 12) {
        *doy = -1;
        return;
    }
    const int leap = IsLeap(year) ? 1 : 0;
    int64_t sum = day;
    for (int m = 0; m < month; ++m)
        sum += qnur_days_in_month[leap][m];
    *doy = static_cast<int>(sum);
}

long JulianDay(int year, int month, int day)
{
    /* Integer arithmetic truncating toward zero, wide enough for any int. */
    const int64_t y = year, m = month, d = day;
    return static_cast<long>(367 * y - 7 * (y + (m + 9) / 12) / 4 - 3 * ((y + (m - 9) / 7) / 100 + 1) / 4 +
                             275 * m / 9 + d + 1721029);
}

double QEpochSecs(int year, int month, int day, int hour, int minute, int second, int msec)
{
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0 || year > 9999 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return -1.0;
    const double days = static_cast<double>(JulianDay(year, month, day)) - static_cast<double>(kEpochJulianDay);
    return ((days * 24 + hour) * 60 + minute) * 60 + second + msec * 0.001;
}

double nurv_time_to_epoch_secs(const NURV_TIME_S *t)
{
    int month, day, hour, minute, second, nano;
    QanYearDoyToDate(t->year, t->doy, &month, &day);
    to_hms_time(t, &hour, &minute, &second, &nano);
    return QEpochSecs(t->year, month, day, hour, minute, second, nano / 1000000);
}

void epoch_secs_to_nurv_time(double secs, NURV_TIME_S *out)
{
    /* The day, the time of day and the sub-millisecond rest all come from
     * one count of whole milliseconds, so that they cannot disagree where a
     * rounding near a second, minute or day boundary would otherwise put the
     * hour on one side of midnight and the day on the other.  Beyond the
     * year 9999 (or not a number) the time is as invalid as a negative one. */
    const double ms = secs * 1000.0;
    if (!(secs > 0.0) || !(ms < 9999.0 * 366 * 86400000.0)) {
        *out = NURV_TIME_S{0, 0, 0, 0};
        return;
    }
    const double whole_ms = std::floor(ms);
    const auto count = static_cast<int64_t>(whole_ms);
    const int64_t ms_of_day = count % 86400000;
    const long jday = static_cast<long>(count / 86400000) + kEpochJulianDay;

    /* Calendar date from the Julian day number (Fliegel and Van Flandern). */
    long l = jday + 68569;
    const long n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    const long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long j = 80 * l / 2447;
    const int day = static_cast<int>(l - 2447 * j / 80);
    l = j / 11;
    const int month = static_cast<int>(j + 2 - 12 * l);
    const int year = static_cast<int>(100 * (n - 49) + i + l);

    int doy;
    QanDateToYearDoy(year, month, day, &doy);
    const int hour = static_cast<int>(ms_of_day / 3600000);
    const int minute = static_cast<int>(ms_of_day / 60000 % 60);
    const int second = static_cast<int>(ms_of_day / 1000 % 60);
    const int nano = static_cast<int>(ms_of_day % 1000 * 1000000 + static_cast<int64_t>((ms - whole_ms) * 1e6));
    to_nurv_time(year, doy, hour, minute, second, nano, out);
}

void add_secs_to_nurv_time(NURV_TIME_S *t, float secs)
{
    epoch_secs_to_nurv_time(nurv_time_to_epoch_secs(t) + secs, t);
}

void print_nurv_time(const NURV_TIME_S *t)
{
    int hour, minute, second, nano;
    to_hms_time(t, &hour, &minute, &second, &nano);
    std::printf("%4d/%3d %2d:%2d:%2d (%ld secs in day) and %ld nanosecs", t->year, t->doy, hour, minute, second,
                static_cast<long>(t->sec), static_cast<long>(t->nano));
}
