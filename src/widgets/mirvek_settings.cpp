/* Mirvek's settings keys and the widgets they keep. */
#include "mirvek_settings.h"

#include "mirvek_boxes.h"

#include <QSpinBox>
#include <QTimeEdit>

#include <cassert>

namespace mirvek {

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
    auto field = [&add](QTimeEdit *edit, settings::TimePart part) {
        add(Form::Int, settings::TimeField{edit, part});
    };

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
    add(Form::Int, settings::SpinValue{t->bYearspinBox});
    add(Form::Int, settings::SpinValue{t->bDoyspinBox});
    field(t->btimeEdit, settings::TimePart::Hour);
    field(t->btimeEdit, settings::TimePart::Minute);
    field(t->btimeEdit, settings::TimePart::Second);
    add(Form::Int, settings::SpinValue{t->eYearspinBox});
    add(Form::Int, settings::SpinValue{t->eDoyspinBox});
    field(t->etimeEdit, settings::TimePart::Hour);
    field(t->etimeEdit, settings::TimePart::Minute);
    field(t->etimeEdit, settings::TimePart::Second);

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

    assert(out.size() == N_SAVED_KEYS);
    return out;
}

} // namespace mirvek
