/* Mirvek's main window: its rows of widgets with their texts and defaults,
 * the button row, the file stem dialogs, help, and the settings file. */
#include "mirvek.h"

#include "fetch_wait.h"
#include "Helpbwin.h"
#include "mirvek_boxes.h"
#include "mirvek_settings.h"
#include "widget_values.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

QComboBox *make_combo(QWidget *parent, const char *name, std::initializer_list<const char *> items, int current = 0)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    for (const char *item : items)
        combo->addItem(QString::fromLatin1(item));
    combo->setCurrentIndex(current);
    return combo;
}

QLineEdit *make_edit(QWidget *parent, const char *name, const char *text)
{
    auto *edit = new QLineEdit(QString::fromLatin1(text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QLabel *make_label(QWidget *parent, const char *text)
{
    return new QLabel(QString::fromLatin1(text), parent);
}

} // namespace

MirvekBox::MirvekBox(QWidget *parent, const char *name) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    widgets::repaint_while_fetching();
    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(5, 5, 5, 5);
    top->setSpacing(5);

    /* 1. Data source, plot type and times. */
    auto *first_row = new QHBoxLayout;
    first_row->setSpacing(5);
    lineage = new mirvek::LineageBox(this);
    first_row->addWidget(lineage);
    auto *type_column = new QVBoxLayout;
    type_column->setSpacing(10);
    auto *type_label = make_label(this, "Plot type");
    type_label->setAlignment(Qt::AlignCenter);
    type_column->addWidget(type_label);
    plottype = make_combo(this, "plottype",
                          {"MIRVEK Energy-Angle-Time Spectrogram", "Wheel Sequence (Xwin or File)",
                           "Wheel Sequence + cuts (Xwin or File)"});
    type_column->addWidget(plottype);
    type_column->addWidget(make_label(this, " "));
    startendbox = new mirvek::TimeBox(this, "Start/End Times");
    startendbox->setGeometry(11, 10, 500, 150);
    startendbox->setMinimumSize(500, 150);
    type_column->addWidget(startendbox);
    first_row->addLayout(type_column);
    top->addLayout(first_row);

    /* 2. Option grid: seven columns of three rows. */
    auto *grid = new QHBoxLayout;
    grid->setSpacing(5);
    QVBoxLayout *column[7];
    for (auto &c : column) {
        c = new QVBoxLayout;
        c->setSpacing(5);
        grid->addLayout(c);
    }
    energy_units = make_combo(this, "energy_units", {BIN_UNITS_STRING(0), BIN_UNITS_STRING(1)});
    energy_bins = make_combo(this, "energy_bins", {"Instrument Bins", "Custom Bins"});
    energy_sc_pot =
        make_combo(this, "energy_sc_pot", {"No s/c pot. correction", "Do s/c pot. correction", "Const s/c pot."});
    energy_sc_pot->setToolTip(QString::fromLatin1("Uses EFW for Cluster; otherwise only const used"));
    sc_pot_val = make_edit(this, "sc_pot_val", "0.0");
    sc_pot_val->setToolTip(QString::fromLatin1("S/c pot (eV) for gap or constant value"));
    sc_pot_gap_secs = make_edit(this, "sc_pot_gap_secs", "60.0");
    sc_pot_gap_secs->setToolTip(QString::fromLatin1("Interval > this considered gap in EFW"));
    nebins = make_edit(this, "nebins", "10");
    energy_linlog = make_combo(this, "energy_linlog", {"Linear", "Log"}, 1);
    energy_scale = make_combo(this, "energy_scale", {"Instrument Range", "User Range ->"});
    emin = make_edit(this, "emin", "10.00");
    emax = make_edit(this, "emax", "1000.00");
    psd_units = make_combo(this, "psd_units", {});
    for (int u = 0; u <= 5; ++u)
        psd_units->addItem(QString::fromLatin1(PSD_UNITS_STRING(u)));
    psd_units->setCurrentIndex(0);
    psd_linlog = make_combo(this, "psd_linlog", {"Linear", "Log"}, 1);
    psd_scale = make_combo(this, "psd_scale", {"Autoscale", "Userscale->"});
    psdmin = make_edit(this, "psdmin", "1.00000");
    psdmin->setMinimumWidth(70);
    psdmax = make_edit(this, "psdmax", "10.0000");
    psdmax->setMinimumWidth(70);
    const QWidget *cells[3][7] = {
        {make_label(this, "Energy/Velocity Options"), energy_units, energy_bins, energy_sc_pot,
         make_label(this, "pot gap val, secs"), sc_pot_val, sc_pot_gap_secs},
        {make_label(this, "   Custom bins: Number"), nebins, energy_linlog, energy_scale, make_label(this, "min, max"),
         emin, emax},
        {make_label(this, "Phase Space Options"), psd_units, psd_linlog, psd_scale, make_label(this, "min, max"),
         psdmin, psdmax},
    };
    for (const auto &row : cells)
        for (int c = 0; c < 7; ++c)
            column[c]->addWidget(const_cast<QWidget *>(row[c]));
    top->addLayout(grid);

    /* 3. Plot options. */
    auto *plot_row = new QHBoxLayout;
    plot_row->setSpacing(5);
    plot_row->addWidget(make_label(this, "Plot Options"));
    plot_col = make_combo(this, "plot_col",
                          {"Rainbow", "Gray White Low", "Gray White High", "Inv Red-Blue", "Red-Blue", "Earth"});
    plot_row->addWidget(plot_col);
    plot_row->addWidget(make_label(this, "t-fill gaps < (s)"));
    plot_tgap = make_edit(this, "plot_tgap", "0.0");
    plot_tgap->setFixedWidth(45);
    plot_row->addWidget(plot_tgap);
    plot_row->addWidget(make_label(this, "Xwin Number"));
    plot_win_edit = make_edit(this, "plot_win_edit", "3");
    plot_win_edit->setMaxLength(3);
    plot_win_edit->setFixedWidth(45);
    plot_row->addWidget(plot_win_edit);
    plot_dev = make_combo(this, "plot_dev",
                          {"Landscape GIF File ->", "Portrait GIF File ->", "Landscape PS File ->",
                           "Portrait PS File ->"});
    plot_row->addWidget(plot_dev);
    plot_row->addWidget(make_label(this, "Plot File Stem"));
    plot_file_edit = make_edit(this, "plot_file_edit", "mirvek_plot");
    plot_row->addWidget(plot_file_edit);
    auto *plot_browse = new QPushButton(QString::fromLatin1("Browse..."), this);
    plot_browse->setObjectName(QString::fromLatin1("plot_browse"));
    connect(plot_browse, &QPushButton::clicked, this, &MirvekBox::slotPlotfile);
    plot_row->addWidget(plot_browse);
    top->addLayout(plot_row);

    /* 4. Export options. */
    auto *exp_row = new QHBoxLayout;
    exp_row->setSpacing(5);
    exp_row->addWidget(make_label(this, "Export to File Options"));
    exp_opt = make_combo(this, "exp_opt",
                         {"Ascii Cluster Exchange 2", "Ascii Cluster Exchange 1", "Ascii Tabular", "CDF"});
    exp_row->addWidget(exp_opt);
    exp_row->addWidget(make_label(this, "Export File Stem"));
    exp_file_edit = make_edit(this, "exp_file_edit", "mirvek_data");
    exp_row->addWidget(exp_file_edit);
    auto *exp_browse = new QPushButton(QString::fromLatin1("Browse..."), this);
    exp_browse->setObjectName(QString::fromLatin1("exp_browse"));
    connect(exp_browse, &QPushButton::clicked, this, &MirvekBox::slotExpfile);
    exp_row->addWidget(exp_browse);
    top->addLayout(exp_row);

    /* 5. The button row: every button reports its id to slotPlot, which acts
     * on 0 and 1 only; four buttons run their own slot besides. */
    auto *button_box = new QGroupBox(this);
    button_box->setObjectName(QString::fromLatin1("buttons"));
    auto *button_row = new QHBoxLayout(button_box);
    auto *group = new QButtonGroup(button_box);
    const char *texts[] = {"Plot Xwin", "Print to File", "Export", "Help", "Save...", "Restore...", "Quit"};
    QPushButton *buttons[7];
    for (int id = 0; id < 7; ++id) {
        buttons[id] = new QPushButton(QString::fromLatin1(texts[id]), button_box);
        buttons[id]->setObjectName(QString::fromLatin1(texts[id]));
        button_row->addWidget(buttons[id]);
        group->addButton(buttons[id], id);
    }
    connect(group, &QButtonGroup::idClicked, this, &MirvekBox::slotPlot);
    connect(buttons[2], &QPushButton::clicked, this, &MirvekBox::slotExp);
    connect(buttons[3], &QPushButton::clicked, this, &MirvekBox::slotHelp);
    connect(buttons[4], &QPushButton::clicked, this, &MirvekBox::slotSave);
    connect(buttons[5], &QPushButton::clicked, this, &MirvekBox::slotRestore);
    quit = buttons[6];
    top->addWidget(button_box);

    /* 6. The help window, hidden until "Help". */
    helpbwin = new Helpbwin(nullptr, nullptr, Helpbwin::Program::Mirvek);
}

MirvekBox::~MirvekBox()
{
    freeSweeps();
    delete helpbwin;
}

void MirvekBox::slotPlotfile()
{
    const QString name =
        widgets::ask_stem_name(this, plot_file_edit->text(), QString::fromLatin1("Specify Plot File Stem"));
    if (!name.isEmpty())
        plot_file_edit->setText(name);
}

void MirvekBox::slotExpfile()
{
    const QString name =
        widgets::ask_stem_name(this, exp_file_edit->text(), QString::fromLatin1("Specify Export File Stem"));
    if (!name.isEmpty())
        exp_file_edit->setText(name);
}

void MirvekBox::slotHelp()
{
    helpbwin->showOnDesktop();
}

namespace {

mirvek::SettingsWidgets settings_widgets(MirvekBox *w)
{
    return {w->lineage,       w->startendbox, w->plottype,       w->energy_units, w->energy_bins, w->energy_sc_pot,
            w->sc_pot_val,    w->sc_pot_gap_secs, w->nebins,     w->energy_linlog, w->energy_scale, w->emin,
            w->emax,          w->psd_units,   w->psd_linlog,     w->psd_scale,    w->psdmin,      w->psdmax,
            w->plot_col,      w->plot_dev,    w->plot_win_edit,  w->plot_file_edit, w->plot_tgap, w->exp_opt,
            w->exp_file_edit};
}

} // namespace

void MirvekBox::slotSave()
{
    const QString name = widgets::ask_save_name();
    settings::save_settings(name, mirvek::settings_entries(settings_widgets(this)));
}

void MirvekBox::slotRestore()
{
    const QString name = widgets::ask_open_name();
    settings::restore_settings(name, mirvek::settings_entries(settings_widgets(this)));
}
