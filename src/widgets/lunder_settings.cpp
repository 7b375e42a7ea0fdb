/* Lunder's settings keys and the widgets they keep. */
#include "lunder_settings.h"

#include "lunder_boxes.h"
#include "option_widgets.h"

#include <QSpinBox>
#include <QTimeEdit>

#include <cassert>

namespace lunder {

const char *const savestrings[115] = {
    "PROJECT", "MISSION", "EXPERIMENT", "INSTRUMENT", "VIRTUAL",
    "PROJECT1", "MISSION1", "EXPERIMENT1", "INSTRUMENT1", "VIRTUAL1", "PA_OPTS1", "SN_PA1", "GATHER_OPTS1",
    "N_GATHER1", "SP_POT_OPTS1", "SC_POT_VAL1", "SC_POT_SECS1", "YEAR1", "DOY1", "HR1", "MIN1", "SEC1", "AZ1",
    "ONECNTCH1", "ONECNT_MULT1",
    "PROJECT2", "MISSION2", "EXPERIMENT2", "INSTRUMENT2", "VIRTUAL2", "PA_OPTS2", "SN_PA2", "GATHER_OPTS2",
    "N_GATHER2", "SP_POT_OPTS2", "SC_POT_VAL2", "SC_POT_SECS2", "YEAR2", "DOY2", "HR2", "MIN2", "SEC2", "AZ2",
    "ONECNTCH2", "ONECNT_MULT2",
    "ENERGY_UNITS", "ENERGY_LINLOG", "ENERGY_AUTOSCALE", "EMIN", "EMAX", "PSD_UNITS", "PSD_LINLOG", "PSD_SCALE",
    "PSD_MIN", "PSD_MAX", "ANALYSIS_OPT", "ANALYSIS_LINLOG", "ANALYSIS_AUTOSCALE", "ANALYSIS_MIN", "ANALYSIS_MAX",
    "PLOT_COL", "PLOT_DEV", "XWIN_NO", "PLOT_STEM",
    "VPARA1", "VPARA2", "B1", "B2", "DELPHI", "LEFT_WHEEL", "RIGHT_WHEEL", "BOX_THICK",
    "CUT_OPT0", "CUT_ANG0", "CUT_STYLE0", "CUT_COL0", "CUT_THICK0",
    "CUT_OPT1", "CUT_ANG1", "CUT_STYLE1", "CUT_COL1", "CUT_THICK1",
    "CUT_OPT2", "CUT_ANG2", "CUT_STYLE2", "CUT_COL2", "CUT_THICK2",
    "CUT_OPT3", "CUT_ANG3", "CUT_STYLE3", "CUT_COL3", "CUT_THICK3",
    "CUT_OPT4", "CUT_ANG4", "CUT_STYLE4", "CUT_COL4", "CUT_THICK4",
    "CUT_OPT5", "CUT_ANG5", "CUT_STYLE5", "CUT_COL5", "CUT_THICK5",
    "SLICE_E_LINLOG", "SLICE_E_AUTO", "SLICE_EMIN", "SLICE_EMAX", "SLICE_PSD_LINLOG", "SLICE_PSD_AUTO",
    "SLICE_PSDMIN", "SLICE_PSDMAX", "SLICE_PLOT_COL", "SLICE_PLOT_DEV", "SLICE_XWIN_NO", "SLICE_PLOT_STEM",
    "DUMMY_STRING"};

std::vector<settings::Entry> settings_entries(const SettingsWidgets &w)
{
    using settings::Form;
    std::vector<settings::Entry> out;
    out.reserve(N_SAVED_KEYS);
    /* Each entry takes the next key of the table. */
    auto add = [&out](Form form, settings::Target target) {
        out.push_back({savestrings[out.size()], form, std::move(target)});
    };
    auto combo = [&add](QComboBox *c) { add(Form::Int, settings::ComboItem{c}); };
    auto edit = [&add](Form form, QLineEdit *e) { add(form, settings::EditText{e}); };
    /* Lineage labels longer than a lineage field could never be read. */
    auto label = [&add](QLabel *l) { add(Form::Text, settings::LabelText{l, NURV_LINEAGE_LEN - 1}); };

    combo(w.lineage->proj);
    combo(w.lineage->miss);
    combo(w.lineage->exp);
    combo(w.lineage->inst);
    combo(w.lineage->virins);

    for (SweepBox *panel : {w.prim_sweep, w.sec_sweep}) {
        label(panel->project);
        label(panel->mission);
        label(panel->exp);
        label(panel->inst);
        label(panel->virins);
        combo(panel->pachoice);
        edit(Form::Int, panel->npa);
        combo(panel->gatherchoice);
        edit(Form::Real, panel->gathern);
        combo(panel->sc_pot);
        edit(Form::Real, panel->sc_pot_value);
        edit(Form::Real, panel->sc_pot_gap);
        TimeBox *tb = panel->timebox;
        add(Form::Int, settings::SpinValue{tb->YearspinBox});
        add(Form::Int, settings::SpinValue{tb->DoyspinBox});
        add(Form::Int, settings::TimeField{tb->timeEdit, settings::TimePart::Hour});
        add(Form::Int, settings::TimeField{tb->timeEdit, settings::TimePart::Minute});
        add(Form::Int, settings::TimeField{tb->timeEdit, settings::TimePart::Second});
        edit(Form::Real, panel->azslice);
        combo(panel->onecountchoice);
        edit(Form::Real, panel->onecount_mult);
    }

    combo(w.energy_units);
    combo(w.energy_linlog);
    combo(w.energy_scale);
    edit(Form::Real, w.emin);
    edit(Form::Real, w.emax);
    combo(w.psd_units);
    combo(w.psd_linlog);
    combo(w.psd_scale);
    edit(Form::Real, w.psdmin);
    edit(Form::Real, w.psdmax);
    combo(w.anal_proc);
    combo(w.anal_linlog);
    combo(w.anal_scale);
    edit(Form::Real, w.analmin);
    edit(Form::Real, w.analmax);
    combo(w.plot_col);
    combo(w.plot_dev);
    edit(Form::Int, w.plot_win_edit);
    edit(Form::Text, w.plot_file_edit);

    const SettingsWidgets::Slice &s = w.slicewin;
    edit(Form::Real, s.v1);
    edit(Form::Real, s.v2);
    edit(Form::Real, s.b1);
    edit(Form::Real, s.b2);
    edit(Form::Real, s.pot);
    combo(s.lwheel);
    combo(s.rwheel);
    combo(s.box_thick);
    for (Cuts_Selector *cut : s.cuts) {
        combo(cut->source);
        edit(Form::Real, cut->pangle);
        combo(cut->linesty);
        combo(cut->colour);
        combo(cut->thick);
    }
    combo(s.energy_linlog);
    combo(s.energy_scale);
    edit(Form::Real, s.emin);
    edit(Form::Real, s.emax);
    combo(s.psd_linlog);
    combo(s.psd_scale);
    edit(Form::Real, s.psdmin);
    edit(Form::Real, s.psdmax);
    combo(s.plot_col);
    combo(s.plot_dev);
    edit(Form::Int, s.plot_win_edit);
    edit(Form::Text, s.plot_file_edit);

    assert(out.size() == N_SAVED_KEYS);
    return out;
}

} // namespace lunder
