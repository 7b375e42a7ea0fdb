/* Mirvek's plot and export actions.  Both read the widgets into the working
 * members, read the sweeps of the source (with the potential correction when
 * asked), rebin them to pitch angle, gather them onto a template of custom
 * energy and pitch-angle bins, and then draw them or write them to a file.
 * Every sweep set is freed before an action returns, on every path. */
#include "mirvek.h"

#include "Qsweep_export.h"
#include "Velora_plot.h"
#include "cpgplot.h"
#include "fetch_wait.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "libdbSQL.h"
#include "mirvek_boxes.h"
#include "plot_device.h"
#include "wheel_pager.h"
#include "widget_values.h"

#include <stdlib.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

/* The longest device name the plot action hands to PGPLOT. */
constexpr std::size_t kMaxDeviceName = 499;
constexpr double kDegreesPerRadian = 57.29577951308232;
/* Seconds gathered into one sweep: at most a leap year. */
constexpr float kMaxGatherSecs = 366.0f * 86400.0f;

bool is_multi_spacecraft(const NURV_LINEAGE_S &lineage)
{
    return std::strncmp(lineage.mission, "C1234", 5) == 0;
}

void print_line(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

/* Replaces a sweep's float array by a new one of n zeroed entries, taken
 * with calloc as the sweep model releases it with free; null when memory
 * runs out. */
float *replace_floats(float *&array, int n)
{
    std::free(array);
    array = static_cast<float *>(std::calloc(static_cast<std::size_t>(std::max(n, 1)), sizeof(float)));
    return array;
}

/* A time as the messages show it: "2001-090 18:00:00". */
std::string time_text(const NURV_TIME_S &t)
{
    int h, m, sec, nano;
    to_hms_time(&t, &h, &m, &sec, &nano);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%03d %02d:%02d:%02d", t.year, t.doy, h, m, sec);
    return text;
}

struct ContentsDeleter {
    void operator()(KvCDFContents *c) const { KvFreeCDFContentsObj(c); }
};
struct OptionsDeleter {
    void operator()(KvOptions *o) const { KvFreeOptionsObj(o); }
};

} // namespace

/* ---- Steps shared by both actions -------------------------------------------- */

void MirvekBox::readActionWidgets()
{
    freeSweeps();
    lng1 = NURV_LINEAGE_S{};
    lineage->grab_lineage(&lng1);
    startendbox->GetStartTimeFromTimeBox(&idft1);
    startendbox->GetEndTimeFromTimeBox(&idft2);
    bin_units = static_cast<BIN_UNITS_E>(energy_units->currentIndex());
    psdu = static_cast<PSD_UNITS_E>(psd_units->currentIndex());
    set_pa_opts_defaults(&paopts);
    switch (lineage->pachoice->currentIndex()) {
    case 1:
        paopts.do_pa = QPTRUE;
        paopts.mu_bins = QPFALSE;
        paopts.n_pabins = widgets::edit_int(lineage->npa);
        break;
    case 2:
        paopts.do_pa = QPTRUE;
        paopts.mu_bins = QPTRUE;
        paopts.n_pabins = widgets::edit_int(lineage->npa);
        break;
    default:
        paopts.do_pa = QPFALSE;
        break;
    }
}

bool MirvekBox::fieldsUsable(int id) const
{
    using widgets::int_field_usable;
    using widgets::real_field_usable;
    const bool custom = energy_bins->currentIndex() == 1;
    const bool user_range = custom && energy_scale->currentIndex() == 1;
    const bool potential = energy_sc_pot->currentIndex() == DO_SC_POT_CORR || energy_sc_pot->currentIndex() == CONST_SC_POT;
    const bool plot = id == 0 || id == 1;
    return (paopts.do_pa != QPTRUE || int_field_usable(lineage->npa, "number of pitch-angle bins")) &&
           real_field_usable(lineage->gathern, "gather n") &&
           (!potential || real_field_usable(sc_pot_val, "s/c potential value")) &&
           (!potential || real_field_usable(sc_pot_gap_secs, "s/c potential gap secs")) &&
           (!custom || int_field_usable(nebins, "number of custom energy bins")) &&
           (!user_range || real_field_usable(emin, "custom bins min")) &&
           (!user_range || real_field_usable(emax, "custom bins max")) &&
           (!plot || real_field_usable(psdmin, "phase space min")) &&
           (!plot || real_field_usable(psdmax, "phase space max")) &&
           (!plot || real_field_usable(plot_tgap, "t-fill gaps < (s)"));
}

bool MirvekBox::timesUsable(bool spectrogram) const
{
    const NURV_TIME_COMPARE order = compare_nurv_time(&idft1, &idft2);
    if (order == T1_LATER) {
        std::printf("The end time %s is before the start time %s (the Start and End time fields); nothing %s\n",
                    time_text(idft2).c_str(), time_text(idft1).c_str(), spectrogram ? "drawn" : "done");
    } else if (order == SAME_TIME && spectrogram) {
        std::printf("The start and end times are both %s (the Start and End time fields): a spectrogram needs the "
                    "end after the start; nothing drawn\n",
                    time_text(idft1).c_str());
    } else {
        return true;
    }
    std::fflush(stdout);
    return false;
}

bool MirvekBox::binCountsUsable() const
{
    const bool custom = energy_bins->currentIndex() == 1;
    const int nebin = custom ? widgets::edit_int(nebins) : 1;
    const bool pa = paopts.do_pa == QPTRUE;
    const char *too_few = custom && nebin < 1 ? "custom energy" : pa && paopts.n_pabins < 1 ? "pitch-angle" : nullptr;
    if (too_few != nullptr) {
        std::printf("The number of %s bins must be at least 1\n", too_few);
        std::fflush(stdout);
        return false;
    }
    const char *too_many = custom && nebin > widgets::kMaxBins                 ? "custom energy"
                           : pa && paopts.n_pabins > widgets::kMaxBins ? "pitch-angle"
                                                                        : nullptr;
    if (too_many != nullptr) {
        std::printf("The number of %s bins must be at most %d\n", too_many, widgets::kMaxBins);
        std::fflush(stdout);
        return false;
    }
    const int gather = lineage->gatherchoice->currentIndex();
    if (gather == GATHER_SECS) {
        const float secs = widgets::edit_float(lineage->gathern);
        if (!(secs > 0.0f && secs <= kMaxGatherSecs)) {
            std::printf("The seconds to gather must be more than 0 and at most %g, not %g (field gather n)\n",
                        static_cast<double>(kMaxGatherSecs), static_cast<double>(secs));
            std::fflush(stdout);
            return false;
        }
    } else if (widgets::edit_int(lineage->gathern) < 1) {
        std::printf("The number of sweeps or spins to gather must be at least 1, not \"%s\" (field gather n)\n",
                    lineage->gathern->text().left(60).toStdString().c_str());
        std::fflush(stdout);
        return false;
    }
    if (custom && pa) {
        const std::string what = "The custom bins (" + std::to_string(paopts.n_pabins) + " pitch angles x " +
                                 std::to_string(nebin) + " energies) of one sweep";
        return widgets::values_within_bound(static_cast<long long>(paopts.n_pabins) * nebin, what.c_str());
    }
    return true;
}

bool MirvekBox::sweepsUsable(bool plot) const
{
    if (paopts.do_pa == QPTRUE) {
        bool angles = false;
        for (int i = 0; i < nswp && !angles; ++i)
            angles = swppp[i] != nullptr && swppp[i]->pa != nullptr;
        if (!angles) {
            const std::string source = sweep_field_source_text(lng1);
            std::printf("Pitch-angle binning needs the magnetic field of %s from %s to %s, which none of the %d "
                        "sweeps read has; nothing %s\n",
                        source.empty() ? "a field source, which this project lacks," : source.c_str(),
                        time_text(idft1).c_str(), time_text(idft2).c_str(), nswp, plot ? "drawn" : "written");
            std::fflush(stdout);
            return false;
        }
    }
    /* What gathering makes: at most one sweep per read sweep (fewer when
     * several are gathered into one), each of the template's bins. */
    const HALDE_SWEEP_S *first = swppp[0];
    const long long levels = energy_bins->currentIndex() == 1 ? widgets::edit_int(nebins) : first->n_lev;
    const long long angles = paopts.do_pa == QPTRUE ? paopts.n_pabins : first->n_sen;
    long long sweeps = nswp;
    const int n = widgets::edit_int(lineage->gathern);
    if (lineage->gatherchoice->currentIndex() != GATHER_SECS && n > 1)
        sweeps = (sweeps + n - 1) / n;
    const std::string what = std::string(plot ? "The plot" : "The export") + " of " + std::to_string(sweeps) +
                             " sweeps of " + std::to_string(angles) + " angles x " + std::to_string(levels) +
                             " levels";
    return widgets::values_within_bound(sweeps * angles * levels, what.c_str());
}

int MirvekBox::readSweeps()
{
    KOMBRA_SHORT status;
    const int choice = energy_sc_pot->currentIndex();
    switch (choice) {
    case NO_SC_POT_CORR:
        status = GetNHaldeSweeps(&lng1, &idft1, &idft2, bin_units, psdu, paopts.do_pa, &nswp, &swppp);
        break;
    case DO_SC_POT_CORR:
    case CONST_SC_POT:
        status = GetNPotCorrectedHaldeSweeps(&lng1, &idft1, &idft2, bin_units, psdu, paopts.do_pa,
                                             choice == CONST_SC_POT ? QPTRUE : QPFALSE,
                                             widgets::edit_float(sc_pot_val), widgets::edit_float(sc_pot_gap_secs),
                                             &nswp, &swppp);
        break;
    default:
        print_line("Unknown SC Potential Choice");
        status = -501;
        break;
    }
    /* 12: the sweeps were read up to the end of a file, all of them whole. */
    if (status == 12)
        status = 1;
    if (status == 1 && (swppp == nullptr || nswp < 1))
        status = 1200;
    /* A catalog that stayed busy has said so, and so has a reading that
     * found no data: the generic line would add nothing. */
    if (status != 1 && dbActionCatalogBusy() != 1 && !sweep_reading_explained()) {
        std::printf("MIRVEK failed initial Get Sweeps returning %d. Try another source/time?\n", status);
        std::fflush(stdout);
    }
    if (status != 1)
        freeSweeps();
    return status;
}

int MirvekBox::rebinToPitchAngle()
{
    HALDE_PITCH_ANGLE_OPTS_S own{};
    own.do_pa = QPTRUE;
    own.n_pabins = swppp[0]->n_sen;
    own.mu_bins = QPFALSE;
    HALDE_SWEEP_S **rebinned = nullptr;
    int nrebinned = 0;
    const KOMBRA_SHORT status = Rebin_n_sweeps_to_pa(swppp, nswp, 1, &own, &rebinned, &nrebinned);
    freeSweeps();
    if (status != 1 || nrebinned < 1) {
        free_sweep_set(nrebinned, rebinned);
        std::printf("Mirvek failed to rebin each sweep in pa, ret = %d\n", status);
        std::fflush(stdout);
        return status != 1 ? status : -506;
    }
    swppp = rebinned;
    nswp = nrebinned;
    return 1;
}

int MirvekBox::gatherOntoTemplate(float *rmin, float *rmax)
{
    const HALDE_SWEEP_S *first = swppp[0];
    SweepPtr templ(create_sweep_full_copy(first));
    if (!templ) {
        print_line("Mirvek has no memory for the template sweep of the gathering\n");
        freeSweeps();
        return -501;
    }
    if (energy_bins->currentIndex() == 1) {
        const int n = widgets::edit_int(nebins);
        float lo, hi;
        if (energy_scale->currentIndex() == 1) {
            lo = widgets::edit_float(emin);
            hi = widgets::edit_float(emax);
        } else {
            /* The first positive low edge from the lowest level up (the
             * highest level's when none is), whichever way the levels are
             * listed. */
            lo = 0.1f;
            const bool fall = bins_fall(first->elo, first->n_lev);
            for (int k = 0; k < first->n_lev; ++k) {
                lo = first->elo[fall ? first->n_lev - 1 - k : k];
                if (lo > 0)
                    break;
            }
            if (lo < 0)
                lo = 0.1f;
            hi = first->n_lev > 0 ? bins_highest_edge(first->elo, first->ehi, first->n_lev) : 1.0f;
            if (hi < 0)
                hi = 1.0f;
        }
        float *elo = replace_floats(templ->elo, n);
        float *ehi = replace_floats(templ->ehi, n);
        if (elo == nullptr || ehi == nullptr) {
            std::printf("Mirvek has no memory for %d custom energy bins\n", n);
            std::fflush(stdout);
            freeSweeps();
            return -501;
        }
        set_equal_bins_linlog(elo, ehi, n, lo, hi, static_cast<PGSpectro_linlog>(energy_linlog->currentIndex()));
        templ->n_lev = n;
    }
    if (paopts.do_pa == QPTRUE) {
        const int n = paopts.n_pabins;
        float *lo = replace_floats(templ->thlo, n);
        float *hi = replace_floats(templ->thhi, n);
        if (lo == nullptr || hi == nullptr) {
            std::printf("Mirvek has no memory for %d pitch-angle bins\n", n);
            std::fflush(stdout);
            freeSweeps();
            return -501;
        }
        if (paopts.mu_bins == QPFALSE) {
            set_equal_bins(lo, hi, n, 0.0f, 180.0f);
        } else {
            set_equal_bins(lo, hi, n, 1.0f, -1.0f);
            for (int s = 0; s < n; ++s) {
                lo[s] = static_cast<float>(std::acos(std::clamp(lo[s], -1.0f, 1.0f)) * kDegreesPerRadian);
                hi[s] = static_cast<float>(std::acos(std::clamp(hi[s], -1.0f, 1.0f)) * kDegreesPerRadian);
            }
            lo[0] = 0.0f;
            hi[n - 1] = 180.0f;
        }
        templ->n_sen = n;
    }
    std::free(templ->psd);
    templ->psd = nullptr;
    std::free(templ->pa);
    templ->pa = nullptr;

    HALDE_GATHER_GAPS_S gaps;
    sweep_spin_gap_defaults(&gaps);
    if (std::strcmp(lng1.instrument, "PAD") == 0)
        gaps.sweep_gap = gaps.spin_gap;
    HALDE_SWEEP_S **gathered = nullptr;
    int ngat = 0;
    const KOMBRA_SHORT status = gather_sweeps(
        swppp, nswp, templ.get(), static_cast<HALDE_GATHER_CHOICE>(lineage->gatherchoice->currentIndex()), gaps,
        widgets::edit_float(lineage->gathern), widgets::edit_int(lineage->gathern), &gathered, &ngat);
    *rmin = templ->n_lev > 0 ? bins_lowest_edge(templ->elo, templ->n_lev) : 0.0f;
    *rmax = templ->n_lev > 0 ? bins_highest_edge(templ->elo, templ->ehi, templ->n_lev) : 0.0f;
    freeSweeps();
    if (status != 1 || ngat < 1) {
        free_sweep_set(ngat, gathered);
        std::printf("gather sweeps failed returning %d\n", status);
        std::fflush(stdout);
        return status != 1 ? status : -518;
    }
    swppp = gathered;
    nswp = ngat;
    return 1;
}

void MirvekBox::freeSweeps()
{
    free_sweep_set(nswp, cong_swps);
    cong_swps = nullptr;
    free_sweep_set(nswp, swppp);
    swppp = nullptr;
    nswp = 0;
}

/* ---- Plot -------------------------------------------------------------------- */

void MirvekBox::slotPlot(int id)
{
    if (id != 0 && id != 1)
        return;
    const DbAction action;
    written_files_.clear();
    readActionWidgets();
    const int type = plottype->currentIndex();
    if (!fieldsUsable(id) || !binCountsUsable() || !timesUsable(type == 0) ||
        (id == 1 && !widgets::stem_usable(plot_file_edit->text(), "plot file stem")))
        return;

    PGSpectro_set_defaults(&pgspectro);
    pgspectro.color_table = static_cast<PGSpectro_col>(plot_col->currentIndex());
    pgspectro.zlinlog = static_cast<PGSpectro_linlog>(psd_linlog->currentIndex());
    pgspectro.zscalemin = widgets::edit_float(psdmin);
    pgspectro.zscalemax = widgets::edit_float(psdmax);
    pgspectro.zmissing = 0.0f;
    pgspectro.skip_missing = YES;
    pgspectro.xgapsize = widgets::edit_float(plot_tgap);
    pgspectro.xgapfill = pgspectro.xgapsize > 0 ? YES : NO;
    const bool autoscale = psd_scale->currentIndex() == 0;

    std::string device;
    auto pages = widgets::PlotDevice::Pages::Unnumbered;
    if (id == 0) {
        const int window = widgets::edit_int(plot_win_edit);
        device = (window >= 1 && window <= 255 ? std::to_string(window) : std::string("53")) + "/Xserv";
    } else {
        static const char *const types[] = {"/GIF", "/VGIF", "/CPS", "/VCPS"};
        int kind = plot_dev->currentIndex();
        if (kind < 0 || kind > 3)
            kind = 0;
        const bool gif = kind < 2;
        const char *extension = type == 0 ? (gif ? ".gif" : ".eps") : (gif ? "#.gif" : ".ps");
        device = plot_file_edit->text().toStdString() + extension + types[kind];
        /* A wheel sequence into GIF files numbers them at the "#" put
         * before the extension; a "#" of the stem is kept as typed. */
        if (type != 0 && gif)
            pages = widgets::PlotDevice::Pages::Numbered;
    }

    widgets::PlotDevice plot;
    if (device.size() > kMaxDeviceName || plot.open(device, pages) < 1) {
        std::printf("Failed to open pgplot device %s successfully\n", device.c_str());
        print_line("If file check write permissions; if Xwindow, check pgxwin server\n");
        if (device.size() > kMaxDeviceName)
            std::printf("The device name is %zu characters long; at most %zu are taken\n", device.size(),
                        kMaxDeviceName);
        else if (!plot.reason().empty())
            std::printf("%s\n", plot.reason().c_str());
        std::fflush(stdout);
        return;
    }
    cpgshls(0, 0.0f, 1.0f, 0.0f);
    cpgshls(1, 0.0f, 0.0f, 0.0f);
    /* Without a terminal PGPLOT's prompt between pages would read nothing
     * and let the sequence flash by; the sequence waits in the window. */
    wheels_wait_ = id == 0 && type != 0 && mirvek::wheels_wait_in_window();
    wheels_stopped_ = false;
    if (wheels_wait_)
        cpgask(0);

    const int panels = is_multi_spacecraft(lng1) ? 4 : 1;
    cpgsubp(1, panels);
    bool drawn = false;
    for (int p = 0; p < panels; ++p) {
        if (wheels_stopped_)
            break;
        if (plotPanel(p, panels, type, autoscale, &drawn))
            continue;
        /* A spacecraft the archive holds none of the product for has been
         * named by the reading; its panel says so and the others are drawn.
         * Any other failure ends the plot. */
        if (panels == 1 || sweep_source_catalogued(&lng1, paopts.do_pa) != 0)
            break;
        const std::string none = std::string("No data of ") + lng1.project + " " + lng1.mission + " " +
                                 lng1.experiment + " " + lng1.instrument + " " + lng1.virtual_inst;
        cpgsvp(0.0f, 1.0f, 0.0f, 1.0f);
        cpgswin(0.0f, 1.0f, 0.0f, 1.0f);
        cpgsci(1);
        cpgsch(pgspectro.char_size);
        cpgptxt(0.5f, 0.5f, 0.0f, 0.5f, none.c_str());
        drawn = true;
    }
    /* PGPLOT's identification line, once for a page of panels (a wheel of
     * a sequence has a page of its own, identified as it is drawn). */
    if (drawn && (type == 0 || panels > 1))
        cpgiden();
    freeSweeps();
    // Quit or a signal came while the sweeps were read: the program ends.
    plot.close(drawn && !widgets::nothing_written_as_ending());
    for (const std::string &f : plot.files())
        written_files_ << QString::fromStdString(f);
}

bool MirvekBox::plotPanel(int panel, int panels, int type, bool autoscale, bool *drawn)
{
    cpgpage();
    PGSpectro_domain_set_defaults(&pgspectro.domain);
    pgspectro.wedge.disp = 2.5f;
    if (panels == 4) {
        pgspectro.char_size = 1.4f;
        std::snprintf(lng1.mission, sizeof lng1.mission, "%s", SC_NAME(panel));
    }
    if (readSweeps() != 1)
        return false;
    if (!sweepsUsable(true)) {
        freeSweeps();
        return false;
    }
    if (paopts.do_pa == QPTRUE && rebinToPitchAngle() != 1)
        return false;
    float rmin = 0, rmax = 0;
    if (gatherOntoTemplate(&rmin, &rmax) != 1)
        return false;
    SWEEP_WHEEL_OPTIONS_S wheel;
    Set_sweep_wheel_options_default(&wheel);
    wheel.rmin = rmin;
    wheel.rmax = rmax;

    /* A logarithmic scale takes its range from the values it can show.  The
     * first panel drawn sets the scale the others share. */
    if (autoscale && !*drawn) {
        if (pgspectro.zlinlog == PGSPECTRO_LOG)
            sweeps_log_autoscaler(swppp, nswp, &pgspectro.zscalemin, &pgspectro.zscalemax);
        else
            sweeps_autoscaler(swppp, nswp, &pgspectro.zscalemin, &pgspectro.zscalemax);
    }
    pgspectro.zmissing = swppp[0]->missing_value;
    const HALDE_SWEEP_S *shown = swppp[0];

    if (type == 0) {
        pg_ret_val = Mirvek_plot(swppp, nswp, &pgspectro, idft1, idft2);
        if (pg_ret_val == PGSPECTRO_MIRVEK_INCONGRUENT) {
            cong_swps = static_cast<HALDE_SWEEP_S **>(std::calloc(static_cast<std::size_t>(nswp), sizeof *cong_swps));
            if (cong_swps == nullptr) {
                std::printf("Mirvek failed to malloc the regridded sweep array\n");
                std::fflush(stdout);
                return false;
            }
            for (int i = 0; i < nswp; ++i) {
                cong_swps[i] = rebin_sweep(swppp[0], swppp[i]);
                if (cong_swps[i] == nullptr) {
                    std::printf("Mirvek failed to regrid sweep %d onto the bins of the first\n", i);
                    std::fflush(stdout);
                    return false;
                }
            }
            pgspectro.zmissing = cong_swps[0]->missing_value;
            pg_ret_val = Mirvek_plot(cong_swps, nswp, &pgspectro, idft1, idft2);
            shown = cong_swps[0];
        }
        *drawn = *drawn || pg_ret_val == PGSPECTRO_OK;
    } else {
        wheel.color_table = pgspectro.color_table;
        wheel.zlinlog = pgspectro.zlinlog;
        wheel.rlinlog = static_cast<PGSpectro_linlog>(energy_linlog->currentIndex());
        wheel.zautoscale = autoscale ? YES : NO;
        wheel.rautoscale = NO;
        wheel.zmin = pgspectro.zscalemin;
        wheel.zmax = pgspectro.zscalemax;
        wheel.skip_missing = YES;
        QPGLine_colour colours[2] = {QPGBLACK, QPGBLACK};
        QPGLinestyle styles[2] = {QPGSOLID, QPGDASHED};
        float thicknesses[2] = {2.0f, 2.0f};
        float thetas[2] = {0.0f, 90.0f};
        SWEEP_CUT_OPTIONS_S cuts;
        if (type == 2) {
            /* The wheel above its cuts, on either page shape: beside them
             * its titles, which a half draws from the middle outwards, and
             * its colour bar would run into the cuts, and the cuts' legend
             * would have no room to be read. */
            wheel.text_scale = 0.6f;
            wheel.xndcmin = 0.15f;
            wheel.xndcmax = 0.75f;
            wheel.yndcmin = 0.48f;
            wheel.yndcmax = 0.84f;
            Set_Sweep_cut_options_default(&cuts);
            cuts.nswps = 2;
            cuts.colours = colours;
            cuts.linestyles = styles;
            cuts.linethicknesses = thicknesses;
            cuts.xlinlog = wheel.rlinlog;
            cuts.ylinlog = wheel.zlinlog;
            cuts.xautoscale = NO;
            cuts.yautoscale = NO;
            cuts.xmin = wheel.rmin;
            cuts.xmax = wheel.rmax;
            cuts.ymin = wheel.zmin;
            cuts.ymax = wheel.zmax;
            cuts.xndcmin = 0.12f;
            cuts.xndcmax = 0.95f;
            cuts.yndcmin = 0.06f;
            cuts.yndcmax = 0.36f;
        }
        for (int i = 0; i < nswp; ++i) {
            if (PlotTwoSweeps(swppp[i], swppp[i], &wheel) == 0)
                *drawn = true;
            if (type == 2) {
                HALDE_SWEEP *pair[2] = {swppp[i], swppp[i]};
                Sweep_n_cuts_plot(pair, 2, thetas, &cuts);
            }
            if (panels == 1)
                cpgiden();
            if (wheels_wait_ && !mirvek::ask_next_wheel(this, QString::fromLatin1(lng1.mission), i + 1, nswp,
                                                        panel == panels - 1 && i == nswp - 1)) {
                wheels_stopped_ = true;
                break;
            }
            cpgpage();
        }
    }

    /* The colour range drawn: the stack's, or that of the wheels (the first
     * wheel's autoscaled range, which the others of the panel share). */
    const float zshown_min = type == 0 ? pgspectro.zscalemin : wheel.zmin;
    const float zshown_max = type == 0 ? pgspectro.zscalemax : wheel.zmax;
    emin->setText(widgets::number_text(shown->n_lev > 0 ? bins_lowest_edge(shown->elo, shown->n_lev) : 0.0));
    emax->setText(
        widgets::number_text(shown->n_lev > 0 ? bins_highest_edge(shown->elo, shown->ehi, shown->n_lev) : 0.0));
    psdmin->setText(widgets::number_text(zshown_min));
    psdmax->setText(widgets::number_text(zshown_max));
    freeSweeps();
    return true;
}

/* ---- Export ------------------------------------------------------------------ */

void MirvekBox::slotExp()
{
    const DbAction action;
    written_files_.clear();
    readActionWidgets();
    if (!fieldsUsable(-1) || !binCountsUsable() || !timesUsable(false) ||
        !widgets::stem_usable(exp_file_edit->text().simplified(), "export file stem"))
        return;
    int status;
    if (is_multi_spacecraft(lng1)) {
        print_line("Multi-spacecraft export not supported\n");
        status = -504;
    } else {
        if (readSweeps() != 1)
            return;
        if (!sweepsUsable(false)) {
            freeSweeps();
            return;
        }
        if (paopts.do_pa == QPTRUE && rebinToPitchAngle() != 1)
            return;
        float rmin, rmax;
        status = gatherOntoTemplate(&rmin, &rmax);
        if (status == 1) {
            if (!widgets::nothing_written_as_ending())
                exportFile(exp_file_edit->text().simplified(), exp_opt->currentIndex());
            freeSweeps();
            return;
        }
    }
    std::printf("GetNHaldeSweeps returned error %d. Try another source/time?\n", status);
    std::fflush(stdout);
    freeSweeps();
}

/* The writer puts its file into a private folder beside the user's file;
 * only a file written without error replaces the user's, so a failed export
 * removes only what it wrote itself. */
bool MirvekBox::exportFile(const QString &stem, int format)
{
    namespace fs = std::filesystem;
    KvCDFContents *made = nullptr;
    const int made_status = nsweeps2KvCDFContents(swppp, nswp, &made);
    std::unique_ptr<KvCDFContents, ContentsDeleter> contents(made);
    if (made_status != 1) {
        std::printf("nsweeps2KvCDFContents returned %d\n", made_status);
        std::fflush(stdout);
        return false;
    }
    std::unique_ptr<KvOptions, OptionsDeleter> options(KvMakeOptionsObj());
    if (!options)
        return false;
    KvOptions *o = options.get();
    o->header = ATTACHED;
    o->rec_numbering = NUM_OFF;
    o->priority = REPLACE;
    o->object_type = TS;
    o->attr_delim = ',';
    o->data_delim = ',';
    o->time_sep_attr = 'T';
    o->time_sep_data = 'T';
    o->fp_display = stdout;

    const std::string text = stem.toStdString();
    const std::size_t slash = text.rfind('/');
    const std::string path = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    contents->io_f_name = KvNewStr(name.c_str());
    if (!path.empty())
        contents->io_f_path = KvNewStr(path.c_str());

    /* Without its private folder the writer would write straight over the
     * user's file and remove it when the write fails: no folder, no export.
     * The folder is named after this process, so that the folders of
     * processes ended during an export go with the next one. */
    const std::string base = path.empty() ? std::string("./") : path;
    const std::string prefix = ".mirvek-export-";
    widgets::remove_stale_private_folders(base, prefix);
    std::string folder = base + prefix + std::to_string(getpid()) + "-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        const int err = errno;
        std::printf("Cannot make the private folder %s for the export: %s; nothing written\n", folder.c_str(),
                    std::strerror(err));
        std::fflush(stdout);
        return false;
    }
    if (contents->io_f_path != STR_NULL)
        std::free(contents->io_f_path);
    contents->io_f_path = KvNewStr((folder + "/").c_str());

    const bool cdf = format == 3;
    if (!cdf) {
        static const KvSOptions_f_type types[] = {CAA, EXCHANGE, TABULAR};
        o->f_type = types[format >= 0 && format < 3 ? format : 0];
        if (o->f_type != TABULAR) {
            o->attr_delim = ',';
            o->data_delim = ',';
            o->rec_end = '$';
            o->row_end = '\n';
        }
    }
    const long status = cdf ? KvWriteCSDSgenCDF(contents.get(), o) : KvWriteCSDSgenFlat(contents.get(), o);
    if (status != 0) {
        std::printf(cdf ? "KvWriteCSDSgenCDF returned %ld\n" : "KvWriteCSDSgenFlat returned %ld\n", status);
        char *message = KvErrStr(static_cast<int>(status));
        std::printf("%s", message != nullptr ? message : "");
        std::free(message);
        /* The writer names its file in the private folder: the user knows
         * it by the name it was to have. */
        std::string reason = KvLastFileError();
        const std::string scratch = folder + "/";
        for (std::size_t at; (at = reason.find(scratch)) != std::string::npos;)
            reason.replace(at, scratch.size(), path);
        if (!reason.empty())
            std::printf("%s\n", reason.c_str());
        std::fflush(stdout);
    }
    bool moved = status == 0 || status == -1;
    std::error_code ec;
    if (moved) {
        for (const auto &entry : fs::directory_iterator(folder, ec)) {
            const std::string target = path + entry.path().filename().string();
            fs::rename(entry.path(), target, ec);
            if (ec) {
                std::printf("Could not write export file %s: %s\n", target.c_str(), ec.message().c_str());
                moved = false;
                continue;
            }
            std::printf("Wrote export file %s\n", target.c_str());
            std::fflush(stdout);
            written_files_ << QString::fromStdString(target);
        }
    }
    fs::remove_all(folder, ec);
    return moved;
}
