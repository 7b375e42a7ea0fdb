/* Mirvek's settings file: the key table and the entries that tie each key to
 * a widget of the main window, its lineage box and its time box.  The main
 * window hands in its widgets; "Save..." and "Restore..." then call
 * settings::save_settings and settings::restore_settings
 * (settings_widgets.h) with the file the user names. */
#pragma once

#include "settings_keys.h"
#include "settings_widgets.h"

#include <vector>

class QComboBox;
class QLineEdit;

namespace mirvek {

class LineageBox;
class TimeBox;

/* The widgets the file keeps, by their members in the main window. */
struct SettingsWidgets {
    LineageBox *lineage;
    TimeBox *startendbox;
    QComboBox *plottype, *energy_units, *energy_bins, *energy_sc_pot;
    QLineEdit *sc_pot_val, *sc_pot_gap_secs, *nebins;
    QComboBox *energy_linlog, *energy_scale;
    QLineEdit *emin, *emax;
    QComboBox *psd_units, *psd_linlog, *psd_scale;
    QLineEdit *psdmin, *psdmax;
    QComboBox *plot_col, *plot_dev;
    QLineEdit *plot_win_edit, *plot_file_edit, *plot_tgap;
    QComboBox *exp_opt;
    QLineEdit *exp_file_edit;
};

/* One entry per key of savestrings but the last, in table order. */
std::vector<settings::Entry> settings_entries(const SettingsWidgets &w);

} // namespace mirvek
