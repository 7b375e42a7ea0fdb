/* XY traces: an optional frame with ticks, numbers, titles, labels and
 * dates, the trace as a polyline and/or markers, and its legend entry. */
#include "PGSpectro.h"
#include "qpgplot_int.h"

#include <cpgplot.h>

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

/* Values and world range of one axis as drawn: logarithms for a
 * logarithmic axis. */
struct Values {
    std::vector<float> logs;
    const float *v;
    float w1, w2;

    Values(const float *values, int n, float world1, float world2, bool logarithmic)
        : v(values), w1(world1), w2(world2)
    {
        if (!logarithmic)
            return;
        logs = qpgplot::LogCopy(values, static_cast<std::size_t>(n > 0 ? n : 0));
        v = logs.data();
        w1 = static_cast<float>(SafeLog10(world1));
        w2 = static_cast<float>(SafeLog10(world2));
    }
};

void Frame(const PGXYtrace &t, bool xlog, bool ylog, float x1, float x2)
{
    cpgslw(t.box_thickness);
    cpgsch(t.tick_length);
    std::string xopt = "BCTS";
    if (xlog)
        xopt += 'L';
    if (t.timex == YES)
        xopt += "ZHXO";
    std::string yopt = "BCTS";
    if (ylog)
        yopt += 'L';
    cpgtbox(xopt.c_str(), 0.0f, 0, yopt.c_str(), 0.0f, 0);

    cpgslw(t.text_line_width);
    cpgsch(t.label_char_size);
    if (t.YoNXnumlab == YES)
        xopt += t.Xnumlab_bot == YES ? 'N' : 'M';
    if (t.YoNYnumlab == YES)
        yopt += t.Ynumlab_left == YES ? 'N' : 'M';
    /* From the third letter on: ticks and numbers without the frame lines. */
    cpgtbox(xopt.c_str() + 2, 0.0f, 0, yopt.c_str() + 2, 0.0f, 0);

    cpgsch(t.title_char_size);
    cpgslw(t.text_line_width);
    cpgmtxt("T", t.title_disp, 0.5f, t.title_just, t.title);
    cpgsch(t.label_char_size);
    cpgmtxt("T", t.subtitle_disp, 0.5f, t.title_just, t.subtitle);
    cpgmtxt("T", t.subsubtitle_disp, 0.5f, t.title_just, t.subsubtitle);
    if (t.YoNXnumlab == YES)
        cpgmtxt(t.Xtextlab_bot == YES ? "B" : "T", 2.0f, 0.5f, 0.5f, t.xlabel);
    if (t.YoNYnumlab == YES)
        cpgmtxt(t.Ytextlab_left == YES ? "L" : "R", 2.0f, 0.5f, 0.5f, t.ylabel);
    if (t.timex == YES) {
        const float f = x2 >= x1 ? 0.0f : 1.0f;
        cpgmtxt("B", 2.5f, f, (f + 1.0f) / 2.0f, t.datestart);
        if (std::strcmp(t.dateend, t.datestart) != 0)
            cpgmtxt("B", 2.5f, 1.0f - f, 1.0f - f / 2.0f, t.dateend);
    }
}

void Plot(PGXYtrace *t)
{
    cpgsci(1);
    const bool xlog = t->xlinlog == PGSPECTRO_LOG && t->timex == NO;
    const bool ylog = t->ylinlog == PGSPECTRO_LOG;
    const Values x(t->x, t->npts, t->plot_domain.xworldmin, t->plot_domain.xworldmax, xlog);
    const Values y(t->y, t->npts, t->plot_domain.yworldmin, t->plot_domain.yworldmax, ylog);

    cpgsvp(t->plot_domain.xndcmin, t->plot_domain.xndcmax, t->plot_domain.yndcmin, t->plot_domain.yndcmax);
    cpgswin(x.w1, x.w2, y.w1, y.w2);
    if (t->YoNbox == YES)
        Frame(*t, xlog, ylog, x.w1, x.w2);

    cpgslw(t->line_width);
    cpgsls(t->linestyle);
    cpgsci(t->colour);
    cpgsch(static_cast<float>(t->symbol_size));
    if (t->npts > 0) {
        if (t->YoNline == YES)
            cpgline(t->npts, x.v, y.v);
        if (t->YoNsymbol == YES)
            cpgpt(t->npts, x.v, y.v, t->symbol);
    }
    if (t->YoNlegend == YES)
        PGXYtrace_legend(t);
}

} // namespace

PGSpectro_ret PGXYtrace_plot(PGXYtrace *t)
{
    const qpgplot::BufferedOutput held;
    cpgsave();
    try {
        Plot(t);
    } catch (const std::bad_alloc &) {
        /* Without room for the logarithms the trace is left out. */
    }
    cpgunsa();
    return PGSPECTRO_OK;
}

PGSpectro_ret PGXYtrace_legend(PGXYtrace *t)
{
    cpgsave();
    cpgsci(1);
    cpgsls(1);
    cpgsch(t->legend_text_char_size);
    cpgsvp(t->legend_domain.xndcmin, t->legend_domain.xndcmax, t->legend_domain.yndcmin,
           t->legend_domain.yndcmax);
    cpgswin(0.0f, 1.0f, 0.0f, 1.0f);
    if (t->YoNlegendbox == YES) {
        cpgslw(t->box_thickness);
        cpgbox("BC", 0.0f, 0, "BC", 0.0f, 0);
    }

    const float len = t->legend_line_length_frac;
    const float marg = 0.1f * len;
    const float h = t->legend_just;
    cpgslw(t->line_width);
    cpgsls(t->linestyle);
    cpgsci(t->colour);
    if (t->YoNline == YES) {
        const float xs[2] = {marg, marg + len};
        const float ys[2] = {h, h};
        cpgline(2, xs, ys);
    }
    if (t->YoNsymbol == YES) {
        cpgsch(static_cast<float>(t->symbol_size));
        cpgpt1((marg + marg + len) / 2.0f, h, t->symbol);
    }

    cpgsci(1);
    cpgslw(t->text_line_width);
    /* The text keeps within the legend box (on a narrow page the box is
     * narrower than a line of the legend is long), unless that would leave
     * it too small to read: then it reaches past the box, within the page. */
    const float size = PGSpectro_legible_char_size(t->legend_text_char_size);
    const float legible = PGSpectro_legible_char_size(0.0f);
    cpgsch(size);
    const float start = marg + len + marg;
    const float width = t->legend_domain.xndcmax - t->legend_domain.xndcmin;
    const float room = (1.0f - start) * width;
    const float page_room = 0.99f - (t->legend_domain.xndcmin + start * width);
    float xl = 0, yl = 0;
    cpglen(0, t->legend_text, &xl, &yl);
    if (room > 0 && xl > room) {
        const float fitted = size * room / xl;
        const float on_page = page_room > 0 ? size * page_room / xl : fitted;
        cpgsch(std::fmax(fitted, std::fmin(legible, on_page)));
    }
    float xch = 0, ych = 0;
    cpgqcs(4, &xch, &ych);
    cpgptxt(start, h - 0.4f * ych, 0.0f, 0.0f, t->legend_text);
    cpgunsa();
    return PGSPECTRO_OK;
}
