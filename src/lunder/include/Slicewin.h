/* The slice-and-map window of Lunder: derives shifted, Liouville-mapped and
 * compared sweeps from the main window's two latest slices and draws any two
 * of the eleven sources as the halves of a wheel and up to six as 1-D cuts
 * at chosen pitch angles. */
#pragma once

#include "Velora_plot.h"
#include "option_widgets.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QComboBox;
class QLineEdit;

class Slicewin : public QDialog {
    Q_OBJECT

public:
    /* parent is the main window (a LunderBox): its sweeps are borrowed and
     * its help window shown from here. */
    explicit Slicewin(QWidget *parent = nullptr, const char *name = nullptr);
    /* Frees the sweeps this window made. */
    ~Slicewin() override;

    QLineEdit *b1, *b2, *pot;
    QLineEdit *v1, *v2;
    Sources *lwheel, *rwheel;
    QComboBox *box_thick;
    std::array<Cuts_Selector *, 6> cuts{};
    QComboBox *energy_units, *energy_linlog, *energy_scale;
    QComboBox *psd_units, *psd_linlog, *psd_scale;
    QComboBox *plot_col, *plot_dev;
    QLineEdit *emin, *emax, *psdmin, *psdmax, *plot_win_edit, *plot_file_edit;

    float bprim = 1, bsec = 1, potential = 0, vprim = 0, vsec = 0;
    std::array<float, 6> thetas{};
    SWEEP_SOURCE_E lwhsrc = NO_SOURCE, rwhsrc = NO_SOURCE;
    std::array<SWEEP_SOURCE_E, 6> cutsrc{};
    std::array<QPGLine_colour_e, 6> cutcol{};
    std::array<QPGLinestyle_e, 6> cutlsty{};
    std::array<float, 6> cutthick{};
    std::array<HALDE_SWEEP_S *, 6> swpp{};
    /* Indexed by SWEEP_SOURCE_E; entries 1 and 5 are borrowed, the others
     * owned. */
    std::array<HALDE_SWEEP_S *, N_SWEEP_SOURCES> swposs{};
    int nswps = 0;
    std::array<int, N_SWEEP_SOURCES> swpcount{};
    SWEEP_CUT_OPTIONS_S sweep_cut_options{};
    SWEEP_CUT_OPTIONS_S *scop = &sweep_cut_options;
    SWEEP_WHEEL_OPTIONS_S sweep_wheel_options{};
    SWEEP_WHEEL_OPTIONS_S *swop = &sweep_wheel_options;
    PGSpectro_ret pg_ret_val = PGSPECTRO_OK;

    /* The action row: ids 0 "Xwin", 1 "Print to File", 2 "Help", 3 "Dismiss". */
    QButtonGroup *actions;

public slots:
    void slotDismiss();
    void slotRun(int id);
    void slotPlotfile();

protected:
    /* Escape and the close button: as "Dismiss". */
    void reject() override;

private:
    void freeOwned();
    /* The derivations of the run, in their order; false (message printed)
     * when one fails. */
    bool derive();
};
