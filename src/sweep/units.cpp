/* Units of sweep values and level edges: labels, SI conversions, and whether
 * values average (differential) or add up (integral) over bins. */
#include "Qnurv_utils.h"

#include <cstdio>

namespace {

struct UnitTexts {
    const char *label;
    const char *si;
};

/* Indexed by PSD_UNITS; the last row serves every value out of range. */
constexpr UnitTexts kPsdUnits[] = {
    {"Counts / Accumm", "1>(counts/accum)"},
    {"D e-flux ergs/(cm**2 s sr eV)", "6.2418e15>m^-2 s^-1 sr^-1"},
    {"Phase space density s**3/km**6", "1.e-18>s^3 m^-6"},
    {"1-Count", "1>(counts/accum)"},
    {"1-Count D e-flux ergs/(cm**2 s sr eV)", "6.2418e15>m^-2 s^-1 sr^-1"},
    {"1-Count Phase space density s**3/km**6", "1.e-18>s^3 m^-6"},
    {"UNKNOWN PSD UNITS", "1>(unknown psd units)"},
};

constexpr UnitTexts kBinUnits[] = {
    {"Energy eV", "1.6021e-19>J"},
    {"Speed km/s", "1.e3>m s^-1"},
    {"Unknown Energy Units", "1>(UNKNOWN ENERGY BIN UNITS)"},
};

const UnitTexts &PsdRow(int units)
{
    return kPsdUnits[units >= 0 && units <= PSD_UNITS_S3_PER_KM6_1CNT ? units : UNKNOWN_PSD_UNITS];
}

const UnitTexts &BinRow(int units)
{
    return kBinUnits[units >= 0 && units <= BIN_UNITS_KM_S ? units : 2];
}

} // namespace

const char *PSD_UNITS_STRING(int units)
{
    return PsdRow(units).label;
}

const char *PSD_UNITS_SI_conv_STRING(int units)
{
    return PsdRow(units).si;
}

const char *BIN_UNITS_STRING(int units)
{
    return BinRow(units).label;
}

const char *BIN_UNITS_SI_conv_STRING(int units)
{
    return BinRow(units).si;
}

INTERP_QUANTITY diff_or_integral(int units)
{
    switch (units) {
    case PSD_UNITS_CNTS_ACCUM:
        return INTEGRAL;
    case PSD_UNITS_DIFF_ENERGY_FLUX:
    case PSD_UNITS_S3_PER_KM6:
        return DIFFERENTIAL;
    default:
        std::printf("Unknown PSD_UNITS:diff_or_integral defaults to differential\n");
        return DIFFERENTIAL;
    }
}
