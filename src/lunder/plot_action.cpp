/* Lunder's plot action: one azimuthal slice of each source drawn as the two
 * halves of one wheel, with an optional panel of their sum, difference,
 * product or ratio; and the device names both windows share. */
#include "lunder.h"
#include "fetch_wait.h"
#include "libdbSQL.h"
#include "lunder_boxes.h"
#include "lunder_int.h"
#include "plot_device.h"
#include "widget_values.h"

#include <QComboBox>
#include <QLineEdit>

#include <cpgplot.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace lunder {

std::string device_name(int kind, const QLineEdit *stem, const QLineEdit *window)
{
    static const char *const kFiles[4][2] = {{".gif", "/GIF"}, {".gif", "/VGIF"}, {".eps", "/CPS"}, {".eps", "/VCPS"}};
    if (kind >= 0 && kind < 4)
        return stem->text().toStdString() + kFiles[kind][0] + kFiles[kind][1];
    const int n = widgets::edit_int(window);
    return (n >= 1 && n <= 255 ? std::to_string(n) : std::string("53")) + "/Xserv";
}

void print_open_failure(const std::string &name)
{
    std::printf("Failed to open pgplot device %s successfully\n", name.c_str());
    std::printf("If file check write permissions; if Xwindow, check pgxwin server\n");
}

void free_sweep(HALDE_SWEEP_S *&sweep)
{
    if (sweep != nullptr) {
        free_sweep_arrays(sweep);
        std::free(sweep);
        sweep = nullptr;
    }
}

} // namespace lunder

namespace {

/* The pitch-angle options of a panel. */
void read_pa_options(const lunder::SweepBox *panel, HALDE_PITCH_ANGLE_OPTS_S *paopts)
{
    const int choice = panel->pachoice->currentIndex();
    if (choice != 0) {
        paopts->do_pa = QPTRUE;
        paopts->mu_bins = choice == 2 ? QPTRUE : QPFALSE;
        paopts->n_pabins = widgets::edit_int(panel->npa);
    } else {
        paopts->do_pa = QPFALSE;
    }
}

/* Seconds gathered into one slice: at most a leap year. */
constexpr float kMaxGatherSecs = 366.0f * 86400.0f;

/* The number fields of a panel that its slice will read, and its bin and
 * gather counts within their bounds; false after one line naming the field. */
bool panel_usable(const lunder::SweepBox *panel, const HALDE_PITCH_ANGLE_OPTS_S &paopts, const char *which)
{
    const std::string name = which;
    auto field = [&name](const char *what) { return name + " " + what; };
    const int g = panel->gatherchoice->currentIndex();
    const bool potential = panel->sc_pot->currentIndex() != NO_SC_POT_CORR;
    if ((paopts.do_pa == QPTRUE && !widgets::int_field_usable(panel->npa, field("pitch-angle bins").c_str())) ||
        !widgets::real_field_usable(panel->gathern, field("gather n").c_str()) ||
        (potential && !widgets::real_field_usable(panel->sc_pot_value, field("s/c potential value").c_str())) ||
        (potential && !widgets::real_field_usable(panel->sc_pot_gap, field("s/c potential gap secs").c_str())) ||
        !widgets::real_field_usable(panel->azslice, field("azimuthal slice").c_str()) ||
        !widgets::real_field_usable(panel->onecount_mult, field("1 count level multiplier").c_str()))
        return false;
    if (paopts.do_pa == QPTRUE && paopts.n_pabins < 1) {
        std::printf("Number of pitch angle bins must be at least 1, not %d\n", paopts.n_pabins);
        return false;
    }
    if (paopts.do_pa == QPTRUE && paopts.n_pabins > widgets::kMaxBins) {
        std::printf("Number of pitch angle bins must be at most %d, not %d\n", widgets::kMaxBins, paopts.n_pabins);
        return false;
    }
    if (g == GATHER_SECS) {
        const float secs = widgets::edit_float(panel->gathern);
        if (!(secs >= 0.0f && secs <= kMaxGatherSecs)) {
            std::printf("The seconds to gather must be from 0 to %g, not %g (%s field gather n)\n",
                        static_cast<double>(kMaxGatherSecs), static_cast<double>(secs), which);
            return false;
        }
    } else if (g != NO_GATHER && widgets::edit_int(panel->gathern) < 1) {
        std::printf("The number of sweeps or spins to gather must be at least 1, not \"%s\" (%s field gather n)\n",
                    panel->gathern->text().left(60).toStdString().c_str(), which);
        return false;
    }
    return true;
}

/* The one-count form of a unit; other units stay. */
PSD_UNITS_E one_count(PSD_UNITS_E units)
{
    switch (units) {
    case PSD_UNITS_CNTS_ACCUM:
        return PSD_UNITS_CNTS_ACCUM_1CNT;
    case PSD_UNITS_DIFF_ENERGY_FLUX:
        return PSD_UNITS_DIFF_ENERGY_FLUX_1CNT;
    case PSD_UNITS_S3_PER_KM6:
        return PSD_UNITS_S3_PER_KM6_1CNT;
    default:
        return units;
    }
}

} // namespace

HALDE_SWEEP_S *LunderBox::readSlice(const lunder::SweepBox *panel, const NURV_LINEAGE_S &lng,
                                    const NURV_TIME_S &start, NURV_TIME_S *end, HALDE_PITCH_ANGLE_OPTS_S *paopts,
                                    float az, float mult, PSD_UNITS_E *used, bool *etime_failed)
{
    const auto phisc = static_cast<PHISC_CHOICE_E>(panel->sc_pot->currentIndex());
    const float phisc_value = widgets::edit_float(panel->sc_pot_value);
    const float phisc_gap = widgets::edit_float(panel->sc_pot_gap);
    const auto g = static_cast<HALDE_GATHER_CHOICE_E>(panel->gatherchoice->currentIndex());
    const float gath_secs = widgets::edit_float(panel->gathern);
    const int gath_count = widgets::edit_int(panel->gathern);

    HALDE_GATHER_GAPS_S gaps;
    sweep_spin_gap_defaults(&gaps);
    if (std::strcmp(lng.instrument, "PAD") == 0)
        gaps.sweep_gap = gaps.spin_gap;

    NURV_LINEAGE_S lineage_arg = lng;
    NURV_TIME_S start_arg = start;
    *end = start;
    if (g == GATHER_SECS) {
        add_secs_to_nurv_time(end, gath_secs);
    } else if (g != NO_GATHER) {
        const KOMBRA_SHORT status = nurv_n_spin_sweep_etime(&lineage_arg, &start_arg, end, paopts->do_pa, g, gath_count);
        if (status != 1) {
            std::printf("nurv_n_spin_sweep_etime returned %d\n", status);
            *etime_failed = true;
            return nullptr;
        }
    }

    *used = panel->onecountchoice->currentIndex() == 1 ? one_count(psdu) : psdu;
    NURV_TIME_S end_arg = *end;
    HALDE_SWEEP_S *sweep = HaldeGetAzSliceV2(&lineage_arg, &start_arg, &end_arg, az, bin_units, *used, paopts, phisc,
                                             phisc_value, phisc_gap, g, gaps, gath_secs, gath_count);
    if (sweep != nullptr &&
        (*used == PSD_UNITS_CNTS_ACCUM_1CNT || *used == PSD_UNITS_DIFF_ENERGY_FLUX_1CNT || *used == PSD_UNITS_S3_PER_KM6_1CNT))
        sweep_scaler(sweep, mult);
    return sweep;
}

void LunderBox::slotActions(int id)
{
    int kind;
    if (id == 0 || id == 2)
        kind = 5;
    else if (id == 1)
        kind = plot_dev->currentIndex();
    else
        return;
    const DbAction action;

    freeSweeps();
    prim_sweep->transfer_lineage(&lng1);
    sec_sweep->transfer_lineage(&lng2);
    read_pa_options(prim_sweep, &paopts1);
    read_pa_options(sec_sweep, &paopts2);
    /* Fields, bins and gather counts are checked before anything is opened
     * or read: binning into no bins at all can only fail deep in the
     * reader, and into very many takes the memory of the machine. */
    const bool fields_usable =
        panel_usable(prim_sweep, paopts1, "primary") && panel_usable(sec_sweep, paopts2, "secondary") &&
        widgets::real_field_usable(psdmin, "phase space min") && widgets::real_field_usable(psdmax, "phase space max") &&
        widgets::real_field_usable(emin, "energy min") && widgets::real_field_usable(emax, "energy max") &&
        (anal_proc->currentIndex() == 0 || (widgets::real_field_usable(analmin, "analysis min") &&
                                            widgets::real_field_usable(analmax, "analysis max"))) &&
        (kind == 5 || widgets::stem_usable(plot_file_edit->text(), "plot file stem"));
    if (!fields_usable) {
        std::fflush(stdout);
        return;
    }
    prim_sweep->transfer_sweep_times(&idft1a);
    sec_sweep->transfer_sweep_times(&idft2a);
    az1 = widgets::edit_float(prim_sweep->azslice);
    az2 = widgets::edit_float(sec_sweep->azslice);
    onecnt_mult1 = widgets::edit_float(prim_sweep->onecount_mult);
    onecnt_mult2 = widgets::edit_float(sec_sweep->onecount_mult);
    bin_units = static_cast<BIN_UNITS_E>(energy_units->currentIndex());
    psdu = static_cast<PSD_UNITS_E>(psd_units->currentIndex());

    Set_sweep_wheel_options_default(&swoptions);
    swoptions.color_table = static_cast<PGSpectro_col>(plot_col->currentIndex());
    swoptions.zlinlog = static_cast<PGSpectro_linlog>(psd_linlog->currentIndex());
    swoptions.rlinlog = static_cast<PGSpectro_linlog>(energy_linlog->currentIndex());
    swoptions.zautoscale = static_cast<Yes_or_No>(psd_scale->currentIndex());
    swoptions.rautoscale = static_cast<Yes_or_No>(energy_scale->currentIndex());
    swoptions.zmin = widgets::edit_float(psdmin);
    swoptions.zmax = widgets::edit_float(psdmax);
    swoptions.rmin = widgets::edit_float(emin);
    swoptions.rmax = widgets::edit_float(emax);
    swoptions.skip_missing = YES;

    const std::string name = lunder::device_name(kind, plot_file_edit, plot_win_edit);
    widgets::PlotDevice device;
    if (name.size() > lunder::kMaxDeviceName || device.open(name) < 1) {
        lunder::print_open_failure(name);
        if (name.size() > lunder::kMaxDeviceName)
            std::printf("The device name is %zu characters long; at most %zu are taken\n", name.size(),
                        lunder::kMaxDeviceName);
        else if (!device.reason().empty())
            std::printf("%s\n", device.reason().c_str());
        return;
    }

    bool etime_failed = false;
    swp1 = readSlice(prim_sweep, lng1, idft1a, &idft1b, &paopts1, az1, onecnt_mult1, &psdu1, &etime_failed);
    if (swp1 == nullptr) {
        if (!etime_failed)
            std::printf("Failed to get 1st sweep\n");
        return;
    }
    swp2 = readSlice(sec_sweep, lng2, idft2a, &idft2b, &paopts2, az2, onecnt_mult2, &psdu2, &etime_failed);
    if (swp2 == nullptr) {
        if (!etime_failed) {
            std::printf("Failed to get 2nd sweep\n");
            lunder::free_sweep(swp1);
        }
        return;
    }
    // Quit or a signal came while the sweeps were read: the program ends.
    if (widgets::nothing_written_as_ending())
        return;

    const bool analysis = anal_proc->currentIndex() != 0;
    if (analysis)
        cpgsubp(1, 2);
    cpgshls(0, 0.0f, 1.0f, 0.0f);
    cpgshls(1, 0.0f, 0.0f, 0.0f);
    cpgpage();
    PlotTwoSweeps(swp1, swp2, &swoptions);
    emin->setText(widgets::number_text(swoptions.rmin));
    emax->setText(widgets::number_text(swoptions.rmax));
    psdmin->setText(widgets::number_text(swoptions.zmin));
    psdmax->setText(widgets::number_text(swoptions.zmax));

    if (analysis) {
        const auto oper = static_cast<ARITH_OPER_E>(anal_proc->currentIndex());
        swpar = sweep_arithmetic(swp1, swp2, oper);
        if (swpar == nullptr) {
            std::printf("Sweep_arithmetic returned NULL pointer\n");
        } else {
            swoptions.zlinlog = static_cast<PGSpectro_linlog>(anal_linlog->currentIndex());
            swoptions.zautoscale = static_cast<Yes_or_No>(anal_scale->currentIndex());
            swoptions.zmin = widgets::edit_float(analmin);
            swoptions.zmax = widgets::edit_float(analmax);
            NURV_LINEAGE_S &l = *swpar->lineage;
            static const char *const kOper[] = {"", " + ", " - ", " x ", " / "};
            std::snprintf(l.project, sizeof l.project, "Analysis: ");
            std::snprintf(l.mission, sizeof l.mission, "Primary");
            std::snprintf(l.experiment, sizeof l.experiment, "%s", kOper[oper]);
            std::snprintf(l.instrument, sizeof l.instrument, "Secondary");
            l.virtual_inst[0] = '\0';
            if (oper == MULTIPLY || oper == DIVIDE)
                swpar->psd_units = UNKNOWN_PSD_UNITS;
            cpgpage();
            PlotTwoSweeps(swpar, swpar, &swoptions);
            analmin->setText(widgets::number_text(swoptions.zmin));
            analmax->setText(widgets::number_text(swoptions.zmax));
            lunder::free_sweep(swpar);
        }
    }
    cpgiden();
    device.close(true);
}
