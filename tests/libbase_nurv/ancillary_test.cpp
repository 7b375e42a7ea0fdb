// Ancillary sources: the overlap weighting on synthetic spans, and each kind
// end to end on files: pitch angles from a finely sampled field, the same
// values whether the matching reuses converted records and the shared field
// or works each step and sensor out anew, the potential with its fallback
// and its switch to the next file, attitude angles, the start of spin, the
// rebuild on a change of description, and sources that cannot be used.
#include "ancillary_fixture.h"
#include "description_fixture.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace {

using namespace archive_test;

// ---- Overlap weighting -----------------------------------------------------------

time_span Span(int byear, int bday, long bms, int eyear, int eday, long ems)
{
    time_span t{};
    t.byear = static_cast<KOMBRA_SHORT>(byear);
    t.bday = static_cast<KOMBRA_SHORT>(bday);
    t.bmilli = bms;
    t.eyear = static_cast<KOMBRA_SHORT>(eyear);
    t.eday = static_cast<KOMBRA_SHORT>(eday);
    t.emilli = ems;
    return t;
}

TEST(Overlap, ShareOfTheStepTheRecordCovers)
{
    const time_span step = Span(2003, 32, 10, 2003, 32, 20);
    const struct {
        const char *what;
        time_span step, record;
        float fraction;
    } cases[] = {
        {"covers", step, Span(2003, 32, 0, 2003, 32, 30), 1.0f},
        {"first half", step, Span(2003, 32, 0, 2003, 32, 15), 0.5f},
        {"second half", step, Span(2003, 32, 15, 2003, 32, 30), 0.5f},
        {"inside", step, Span(2003, 32, 12, 2003, 32, 14), 0.2f},
        {"begins inside, ends at the end", step, Span(2003, 32, 12, 2003, 32, 20), 0.8f},
        {"ends where the step begins", step, Span(2003, 32, 0, 2003, 32, 10), -1.0f},
        {"begins where the step ends", step, Span(2003, 32, 20, 2003, 32, 30), -1.0f},
        {"in a gap after it", step, Span(2003, 32, 25, 2003, 32, 30), -1.0f},
        {"a step of no length", Span(2003, 32, 10, 2003, 32, 10), Span(2003, 32, 0, 2003, 32, 30), -1.0f},
        {"over midnight", Span(2003, 32, 86399995, 2003, 33, 5), Span(2003, 32, 86399990, 2003, 33, 0), 0.5f},
        {"over the year's end", Span(2003, 365, 86399995, 2004, 1, 5), Span(2004, 1, 0, 2004, 1, 100), 0.5f},
        {"day 366 of a common year is next year's first", Span(2003, 365, 86399995, 2003, 366, 5),
         Span(2004, 1, 0, 2004, 1, 100), 0.5f},
    };
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(c.fraction, ir_overlap_fraction(c.step, c.record)) << c.what;
}

// A record's begin against a step's: compared as one instant, the year
// first, then the day, the milliseconds and the nanoseconds.
TEST(Overlap, RecordBeginAgainstTheStep)
{
    const time_span step = Span(2003, 365, 86399995, 2004, 1, 5);
    const struct {
        const char *what;
        int year, day;
        long ms, ns;
        KOMBRA_SHORT start;  // ir_frac_start_time
        bool ends_before;    // ir_check_time_range
    } cases[] = {
        {"same begin", 2003, 365, 86399995, 0, 2, false},
        {"a nanosecond later", 2003, 365, 86399995, 1, 3, false},
        {"earlier the same day", 2003, 365, 10, 0, 1, false},
        {"a day earlier with more milliseconds", 2003, 364, 86399999, 999999, 1, false},
        {"next year, inside the step", 2004, 1, 0, 0, 3, false},
        {"at the step's end", 2004, 1, 5, 0, 3, false},
        {"a nanosecond after the step's end", 2004, 1, 5, 1, 3, true},
    };
    for (const auto &c : cases) {
        const auto year = static_cast<KOMBRA_SHORT>(c.year), day = static_cast<KOMBRA_SHORT>(c.day);
        EXPECT_EQ(c.start, ir_frac_start_time(step, year, day, c.ms, c.ns)) << c.what;
        EXPECT_EQ(c.ends_before, ir_check_time_range(step, year, day, c.ms, c.ns)) << c.what;
    }
}

// The field components read one record: component 0 gives the record times,
// the fraction and the read state; the later ones take them over.
TEST(Overlap, LaterFieldComponentsFollowTheFirst)
{
    pitch_info p{};
    nur_data records[3] = {};
    for (int c = 0; c < 3; ++c)
        p.nur_data_ptr[c] = &records[c];
    const time_span step = Span(2003, 32, 10, 2003, 32, 20);
    const auto record = [&](long begin, long end) {
        records[0].byear = records[0].eyear = 2003;
        records[0].bday = records[0].eday = 32;
        records[0].bmilli = begin;
        records[0].emilli = end;
        ir_same_pitch_time(&p, 1, 0);
        for (int c = 1; c < 3; ++c)
            ir_same_pitch_time(&p, 0, static_cast<KOMBRA_SHORT>(c));
    };

    // The record reaches past the step: it also serves the next step.
    record(15, 30);
    EXPECT_EQ(15, records[2].bmilli);
    EXPECT_EQ(30, records[2].emilli);
    for (int c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(0.5f, ir_pitch_time_frac(&p, step, static_cast<KOMBRA_SHORT>(c))) << c;
        EXPECT_EQ(0, p.next_data[c]) << c;
        EXPECT_EQ(1, p.all_done[c]) << c;
    }

    // It ends inside the step: another record is needed, and each
    // component keeps its own all_done.
    p.all_done[0] = p.all_done[1] = 0;
    p.all_done[2] = 1;
    record(12, 18);
    EXPECT_EQ(0, p.last_comp_frac);
    for (int c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(0.6f, ir_pitch_time_frac(&p, step, static_cast<KOMBRA_SHORT>(c))) << c;
        EXPECT_EQ(1, p.next_data[c]) << c;
    }
    EXPECT_EQ(0, p.all_done[1]);
    EXPECT_EQ(1, p.all_done[2]);
}

// ---- Pitch angles --------------------------------------------------------------

constexpr int kMagStart = 14 * kHour - 1000;  // one second before the main data
constexpr int kMagCadence = 2;                 // five field records per 10-ms step

int Field(int i, int component)
{
    switch (component) {
    case 0: return i % 50 - 25;
    case 1: return 100;
    default: return -20 + i % 7;
    }
}

// The field of the step [begin, begin + 10 ms): the mean of its five
// records, less those of a component that hold the fill value (their share
// of the step is not covered).
std::array<double, 3> MeanField(long long begin, const std::function<int(int, int)> &value)
{
    std::array<double, 3> mean{};
    const int first = static_cast<int>((begin - kMagStart) / kMagCadence);
    for (int c = 0; c < 3; ++c) {
        int present = 0;
        for (int i = first; i < first + 5; ++i)
            if (value(i, c) != 65535) {
                mean[static_cast<size_t>(c)] += value(i, c);
                ++present;
            }
        mean[static_cast<size_t>(c)] /= present;
    }
    return mean;
}

// The angle between the field and the normal (+z for sensor 0, +x for 1).
double PitchOf(const std::array<double, 3> &b, int sensor)
{
    const double length = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    return std::acos(-(sensor == 0 ? b[2] : b[0]) / length) / 0.017453292519943;
}

// Five field records a step, every one whole, or the y component of one of
// them the fill value: the step's y is then the others' sum divided by the
// four fifths of the step they cover.
struct StepFieldCase {
    const char *name;
    int fillInStep;  // the record (0 to 4) of each step whose y is the fill value; -1: none
};
void PrintTo(const StepFieldCase &c, std::ostream *os)
{
    *os << c.name;
}
class StepFieldTest : public AncillaryTest, public ::testing::WithParamInterface<StepFieldCase> {};

TEST_P(StepFieldTest, PitchAnglesFromTheFieldAveragedOverEachStep)
{
    const StepFieldCase &c = GetParam();
    const auto value = [&c](int i, int component) {
        // Steps begin at whole multiples of five records.
        return component == 1 && c.fillInStep >= 0 && i % 5 == c.fillInStep ? 65535 : Field(i, component);
    };
    AddMain(MainDescription({.pitch = true}));
    AddAuxDescription(Aux::MAG);
    AddAux(Aux::MAG, kMagStart, AuxFiles(Aux::MAG, kMagStart, 4000, kMagCadence, kMagCadence, value), kMagCadence);
    OpenMain();
    KOMBRA_USHORT status = 9;
    KOMBRA_ULONG field_key = 0;
    ASSERT_STATUS(1, pitch_angle_source_status(kKey, "", vnum, &status, &field_key));
    EXPECT_EQ(1, status);
    EXPECT_EQ(KeyOf(Aux::MAG), field_key);

    for (int k = 0; k < 3; ++k) {
        for (int sensor = 0; sensor < kSensors; ++sensor) {
            ASSERT_STATUS(1, Read(sensor, sensor == kSensors - 1));
            ASSERT_EQ(kSteps, rec->num_pitch) << "record " << k;
            const long long time = 14 * kHour + 1000LL * k;
            for (int s = 0; s < kSteps; ++s) {
                // Both sensors take the step times of the record's first read.
                const auto b = MeanField(time + kStepMs * s, value);
                EXPECT_NEAR(PitchOf(b, sensor), rec->pitch_angles[s], 1e-3) << "record " << k << " step " << s;
                const double length = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
                for (int n = 0; n < 3; ++n)
                    EXPECT_NEAR(b[static_cast<size_t>(n)] / length, rec->dir_cosines->dir_cos123[3 * s + n], 1e-6);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StepFields, StepFieldTest,
                         ::testing::Values(StepFieldCase{"EveryRecordWhole", -1},
                                           StepFieldCase{"OneRecordOfEachStepWithoutY", 2}),
                         [](const auto &info) { return std::string(info.param.name); });

// A field along a sensor's normal, against it, across it, of no length, or
// with a component missing.
TEST_F(AncillaryTest, PitchAngleOfSpecialFields)
{
    pitch_info p{};
    double normals[6] = {0, 0, 1, 0, 0, 0}, magnitudes[2] = {1, 0};
    double field[15] = {0, 0, -5, 0, 0, 5, 3, 0, 0, 0, 0, 0, 1, 2, -3.4e38};
    double angles[15] = {};
    p.unit_normals = normals;
    p.mag_normal = magnitudes;
    p.data_val = field;
    p.start_az = p.stop_az = p.start_theta = p.stop_theta = angles;
    KOMBRA_FLOAT out[5] = {};
    KOMBRA_FLOAT block[75] = {};
    direction_cos dc{block, block + 15, block + 30, block + 45, block + 60, nullptr};
    ir_compute_pitch_angle(&p, out, 0, 5, &dc);
    EXPECT_NEAR(0.0, out[0], 1e-4);    // against the normal
    EXPECT_NEAR(180.0, out[1], 1e-4);  // along it
    EXPECT_NEAR(90.0, out[2], 1e-4);   // across it
    EXPECT_EQ(IR_MISSING_VALUE, out[3]);  // no field
    EXPECT_EQ(IR_MISSING_VALUE, out[4]);  // a component missing
    EXPECT_EQ(IR_MISSING_VALUE, block[12]);
    ir_compute_pitch_angle(&p, out, 1, 1, nullptr);  // a normal of no length
    EXPECT_EQ(IR_MISSING_VALUE, out[0]);
}

// ---- One conversion per record, one field per acquisition --------------------------

// Field (MAG) and potential (EFW) files alike: records of cadence ms, each
// one sample as long, from start ms after 14:00 on.
struct AuxSpan {
    int start, count;
};
struct ReuseCase {
    const char *name;
    int cadence;
    std::vector<AuxSpan> files;
    int gapFrom = 0, gapTo = 0;  // records [gapFrom, gapTo) of the first file left out
    int fillAt = -1;             // record of the first file whose y component is the fill value
    int onlyComponent = -1;      // when set, the one component that changes from record to record
};
void PrintTo(const ReuseCase &c, std::ostream *os)
{
    *os << c.name;
}

// One read of the main set: its status and every value delivered, as bits.
struct Delivery {
    std::string where;
    KOMBRA_SHORT status = 0;
    std::vector<std::uint32_t> pitch, field, potential;
    bool operator==(const Delivery &) const = default;
};

std::vector<std::uint32_t> Bits(const KOMBRA_FLOAT *v, long long n)
{
    std::vector<std::uint32_t> bits;
    for (long long i = 0; i < n; ++i)
        bits.push_back(std::bit_cast<std::uint32_t>(v[i]));
    return bits;
}

class ReuseTest : public AncillaryTest, public ::testing::WithParamInterface<ReuseCase> {
protected:
    // Reads the four main records sensor by sensor, sensor 0 twice (the
    // second time from the values already acquired).
    std::vector<Delivery> ReadAll(bool reuse)
    {
        ir_match_reuse = reuse;
        free_experiment_info();
        init_nurv();
        NewReader();
        EXPECT_STATUS(1, Open(32, 14 * 3600, 0));
        EXPECT_STATUS(1, Position(32, 14 * 3600, 0));
        std::vector<Delivery> all;
        for (int k = 0; k < 4; ++k)
            for (const int sensor : {0, 1, 0, 1}) {
                Delivery d;
                d.where = "record " + std::to_string(k) + " sensor " + std::to_string(sensor);
                d.status = Read(sensor, all.size() % 4 == 3);
                d.pitch = Bits(rec->pitch_angles, rec->num_pitch);
                const direction_cos &dc = *rec->dir_cosines;
                for (const KOMBRA_FLOAT *a : {dc.dir_cos123, dc.start_az123, dc.stop_az123, dc.start_theta123,
                                              dc.stop_theta123})
                    std::ranges::copy(Bits(a, 3LL * rec->num_pitch), std::back_inserter(d.field));
                d.potential = Bits(rec->potential, rec->num_potential);
                all.push_back(d);
            }
        const experiment_info &ex = Main();
        Delivery sources;
        sources.where = "source states";
        sources.pitch = {static_cast<std::uint32_t>(ex.pitch_angles->file_status)};
        sources.potential = {static_cast<std::uint32_t>(ex.potential->file_status)};
        all.push_back(sources);
        return all;
    }
};

TEST_P(ReuseTest, EveryValueAsWhenEachStepConvertsAndEachSensorComputes)
{
    const ReuseCase &c = GetParam();
    AddMain(MainDescription({.pitch = true, .potential = true}));
    for (const Aux a : {Aux::MAG, Aux::EFW}) {
        AddAuxDescription(a);
        for (size_t f = 0; f < c.files.size(); ++f) {
            const int start = 14 * kHour + c.files[f].start;
            const auto value = [&c, f](int i, int s) {
                if (f == 0 && i == c.fillAt && s == 1)
                    return 65535;
                if (c.onlyComponent >= 0 && s != c.onlyComponent)
                    return s * 11 - 20;
                return static_cast<int>(f * 500) + (i * 37 + s * 11) % 90 - 45;
            };
            const auto skip = [&c, f](int i) { return f == 0 && i >= c.gapFrom && i < c.gapTo; };
            AddAux(a, start, AuxFiles(a, start, c.files[f].count, c.cadence, c.cadence, value, skip), c.cadence);
        }
    }
    WriteCatalog();
    const std::vector<Delivery> plain = ReadAll(false), reused = ReadAll(true);
    ASSERT_EQ(plain.size(), reused.size());
    for (size_t i = 0; i < plain.size(); ++i)
        EXPECT_TRUE(plain[i] == reused[i]) << plain[i].where;
    // Not a comparison of nothing: some field reached the angles.
    EXPECT_TRUE(std::ranges::any_of(reused, [](const Delivery &d) {
        return std::ranges::any_of(d.pitch, [](std::uint32_t b) { return std::bit_cast<float>(b) >= 0; });
    }));
}

INSTANTIATE_TEST_SUITE_P(
    FieldLayouts, ReuseTest,
    ::testing::Values(ReuseCase{"RecordsOverSeveralSteps", 25, {{-1000, 250}}},
                      ReuseCase{"SeveralRecordsPerStep", 2, {{-1000, 2600}}},
                      ReuseCase{"RecordsOverSeveralMainRecords", 1500, {{-1000, 5}}},
                      ReuseCase{"NextFileBeginsInsideAStep", 25, {{-1000, 81}, {1027, 150}}},
                      ReuseCase{"DataEndInsideTheSecondRecord", 25, {{-1000, 85}}},
                      ReuseCase{"GapsAndFillValues", 25, {{-1000, 250}}, 40, 46, 81},
                      ReuseCase{"OnlyTheLastComponentChanges", 25, {{-1000, 250}}, 0, 0, -1, 2}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Spacecraft potential ---------------------------------------------------------

// EFW: 20-ms records valued by their number in file A up to 14:00:02.020,
// inside the third main record, then 1-ms records in file B from there
// (valued 1000 and up) with a gap over the fourth main record.  B is read
// from 1 ms after A's end, so its first record is passed over; where no
// value is present the constant 5 stands in.
TEST_F(AncillaryTest, PotentialFollowsItsFilesAndFillsGaps)
{
    AddMain(MainDescription({.potential = true}));
    AddAuxDescription(Aux::EFW);
    const int a_start = 14 * kHour - 1000, b_start = 14 * kHour + 2020;
    // Record 100 holds the fill value: missing, it adds nothing.
    AddAux(Aux::EFW, a_start,
           AuxFiles(Aux::EFW, a_start, 151, 20, 20, [](int i, int) { return i == 100 ? 65535 : i; }), 20);
    AddAux(Aux::EFW, b_start,
           AuxFiles(Aux::EFW, b_start, 2000, 1, 1, [](int i, int) { return 1000 + i; },
                    [](int i) { return i >= 980 && i < 1980; }),
           1);
    OpenMain();
    const std::vector<std::vector<float>> expected = {
        {50, 50, 51, 51}, {5, 5, 101, 101}, {150, 150, 1005, 1014.5f}, {5, 5, 5, 5}};
    for (size_t k = 0; k < expected.size(); ++k) {
        for (int sensor = 0; sensor < kSensors; ++sensor) {
            const KOMBRA_SHORT status = Read(sensor, sensor == kSensors - 1);
            ASSERT_TRUE(status == 1 || status == 12) << status;
            ASSERT_EQ(kSteps, rec->num_potential) << "record " << k;
            for (int s = 0; s < kSteps; ++s)
                EXPECT_FLOAT_EQ(expected[k][static_cast<size_t>(s)], rec->potential[s]) << "record " << k << ", " << s;
        }
    }
    ASSERT_EQ(1, ir_locate_ex(kKey, "", vnum, 0));
    EXPECT_EQ(1, ginfo.expt->potential->file_status);
}

// No catalogued file for the source: the main set reads as it would
// without one, and kind 9 gives missing values.
TEST_F(AncillaryTest, SourceWithoutFilesLeavesTheMainSetAlone)
{
    AddMain(MainDescription({.potential = true, .spin = true}));
    AddAuxDescription(Aux::EFW);
    AddAuxDescription(Aux::SPIN);
    OpenMain();
    const experiment_info &ex = Main();
    EXPECT_EQ(1200, ex.potential->file_status);
    EXPECT_EQ(1200, ex.spin_src->file_status);
    ASSERT_STATUS(1, Read(0, false));
    EXPECT_EQ(0, rec->num_potential);
    EXPECT_EQ(SweepBegin(14 * kHour, 0), rec->bmilli);
}

// ---- Attitude and start of spin ---------------------------------------------------

TEST_F(AncillaryTest, AttitudeAnglesWhenAskedAndTheSpinSourcePositioned)
{
    AddMain(MainDescription({.attitude = true, .spin = true}));
    AddAuxDescription(Aux::ATT);
    AddAuxDescription(Aux::SPIN);
    const int start = 14 * kHour - 1000;
    AddAux(Aux::ATT, start, AuxFiles(Aux::ATT, start, 60, 100, 100, [](int i, int j) { return 10 * j + i; }), 100);
    AddAux(Aux::SPIN, start, AuxFiles(Aux::SPIN, start, 20, 4000, 10, [](int i, int) { return i; }), 10);
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
    Main().return_euler_angles = sTrue;
    ASSERT_STATUS(1, Position(32, 14 * 3600, 0));
    EXPECT_EQ(1, Main().spin_method);
    ASSERT_EQ(1, ir_locate_ex(KeyOf(Aux::SPIN), "", Main().spin_src->version, 0));
    EXPECT_EQ(1, ginfo.expt->fnext);
    EXPECT_EQ(4, ginfo.expt->mode_done);

    ASSERT_STATUS(1, Read(0, false));
    ASSERT_EQ(3, rec->num_euler);
    // The record at 14:00:01 lies in attitude record 10 for all its steps.
    ASSERT_STATUS(1, Read(1, true));
    ASSERT_STATUS(1, Read(0, false));
    for (int s = 0; s < kSteps; ++s)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(10 * j + 20, rec->euler_angles[3 * s + j]) << "step " << s << " angle " << j;
    EXPECT_EQ((std::vector<KOMBRA_SHORT>{0, 0, 1}), std::vector<KOMBRA_SHORT>(rec->euler_rot_axis, rec->euler_rot_axis + 3));

    // Not asked for: nothing delivered although the source is there.
    Main().return_euler_angles = sFalse;
    ASSERT_STATUS(1, Read(1, false));
    EXPECT_EQ(0, rec->num_euler);
}

// ---- A change of description ------------------------------------------------------

// The sources of the old description are torn down and set up again for the
// new one, positioned at the first record past the old description's end.
TEST_F(AncillaryTest, ChangeOfDescriptionRebuildsTheSources)
{
    const int change = 14 * kHour + 1500;
    AddFiles(14 * kHour, Files(0, 14 * kHour, 4));
    AddDescription({2003, 1, 0}, {2003, 32, change}, MainDescription({.pitch = true}, 20, {2003, 1, 0}, {2003, 32, change}));
    AddDescription({2003, 32, change}, {2004, 1, 0}, MainDescription({.pitch = true}, 30, {2003, 32, change}));
    AddAuxDescription(Aux::MAG);
    AddAux(Aux::MAG, kMagStart, AuxFiles(Aux::MAG, kMagStart, 4000, kMagCadence, kMagCadence, Field), kMagCadence);
    OpenMain();
    const KOMBRA_USHORT first_instance = Main().pa_version;
    for (int k = 0; k < 4; ++k) {
        for (int sensor = 0; sensor < kSensors; ++sensor) {
            const KOMBRA_SHORT status = Read(sensor, sensor == kSensors - 1);
            ASSERT_TRUE(status == 1 || status == 12) << status;
            ASSERT_EQ(kSteps, rec->num_pitch) << "record " << k;
            const auto b = MeanField(14 * kHour + 1000LL * k, Field);
            EXPECT_NEAR(PitchOf(b, sensor), rec->pitch_angles[0], 1e-3) << "record " << k << " sensor " << sensor;
        }
    }
    EXPECT_NE(first_instance, Main().pa_version);
    EXPECT_EQ(30.0f, rec->start_theta - 1);  // the new description's polar angle of sensor 1
}

// ---- Constants and unusable sources ---------------------------------------------

class ConstantSources : public DescribedReaderTest {
protected:
    experiment_info &OpenWith(KeldText text)
    {
        experiment_info &ex = Open(text);
        return ex;
    }
    static KOMBRA_SHORT Setup(KOMBRA_SHORT (*setup)(KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG,
                                                    KOMBRA_SHORT, KOMBRA_SHORT, KOMBRA_LONG, KOMBRA_LONG))
    {
        return setup(2003, 32, 0, 0, 2003, 32, 60, 0);
    }
    static KeldText Base()
    {
        HaldeKeldOptions o;
        o.sensors = 2;
        o.constants = 0;
        o.pitchAngle = o.pmi = o.potentialSource = o.startOfSpin = o.tensor = false;
        return HaldeDescription(o);
    }
    static void Constant(KeldText &text, int c, int id, std::vector<long long> values,
                         std::vector<int> scales = {0, 0})
    {
        const std::string p = "Constant" + std::to_string(c) + ".";
        text.Char(p + "id", id).Ints(p + "values", values).Chars(p + "scale", scales);
    }
};

TEST_F(ConstantSources, PitchConstantsAndTheStatusQuery)
{
    KeldText text = Base();
    text.Int("PitchAngle.format", 0).Char("n_consts", 1);
    Constant(text, 0, 11, {30, 45});
    experiment_info &ex = OpenWith(text);
    ex.pa_def = 1;
    ASSERT_STATUS(1, Setup(ir_get_pitch_info));
    EXPECT_EQ(1, ex.pitch_angles->file_status);
    EXPECT_EQ(45.0, ex.pitch_angles->unit_normals[1]);
    KOMBRA_USHORT status = 9;
    KOMBRA_ULONG key = 9;
    ASSERT_STATUS(1, pitch_angle_source_status(0x8000, "AB", 0, &status, &key));
    EXPECT_EQ(1, status);
    EXPECT_EQ(0u, key);

    // Without the constant: unusable, and the query says so.
    free_experiment_info();
    init_nurv();
    text.Char("n_consts", 0);
    experiment_info &again = OpenWith(text);
    again.pa_def = 1;
    ASSERT_STATUS(1, Setup(ir_get_pitch_info));
    EXPECT_EQ(-327, again.pitch_angles->file_status);
    ASSERT_STATUS(1, pitch_angle_source_status(0x8000, "AB", 0, &status, &key));
    EXPECT_EQ(4, status);

    // No source at all.
    again.pa_def = 0;
    ir_free_pitch_angle_data(&again);
    ASSERT_STATUS(1, pitch_angle_source_status(0x8000, "AB", 0, &status, &key));
    EXPECT_EQ(0, status);
    EXPECT_STATUS(NURV_PA_NOT_OPEN, pitch_angle_source_status(0x8001, "AB", 0, &status, &key));
}

TEST_F(ConstantSources, AttitudeConstantsMustMatchTheirCount)
{
    const struct {
        const char *what;
        std::vector<int> ids;  // 12 angle, 13 axis, in order
        int file_status;
    } cases[] = {
        {"three of each", {12, 13, 12, 13, 12, 13}, 1},
        {"a fourth angle", {12, 13, 12, 13, 12, 13, 12}, -479},
        {"a fourth axis", {12, 13, 12, 13, 12, 13, 13}, -480},
        {"two angles", {12, 13, 13, 12, 13}, -477},
        {"two axes", {12, 13, 12, 13, 12}, -478},
    };
    for (const auto &c : cases) {
        free_experiment_info();
        init_nurv();
        KeldText text = Base();
        text.Int("PMI.format", 0).Int("PMI.num_angles", 3).Char("n_consts", static_cast<int>(c.ids.size()));
        for (size_t i = 0; i < c.ids.size(); ++i)
            Constant(text, static_cast<int>(i), c.ids[i], c.ids[i] == 12 ? std::vector<long long>{100 + static_cast<long long>(i), 200}
                                                                           : std::vector<long long>{26, 10},
                     c.ids[i] == 12 ? std::vector<int>{0, 0} : std::vector<int>{-1, -1});
        experiment_info &ex = OpenWith(text);
        ex.euler_def = 1;
        ASSERT_STATUS(1, Setup(ir_get_euler_info));
        EXPECT_EQ(c.file_status, ex.euler_angles->file_status) << c.what;
        if (c.file_status == 1) {
            EXPECT_EQ(3, ex.euler_angles->rot_axis[0]);  // 2.6 rounded
            EXPECT_EQ(1, ex.euler_angles->rot_axis[1]);
            EXPECT_EQ(102.0f, ex.euler_angles->euler_angle[2]);  // angle 1 of sensor 0: the third constant
        }
    }
}

// A table count beyond 127 makes the source unusable, and so does a
// source data set whose steps are not one sample each (smp_id other than
// 2); a format other than 0 and 1 fails the open.
TEST_F(AncillaryTest, UnusableListsAndFormats)
{
    KeldText text = MainDescription({.potential = true});
    text.Int("PotentialSource.num_tbls", 200);
    AddMain(text);
    AddAuxDescription(Aux::EFW);
    OpenMain();
    EXPECT_EQ(-26, Main().potential->file_status);
    ASSERT_STATUS(1, Read(0, false));
    EXPECT_EQ(0, rec->num_potential);

    free_experiment_info();
    init_nurv();
    AddAux(Aux::EFW, 14 * kHour - 1000, AuxFiles(Aux::EFW, 14 * kHour - 1000, 20, 500, 500, [](int i, int) { return i; }),
           500);
    AuxDescription(Aux::EFW).Char("smp_id", 0).Write(AuxDir() + "/" + NurvFileName(Name(Aux::EFW), 2003, 1, 0, 'V') +
                                                      ".v3");
    AddDescription({2003, 1, 0}, {2004, 1, 0}, MainDescription({.potential = true}));
    catalog.descriptionEntries.pop_back();
    WriteCatalog();
    NewReader();
    ASSERT_STATUS(1, Open(32, 14 * 3600, 0));
    EXPECT_EQ(-447, Main().potential->file_status);

    free_experiment_info();
    init_nurv();
    text.Int("PotentialSource.format", 7);
    AddDescription({2003, 1, 0}, {2004, 1, 0}, text);  // replaces the description file
    catalog.descriptionEntries.pop_back();
    WriteCatalog();
    NewReader();
    EXPECT_STATUS(-95, Open(32, 14 * 3600, 0));
}

}  // namespace
