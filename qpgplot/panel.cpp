/* The binned spectrogram panel: one filled rectangle per (x bin, y bin),
 * coloured by its value, with box, optional wedge, labels and dates. */
#include "PGSpectro.h"
#include "qpgplot_int.h"

#include <cpgplot.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

/* Bin edges and world range of one axis, as drawn: logarithms of the given
 * ones for a logarithmic axis. */
struct Axis {
    std::vector<float> low_log, high_log;
    const float *low = nullptr;
    const float *high = nullptr;
    float wmin = 0, wmax = 0;

    Axis(const float *lo, const float *hi, int n, float world_min, float world_max, bool logarithmic)
        : low(lo), high(hi), wmin(world_min), wmax(world_max)
    {
        if (!logarithmic)
            return;
        const auto count = static_cast<std::size_t>(n > 0 ? n : 0);
        low_log = qpgplot::LogCopy(lo, count);
        high_log = qpgplot::LogCopy(hi, count);
        low = low_log.data();
        high = high_log.data();
        wmin = static_cast<float>(SafeLog10(world_min));
        wmax = static_cast<float>(SafeLog10(world_max));
    }
};

PGSpectro_ret Draw(const PGSpectro &s)
{
    cpgsitf(0);
    cpgsvp(s.domain.xndcmin, s.domain.xndcmax, s.domain.yndcmin, s.domain.yndcmax);
    const int ncolours = set_pgp_rainbow(s.color_table);

    const int nx = s.nx > 0 ? s.nx : 0;
    const int ny = s.ny > 0 ? s.ny : 0;
    const auto cells = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    const qpgplot::ColourScale scale(s.z, cells, s.zscalemin, s.zscalemax, s.zmissing, s.skip_missing,
                                     s.zlinlog, ncolours);

    /* A time axis is never logarithmic. */
    const bool xlog = s.xlinlog == PGSPECTRO_LOG && s.timex == NO;
    const bool ylog = s.ylinlog == PGSPECTRO_LOG;
    const Axis x(s.xbinlow, s.xbinhigh, nx, s.domain.xworldmin, s.domain.xworldmax, xlog);
    const Axis y(s.ybinlow, s.ybinhigh, ny, s.domain.yworldmin, s.domain.yworldmax, ylog);
    cpgswin(x.wmin, x.wmax, y.wmin, y.wmax);

    for (int i = 0; i < nx; ++i) {
        float right = x.high[i];
        if (s.xgapfill == YES && i + 1 < nx && s.xbinlow[i + 1] - s.xbinhigh[i] < s.xgapsize)
            right = x.low[i + 1];
        for (int j = 0; j < ny; ++j) {
            cpgsci(scale.IndexOf(static_cast<std::size_t>(i) * static_cast<std::size_t>(ny) +
                                 static_cast<std::size_t>(j)));
            cpgrect(x.low[i], right, y.low[j], y.high[j]);
        }
    }

    cpgsci(1);
    cpgsch(s.char_size);
    std::string xopt = "BCTS";
    if (xlog)
        xopt += 'L';
    if (s.xnums == YES)
        xopt += 'N';
    if (s.timex == YES)
        xopt += "ZHXO";
    std::string yopt = "BCTS";
    if (ylog)
        yopt += 'L';
    if (s.ynums == YES)
        yopt += 'N';
    cpgtbox(xopt.c_str(), 0.0f, 0, yopt.c_str(), 0.0f, 0);

    if (s.draw_wedge == YES)
        spectro_wedge(s.wedge, scale.zmin(), scale.zmax(), s.zlinlog);

    if (s.ylabel_vert == YES) {
        cpglab(s.xlabel, "", s.title);
        cpgmtxt("LV", 1.0f, 0.5f, 1.0f, s.ylabel);
    } else {
        cpglab(s.xlabel, s.ylabel, s.title);
    }

    cpgsch(0.75f * s.char_size);
    cpgmtxt("T", 0.5f, 0.5f, 0.5f, s.subtitle);
    cpgsch(s.char_size);

    if (s.timex == YES) {
        cpgmtxt("B", 2.5f, 0.0f, 0.5f, s.datestart);
        if (std::strcmp(s.dateend, s.datestart) != 0)
            cpgmtxt("B", 2.5f, 1.0f, 1.0f, s.dateend);
    }
    return PGSPECTRO_OK;
}

} // namespace

PGSpectro_ret PGSpectro_Plot(PGSpectro *spectro)
{
    if (!qpgplot::DeviceOpen())
        return PGSPECTRO_NO_DEVICE;
    try {
        const qpgplot::BufferedOutput held;
        return Draw(*spectro);
    } catch (const std::bad_alloc &) {
        return PGSPECTRO_MALLOC_FAILURE;
    }
}
