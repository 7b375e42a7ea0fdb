/* Lunder's settings file: the key table and the entries that tie each key to
 * a widget of the main window, its lineage box and sweep panels, and the
 * slice-and-map window with its six cut rows.  The windows hand in their
 * widgets; "Save..." and "Restore..." then call settings::save_settings and
 * settings::restore_settings (settings_widgets.h) with the file the user
 * names. */
#pragma once

#include "settings_keys.h"
#include "settings_widgets.h"

#include <array>
#include <vector>

class QComboBox;
class QLineEdit;
class Cuts_Selector;
class Sources;

namespace lunder {

class LineageBox;
class SweepBox;

/* The widgets the file keeps, by their members in the windows. */
struct SettingsWidgets {
    LineageBox *lineage;
    SweepBox *prim_sweep;
    SweepBox *sec_sweep;
    QComboBox *energy_units, *energy_linlog, *energy_scale;
    QLineEdit *emin, *emax;
    QComboBox *psd_units, *psd_linlog, *psd_scale;
    QLineEdit *psdmin, *psdmax;
    QComboBox *anal_proc, *anal_linlog, *anal_scale;
    QLineEdit *analmin, *analmax;
    QComboBox *plot_col, *plot_dev;
    QLineEdit *plot_win_edit, *plot_file_edit;

    /* The slice-and-map window's. */
    struct Slice {
        QLineEdit *v1, *v2, *b1, *b2, *pot;
        Sources *lwheel, *rwheel;
        QComboBox *box_thick;
        std::array<Cuts_Selector *, 6> cuts;
        QComboBox *energy_linlog, *energy_scale;
        QLineEdit *emin, *emax;
        QComboBox *psd_linlog, *psd_scale;
        QLineEdit *psdmin, *psdmax;
        QComboBox *plot_col, *plot_dev;
        QLineEdit *plot_win_edit, *plot_file_edit;
    } slicewin;
};

/* One entry per key of savestrings but the last, in table order. */
std::vector<settings::Entry> settings_entries(const SettingsWidgets &w);

} // namespace lunder
