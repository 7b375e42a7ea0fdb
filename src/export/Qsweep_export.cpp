// Gathered sweeps to an exchange data set: the ten variables with their
// attributes, one record per sweep, and the three global attributes.
#include "Qsweep_export.h"

#include "Qnurv_utils.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <span>
#include <string>

namespace {

// A data provider's contact line, the second entry of "TEXT".
constexpr char kContact[] = "Contact: halde-data@velora.example.org, https://velora.example.org/halde";

KvCDFVariable *MakeVariable(long number, const char *name, long type, long bytes, std::initializer_list<long> dims,
                            long n)
{
    KvCDFVariable *v = KvMakeKvVariable();
    if (v == nullptr)
        return nullptr;
    v->number = number;
    v->name = KvNewStr(name);
    v->data_type = type;
    v->sizeofentry = bytes;
    v->novary_opt = EVERY_RECORD;
    v->rec_vary = -1;
    v->max_rec_num = n - 1;
    v->num_elems = 1;
    v->num_dims = static_cast<long>(dims.size());
    long d = 0;
    for (long size : dims) {
        v->dim_sizes[d] = size;
        v->dim_varys[d] = -1;
        ++d;
    }
    return v;
}

// Appends an attribute slot of a given type before its value is set, so
// that PKvChangeVattr stores a number.
void AddTyped(KvCDFVariable *v, const char *name, long type, const char *text)
{
    if (v->num_v_attrs < KV_VATTR_SLOTS) {
        KvVarAttribute &a = v->attribute[v->num_v_attrs];
        a.number = v->num_v_attrs;
        a.name = KvNewStr(name);
        a.data_type = type;
        a.num_elems = 1;
        ++v->num_v_attrs;
    }
    PKvChangeVattr(name, text, v);
}

void Attrs(KvCDFVariable *v, std::initializer_list<std::pair<const char *, const char *>> attrs)
{
    for (const auto &[name, text] : attrs)
        PKvChangeVattr(name, text, v);
}

// The variable's data of count values, zeroed; null (after a line naming the
// variable) when memory runs out, and the filler then fails with -504.
template <typename T>
T *Values(KvCDFVariable *v, long count)
{
    auto *data = static_cast<T *>(std::calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(T)));
    v->data = data;
    if (data == nullptr)
        std::printf("nswps2KvCDF: no memory for the %ld values of variable %s\n", count,
                    v->name != nullptr ? v->name : "");
    return data;
}

constexpr int kNoMemory = -504;

const char *Mission(const HALDE_SWEEP_S *s) { return s->lineage != nullptr ? s->lineage->mission : ""; }

struct LevelTexts {
    const char *lablaxis, *units, *frame, *fieldnam;
};

LevelTexts LevelTextsOf(int units)
{
    switch (units) {
    case BIN_UNITS_EV: return {"Energy", "eV", "scalar>na", "Halde Energy"};
    case BIN_UNITS_KM_S: return {"Speed", "km/s", "component>tuv_rtp", "Halde Speed"};
    default: return {"Level (unknown)", "dummy units", "scalar>na", "Halde Level (unknown)"};
    }
}

int FillTimes(HALDE_SWEEP_S **sw, int n, KvCDFVariable *tt, KvCDFVariable *dt)
{
    Attrs(tt, {{"UNITS", "msecs since 0AD"},
               {"SI_CONVERSION", "1.e-3>s"},
               {"DELTA_PLUS", "timetags_delta"},
               {"DELTA_MINUS", "timetags_delta"},
               {"PARAMETER_TYPE", "Support_Data"},
               {"VAR_TYPE", "metadata"}});
    Attrs(dt, {{"UNITS", "sec"}, {"SI_CONVERSION", "1.0>s"}, {"PARAMETER_TYPE", "Support_Data"}, {"VAR_TYPE", "metadata"}});
    double *mid = Values<double>(tt, n);
    double *half = Values<double>(dt, n);
    if (mid == nullptr || half == nullptr)
        return kNoMemory;
    for (int k = 0; k < n; ++k) {
        const double b = nurv_time_to_epoch_secs(&sw[k]->btime);
        const double e = nurv_time_to_epoch_secs(&sw[k]->etime);
        mid[k] = (b + e) * 500.0;
        half[k] = (e - b) * 0.5;
    }
    return 1;
}

int FillPsd(HALDE_SWEEP_S **sw, int n, KvCDFVariable *v)
{
    const HALDE_SWEEP_S *s0 = sw[0];
    char fill[64];
    std::snprintf(fill, sizeof fill, "%g", static_cast<double>(s0->missing_value));
    AddTyped(v, "FILLVAL", CDF_FLOAT, fill);
    Attrs(v, {{"UNITS", PSD_UNITS_STRING(s0->psd_units)},
              {"SI_CONVERSION", PSD_UNITS_SI_conv_STRING(s0->psd_units)},
              {"DEPEND_0", "timetags"},
              {"DEPEND_1", "theta"},
              {"DEPEND_2", "level"},
              {"Bin_description", "Bins are polar theta vs speed/energy in an azimuthal slice"},
              {"Bin_description_a", "Theta directions are instrument FLOW directions"},
              {"SC_ID", Mission(s0)},
              {"FIELDNAM", "Phase Space Density"}});
    const long per = static_cast<long>(s0->n_sen) * s0->n_lev;
    float *data = Values<float>(v, per * n);
    if (data == nullptr)
        return kNoMemory;
    for (int k = 0; k < n; ++k) {
        for (long i = 0; i < per; ++i) {
            const float value = sw[k]->psd != nullptr ? sw[k]->psd[i] : s0->missing_value;
            data[k * per + i] = std::isfinite(value) ? value : s0->missing_value;
        }
    }
    return 1;
}

int FillPhi(HALDE_SWEEP_S **sw, int n, KvCDFVariable *phi, KvCDFVariable *dphi)
{
    AddTyped(phi, "TENSOR_RANK", CDF_INT4, "1");
    Attrs(phi, {{"UNITS", "Deg"},
                {"SI_CONVERSION", "1>degree"},
                {"LABLAXIS", "TUV Az"},
                {"FRAME", "component>tuv_rtp"},
                {"REPRESENTATION", "rtp"},
                {"COMPONENT", "p"},
                {"FIELDNAM", "Halde tzero Az Flow Angle"},
                {"DELTA_MINUS", "phi_delta"},
                {"DELTA_PLUS", "phi_delta"},
                {"TENSOR_FRAME", "tuv"},
                {"PARAMTER_TYPE", "Support_Data"},
                {"VAR_TYPE", "metadata"}});
    Attrs(dphi, {{"UNITS", "Deg"},
                 {"SI_CONVERSION", "1>degree"},
                 {"LABLAXIS", "delta az"},
                 {"FIELDNAM", "Delta Tuv Az"},
                 {"PARAMTER_TYPE", "Support_Data"},
                 {"VAR_TYPE", "metadata"}});
    float *mid = Values<float>(phi, n);
    float *half = Values<float>(dphi, n);
    if (mid == nullptr || half == nullptr)
        return kNoMemory;
    /* A range through 360 degrees is the long way round, so that the
     * half-width a reader takes for DELTA_PLUS and DELTA_MINUS covers what
     * the sweep holds. */
    for (int k = 0; k < n; ++k)
        az_range_centre_half(sw[k]->phi_lo, sw[k]->phi_hi, &mid[k], &half[k]);
    return 1;
}

// Mid values and half widths of n bins with edges lo and hi, per sweep.
void FillBins(HALDE_SWEEP_S **sw, int n, long bins, float *HALDE_SWEEP_S::*lo, float *HALDE_SWEEP_S::*hi,
              float *mid, float *half)
{
    for (int k = 0; k < n; ++k) {
        const float *l = sw[k]->*lo;
        const float *h = sw[k]->*hi;
        for (long j = 0; j < bins; ++j) {
            const float a = l != nullptr ? l[j] : 0.0f;
            const float b = h != nullptr ? h[j] : 0.0f;
            mid[k * bins + j] = (a + b) * 0.5f;
            half[k * bins + j] = (b - a) * 0.5f;
        }
    }
}

int FillTheta(HALDE_SWEEP_S **sw, int n, KvCDFVariable *th, KvCDFVariable *dth)
{
    AddTyped(th, "TENSOR_RANK", CDF_INT4, "1");
    Attrs(th, {{"UNITS", "Deg"},
               {"SI_CONVERSION", "1>degree"},
               {"LABLAXIS", "theta"},
               {"FRAME", "component>tuv_rtp"},
               {"REPRESENTATION", "rtp"},
               {"COMPONENT", "t"},
               {"FIELDNAM", "Halde Polar Flow Angle"},
               {"DELTA_MINUS", "theta_delta"},
               {"DELTA_PLUS", "theta_delta"},
               {"TENSOR_FRAME", "tuv"},
               {"PARAMETER_TYPE", "Support_Data"},
               {"VAR_TYPE", "metadata"}});
    Attrs(dth, {{"UNITS", "Deg"},
                {"SI_CONVERSION", "1>degree"},
                {"LABLAXIS", "delta theta"},
                {"FIELDNAM", "Delta Tuv theta"},
                {"PARAMETER_TYPE", "Support_Data"},
                {"VAR_TYPE", "metadata"}});
    const long bins = sw[0]->n_sen;
    float *mid = Values<float>(th, bins * n);
    float *half = Values<float>(dth, bins * n);
    if (mid == nullptr || half == nullptr)
        return kNoMemory;
    FillBins(sw, n, bins, &HALDE_SWEEP_S::thlo, &HALDE_SWEEP_S::thhi, mid, half);
    return 1;
}

int FillLevel(HALDE_SWEEP_S **sw, int n, KvCDFVariable *lv, KvCDFVariable *dlv)
{
    // The field may hold a value outside the enumeration (files and old
    // settings); read it as the integer it is stored as.
    int units = 0;
    static_assert(sizeof units == sizeof sw[0]->bin_units);
    std::memcpy(&units, &sw[0]->bin_units, sizeof units);
    const LevelTexts t = LevelTextsOf(units);
    AddTyped(lv, "TENSOR_RANK", CDF_INT4, "1");
    Attrs(lv, {{"UNITS", t.units},
               {"SI_CONVERSION", BIN_UNITS_SI_conv_STRING(units)},
               {"LABLAXIS", t.lablaxis},
               {"FRAME", t.frame},
               {"REPRESENTATION", "rtp"},
               {"COMPONENT", "r"},
               {"FIELDNAM", t.fieldnam},
               {"DELTA_MINUS", "level_delta"},
               {"DELTA_PLUS", "level_delta"},
               {"TENSOR_FRAME", "tuv"},
               {"PARAMETER_TYPE", "Support_Data"},
               {"VAR_TYPE", "metadata"}});
    Attrs(dlv, {{"UNITS", t.units},
                {"SI_CONVERSION", BIN_UNITS_SI_conv_STRING(units)},
                {"LABLAXIS", t.lablaxis},
                {"FIELDNAM", t.fieldnam},
                {"PARAMETER_TYPE", "Support_Data"},
                {"VAR_TYPE", "metadata"}});
    const long bins = sw[0]->n_lev;
    float *mid = Values<float>(lv, bins * n);
    float *half = Values<float>(dlv, bins * n);
    if (mid == nullptr || half == nullptr)
        return kNoMemory;
    FillBins(sw, n, bins, &HALDE_SWEEP_S::elo, &HALDE_SWEEP_S::ehi, mid, half);
    return 1;
}

int FillPotential(HALDE_SWEEP_S **sw, int n, KvCDFVariable *v)
{
    Attrs(v, {{"UNITS", "V"},
              {"SI_CONVERSION", "1>V"},
              {"DEPEND_0", "timetags"},
              {"SC_ID", Mission(sw[0])},
              {"FIELDNAM", "s/c Potential"},
              {"PARAMETER_TYPE", "Support_Data"},
              {"VAR_TYPE", "metadata"}});
    float *data = Values<float>(v, n);
    if (data == nullptr)
        return kNoMemory;
    for (int k = 0; k < n; ++k)
        data[k] = sw[k]->phi_sc;
    return 1;
}

}  // namespace

int PKvChangeVattr(const char *name, const char *text, KvCDFVariable *var)
{
    long slot = -1;
    for (long a = 0; a < var->num_v_attrs && a < KV_VATTR_SLOTS; ++a)
        if (std::strcmp(var->attribute[a].name, name) == 0)
            slot = a;
    if (slot < 0) {
        if (var->num_v_attrs >= KV_VATTR_SLOTS)
            return 0;
        slot = var->num_v_attrs++;
        KvVarAttribute &a = var->attribute[slot];
        a.number = slot;
        a.name = KvNewStr(name);
        a.data_type = CDF_CHAR;
    }
    KvVarAttribute &a = var->attribute[slot];
    switch (a.data_type) {
    case CDF_INT4: case CDF_UINT4: {
        const auto value = static_cast<int32_t>(std::strtol(text, nullptr, 10));
        std::free(a.data);
        a.data = std::malloc(sizeof value);
        std::memcpy(a.data, &value, sizeof value);
        break;
    }
    case CDF_REAL4: case CDF_FLOAT: {
        const float value = std::strtof(text, nullptr);
        std::free(a.data);
        a.data = std::malloc(sizeof value);
        std::memcpy(a.data, &value, sizeof value);
        break;
    }
    case CDF_CHAR: case CDF_UCHAR:
        std::free(a.data);
        a.data = KvNewStr(text != nullptr ? text : "");
        break;
    default:
        return 0;
    }
    a.num_elems = 1;
    return 0;
}

int nsweeps2KvCDFContents(HALDE_SWEEP_S **sw, int n, KvCDFContents **out)
{
    if (out != nullptr)
        *out = nullptr;
    if (sw == nullptr || n < 1 || out == nullptr)
        return -503;
    for (int k = 0; k < n; ++k)
        if (sw[k] == nullptr)
            return -503;
    for (int k = 1; k < n; ++k) {
        if (sw[k]->n_sen != sw[0]->n_sen || sw[k]->n_lev != sw[0]->n_lev) {
            std::printf("nswps2KvCDF: Sweep %d has different length from 1st sweep.\n", k);
            return -503;
        }
    }
    KvCDFContents *c = KvMakeCDFContentsObj();
    *out = c;
    if (c == nullptr) {
        std::printf("nswps2KvCDF: no memory for the data set\n");
        return kNoMemory;
    }
    c->n_vars = 10;
    c->n_recs = n;
    c->time_var_num = 0;
    c->vardata = KvMakeKvVariablePtrs(10);
    if (c->vardata == nullptr) {
        c->n_vars = 0;
        std::printf("nswps2KvCDF: no memory for the data set\n");
        return kNoMemory;
    }

    const HALDE_SWEEP_S *s0 = sw[0];
    char lineage[4 * NURV_LINEAGE_LEN + 8] = "";
    if (s0->lineage != nullptr)
        std::snprintf(lineage, sizeof lineage, "%s %s %s %s", s0->lineage->mission, s0->lineage->experiment,
                      s0->lineage->instrument, s0->lineage->virtual_inst);
    KvCreateGlobalTxtAttr(c, "NURV Lineage", lineage);
    KvCreateGlobalTxtAttr(c, "TEXT", "HALDE Sweep Data generated by VELORA Software");
    KvAppendGlobalTxtAttr(c, "TEXT", kContact);
    KvAppendGlobalTxtAttr(c, "TEXT", velora_version_str());
    char when[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc) != nullptr)
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S.000Z Doy %j", &utc);
    KvCreateGlobalTxtAttr(c, "Generation_date", when);

    const long ns = s0->n_sen, nl = s0->n_lev;
    KvCDFVariable **v = c->vardata;
    v[0] = MakeVariable(0, "timetags", CDF_EPOCH, 8, {}, n);
    v[1] = MakeVariable(1, "timetags_delta", CDF_DOUBLE, 8, {}, n);
    v[2] = MakeVariable(2, "psd", CDF_FLOAT, 4, {ns, nl}, n);
    v[3] = MakeVariable(3, "phi", CDF_FLOAT, 4, {}, n);
    v[4] = MakeVariable(4, "phi_delta", CDF_FLOAT, 4, {}, n);
    v[5] = MakeVariable(5, "theta", CDF_FLOAT, 4, {ns}, n);
    v[6] = MakeVariable(6, "theta_delta", CDF_FLOAT, 4, {ns}, n);
    v[7] = MakeVariable(7, "level", CDF_FLOAT, 4, {nl}, n);
    v[8] = MakeVariable(8, "level_delta", CDF_FLOAT, 4, {nl}, n);
    v[9] = MakeVariable(9, "sc_potential", CDF_FLOAT, 4, {}, n);

    for (KvCDFVariable *made : std::span(v, 10))
        if (made == nullptr) {
            std::printf("nswps2KvCDF: no memory for the variables\n");
            return kNoMemory;
        }
    // The fillers in order; the first that fails ends the adapter.
    int result = FillTimes(sw, n, v[0], v[1]);
    if (result == 1)
        result = FillPsd(sw, n, v[2]);
    if (result == 1)
        result = FillPhi(sw, n, v[3], v[4]);
    if (result == 1)
        result = FillTheta(sw, n, v[5], v[6]);
    if (result == 1)
        result = FillLevel(sw, n, v[7], v[8]);
    if (result == 1)
        result = FillPotential(sw, n, v[9]);
    if (result != 1)
        return result;
    for (int i = 0; i < 10; ++i) {
        if (!KvVarSafe(c, i)) {
            std::printf("KvCDF Variable %i failed safe test\n", i);
            return -504;
        }
    }
    return 1;
}
