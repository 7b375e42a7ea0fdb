// Header and data records read from files of the NURV file writer: every
// field value by value, every container width with its calibration values,
// sensor sets one after another, tensor headers, end marks and files whose
// sizes do not fit.
#include "record_fixture.h"

#include <string>
#include <vector>

namespace {

using namespace kombra_fixtures;

// Container value k of a calibration array that starts at bit `bit` of
// `array`, w bits wide (after the record's conversion).
KOMBRA_ULONG CalValue(const KOMBRA_UCHAR *array, int bit, KOMBRA_LONG k, int8_t tdw_len)
{
    const int w = ir_container_width(tdw_len);
    if (w < 8)
        return ir_bits_at(array, static_cast<KOMBRA_ULONG>(bit + k * w), w) & (tdw_len == 3 ? 7u : 15u);
    return ir_container_value(array, static_cast<KOMBRA_ULONG>(k), tdw_len);
}

// One sensor set of n steps and sensors columns with every kind of
// calibration array, for words of bits bits.
NurvFiles OneSet(int bits, int n = 3, int sensors = 3)
{
    NurvFiles f;
    f.layout = {.sensors = sensors,
                .levels = 8,
                .maxNss = 2,
                .nano = true,
                .senMode = 3,
                .sensorBits = std::vector<int>(static_cast<size_t>(sensors), bits),
                .calSets = {{.use = 2, .bits = bits, .target = 1, .scope = 1},
                            {.use = 1, .bits = bits, .target = 0, .scope = 1},
                            {.use = 3, .bits = bits, .target = 1, .scope = 0},
                            {.use = 1, .bits = bits, .target = 0, .scope = 0}}};
    NurvHeader h{.dataAccum = 250, .dataLat = 10, .modes = {4, 200}};
    for (int s = 0; s < n; ++s)
        h.sampIndex.push_back(static_cast<int16_t>(s + 1));
    for (int c = 0; c < sensors; ++c) {
        h.sensorIndex.push_back(static_cast<int16_t>(sensors - 1 - c));
        h.dqual.push_back(static_cast<uint8_t>(c + 5));
    }
    f.headers = {h};
    // The largest value a container gives back: 3-bit words are masked to 7.
    const int kept = bits == 3 ? 3 : ir_container_width(static_cast<int8_t>(bits));
    const long long top = (1LL << kept) - 1;
    auto value = [top](long long i) { return (i * 37 + 11) % (top + 1); };
    const NurvCalCounts counts = NurvCalibrationCounts(f.layout, n, sensors);
    NurvSensorSet set;
    for (long long i = 0; i < static_cast<long long>(n) * sensors; ++i)
        set.samples.push_back(value(i));
    for (int i = 0; i < counts.allSwp; ++i)
        set.allCalSwp.push_back(value(100 + i));
    for (int i = 0; i < counts.allSen; ++i)
        set.allCalSen.push_back(value(200 + i));
    for (int i = 0; i < counts.swp; ++i)
        set.calSwpTbl.push_back(value(300 + i));
    for (int i = 0; i < counts.sen; ++i)
        set.calSensor.push_back(value(400 + i));
    f.records = {{.time = 3600000, .spin = -4000, .sunSen = 17, .hdrOff = {0}, .nanoRes = 999, .sets = {set}}};
    return f;
}

TEST_F(RecordTest, FieldsOfARecordAndItsHeader)
{
    const NurvFiles f = OneSet(16);
    experiment_info &ex = OpenFiles(f);
    ASSERT_STATUS(1, Next());
    const ptr_rec &p = Ptr();
    EXPECT_EQ(2003, *p.YEAR);
    EXPECT_EQ(32, *p.DAYOFYEAR);
    EXPECT_EQ(-3, *p.TIME_UNITS);
    EXPECT_EQ(2, *p.I_MODE);
    EXPECT_EQ(250, *p.DATA_ACCUM);
    EXPECT_EQ(10, *p.DATA_LAT);
    EXPECT_EQ(3, *p.N_SEN);
    EXPECT_EQ(3, *p.hdr_fmt1_ptr->N_SAMPLE);
    EXPECT_EQ(3, p.hdr_fmt1_ptr->SAMP_INDEX[2]);
    EXPECT_EQ(0, p.SENSOR_INDEX[2]);
    EXPECT_EQ(7, p.DQUAL[2]);
    EXPECT_EQ(200, p.MODE_INDEX[1]);
    EXPECT_EQ(3600000, *p.TIME);
    EXPECT_EQ(-4000, *p.SPIN);
    EXPECT_EQ(17, *p.SUN_SEN);
    EXPECT_EQ(0, p.HDR_OFF[0]);
    EXPECT_EQ(-1, p.HDR_OFF[1]);
    EXPECT_EQ(1, *p.NSS);
    EXPECT_EQ(999, *p.NANO_RES);
    EXPECT_EQ(-0.09f, p.deg_per_msec);
    EXPECT_EQ(0, p.increasing_angles);
    // Calibration counts: 2 and 3 stored once, 3 x 1 and 3 x 3 per column.
    EXPECT_EQ(2, p.num_all_swp_cal);
    EXPECT_EQ(3, p.num_all_sen_cal);
    EXPECT_EQ(3, p.num_swp_cal);
    EXPECT_EQ(9, p.num_sen_cal);
    EXPECT_EQ(2, ex.CSET_NUM[0]);
    // The record size of the description, and the caller record sized for it.
    EXPECT_EQ(f.records[0].sets.size(), 1u);
    EXPECT_STATUS(1, ir_check_dependent_on_header(record));
    EXPECT_LE(3u * 4, record->data_size);
    EXPECT_EQ(2, record->mode_len);
}

class EveryWidth : public RecordTest, public testing::WithParamInterface<int> {};

// Samples and calibration values of every container width read back as they
// were written, the calibration arrays continuing one bit stream after the
// samples' last whole byte.
TEST_P(EveryWidth, SamplesAndCalibrationValuesReadBack)
{
    const int bits = GetParam();
    const NurvFiles f = OneSet(bits, 5, 3);
    experiment_info &ex = OpenFiles(f);
    ASSERT_STATUS(1, Next());
    const ptr_rec &p = Ptr();
    const NurvSensorSet &set = f.records[0].sets[0];
    for (size_t i = 0; i < set.samples.size(); ++i)
        ASSERT_EQ(set.samples[i], ir_container_value(p.DATA, static_cast<KOMBRA_ULONG>(i), ex.tdw_len))
            << "sample " << i;
    const struct {
        const KOMBRA_UCHAR *array;
        int bit;
        const std::vector<int64_t> &values;
    } arrays[] = {{p.ALL_CAL_SWP, p.all_swp_bit, set.allCalSwp},
                  {p.ALL_CAL_SEN, p.all_sen_bit, set.allCalSen},
                  {p.CAL_SWP_TBL, p.swp_bit, set.calSwpTbl},
                  {p.CAL_SENSOR, p.sen_bit, set.calSensor}};
    for (const auto &a : arrays) {
        ASSERT_NE(nullptr, a.array);
        for (size_t k = 0; k < a.values.size(); ++k)
            ASSERT_EQ(a.values[k], CalValue(a.array, a.bit, static_cast<KOMBRA_LONG>(k), ex.tdw_len))
                << "calibration " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Bits, EveryWidth, testing::Values(1, 2, 3, 4, 6, 8, 12, 16, 20, 32),
                         [](const testing::TestParamInfo<int> &info) { return std::to_string(info.param) + "Bits"; });

// A record of two sensor sets of 1-bit words: the second set begins at the
// whole byte after the first set's calibration values.
TEST_F(RecordTest, SecondSensorSetStartsAtTheNextWholeByte)
{
    NurvFiles f = OneSet(1, 5, 3);
    NurvSensorSet second = f.records[0].sets[0];
    for (auto &v : second.samples)
        v = 1 - v;
    f.records[0].sets.push_back(second);
    f.records[0].hdrOff = {0, 0};
    experiment_info &ex = OpenFiles(f);
    ASSERT_STATUS(1, Next());
    ir_get_time_components();
    ASSERT_STATUS(1, ir_read_drec_time_advance(record, 0, 1, 0));  // sen_mode 3: the next set
    EXPECT_EQ(1, Ptr().cur_sen_set);
    const long long skip = (ex.accum_ss_sz + 7) / 8;
    // 15 sample bits in 2 bytes, then 3 + 5 + 6 + 15 calibration bits in 4.
    EXPECT_EQ(6, skip);
    for (size_t i = 0; i < second.samples.size(); ++i)
        ASSERT_EQ(second.samples[i], ir_container_value(Ptr().DATA + skip, static_cast<KOMBRA_ULONG>(i), 1));
    // The set after the last reads the next record: there is none.
    EXPECT_STATUS(-49, ir_read_drec_time_advance(record, 0, 1, 0));
}

TEST_F(RecordTest, SameHeaderOffsetReadsNoHeader)
{
    NurvFiles f = OneSet(16);
    f.records.push_back(f.records[0]);
    OpenFiles(f);
    ASSERT_STATUS(1, Next());
    ASSERT_STATUS(1, ir_reset_header(record, 0, 1));
    static int reads = 0;
    reads = 0;
    ir_seams.read_header = [](nur_data *d) {
        ++reads;
        return ir_read_header(d);
    };
    ASSERT_STATUS(1, Next());
    EXPECT_EQ(0, reads);
}

// A larger header takes a larger buffer with every pointer aimed at it; a
// smaller one is read into the buffer there is.
TEST_F(RecordTest, HeadersOfOtherSizesReaimThePointers)
{
    NurvFiles f = OneSet(16);
    NurvHeader larger = f.headers[0];
    larger.modes.assign(200, 9);
    larger.dayOfYear = 33;
    f.headers.push_back(larger);
    f.headers.push_back(f.headers[0]);
    NurvRecord second = f.records[0];
    second.hdrOff = {f.HeaderOffset(1)};
    NurvRecord third = f.records[0];
    third.hdrOff = {f.HeaderOffset(2)};
    f.records.push_back(second);
    f.records.push_back(third);
    OpenFiles(f);
    ASSERT_STATUS(1, Next());
    ASSERT_STATUS(1, ir_reset_header(record, 0, 1));
    ASSERT_STATUS(1, Next());
    EXPECT_EQ(33, *Ptr().DAYOFYEAR);
    EXPECT_EQ(9, Ptr().MODE_INDEX[199]);
    EXPECT_EQ(reinterpret_cast<KOMBRA_SHORT *>(ginfo.expt->HEADER_MEM + 4), Ptr().DAYOFYEAR);
    ASSERT_STATUS(1, ir_reset_header(record, 0, 1));
    ASSERT_STATUS(1, Next());
    EXPECT_EQ(32, *Ptr().DAYOFYEAR);
    EXPECT_EQ(200, Ptr().MODE_INDEX[1]);
}

TEST_F(RecordTest, TensorHeadersAndTheirChecks)
{
    NurvFiles f;
    f.layout = {.sensors = 1, .levels = 1, .maxNss = 1, .headerFormat = 2, .smpId = 3, .senMode = 3};
    f.headers = {{.sensorIndex = {0}, .tensorRank = 2, .tensorIndex = {0, 0, 31, 3}}};
    f.records = {{.hdrOff = {0}, .sets = {{.raw = std::vector<unsigned char>(8)}}}};
    f.layout.dataLen = NurvDataLenFor(f.layout, f.records);
    KeldText text = NurvDescription(f.layout, {.tables = 0, .pitchAngle = false, .pmi = false,
                                               .potentialSource = false, .startOfSpin = false});
    text.Ints("TensorDefinition.rank_lengths", {32, 4});
    OpenFiles(f, &text);
    ASSERT_STATUS(1, Next());
    EXPECT_EQ(2u, *Ptr().hdr_fmt2_ptr->TENSOR_SETS);
    EXPECT_EQ(31, Ptr().hdr_fmt2_ptr->TENSOR_INDEX[2]);
    EXPECT_STATUS(-362, ir_check_dependent_on_header(record));

    const struct {
        const char *name;
        NurvHeader header;
        int status;
    } faults[] = {
        {"IndexBeyondItsLength", {.sensorIndex = {0}, .tensorRank = 2, .tensorIndex = {0, 4}}, -358},
        {"OtherRank", {.sensorIndex = {0}, .tensorRank = 1, .tensorIndex = {0}}, -357},
        {"MoreSetsThanTheTensorHolds",
         {.sensorIndex = {0}, .tensorRank = 2, .tensorSets = 200, .tensorIndex = std::vector<int32_t>(400)}, -356},
    };
    for (const auto &fault : faults) {
        SCOPED_TRACE(fault.name);
        f.headers = {fault.header};
        OpenFiles(f, &text);
        EXPECT_STATUS(fault.status, Next());
    }
}

struct Fault {
    const char *name;
    void (*edit)(NurvFiles &);
    int status;
};

void PrintTo(const Fault &f, std::ostream *os)
{
    *os << f.name;
}

class RecordFaults : public RecordTest, public testing::WithParamInterface<Fault> {};

// End marks stop reading with their status; sizes that do not fit are
// refused, never read past.
TEST_P(RecordFaults, StopWithTheirStatus)
{
    NurvFiles f = OneSet(16);
    GetParam().edit(f);
    OpenFiles(f);
    EXPECT_STATUS(GetParam().status, Next());
}

INSTANTIATE_TEST_SUITE_P(
    All, RecordFaults,
    testing::Values(
        Fault{"HeaderEndMark", [](NurvFiles &f) { f.records[0].hdrOff = {f.HeaderOffset(1)}; f.headerEnd = 65535; }, 9},
        Fault{"HeaderEndMark2", [](NurvFiles &f) { f.records[0].hdrOff = {f.HeaderOffset(1)}; f.headerEnd = 65534; }, 12},
        Fault{"HeaderSizeZero", [](NurvFiles &f) { f.records[0].hdrOff = {f.HeaderOffset(1)}; f.headerEnd = 0; }, -45},
        Fault{"RecordEndMark", [](NurvFiles &f) { f.records[0].hdrOff = {-1}; }, 9},
        Fault{"ShortEndRecord", [](NurvFiles &f) { f.records[0] = {.hdrOff = {-2}, .length = 20}; }, 12},
        Fault{"ShortRecord", [](NurvFiles &f) { f.records[0].length = 40; }, -18},
        Fault{"NoRecord", [](NurvFiles &f) { f.records.clear(); f.layout.dataLen = 100; }, -49},
        Fault{"HeaderCutShort", [](NurvFiles &f) { f.headers[0].hSize = 120; }, -18},
        Fault{"HeaderBelowItsFixedPart", [](NurvFiles &f) { f.headers[0].hSize = 20; }, -465},
        Fault{"HeaderSizeOne", [](NurvFiles &f) { f.headers[0].hSize = 1; }, -465},
        Fault{"SensorCountPastTheHeader", [](NurvFiles &f) { f.headers[0].nSen = 3000; }, -465},
        Fault{"NegativeSensorCount", [](NurvFiles &f) { f.headers[0].nSen = -1; }, -465},
        Fault{"SensorNumberPastTheSensors", [](NurvFiles &f) { f.headers[0].sensorIndex[1] = 3; }, -465},
        Fault{"NegativeSensorNumber", [](NurvFiles &f) { f.headers[0].sensorIndex[2] = -1; }, -465},
        Fault{"MoreStepsThanTheSweep",
              [](NurvFiles &f) {
                  f.headers[0].sampIndex.assign(9, 0);
                  f.records[0].sets[0].samples.assign(27, 0);
              },
              -466},
        Fault{"MoreSetsThanMaxNss", [](NurvFiles &f) { f.records[0].nss = 3; }, -467},
        Fault{"OffsetNotAMark", [](NurvFiles &f) { f.records[0].hdrOff = {-7}; }, -467},
        Fault{"SamplesPastTheRecord",
              [](NurvFiles &f) {
                  f.layout.dataLen = 40;
                  f.records[0].sets[0] = {.raw = std::vector<unsigned char>(8)};
              },
              -467}),
    [](const testing::TestParamInfo<Fault> &info) { return std::string(info.param.name); });

// A header of the next day moves the running time of the record's later
// sets back by a day; one across a year's end counts as one day.
TEST_F(RecordTest, DayChangeBetweenSensorSets)
{
    NurvFiles f = OneSet(16);
    f.headers[0].year = 2003;
    f.headers[0].dayOfYear = 365;
    NurvHeader next = f.headers[0];
    next.year = 2004;
    next.dayOfYear = 1;
    f.headers.push_back(next);
    f.records[0].sets.push_back(f.records[0].sets[0]);
    f.records[0].hdrOff = {0, f.HeaderOffset(1)};
    experiment_info &ex = OpenFiles(f);
    ASSERT_STATUS(1, Next());
    ASSERT_STATUS(1, ir_reset_header(record, 0, 1));
    ir_get_time_components();
    const KOMBRA_LONG before = ex.accum_ss_ms;
    ir_advance_time_pointers(1);
    ir_reset_sen_set_time();
    const KOMBRA_LONG after_set = ex.accum_ss_ms;
    EXPECT_GT(after_set, before);
    ASSERT_STATUS(1, ir_new_header_record(0, record));
    EXPECT_EQ(after_set - 86400000, ex.accum_ss_ms);
}

}  // namespace
