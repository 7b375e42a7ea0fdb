// Unit codes of a sweep outside their lists (a damaged file, a settings file
// or arithmetic on the codes can leave them) take the documented fallbacks:
// unknown bin units refuse the operations that need them, unknown value units
// average as differential values and label as unknown.
#include "sweep_builders.h"

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

using sweep_test::Grid;
using sweep_test::MakeSweep;

const Grid kGrid{{0, 90, 180}, {10, 100, 1000}};

struct CodeCase {
    const char *name;
    int bin_units, psd_units;
    std::function<std::string(HALDE_SWEEP_S *)> run; // a summary of the result
    std::string result, printed;
};

void PrintTo(const CodeCase &c, std::ostream *os) { *os << c.name; }

class OutOfRangeCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(OutOfRangeCodes, TakeTheirFallback)
{
    const CodeCase &c = GetParam();
    SweepPtr s = MakeSweep(kGrid, {1, 2, 3, 4});
    s->bin_units = static_cast<BIN_UNITS_E>(c.bin_units);
    s->psd_units = static_cast<PSD_UNITS_E>(c.psd_units);
    testing::internal::CaptureStdout();
    const std::string result = c.run(s.get());
    EXPECT_EQ(c.printed, testing::internal::GetCapturedStdout());
    EXPECT_EQ(c.result, result);
}

INSTANTIATE_TEST_SUITE_P(
    Sweeps, OutOfRangeCodes,
    testing::Values(
        CodeCase{"potential_correction_bin_units_7", 7, PSD_UNITS_S3_PER_KM6,
                 [](HALDE_SWEEP_S *s) { return std::to_string(sweep_sc_potential_adjust(&s, 1)); }, "-510",
                 "Unknown bin units in sweep_sc_potential_adjust"},
        CodeCase{"potential_correction_bin_units_minus_1", -1, PSD_UNITS_S3_PER_KM6,
                 [](HALDE_SWEEP_S *s) { return std::to_string(sweep_sc_potential_adjust(&s, 1)); }, "-510",
                 "Unknown bin units in sweep_sc_potential_adjust"},
        CodeCase{"liouville_map_bin_units_9", 9, PSD_UNITS_S3_PER_KM6,
                 [](HALDE_SWEEP_S *s) { return SweepPtr(PADLiouvilleMap(s, 1, 2, 0, 2)) ? "sweep" : "null"; }, "null",
                 "Liouville Map Error: Unknown bin units\n"},
        CodeCase{"regridding_psd_units_12_averages_differential", BIN_UNITS_EV, 12,
                 [](HALDE_SWEEP_S *s) {
                     SweepPtr r(rebin_sweep(s, s));
                     return r == nullptr ? "null" : std::to_string(r->psd[3]) + " " + std::to_string(r->psd_units);
                 },
                 "4.000000 12", "Unknown PSD_UNITS:diff_or_integral defaults to differential\n"},
        CodeCase{"cut_psd_units_minus_3_is_labelled_unknown", BIN_UNITS_EV, -3,
                 [](HALDE_SWEEP_S *s) {
                     HALDE_1D_SWEEP_CUT_S *cut = sweep_1D_cut(100.0f, s);
                     const std::string text = PSD_UNITS_STRING(cut->psd_units);
                     free_1D_cut_arrays(cut);
                     std::free(cut);
                     return text;
                 },
                 "UNKNOWN PSD UNITS", ""}),
    [](const testing::TestParamInfo<CodeCase> &info) { return std::string(info.param.name); });

}  // namespace
