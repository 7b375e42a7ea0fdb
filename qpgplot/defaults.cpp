/* Defaults of the drawing layer's records, and the safe logarithm. */
#include "PGSpectro.h"

#include <cmath>

namespace {

/* The one text every default label points to. */
constexpr const char *kBlank = " ";

void WedgeDefaults(PGSpectro_wedge *wedge)
{
    wedge->disp = 1.5f;
    wedge->width = 1.5f;
    wedge->label = kBlank;
}

} // namespace

double SafeLog10(double x)
{
    return x >= 1e-33 ? std::log10(x) : -33.0;
}

void PGSpectro_domain_set_defaults(PGSpectro_domain *domain)
{
    domain->xworldmin = 1.0f;
    domain->xworldmax = 10.0f;
    domain->yworldmin = 1.0f;
    domain->yworldmax = 10.0f;
    domain->xndcmin = 0.1f;
    domain->xndcmax = 0.85f;
    domain->yndcmin = 0.1f;
    domain->yndcmax = 0.9f;
}

void PGSpectro_set_defaults(PGSpectro *spec)
{
    spec->nx = 0;
    spec->ny = 0;
    spec->zscalemin = 1.0f;
    spec->zscalemax = 10.0f;
    spec->zmissing = -1e31f;
    spec->skip_missing = NO;
    spec->xlabel = kBlank;
    spec->ylabel = kBlank;
    spec->title = kBlank;
    spec->subtitle = kBlank;
    spec->color_table = PGSPECTRO_RAINBOW;
    PGSpectro_domain_set_defaults(&spec->domain);
    WedgeDefaults(&spec->wedge);
    spec->xlinlog = PGSPECTRO_LIN;
    spec->ylinlog = PGSPECTRO_LIN;
    spec->zlinlog = PGSPECTRO_LIN;
    spec->xnums = YES;
    spec->ynums = YES;
    spec->ylabel_vert = NO;
    spec->draw_wedge = YES;
    spec->timex = NO;
    spec->datestart = kBlank;
    spec->dateend = kBlank;
    spec->xgapfill = NO;
    spec->xgapsize = 0.0f;
    spec->char_size = 0.7f;
}

void PGWheel_domain_set_defaults(PGWheel_domain *domain)
{
    domain->rmin = 0.0f;
    domain->rmax = 10.0f;
    domain->xndcmin = 0.15f;
    domain->xndcmax = 0.8f;
    domain->yndcmin = 0.15f;
    domain->yndcmax = 0.8f;
}

void PGWheel_set_defaults(PGWheel *wheel)
{
    wheel->nr = 0;
    wheel->nth = 0;
    wheel->ncircles = 0;
    wheel->zscalemin = 1.0f;
    wheel->zscalemax = 10.0f;
    wheel->zmissing = -1e31f;
    wheel->skip_missing = NO;
    wheel->xlabel = kBlank;
    wheel->ylabel = kBlank;
    wheel->title = kBlank;
    wheel->suptitle = kBlank;
    wheel->supsuptitle = kBlank;
    wheel->subtitle = kBlank;
    wheel->subsubtitle = kBlank;
    wheel->color_table = PGSPECTRO_RAINBOW;
    PGWheel_domain_set_defaults(&wheel->domain);
    WedgeDefaults(&wheel->wedge);
    wheel->rlinlog = PGSPECTRO_LIN;
    wheel->zlinlog = PGSPECTRO_LIN;
    wheel->rnums = YES;
    wheel->title_just = 0.5f;
    wheel->text_scale = 1.0f;
}

PGSpectro_ret PGXYtrace_set_defaults(PGXYtrace *trace)
{
    trace->npts = 0;
    trace->colour = QPGBLACK;
    trace->linestyle = QPGSOLID;
    trace->line_width = 1;
    trace->symbol = QPGFILLEDCIRCLE;
    trace->YoNline = YES;
    trace->YoNsymbol = NO;
    trace->symbol_size = 1;
    trace->skip_ymissing = NO;

    /* The plot takes the left 60% of the default width and the legend
     * starts a tenth of that width to its right. */
    PGSpectro_domain_set_defaults(&trace->plot_domain);
    PGSpectro_domain_set_defaults(&trace->legend_domain);
    const float width = trace->plot_domain.xndcmax - trace->plot_domain.xndcmin;
    trace->plot_domain.xndcmax = trace->plot_domain.xndcmin + 0.6f * width;
    trace->legend_domain.xndcmin = trace->plot_domain.xndcmax + 0.1f * width;

    trace->subtitle = kBlank;
    trace->subsubtitle = kBlank;
    trace->xlabel = kBlank;
    trace->ylabel = kBlank;
    trace->title = kBlank;
    trace->Xtextlab_bot = YES;
    trace->Ytextlab_left = YES;
    trace->title_just = 0.5f;
    trace->title_disp = 2.0f;
    trace->subtitle_disp = 1.5f;
    trace->subsubtitle_disp = 0.5f;
    trace->label_char_size = 1.0f;
    trace->title_char_size = 1.5f;
    trace->text_line_width = 1;
    trace->YoNbox = YES;
    trace->YoNXnumlab = YES;
    trace->YoNYnumlab = YES;
    trace->Ynumlab_left = YES;
    trace->Xnumlab_bot = YES;
    trace->xlinlog = PGSPECTRO_LIN;
    trace->ylinlog = PGSPECTRO_LIN;
    trace->tick_length = 1.0f;
    trace->box_thickness = 1;
    trace->timex = NO;
    trace->datestart = kBlank;
    trace->dateend = kBlank;
    trace->legend_text_char_size = 0.7f;
    trace->YoNlegend = YES;
    trace->YoNlegendbox = YES;
    trace->legend_just = 0.5f;
    trace->legend_line_length_frac = 0.2f;
    trace->legend_text = kBlank;
    return PGSPECTRO_OK;
}
