// Calendar conversions, Julian days and epoch seconds, across leap years,
// year ends and midnight.
#include "Qnurv_utils.h"
#include "support.h"

#include <cmath>
#include <limits>

namespace {

struct DoyCase {
    const char *name;
    int year, doy, month, day;
};

class YearDoyToDate : public testing::TestWithParam<DoyCase> {};

TEST_P(YearDoyToDate, GivesMonthAndDay)
{
    const DoyCase &c = GetParam();
    int month = 0, day = 0;
    QanYearDoyToDate(c.year, c.doy, &month, &day);
    EXPECT_EQ(c.month, month);
    EXPECT_EQ(c.day, day);
    if (c.month > 0) {
        int doy = 0;
        QanDateToYearDoy(c.year, month, day, &doy);
        EXPECT_EQ(c.doy, doy) << "back to the day of year";
    }
}

INSTANTIATE_TEST_SUITE_P(Calendar, YearDoyToDate,
                         testing::Values(DoyCase{"LeapDay2000", 2000, 60, 2, 29},
                                         DoyCase{"Century1900IsCommon", 1900, 60, 3, 1},
                                         DoyCase{"Day366Of1900", 1900, 366, -1, -1},
                                         DoyCase{"Day366Of2004", 2004, 366, 12, 31},
                                         DoyCase{"Day365Of2001", 2001, 365, 12, 31},
                                         DoyCase{"Day366Of2001", 2001, 366, -1, -1},
                                         DoyCase{"FirstDay", 2001, 1, 1, 1},
                                         DoyCase{"DayZero", 2001, 0, -1, -1},
                                         DoyCase{"NegativeDay", 2001, -5, -1, -1},
                                         DoyCase{"Year2400IsLeap", 2400, 366, 12, 31}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DateToYearDoy, CountsFromTheMonthTable)
{
    int doy = 0;
    QanDateToYearDoy(2004, 3, 1, &doy);
    EXPECT_EQ(61, doy);
    QanDateToYearDoy(2003, 3, 1, &doy);
    EXPECT_EQ(60, doy);
    QanDateToYearDoy(2001, 1, 40, &doy);
    EXPECT_EQ(40, doy) << "the day is not checked";
    QanDateToYearDoy(2001, 0, 1, &doy);
    EXPECT_EQ(-1, doy);
    QanDateToYearDoy(2001, 13, 1, &doy);
    EXPECT_EQ(-1, doy);
}

TEST(JulianDay, KnownDays)
{
    EXPECT_EQ(2451545, JulianDay(2000, 1, 1));
    EXPECT_EQ(1721060, JulianDay(0, 1, 1));
    EXPECT_EQ(2440588, JulianDay(1970, 1, 1));
    EXPECT_EQ(2453065, JulianDay(2004, 2, 29));
    EXPECT_EQ(JulianDay(2004, 2, 29) + 1, JulianDay(2004, 3, 1));
    EXPECT_EQ(JulianDay(2003, 12, 31) + 1, JulianDay(2004, 1, 1));
}

TEST(EpochSecs, ScaleAndRejectedFields)
{
    EXPECT_DOUBLE_EQ(0.0, QEpochSecs(0, 1, 1, 0, 0, 0, 0));
    EXPECT_DOUBLE_EQ((2451545.0 - 1721060.0) * 86400.0, QEpochSecs(2000, 1, 1, 0, 0, 0, 0));
    EXPECT_DOUBLE_EQ(QEpochSecs(2000, 1, 1, 0, 0, 0, 0) + 3723.5, QEpochSecs(2000, 1, 1, 1, 2, 3, 500));
    const int bad[][7] = {{2000, 1, 1, 24, 0, 0, 0}, {2000, 1, 1, 0, 0, 0, 1000}, {2000, 1, 0, 0, 0, 0, 0},
                          {2000, 13, 1, 0, 0, 0, 0}, {-1, 1, 1, 0, 0, 0, 0},    {10000, 1, 1, 0, 0, 0, 0},
                          {2000, 1, 1, 0, 60, 0, 0}, {2000, 1, 1, 0, 0, 60, 0}, {2000, 1, 1, 0, 0, -1, 0}};
    for (const auto &b : bad)
        EXPECT_EQ(-1.0, QEpochSecs(b[0], b[1], b[2], b[3], b[4], b[5], b[6]))
            << b[0] << "-" << b[1] << "-" << b[2] << " " << b[3] << ":" << b[4] << ":" << b[5] << "." << b[6];

    NURV_TIME_S bad_day{2001, 366, 0, 0};
    EXPECT_EQ(-1.0, nurv_time_to_epoch_secs(&bad_day));
}

struct RoundTripCase {
    const char *name;
    int year, doy, hour, minute, second, msec;
};

class EpochRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(EpochRoundTrip, KeepsDaySecondAndMillisecond)
{
    const RoundTripCase &c = GetParam();
    NURV_TIME_S t;
    to_nurv_time(c.year, c.doy, c.hour, c.minute, c.second, c.msec * 1000000, &t);
    const double secs = nurv_time_to_epoch_secs(&t);
    ASSERT_GT(secs, 0.0);
    NURV_TIME_S back;
    epoch_secs_to_nurv_time(secs, &back);
    EXPECT_EQ(t.year, back.year);
    EXPECT_EQ(t.doy, back.doy);
    EXPECT_EQ(t.sec, back.sec);
    EXPECT_NEAR(t.nano, back.nano, 10000) << "within 10 microseconds";
}

INSTANTIATE_TEST_SUITE_P(Times, EpochRoundTrip,
                         testing::Values(RoundTripCase{"LastMillisecondOf2001", 2001, 365, 23, 59, 59, 999},
                                         RoundTripCase{"LastMillisecondOfLeap2000", 2000, 366, 23, 59, 59, 999},
                                         RoundTripCase{"Midnight2004", 2004, 1, 0, 0, 0, 0},
                                         RoundTripCase{"LeapDayNoon", 2004, 60, 12, 0, 0, 0},
                                         RoundTripCase{"MarchFirstOf1900", 1900, 60, 0, 0, 0, 1},
                                         RoundTripCase{"JustAfterEpochStart", 0, 1, 0, 0, 1, 0},
                                         RoundTripCase{"Year9999", 9999, 365, 23, 59, 59, 999}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EpochToTime, NonPositiveAndUnusableSecondsGiveZeros)
{
    for (double s : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     1e300}) {
        NURV_TIME_S t{1, 2, 3, 4};
        epoch_secs_to_nurv_time(s, &t);
        EXPECT_EQ(0, t.year) << s;
        EXPECT_EQ(0, t.doy) << s;
        EXPECT_EQ(0, t.sec) << s;
        EXPECT_EQ(0, t.nano) << s;
    }
}

// Times a hair either side of a second, minute or day boundary: the day, the
// time of day and the nanoseconds must describe one instant.
TEST(EpochToTime, BoundariesNeverSplitTheInstant)
{
    const double midnight = QEpochSecs(2004, 1, 1, 0, 0, 0, 0);
    for (double base : {midnight, midnight + 60.0, midnight + 3600.0, midnight + 1.0}) {
        for (int ulps = -8; ulps <= 8; ++ulps) {
            double s = base;
            for (int k = 0; k < std::abs(ulps); ++k)
                s = std::nextafter(s, ulps < 0 ? 0.0 : 1e30);
            NURV_TIME_S t;
            epoch_secs_to_nurv_time(s, &t);
            const double back = nurv_time_to_epoch_secs(&t) + (t.nano % 1000000) * 1e-9;
            EXPECT_NEAR(s, back, 1e-3) << "base " << base << " moved by " << ulps << " ulps: " << t.year << "/"
                                       << t.doy << " " << t.sec << " s " << t.nano << " ns";
        }
    }
}

TEST(AddSecs, CrossesYearEndsAndDropsSubMilliseconds)
{
    NURV_TIME_S t{2001, 365, 3600, 0};
    add_secs_to_nurv_time(&t, 86400.0f);
    EXPECT_EQ(2002, t.year);
    EXPECT_EQ(1, t.doy);
    EXPECT_EQ(3600, t.sec);

    NURV_TIME_S leap{2004, 1, 0, 0};
    add_secs_to_nurv_time(&leap, -1.0f);
    EXPECT_EQ(2003, leap.year);
    EXPECT_EQ(365, leap.doy);
    EXPECT_EQ(86399, leap.sec);

    NURV_TIME_S fine{2003, 100, 50, 123456789};
    add_secs_to_nurv_time(&fine, 0.0f);
    EXPECT_EQ(50, fine.sec);
    EXPECT_NEAR(123000000, fine.nano, 10000);
}

TEST(TimeRecords, CompareAndSubtract)
{
    const NURV_TIME_S later_year{2004, 1, 0, 0}, earlier_year{2003, 365, 86399, 999999999};
    EXPECT_EQ(T1_LATER, compare_nurv_time(&later_year, &earlier_year));
    EXPECT_EQ(T2_LATER, compare_nurv_time(&earlier_year, &later_year));
    EXPECT_EQ(SAME_TIME, compare_nurv_time(&later_year, &later_year));
    const NURV_TIME_S nano_later{2004, 1, 0, 1};
    EXPECT_EQ(T1_LATER, compare_nurv_time(&nano_later, &later_year));

    const NURV_TIME_S d = t1_minus_t2(&later_year, &earlier_year);
    EXPECT_EQ(1, d.year);
    EXPECT_EQ(-364, d.doy);
    EXPECT_EQ(-86399, d.sec);
    EXPECT_EQ(-999999999, d.nano);
}

TEST(TimeRecords, Prints)
{
    const NURV_TIME_S t{2003, 45, 47655, 99};
    testing::internal::CaptureStdout();
    print_nurv_time(&t);
    EXPECT_EQ("2003/ 45 13:14:15 (47655 secs in day) and 99 nanosecs", testing::internal::GetCapturedStdout());
}

} // namespace
