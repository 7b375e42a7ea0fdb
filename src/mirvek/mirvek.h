/* Mirvek's main window: the data source, times, bin, unit, potential, plot
 * and export options, and the button row whose actions draw energy-angle-
 * time spectrograms and wheel sequences (slotPlot) or export the gathered
 * sweeps (slotExp).  Every action reads the widgets into the working
 * members, frees every sweep set before it returns and reports failures as
 * one line on the standard output. */
#pragma once

#include "PGSpectro.h"
#include "Qsweep_spin.h"

#include <QStringList>
#include <QWidget>

class Helpbwin;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace mirvek {
class LineageBox;
class TimeBox;
} // namespace mirvek

class MirvekBox : public QWidget {
    Q_OBJECT

public:
    explicit MirvekBox(QWidget *parent = nullptr, const char *name = nullptr);
    ~MirvekBox() override;

    mirvek::LineageBox *lineage;
    mirvek::TimeBox *startendbox;
    QComboBox *plottype;
    QComboBox *energy_units;
    QComboBox *energy_bins;
    QComboBox *energy_sc_pot;
    QComboBox *energy_linlog;
    QComboBox *energy_scale;
    QComboBox *psd_units;
    QComboBox *psd_linlog;
    QComboBox *psd_scale;
    QComboBox *plot_col;
    QComboBox *plot_dev;
    QLineEdit *sc_pot_gap_secs;
    QLineEdit *sc_pot_val;
    QLineEdit *emin, *emax;
    QLineEdit *psdmin, *psdmax;
    QLineEdit *plot_win_edit;
    QLineEdit *plot_file_edit;
    QLineEdit *nebins;
    QLineEdit *plot_tgap;
    QComboBox *exp_opt;
    QLineEdit *exp_file_edit;
    QPushButton *quit;

    /* Working members of the running action. */
    HALDE_SWEEP_S **swppp = nullptr;
    HALDE_PITCH_ANGLE_OPTS_S paopts{};
    HALDE_SWEEP_S **cong_swps = nullptr;
    int nswp = 0;
    NURV_LINEAGE_S lng1{};
    NURV_TIME_S idft1{}, idft2{};
    BIN_UNITS_E bin_units = BIN_UNITS_EV;
    PSD_UNITS_E psdu = PSD_UNITS_CNTS_ACCUM;
    PGSpectro_ret_e pg_ret_val = PGSPECTRO_OK;
    PGSpectro_s pgspectro{};
    Helpbwin *helpbwin;

    /* The user's file names the last plot or export wrote (a test and
     * session hook; empty after a failure). */
    const QStringList &writtenFiles() const { return written_files_; }

public slots:
    /* "Export": the gathered sweeps into a CEF 2, CEF 1, fixed-width table
     * or CDF file. */
    void slotExp();
    void slotExpfile();
    void slotPlotfile();
    /* Button id 0 "Plot Xwin" and 1 "Print to File"; other ids do nothing. */
    void slotPlot(int id);
    void slotHelp();
    void slotSave();
    void slotRestore();

private:
    /* Steps shared by the plot and export actions. */
    void readActionWidgets();
    /* The number fields the action (plot button id, -1 for the export) will
     * read hold values their types can hold. */
    bool fieldsUsable(int id) const;
    /* The end time not before the start time, and for the spectrogram
     * (whose time axis runs from the one to the other) after it. */
    bool timesUsable(bool spectrogram) const;
    /* Bin and gather counts within their bounds, before anything is read. */
    bool binCountsUsable() const;
    /* The sweeps read can give what was asked: pitch angles when binning to
     * them, and no more values than an action may hold once gathered. */
    bool sweepsUsable(bool plot) const;
    int readSweeps();
    int rebinToPitchAngle();
    int gatherOntoTemplate(float *rmin, float *rmax);
    void freeSweeps();
    /* One panel of the plot; false ends the panel loop. */
    bool plotPanel(int panel, int panels, int type, bool autoscale, bool *drawn);
    bool exportFile(const QString &stem, int format);

    QStringList written_files_;
    /* A wheel sequence on the X window waits in this window between wheels
     * (no terminal to wait on), and the user stopped it. */
    bool wheels_wait_ = false;
    bool wheels_stopped_ = false;
};
