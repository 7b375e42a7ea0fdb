/* Mirvek's settings keys and the widgets they keep. */
#include "mirvek_settings.h"

#include "mirvek_boxes.h"

#include <QSpinBox>
#include <QTimeEdit>

namespace mirvek {

std::vector<settings::Entry> settings_entries(const SettingsWidgets &w)
{
    using settings::Form;
    settings::EntryList e(savestrings, N_SAVED_KEYS);
    auto combo = [&e](QComboBox *c) { e.combo(c); };
    auto edit = [&e](Form form, QLineEdit *line) { e.edit(form, line); };

    LineageBox *l = w.lineage;
    combo(l->proj);
    combo(l->miss);
    combo(l->exp);
    combo(l->inst);
    combo(l->virins);
    combo(l->pachoice);
    edit(Form::Int, l->npa);
    combo(l->gatherchoice);
    edit(Form::Real, l->gathern);

    TimeBox *t = w.startendbox;
    e.spin(t->bYearspinBox);
    e.day(t->bDoyspinBox, t->bYearspinBox);
    e.time(t->btimeEdit);
    e.spin(t->eYearspinBox);
    e.day(t->eDoyspinBox, t->eYearspinBox);
    e.time(t->etimeEdit);

    combo(w.plottype);
    combo(w.energy_units);
    combo(w.energy_bins);
    combo(w.energy_sc_pot);
    edit(Form::Real, w.sc_pot_val);
    edit(Form::Real, w.sc_pot_gap_secs);
    edit(Form::Real, w.nebins);
    combo(w.energy_linlog);
    combo(w.energy_scale);
    edit(Form::Real, w.emin);
    edit(Form::Real, w.emax);
    combo(w.psd_units);
    combo(w.psd_linlog);
    combo(w.psd_scale);
    edit(Form::Real, w.psdmin);
    edit(Form::Real, w.psdmax);
    combo(w.plot_col);
    combo(w.plot_dev);
    edit(Form::Int, w.plot_win_edit);
    edit(Form::Text, w.plot_file_edit);
    edit(Form::Text, w.plot_tgap);
    combo(w.exp_opt);
    edit(Form::Text, w.exp_file_edit);

    return e.take();
}

} // namespace mirvek
