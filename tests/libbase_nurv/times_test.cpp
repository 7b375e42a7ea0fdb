// Sample times and spin azimuths of records read from files of the NURV
// file writer: instrument time units, day and year carries, azimuths of a
// spinning and a resting spacecraft and their wrap into [0, 360).
#include "record_fixture.h"

#include <climits>

namespace {

using namespace kombra_fixtures;

TEST(InstrumentTiming, UnitsOfTenToTheScale)
{
    const struct {
        KOMBRA_LONG value;
        int8_t scale;
        KOMBRA_LONG ms, ns;
    } cases[] = {
        {1500, -6, 1, 500000}, {2, 0, 2000, 0}, {7, -3, 7, 0}, {-1500, -6, -1, -500000},
        {123456789, -9, 123, 456789}, {INT32_MAX, 9, INT32_MAX, 0},  // saturates rather than wraps
    };
    for (const auto &c : cases) {
        KOMBRA_LONG ms = 0, ns = 0;
        ir_instrument_timing(c.value, c.scale, &ms, &ns);
        EXPECT_EQ(c.ms, ms) << c.value << " at " << int{c.scale};
        EXPECT_EQ(c.ns, ns) << c.value << " at " << int{c.scale};
    }
}

TEST(AdjustTime, CarriesWholeDaysIntoTheDate)
{
    KOMBRA_SHORT year = 2004, day = 1;
    KOMBRA_LONG time = -1;
    adjust_time(&year, &day, &time, 1);
    EXPECT_EQ(2003, year);
    EXPECT_EQ(365, day);
    EXPECT_EQ(86399, time);
    time = 2 * 86400000 + 5;
    adjust_time(&year, &day, &time, 0);
    EXPECT_EQ(2004, year);
    EXPECT_EQ(2, day);
    EXPECT_EQ(5, time);
}

// One sensor, one step per header, its azimuth offset a constant.
class AngleTest : public RecordTest {
protected:
    // Reads the record and its times and azimuths; the record's begin year
    // and day come back in the caller record.
    void Read(const NurvHeader &header, const NurvRecord &rec, long long offset, KOMBRA_LONG time_off = 0)
    {
        NurvFiles f;
        f.layout = {.sensors = 1, .levels = 1, .senMode = 1};
        f.headers = {header};
        f.records = {rec};
        f.records[0].hdrOff = {0};
        f.records[0].sets = {{.samples = {0}}};
        f.layout.dataLen = NurvDataLenFor(f.layout, f.records);
        KeldText text = NurvDescription(f.layout, {.constants = 1});
        text.Char("phi_method", 0)
            .Char("Constant0.id", 2)
            .Ints("Constant0.values", {offset})
            .Chars("Constant0.scale", {0})
            .Int("Sensor0.time_offset", time_off);
        OpenFiles(f, &text);
        ASSERT_STATUS(1, Next());
        // The sensor's time offset, as the first record after an open reads it.
        static KOMBRA_LONG offsets[1];
        offsets[0] = time_off;
        ginfo.expt->time_off = offsets;
        ASSERT_STATUS(1, ir_reset_header(record, 0, 1));
        ASSERT_STATUS(1, ir_fill_angle_array(1, 0, record));
        ginfo.expt->time_off = nullptr;
    }
    static NurvHeader OneStep(KOMBRA_LONG accum_us = 62500, int16_t year = 2003, int16_t day = 32)
    {
        return {.year = year, .dayOfYear = day, .timeUnits = -6, .dataAccum = accum_us, .sampIndex = {0},
                .sensorIndex = {0}};
    }
};

// Offset 10, sun pulse at 1000 ms, sample at 1250 ms, spin 4000 ms: 250 ms
// of spin at 0.09 degrees per ms; the stop one sample of 62.5 ms later.
TEST_F(AngleTest, SpinningAzimuthsFromTheSunPulse)
{
    Read(OneStep(), {.time = 1250, .spin = 4000, .sunSen = 1000}, 10);
    EXPECT_EQ(1, record->num_angle);
    EXPECT_FLOAT_EQ(32.5f, record->start_az[0]);
    EXPECT_FLOAT_EQ(38.125f, record->stop_az[0]);
    EXPECT_EQ(1250, record->bmilli);
    EXPECT_EQ(1, record->bsec);
    EXPECT_EQ(250000000, record->bnsec);
}

TEST_F(AngleTest, AnglesOfAnySizeWrapIntoOneTurn)
{
    const NurvRecord atTheSunPulse{.time = 1000, .spin = 4000, .sunSen = 1000};
    Read(OneStep(), atTheSunPulse, -3700);
    EXPECT_EQ(260.0f, record->start_az[0]);
    Read(OneStep(), atTheSunPulse, 720);
    EXPECT_EQ(0.0f, record->start_az[0]);
    Read(OneStep(), atTheSunPulse, 359);
    EXPECT_EQ(359.0f, record->start_az[0]);
    EXPECT_FLOAT_EQ(4.625f, record->stop_az[0]);  // 359 + 5.625, past the turn
    // 2^31 ms of spin at 360 degrees per ms.
    Read(OneStep(), {.time = 1250, .spin = 1, .sunSen = INT32_MIN}, 0);
    EXPECT_LE(0.0f, record->start_az[0]);
    EXPECT_GT(360.0f, record->start_az[0]);
    EXPECT_LE(0.0f, record->stop_az[0]);
    EXPECT_GT(360.0f, record->stop_az[0]);
}

TEST_F(AngleTest, RestingSpacecraftTakesTheSunSensorInHundredths)
{
    Read(OneStep(), {.time = 1250, .spin = 0, .sunSen = 4500}, 10);
    EXPECT_FLOAT_EQ(55.0f, record->start_az[0]);
    EXPECT_FLOAT_EQ(55.0f, record->stop_az[0]);
}

// A time offset before midnight moves the begin to the previous day, on
// day 1 into the previous year; a time past a day's end moves it on.
TEST_F(AngleTest, DayAndYearCarries)
{
    Read(OneStep(62500, 2004, 1), {.time = 1000}, 0, -2000);
    EXPECT_EQ(2003, record->byear);
    EXPECT_EQ(365, record->bday);
    EXPECT_EQ(86399000, record->bmilli);

    Read(OneStep(62500, 2004, 366), {.time = 86400000 + 5}, 0);
    EXPECT_EQ(2005, record->byear);
    EXPECT_EQ(1, record->bday);
    EXPECT_EQ(5, record->bmilli);
}

}  // namespace
