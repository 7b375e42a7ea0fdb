/* Lunder's main window: the data-source hierarchy, the primary and secondary
 * sweep source panels, the wheel, value and analysis options, the plot
 * options and the row of action buttons.  A plot action reads one azimuthal
 * slice of each source and keeps the two sweeps until the next action; the
 * slice-and-map window borrows them from here. */
#pragma once

#include "Qnurv_utils.h"
#include "Velora_pad.h"
#include "Velora_plot.h"

#include <QWidget>

#include <memory>

class QApplication;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class Helpbwin;
class Slicewin;

namespace lunder {
class LineageBox;
class SweepBox;
}

class LunderBox : public QWidget {
    Q_OBJECT

public:
    explicit LunderBox(QWidget *parent = nullptr, const char *name = nullptr);
    ~LunderBox() override;

    lunder::LineageBox *lineage;
    lunder::SweepBox *prim_sweep;
    lunder::SweepBox *sec_sweep;
    QComboBox *energy_units;
    QComboBox *energy_linlog;
    QComboBox *energy_scale;
    QComboBox *psd_units;
    QComboBox *psd_linlog;
    QComboBox *psd_scale;
    QComboBox *plot_col;
    QComboBox *plot_dev;
    QLineEdit *emin, *emax;
    QLineEdit *psdmin, *psdmax;
    QLineEdit *plot_win_edit;
    QLineEdit *plot_file_edit;
    QComboBox *anal_proc;
    QComboBox *anal_linlog;
    QComboBox *anal_scale;
    QLineEdit *analmin, *analmax;
    QPushButton *quit;

    /* The latest primary and secondary slices (owned here until the next
     * plot action) and the arithmetic result of an action in progress. */
    HALDE_SWEEP_S *swp1 = nullptr;
    HALDE_SWEEP_S *swp2 = nullptr;
    HALDE_SWEEP_S *swpar = nullptr;
    HALDE_PITCH_ANGLE_OPTS_S paopts1{}, paopts2{};
    NURV_LINEAGE_S lng1{}, lng2{};
    NURV_TIME_S idft1a{}, idft1b{}, idft2a{}, idft2b{};
    BIN_UNITS_E bin_units = BIN_UNITS_EV;
    PSD_UNITS_E psdu = PSD_UNITS_CNTS_ACCUM, psdu1 = PSD_UNITS_CNTS_ACCUM, psdu2 = PSD_UNITS_CNTS_ACCUM;
    SWEEP_WHEEL_OPTIONS_S swoptions{};
    float az1 = 0, az2 = 0;
    float onecnt_mult1 = 1, onecnt_mult2 = 1;
    /* Top-level (no parent): owned here so that it goes with the window. */
    std::unique_ptr<Helpbwin> helpbwin;
    Slicewin *slicewin;

    /* The button group of the action row (ids 0 "Xwin" .. 6 "Quit"). */
    QButtonGroup *actions;

public slots:
    void slotSetPrimarySweepLineage();
    void slotSetSecondarySweepLineage();
    void slotCopyTime();
    /* The plot action: id 0 and 2 on the X window, 1 into the file device
     * of plot_dev; any other id does nothing. */
    void slotActions(int id);
    void slotPlotfile();
    void slotSlice();
    void slotHelp();
    void slotSave();
    void slotRestore();

private:
    /* One handler for the whole action row, so that "Xwin then Slice'n'Map"
     * plots before the slice-and-map window opens. */
    void buttonPressed(int id);
    /* Reads one slice of a panel (steps of the plot action shared by both
     * sources); null with its message printed on failure, and *etime_failed
     * set when the end time could not be found. */
    HALDE_SWEEP_S *readSlice(const lunder::SweepBox *panel, const NURV_LINEAGE_S &lng, const NURV_TIME_S &start,
                             NURV_TIME_S *end, HALDE_PITCH_ANGLE_OPTS_S *paopts, float az, float mult,
                             PSD_UNITS_E *used, bool *etime_failed);
    void freeSweeps();
};

/* What the program does between making the application object and running
 * its event loop: C number formatting again (the application object takes
 * the user's locale, which would write "2,5" into settings and plot labels),
 * the window with its caption "Plot Azimuthal Slices  V3.6.1", shown, and
 * its Quit button connected to the application's quit; Quit, SIGTERM,
 * SIGINT and SIGHUP end a running fetch with the program
 * (widgets::quit_ends_fetches, widgets::end_on_signals). */
std::unique_ptr<LunderBox> start_lunder(QApplication &app);
