/* Lunder's main window: its rows of widgets, the action row, and the small
 * slots (lineage and time copies, the plot file stem, the slice-and-map and
 * help windows, saving and restoring the settings). */
#include "lunder.h"

#include "fetch_wait.h"
#include "Helpbwin.h"
#include "Slicewin.h"
#include "lunder_boxes.h"
#include "lunder_settings.h"
#include "widget_values.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <clocale>
#include <cstdlib>
#include <initializer_list>

namespace {

QComboBox *combo(QWidget *parent, const QStringList &items, int current = 0)
{
    auto *c = new QComboBox(parent);
    c->addItems(items);
    c->setCurrentIndex(current);
    return c;
}

QVBoxLayout *column(int spacing)
{
    auto *l = new QVBoxLayout;
    l->setSpacing(spacing);
    return l;
}

} // namespace

LunderBox::LunderBox(QWidget *parent, const char *name) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    widgets::repaint_while_fetching();
    set_pa_opts_defaults(&paopts1);
    set_pa_opts_defaults(&paopts2);
    Set_sweep_wheel_options_default(&swoptions);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(20);

    /* Row 1: the hierarchy, the copy buttons and the two source panels. */
    auto *row1 = new QHBoxLayout;
    row1->setSpacing(20);
    lineage = new lunder::LineageBox(this);
    row1->addWidget(lineage);
    auto *copies = column(6);
    copies->addWidget(new QLabel(QStringLiteral(" "), this));
    auto *prim_button = new QPushButton(QStringLiteral("Primary Lineage -> "), this);
    prim_button->setObjectName(QStringLiteral("primary_lineage"));
    copies->addWidget(prim_button);
    auto *copy_row = new QHBoxLayout;
    auto *copy_label = new QLabel(QStringLiteral("Copy Time"), this);
    copy_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *copy_button = new QPushButton(QStringLiteral("|\nV"), this);
    copy_button->setObjectName(QStringLiteral("copy_time"));
    copy_row->addWidget(copy_label);
    copy_row->addWidget(copy_button);
    copies->addLayout(copy_row);
    auto *sec_button = new QPushButton(QStringLiteral("Secondary Lineage -> "), this);
    sec_button->setObjectName(QStringLiteral("secondary_lineage"));
    copies->addWidget(sec_button);
    copies->addWidget(new QLabel(QStringLiteral(" "), this));
    row1->addLayout(copies);
    auto *panels = column(20);
    prim_sweep = new lunder::SweepBox(1, Qt::Horizontal, this, "prim_sweep");
    prim_sweep->setTitle(QStringLiteral("Primary Slice - Controls Autoscaling ..."));
    sec_sweep = new lunder::SweepBox(1, Qt::Horizontal, this, "sec_sweep");
    sec_sweep->setTitle(QStringLiteral("Secondary Slice - plotted on right"));
    for (lunder::SweepBox *panel : {prim_sweep, sec_sweep}) {
        panel->setSpinEndTimeSearch([](NURV_LINEAGE_S *lng, NURV_TIME_S *b, NURV_TIME_S *e, int do_pa, int g, int n) {
            return static_cast<int>(nurv_n_spin_sweep_etime(lng, b, e, do_pa != 0 ? QPTRUE : QPFALSE,
                                                            static_cast<HALDE_GATHER_CHOICE_E>(g), n));
        });
        panels->addWidget(panel);
    }
    row1->addLayout(panels);
    top->addLayout(row1);
    connect(prim_button, &QPushButton::clicked, this, &LunderBox::slotSetPrimarySweepLineage);
    connect(sec_button, &QPushButton::clicked, this, &LunderBox::slotSetSecondarySweepLineage);
    connect(copy_button, &QPushButton::clicked, this, &LunderBox::slotCopyTime);

    /* Row 2: three option lines over seven columns. */
    auto *row2 = new QHBoxLayout;
    row2->setSpacing(2);
    std::array<QVBoxLayout *, 7> cols{};
    for (QVBoxLayout *&c : cols) {
        c = column(2);
        row2->addLayout(c);
    }
    const QStringList linlog{QStringLiteral("Linear"), QStringLiteral("Log")};
    const QStringList scale{QStringLiteral("Autoscale"), QStringLiteral("Userscale->")};
    auto line = [&](const char *label, QComboBox *units, QComboBox **ll, QComboBox **sc, QLineEdit **lo,
                    QLineEdit **hi) {
        cols[0]->addWidget(new QLabel(QString::fromLatin1(label), this));
        cols[1]->addWidget(units);
        *ll = combo(this, linlog, 1);
        cols[2]->addWidget(*ll);
        *sc = combo(this, scale, 0);
        cols[3]->addWidget(*sc);
        cols[4]->addWidget(new QLabel(QStringLiteral("min, max"), this));
        *lo = new QLineEdit(QStringLiteral("1"), this);
        cols[5]->addWidget(*lo);
        *hi = new QLineEdit(QStringLiteral("10"), this);
        cols[6]->addWidget(*hi);
    };
    energy_units = combo(this, {QString::fromLatin1(BIN_UNITS_STRING(0)), QString::fromLatin1(BIN_UNITS_STRING(1))});
    line("Energy/Velocity Options", energy_units, &energy_linlog, &energy_scale, &emin, &emax);
    QStringList psd_items;
    for (int u = 0; u < 6; ++u)
        psd_items << QString::fromLatin1(PSD_UNITS_STRING(u));
    psd_units = combo(this, psd_items);
    line("Phase Space Options", psd_units, &psd_linlog, &psd_scale, &psdmin, &psdmax);
    anal_proc = combo(this, {QStringLiteral("None"), QStringLiteral("Add Prim+Sec"), QStringLiteral("Subtract Prim-Sec"),
                             QStringLiteral("Multiply Prim*Sec"), QStringLiteral("Divide Prim/Sec")});
    line("Analysis", anal_proc, &anal_linlog, &anal_scale, &analmin, &analmax);
    top->addLayout(row2);

    /* Row 3: plot options. */
    auto *row3 = new QHBoxLayout;
    row3->setSpacing(2);
    row3->addWidget(new QLabel(QStringLiteral("Plot Options"), this));
    plot_col = combo(this, {QStringLiteral("Rainbow"), QStringLiteral("Gray White Low"), QStringLiteral("Gray White High"),
                            QStringLiteral("Inv Red-Blue"), QStringLiteral("Red-Blue"), QStringLiteral("Earth")});
    row3->addWidget(plot_col);
    plot_dev = combo(this, {QStringLiteral("Landscape GIF File ->"), QStringLiteral("Portrait GIF File ->"),
                            QStringLiteral("Landscape PS File ->"), QStringLiteral("Portrait PS File ->")});
    row3->addWidget(plot_dev);
    row3->addWidget(new QLabel(QStringLiteral("Xwin Number"), this));
    plot_win_edit = new QLineEdit(QStringLiteral("3"), this);
    plot_win_edit->setMaxLength(3);
    plot_win_edit->setFixedWidth(45);
    row3->addWidget(plot_win_edit);
    row3->addWidget(new QLabel(QStringLiteral("Plot File Stem"), this));
    plot_file_edit = new QLineEdit(QStringLiteral("lunder_plot"), this);
    row3->addWidget(plot_file_edit);
    auto *browse = new QPushButton(QStringLiteral("Browse..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    row3->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, &LunderBox::slotPlotfile);
    top->addLayout(row3);

    /* Row 4: the actions. */
    auto *row4 = new QGroupBox(this);
    auto *row4_layout = new QHBoxLayout(row4);
    actions = new QButtonGroup(this);
    int id = 0;
    for (const char *text : {"Xwin", "Print to File", "Xwin then Slice'n'Map", "Help", "Save...", "Restore...", "Quit"}) {
        auto *b = new QPushButton(QString::fromLatin1(text), row4);
        row4_layout->addWidget(b);
        actions->addButton(b, id++);
    }
    quit = qobject_cast<QPushButton *>(actions->button(6));
    connect(actions, &QButtonGroup::idClicked, this, &LunderBox::buttonPressed);
    top->addWidget(row4);

    helpbwin = std::make_unique<Helpbwin>(nullptr, nullptr, Helpbwin::Program::Lunder);
    slicewin = new Slicewin(this);
}

LunderBox::~LunderBox()
{
    /* The slice-and-map window borrows the two slices: it goes first. */
    delete slicewin;
    slicewin = nullptr;
    freeSweeps();
}

void LunderBox::freeSweeps()
{
    for (HALDE_SWEEP_S **s : {&swp1, &swp2, &swpar}) {
        if (*s != nullptr) {
            free_sweep_arrays(*s);
            std::free(*s);
            *s = nullptr;
        }
    }
}

void LunderBox::buttonPressed(int id)
{
    slotActions(id);
    switch (id) {
    case 2:
        slotSlice();
        break;
    case 3:
        slotHelp();
        break;
    case 4:
        slotSave();
        break;
    case 5:
        slotRestore();
        break;
    default:
        break;
    }
}

void LunderBox::slotSetPrimarySweepLineage()
{
    prim_sweep->SetLineage(lineage);
}

void LunderBox::slotSetSecondarySweepLineage()
{
    sec_sweep->SetLineage(lineage);
}

void LunderBox::slotCopyTime()
{
    sec_sweep->timebox->dateEdit->setDate(prim_sweep->timebox->dateEdit->date());
    sec_sweep->timebox->timeEdit->setTime(prim_sweep->timebox->timeEdit->time());
}

void LunderBox::slotPlotfile()
{
    const QString name =
        widgets::ask_stem_name(this, plot_file_edit->text(), QStringLiteral("Specify Plot File Stem"));
    if (!name.isEmpty())
        plot_file_edit->setText(name);
}

void LunderBox::slotSlice()
{
    showMinimized();
    slicewin->showNormal();
}

void LunderBox::slotHelp()
{
    helpbwin->showOnDesktop();
}

namespace {

std::vector<settings::Entry> entries_of(LunderBox *w)
{
    const Slicewin *s = w->slicewin;
    lunder::SettingsWidgets sw{w->lineage,   w->prim_sweep,    w->sec_sweep,  w->energy_units, w->energy_linlog,
                               w->energy_scale, w->emin,       w->emax,       w->psd_units,    w->psd_linlog,
                               w->psd_scale,  w->psdmin,       w->psdmax,     w->anal_proc,    w->anal_linlog,
                               w->anal_scale, w->analmin,      w->analmax,    w->plot_col,     w->plot_dev,
                               w->plot_win_edit, w->plot_file_edit,
                               {s->v1, s->v2, s->b1, s->b2, s->pot, s->lwheel, s->rwheel, s->box_thick, s->cuts,
                                s->energy_linlog, s->energy_scale, s->emin, s->emax, s->psd_linlog, s->psd_scale,
                                s->psdmin, s->psdmax, s->plot_col, s->plot_dev, s->plot_win_edit, s->plot_file_edit}};
    return lunder::settings_entries(sw);
}

} // namespace

void LunderBox::slotSave()
{
    settings::save_settings(widgets::ask_save_name(), entries_of(this));
}

void LunderBox::slotRestore()
{
    settings::restore_settings(widgets::ask_open_name(), entries_of(this));
}

std::unique_ptr<LunderBox> start_lunder(QApplication &app)
{
    std::setlocale(LC_NUMERIC, "C");
    auto box = std::make_unique<LunderBox>();
    box->setWindowTitle(QStringLiteral("Plot Azimuthal Slices") + QStringLiteral("  ") + QStringLiteral("V3.6.1"));
    box->show();
    QObject::connect(box->quit, &QPushButton::clicked, &app, &QApplication::quit);
    /* Quit or a signal during a fetch ends the fetch with the program. */
    widgets::quit_ends_fetches(box->quit);
    widgets::end_on_signals(app);
    return box;
}
