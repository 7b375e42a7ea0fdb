/* Lunder's settings keys and the widgets they keep. */
#include "lunder_settings.h"

#include "lunder_boxes.h"
#include "option_widgets.h"

#include <QSpinBox>
#include <QTimeEdit>

namespace lunder {

std::vector<settings::Entry> settings_entries(const SettingsWidgets &w)
{
    using settings::Form;
    settings::EntryList e(savestrings, N_SAVED_KEYS);
    auto combo = [&e](QComboBox *c) { e.combo(c); };
    auto edit = [&e](Form form, QLineEdit *l) { e.edit(form, l); };
    /* Lineage labels longer than a lineage field could never be read. */
    auto label = [&e](QLabel *l) { e.label(l, NURV_LINEAGE_LEN - 1); };

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
        e.spin(tb->YearspinBox);
        e.day(tb->DoyspinBox, tb->YearspinBox);
        e.time(tb->timeEdit);
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

    return e.take();
}

} // namespace lunder
