/* Colour tables, the colour wedge, and the mapping of values to colour
 * indices that every coloured picture of the layer shares. */
#include "PGSpectro.h"
#include "qpgplot_int.h"

#include <cpgplot.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace qpgplot {

bool DeviceOpen()
{
    /* PGPLOT's state, not cpgqid: after a failed cpgopen the identifier
     * still names a device although none is open. */
    char state[16] = {};
    int len = static_cast<int>(sizeof state);
    cpgqinf("STATE", state, &len);
    return std::string_view(state, static_cast<std::size_t>(len > 0 ? len : 0)) == "OPEN";
}

} // namespace qpgplot

float PGSpectro_legible_char_size(float size)
{
    constexpr float kLeastMm = 2.4f;
    if (!qpgplot::DeviceOpen())
        return size;
    float was = 1.0f;
    cpgqch(&was);
    cpgsch(1.0f);
    float xmm = 0, ymm = 0;
    cpgqcs(2, &xmm, &ymm);
    cpgsch(was);
    return ymm > 0 ? std::max(size, kLeastMm / ymm) : size;
}

namespace qpgplot {

BufferedOutput::BufferedOutput() : held_(DeviceOpen())
{
    if (held_)
        cpgbbuf();
}

BufferedOutput::~BufferedOutput()
{
    if (held_)
        cpgebuf();
}

void WidenEqualEnds(float *lo, float *hi)
{
    if (*lo != *hi || !std::isfinite(*lo))
        return;
    const float v = *lo;
    float step = 1.0f;
    if (v - step == v || v + step == v)
        step = std::fabs(v) / 10.0f;
    *lo = std::fmax(v - step, -FLT_MAX);
    *hi = std::fmin(v + step, FLT_MAX);
}

std::vector<float> LogCopy(const float *v, std::size_t n)
{
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(SafeLog10(v[i]));
    return out;
}

ColourScale::ColourScale(const float *z, std::size_t count, float zscalemin, float zscalemax,
                         float zmissing, Yes_or_No skip_missing, PGSpectro_linlog zlinlog, int ncolours)
    : values_(z), zmin_(std::min(zscalemin, zscalemax)), zmax_(std::max(zscalemin, zscalemax)),
      recognise_missing_(skip_missing == YES), marker_(zmissing), ncolours_(ncolours)
{
    if (zlinlog == PGSPECTRO_LOG) {
        zmin_ = static_cast<float>(SafeLog10(zmin_));
        zmax_ = static_cast<float>(SafeLog10(zmax_));
        constexpr float kLogMarker = -1e31f;
        logs_.resize(count);
        for (std::size_t k = 0; k < count; ++k) {
            const float v = z[k];
            if (std::isnan(v))
                logs_[k] = v;
            else if (recognise_missing_ && v == zmissing)
                logs_[k] = kLogMarker;
            else
                logs_[k] = static_cast<float>(SafeLog10(v));
        }
        values_ = logs_.data();
        marker_ = kLogMarker;
    }
    WidenEqualEnds(&zmin_, &zmax_);
    zrange_ = zmax_ - zmin_;
}

int ColourScale::IndexOf(std::size_t k) const
{
    const float v = values_[k];
    if (std::isnan(v) || (recognise_missing_ && v == marker_))
        return 0;
    /* One colour, or a scale without width: there is no ramp to spread the
     * values over, so every value takes the ramp's first colour. */
    if (ncolours_ <= 1 || !(zrange_ > 0) || !std::isfinite(zrange_))
        return kFirstRampIndex;
    /* The top of the scale is tested directly: (n - 1) (v - zmin) / zrange
     * in floats can fall just short of n - 1 for v equal to zmax. */
    if (v >= zmax_)
        return kFirstRampIndex + ncolours_ - 1;
    const float c = std::clamp(v, zmin_, zmax_);
    const int step = static_cast<int>(static_cast<float>(ncolours_ - 1) * (c - zmin_) / zrange_);
    return kFirstRampIndex + std::clamp(step, 0, ncolours_ - 1);
}

} // namespace qpgplot

namespace {

/* The device's colour-index range, cut to 256 indices: low end and count. */
void RampRange(int *lo, int *n)
{
    int hi = 0;
    cpgqcir(lo, &hi);
    *n = std::min(hi - *lo + 1, 256);
}

/* One ramp component: start value and step per index. */
struct Ramp {
    float value;
    float step;
};

/* Step that takes a component from `from` to `to` over n indices; none for a
 * single index. */
float StepOver(float from, float to, int n)
{
    return n > 1 ? (to - from) / static_cast<float>(n - 1) : 0.0f;
}

/* The two-coloured tables: hue 350 below the middle index, 110 above it,
 * each half's lightness walking from its own start by s. */
void LoadTwoHalves(int lo, int n, float first_light, float first_step, float second_light, float second_step)
{
    const int half = n / 2;
    float light = first_light;
    for (int i = 0; i < half; ++i) {
        cpgshls(lo + i, 350.0f, light, 1.0f);
        light += first_step;
    }
    light = second_light;
    for (int i = half; i < n; ++i) {
        cpgshls(lo + i, 110.0f, light, 1.0f);
        light += second_step;
    }
}

void LoadRamp(int lo, int n, Ramp hue, Ramp lightness, Ramp saturation)
{
    for (int i = 0; i < n; ++i) {
        cpgshls(lo + i, hue.value, lightness.value, saturation.value);
        hue.value += hue.step;
        lightness.value += lightness.step;
        saturation.value += saturation.step;
    }
}

} // namespace

int set_pgp_rainbow(PGSpectro_col color_table)
{
    int lo = 0;
    int n = 0;
    RampRange(&lo, &n);
    if (n < 1)
        return n;
    cpgscir(lo, lo + n - 1);

    switch (color_table) {
    case PGSPECTRO_GRAY_WHITE_LOW:
        LoadRamp(lo, n, {0.0f, 0.0f}, {1.0f, StepOver(1.0f, 0.0f, n)}, {0.0f, 0.0f});
        break;
    case PGSPECTRO_GRAY_WHITE_HIGH:
        LoadRamp(lo, n, {0.0f, 0.0f}, {0.0f, StepOver(0.0f, 1.0f, n)}, {0.0f, 0.0f});
        break;
    case PGSPECTRO_INV_RED_BLUE: {
        const float s = 2.0f * (0.9f - 0.2f) / static_cast<float>(n);
        LoadTwoHalves(lo, n, 0.9f, -s, 0.2f, s);
        break;
    }
    case PGSPECTRO_RED_BLUE: {
        const float s = 2.0f * (0.9f - 0.25f) / static_cast<float>(n);
        LoadTwoHalves(lo, n, 0.25f, s, 0.9f, -s);
        break;
    }
    case PGSPECTRO_EARTH:
        LoadRamp(lo, n, {170.0f, 0.0f}, {0.9f, StepOver(0.9f, 0.0f, n)}, {0.2f, StepOver(0.2f, 1.0f, n)});
        break;
    case PGSPECTRO_RAINBOW:
    default:
        LoadRamp(lo, n, {420.0f, StepOver(420.0f, 110.0f, n)}, {0.5f, 0.0f}, {1.0f, 0.0f});
        break;
    }
    return n;
}

void spectro_wedge(PGSpectro_wedge wedge, float zscalemin, float zscalemax, PGSpectro_linlog lin_log)
{
    float wx1, wx2, wy1, wy2;
    cpgqwin(&wx1, &wx2, &wy1, &wy2);
    int ci = 1;
    cpgqci(&ci);
    float vx1, vx2, vy1, vy2;
    cpgqvp(0, &vx1, &vx2, &vy1, &vy2);
    float xch = 0, ych = 0;
    cpgqcs(0, &xch, &ych);

    qpgplot::WidenEqualEnds(&zscalemin, &zscalemax);
    const float left = vx2 + wedge.disp * xch;
    cpgsvp(left, left + wedge.width * xch, vy1, vy2);
    cpgswin(0.0f, 1.0f, zscalemin, zscalemax);

    int lo = 0;
    int n = 0;
    RampRange(&lo, &n);
    const float span = zscalemax - zscalemin;
    const float zstep = n > 1 ? span / static_cast<float>(n - 1) : span;
    for (int i = 0; i < n; ++i) {
        cpgsci(lo + i);
        const float y = zscalemin + (static_cast<float>(i) - 0.5f) * zstep;
        cpgrect(0.0f, 1.0f, y, y + zstep);
    }

    cpgsci(1);
    if (lin_log == PGSPECTRO_LIN)
        cpgtbox("BC", 0.0f, 0, "BCMTSV", 0.0f, 0);
    else if (lin_log == PGSPECTRO_LOG)
        cpgtbox("BC", 0.0f, 0, "BCMTSLV", 0.0f, 0);
    else
        std::printf("Unknown PGSpectro_linlog in spectro_wedge\n");
    cpgmtxt("L", 0.5f, 0.5f, 0.5f, wedge.label);

    cpgsvp(vx1, vx2, vy1, vy2);
    cpgswin(wx1, wx2, wy1, wy2);
    cpgsci(ci);
}
