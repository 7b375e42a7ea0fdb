/* The slice-and-map window: its rows of widgets, the derivation of the
 * shifted, mapped and compared sweeps and their wheel and cut plots. */
#include "Slicewin.h"

#include "lunder.h"
#include "Helpbwin.h"
#include "lunder_int.h"
#include "plot_device.h"
#include "widget_values.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cpgplot.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

QComboBox *combo(QWidget *parent, const QStringList &items, int current = 0)
{
    auto *c = new QComboBox(parent);
    c->addItems(items);
    c->setCurrentIndex(current);
    return c;
}

/* A row with frame style Box, Sunken. */
QHBoxLayout *framed_row(QWidget *parent, QVBoxLayout *into, QFrame **frame_out = nullptr)
{
    auto *frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto *row = new QHBoxLayout(frame);
    row->setSpacing(2);
    into->addWidget(frame);
    if (frame_out != nullptr)
        *frame_out = frame;
    return row;
}

QLabel *label(QWidget *parent, const char *text)
{
    return new QLabel(QString::fromLatin1(text), parent);
}

/* A lineage text := text, cut to the field's 99 characters. */
void set_text(char (&field)[NURV_LINEAGE_LEN], const std::string &text)
{
    const size_t n = std::min(text.size(), sizeof field - 1);
    text.copy(field, n);
    field[n] = '\0';
}

/* R := A op B relabelled as the comparison of the mapped sweep A with B. */
void relabel(HALDE_SWEEP_S *r, const HALDE_SWEEP_S *a, const HALDE_SWEEP_S *b, bool ratio)
{
    NURV_LINEAGE_S &l = *r->lineage;
    const NURV_LINEAGE_S &la = *a->lineage;
    const NURV_LINEAGE_S &lb = *b->lineage;
    set_text(l.mission, std::string(la.mission) + (ratio ? "/" : " - ") + lb.mission);
    set_text(l.instrument, std::string(la.instrument) + "," + lb.instrument);
    set_text(l.virtual_inst, std::string(la.virtual_inst) + "," + lb.virtual_inst);
    r->etime = b->btime;
    if (ratio)
        r->psd_units = UNKNOWN_PSD_UNITS;
}

/* Sources that are made from the primary, and from the secondary. */
constexpr int kFromPrimary[] = {PRIMARY, SHIFTED_PRIMARY, MAPPED_PRIMARY, SHIFTED_THEN_MAPPED_PRIMARY,
                                MAPPED_OVER_SECONDARY, SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY,
                                MAPPED_MINUS_SECONDARY, SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY};
constexpr int kFromSecondary[] = {SECONDARY, SHIFTED_SECONDARY, MAPPED_OVER_SECONDARY,
                                  SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY, MAPPED_MINUS_SECONDARY,
                                  SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY};

} // namespace

Slicewin::Slicewin(QWidget *parent, const char *name) : QDialog(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    setModal(false);
    setWindowTitle(QStringLiteral("HALDE Sweep Shifting, Liouville Mapping and Slicing"));
    auto *top = new QVBoxLayout(this);
    top->setSpacing(2);
    top->setContentsMargins(10, 10, 10, 10);

    top->addWidget(label(this, "Primary => [Parallel Velocity Shift] => Liouville Mapping => Predicted Secondary"));

    QHBoxLayout *row = framed_row(this, top);
    row->addWidget(label(this, "Add parallel velocity (km/s) to v//(primary)"));
    v1 = new QLineEdit(QStringLiteral("0"), this);
    row->addWidget(v1);
    row->addWidget(label(this, "   Add parallel velocity (km/s) to v//(secondary)"));
    v2 = new QLineEdit(QStringLiteral("0"), this);
    row->addWidget(v2);
    for (QLineEdit *e : {v1, v2})
        e->setToolTip(QStringLiteral("Parallel velocity to SHIFT all bins BEFORE mapping (if SHIFTED source selected)"));

    QFrame *map_frame = nullptr;
    row = framed_row(this, top, &map_frame);
    map_frame->setToolTip(QStringLiteral(
        "NOTE: Liouville Mapping requires f(v) phase space density, not Counts or Differential Energy Flux"));
    row->addWidget(label(this, "Primary |B1| (arb units)"));
    b1 = new QLineEdit(QStringLiteral("1"), this);
    row->addWidget(b1);
    row->addWidget(label(this, "  Secondary |B2| (arb units)"));
    b2 = new QLineEdit(QStringLiteral("1"), this);
    row->addWidget(b2);
    row->addWidget(label(this, "  Potential Phi2-Phi1 (eV)"));
    pot = new QLineEdit(QStringLiteral("0.0"), this);
    row->addWidget(pot);

    top->addWidget(label(this, "\nSelect Sources for Wheel Plots (if desired)"));
    row = framed_row(this, top);
    row->addWidget(label(this, "Left Half"));
    lwheel = new Sources(this, "lwheel");
    row->addWidget(lwheel);
    row->addWidget(label(this, "Right Half"));
    rwheel = new Sources(this, "rwheel");
    row->addWidget(rwheel);

    row = new QHBoxLayout;
    row->addWidget(label(this, "\nSelect Sources, Pitch Angles (FLOW direction), and Options for 1D Cuts (if desired)"));
    row->addWidget(label(this, "\n   Box/Lettering Thickness"));
    QStringList thick;
    for (int i = 1; i <= 10; ++i)
        thick << QStringLiteral("Thick = %1").arg(i);
    box_thick = combo(this, thick);
    row->addWidget(box_thick);
    top->addLayout(row);

    row = framed_row(this, top);
    for (int k = 0; k < 6; ++k) {
        cuts[static_cast<size_t>(k)] = new Cuts_Selector(k, this);
        cuts[static_cast<size_t>(k)]->layout()->setSpacing(2);
        row->addWidget(cuts[static_cast<size_t>(k)]);
    }

    auto *opts = new QHBoxLayout;
    opts->setContentsMargins(5, 5, 5, 5);
    std::array<QVBoxLayout *, 7> cols{};
    for (QVBoxLayout *&c : cols) {
        c = new QVBoxLayout;
        c->setSpacing(2);
        opts->addLayout(c);
    }
    const QStringList linlog{QStringLiteral("Linear"), QStringLiteral("Log")};
    const QStringList scale{QStringLiteral("Autoscale"), QStringLiteral("Userscale->")};
    auto line = [&](const char *text, QComboBox **units, QComboBox **ll, QComboBox **sc, QLineEdit **lo,
                    QLineEdit **hi) {
        cols[0]->addWidget(label(this, text));
        *units = combo(this, {QStringLiteral("As Main Win")});
        cols[1]->addWidget(*units);
        *ll = combo(this, linlog, 1);
        cols[2]->addWidget(*ll);
        *sc = combo(this, scale, 0);
        cols[3]->addWidget(*sc);
        cols[4]->addWidget(label(this, "min, max"));
        *lo = new QLineEdit(QStringLiteral("1"), this);
        cols[5]->addWidget(*lo);
        *hi = new QLineEdit(QStringLiteral("10"), this);
        cols[6]->addWidget(*hi);
    };
    line("Energy/Velocity Options", &energy_units, &energy_linlog, &energy_scale, &emin, &emax);
    line("Phase Space Options", &psd_units, &psd_linlog, &psd_scale, &psdmin, &psdmax);
    top->addLayout(opts);

    row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(label(this, "Plot Options"));
    plot_col = combo(this, {QStringLiteral("Rainbow"), QStringLiteral("Gray White Low"), QStringLiteral("Gray White High")});
    row->addWidget(plot_col);
    plot_dev = combo(this, {QStringLiteral("Landscape GIF File ->"), QStringLiteral("Portrait GIF File ->"),
                            QStringLiteral("Landscape PS File ->"), QStringLiteral("Portrait PS File ->")});
    row->addWidget(plot_dev);
    row->addWidget(label(this, "Xwin Number"));
    plot_win_edit = new QLineEdit(QStringLiteral("3"), this);
    plot_win_edit->setMaxLength(3);
    plot_win_edit->setFixedWidth(45);
    row->addWidget(plot_win_edit);
    row->addWidget(label(this, "Plot File Stem"));
    plot_file_edit = new QLineEdit(QStringLiteral("slice_map_plot"), this);
    row->addWidget(plot_file_edit);
    auto *browse = new QPushButton(QStringLiteral("Browse..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    row->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, &Slicewin::slotPlotfile);
    top->addLayout(row);

    auto *group_box = new QGroupBox(this);
    auto *group_row = new QHBoxLayout(group_box);
    actions = new QButtonGroup(this);
    int id = 0;
    for (const char *text : {"Xwin", "Print to File", "Help", "Dismiss"}) {
        auto *b = new QPushButton(QString::fromLatin1(text), group_box);
        group_row->addWidget(b);
        actions->addButton(b, id++);
    }
    /* One handler, so that the run (which frees the last run's sweeps) comes
     * before the help or dismissal, as for every button of the row. */
    connect(actions, &QButtonGroup::idClicked, this, [this](int pressed) {
        slotRun(pressed);
        if (pressed == 2) {
            if (auto *main = qobject_cast<LunderBox *>(parentWidget())) {
                main->slotHelp();
                main->helpbwin->showPage(QStringLiteral("lunder_slicemap.html"));
            }
        } else if (pressed == 3) {
            slotDismiss();
        }
    });
    top->addWidget(group_box);
    /* Return in a field only ends the typing: no button of the window is
     * the dialog's default, so neither a plot nor the file dialog of
     * "Browse..." starts from the keyboard by accident. */
    for (QPushButton *b : findChildren<QPushButton *>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    adjustSize();
}

Slicewin::~Slicewin()
{
    freeOwned();
    hide();
}

void Slicewin::freeOwned()
{
    for (size_t i = 0; i < swposs.size(); ++i) {
        if (i == PRIMARY || i == SECONDARY)
            continue;
        lunder::free_sweep(swposs[i]);
    }
}

void Slicewin::slotPlotfile()
{
    const QString name =
        widgets::ask_stem_name(this, plot_file_edit->text(), QStringLiteral("Specify Plot File Stem"));
    if (!name.isEmpty())
        plot_file_edit->setText(name);
}

void Slicewin::slotDismiss()
{
    if (QWidget *main = parentWidget()) {
        main->showFullScreen();
        main->showNormal();
    }
    hide();
}

/* Escape and the window's close button end the window as "Dismiss" does:
 * the derived sweeps are freed and the minimised main window comes back. */
void Slicewin::reject()
{
    slotRun(3);
    slotDismiss();
    QDialog::reject();
}

bool Slicewin::derive()
{
    auto needed = [this](std::initializer_list<int> sources) {
        for (int s : sources)
            if (swpcount[static_cast<size_t>(s)] > 0)
                return true;
        return false;
    };
    auto made = [](HALDE_SWEEP_S *s, const char *failure) {
        if (s == nullptr)
            std::printf("%s\n", failure);
        return s != nullptr;
    };
    auto &t = swposs;
    if (needed({SHIFTED_PRIMARY, SHIFTED_THEN_MAPPED_PRIMARY, SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY,
                SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY})) {
        t[SHIFTED_PRIMARY] = PADvpara_boost(t[PRIMARY], vprim, 2, 2);
        if (!made(t[SHIFTED_PRIMARY], "Failed to shift primary sweep"))
            return false;
    }
    if (needed({SHIFTED_SECONDARY, SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY,
                SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY})) {
        t[SHIFTED_SECONDARY] = PADvpara_boost(t[SECONDARY], vsec, 2, 2);
        if (!made(t[SHIFTED_SECONDARY], "Failed to shift secondary sweep"))
            return false;
    }
    if (needed({MAPPED_PRIMARY, MAPPED_OVER_SECONDARY, MAPPED_MINUS_SECONDARY})) {
        t[MAPPED_PRIMARY] = PADLiouvilleMap(t[PRIMARY], bprim, bsec, potential, 7);
        if (!made(t[MAPPED_PRIMARY], "Failed to map sweep"))
            return false;
    }
    auto compare = [&](int result, int a, int b, bool ratio, const char *failure) {
        t[static_cast<size_t>(result)] =
            sweep_arithmetic(t[static_cast<size_t>(a)], t[static_cast<size_t>(b)], ratio ? DIVIDE : SUBTRACT);
        if (!made(t[static_cast<size_t>(result)], failure))
            return false;
        relabel(t[static_cast<size_t>(result)], t[static_cast<size_t>(a)], t[static_cast<size_t>(b)], ratio);
        return true;
    };
    if (needed({MAPPED_OVER_SECONDARY}) &&
        !compare(MAPPED_OVER_SECONDARY, MAPPED_PRIMARY, SECONDARY, true, "Failed to take map/sec sweep"))
        return false;
    if (needed({MAPPED_MINUS_SECONDARY}) &&
        !compare(MAPPED_MINUS_SECONDARY, MAPPED_PRIMARY, SECONDARY, false, "Failed to take map-sec sweep"))
        return false;
    if (needed({SHIFTED_THEN_MAPPED_PRIMARY, SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY,
                SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY})) {
        t[SHIFTED_THEN_MAPPED_PRIMARY] = PADLiouvilleMap(t[SHIFTED_PRIMARY], bprim, bsec, potential, 5);
        if (!made(t[SHIFTED_THEN_MAPPED_PRIMARY], "Failed to map sweep"))
            return false;
    }
    if (needed({SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY}) &&
        !compare(SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY, SHIFTED_THEN_MAPPED_PRIMARY, SHIFTED_SECONDARY, true,
                 "Failed to take shifted map/sec sweep"))
        return false;
    if (needed({SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY}) &&
        !compare(SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY, SHIFTED_THEN_MAPPED_PRIMARY, SHIFTED_SECONDARY, false,
                 "Failed to take shifted map-sec sweep"))
        return false;
    return true;
}

void Slicewin::slotRun(int id)
{
    auto *main = qobject_cast<LunderBox *>(parentWidget());
    freeOwned();
    swposs[PRIMARY] = swposs[SECONDARY] = nullptr;

    bprim = widgets::edit_float(b1);
    bsec = widgets::edit_float(b2);
    potential = widgets::edit_float(pot);
    vprim = widgets::edit_float(v1);
    vsec = widgets::edit_float(v2);

    Set_sweep_wheel_options_default(swop);
    Set_Sweep_cut_options_default(scop);
    swop->color_table = static_cast<PGSpectro_col>(plot_col->currentIndex());
    scop->linethickness = static_cast<float>(box_thick->currentIndex() + 1);
    swop->rlinlog = scop->xlinlog = static_cast<PGSpectro_linlog>(energy_linlog->currentIndex());
    swop->zlinlog = scop->ylinlog = static_cast<PGSpectro_linlog>(psd_linlog->currentIndex());
    swop->rautoscale = scop->xautoscale = static_cast<Yes_or_No>(energy_scale->currentIndex());
    swop->zautoscale = scop->yautoscale = static_cast<Yes_or_No>(psd_scale->currentIndex());
    swop->rmin = scop->xmin = widgets::edit_float(emin);
    swop->rmax = scop->xmax = widgets::edit_float(emax);
    swop->zmin = scop->ymin = widgets::edit_float(psdmin);
    swop->zmax = scop->ymax = widgets::edit_float(psdmax);

    if (id != 0 && id != 1)
        return;
    /* A number no float holds, or no file name to write to, refuses the run. */
    const std::pair<const QLineEdit *, const char *> numbers[] = {
        {b1, "B primary"}, {b2, "B secondary"}, {pot, "potential"},     {v1, "V primary"},
        {v2, "V secondary"}, {emin, "energy min"}, {emax, "energy max"}, {psdmin, "phase space min"},
        {psdmax, "phase space max"}};
    for (const auto &[edit, field] : numbers)
        if (!widgets::real_field_usable(edit, field))
            return;
    for (const Cuts_Selector *row : cuts)
        if (row->source->currentIndex() > 0 && !widgets::real_field_usable(row->pangle, "cut pitch angle"))
            return;
    /* The sources chosen: a file with nothing to draw is not written, and a
     * mapping needs field strengths above 0 (a negative one would be
     * mapped as its size). */
    std::vector<int> chosen{lwheel->currentIndex(), rwheel->currentIndex()};
    for (const Cuts_Selector *row : cuts)
        chosen.push_back(row->source->currentIndex());
    if (id == 1 && std::all_of(chosen.begin(), chosen.end(), [](int s) { return s <= NO_SOURCE; })) {
        std::printf("Slice'n'Map: every wheel half and cut is at None, so there is nothing to draw; nothing written\n");
        std::fflush(stdout);
        return;
    }
    const bool maps = std::any_of(chosen.begin(), chosen.end(), [](int s) {
        return s == MAPPED_PRIMARY || s == SHIFTED_THEN_MAPPED_PRIMARY || s >= MAPPED_OVER_SECONDARY;
    });
    for (const auto &[edit, field] : {std::pair{b1, "B primary"}, std::pair{b2, "B secondary"}})
        if (maps && !(widgets::edit_float(edit) > 0.0f)) {
            std::printf("The field %s holds \"%s\": a field strength must be above 0 to map by; nothing done\n",
                        field, edit->text().left(60).toStdString().c_str());
            std::fflush(stdout);
            return;
        }
    if (id == 1 && !widgets::stem_usable(plot_file_edit->text(), "plot file stem"))
        return;
    const std::string name =
        lunder::device_name(id == 1 ? plot_dev->currentIndex() : 5, plot_file_edit, plot_win_edit);
    /* A failed run draws nothing in place of the earlier picture: a plot
     * file is only replaced by a whole plot, and the X window keeps what it
     * showed until a page is begun.  The last line of a failure says so. */
    bool paged = false;
    auto not_replaced = [&]() {
        if (id == 1) {
            const std::string file = name.substr(0, name.rfind('/'));
            std::error_code ec;
            if (std::filesystem::exists(file, ec))
                std::printf("Slice'n'Map: the earlier picture in %s was not replaced\n", file.c_str());
            else
                std::printf("Slice'n'Map: no picture written to %s\n", file.c_str());
        } else if (!paged) {
            std::printf("Slice'n'Map: the earlier picture on the X window was not replaced\n");
        }
        std::fflush(stdout);
    };
    widgets::PlotDevice device;
    if (device.open(name) < 1) {
        lunder::print_open_failure(name);
        if (!device.reason().empty())
            std::printf("%s\n", device.reason().c_str());
        if (id == 1)
            not_replaced();
        return;
    }

    swpcount.fill(0);
    lwhsrc = static_cast<SWEEP_SOURCE_E>(lwheel->currentIndex());
    rwhsrc = static_cast<SWEEP_SOURCE_E>(rwheel->currentIndex());
    for (SWEEP_SOURCE_E s : {lwhsrc, rwhsrc})
        if (s != NO_SOURCE)
            ++swpcount[s];
    nswps = 0;
    for (const Cuts_Selector *row : cuts) {
        const int source = row->source->currentIndex();
        if (source <= 0)
            continue;
        const auto k = static_cast<size_t>(nswps);
        cutsrc[k] = static_cast<SWEEP_SOURCE_E>(source);
        thetas[k] = widgets::edit_float(row->pangle);
        cutlsty[k] = static_cast<QPGLinestyle_e>(row->linesty->currentIndex());
        cutcol[k] = static_cast<QPGLine_colour_e>(row->colour->currentIndex());
        cutthick[k] = static_cast<float>(row->thick->currentIndex() + 1);
        ++swpcount[static_cast<size_t>(source)];
        ++nswps;
    }
    scop->nswps = nswps;
    scop->ncuts = 1;
    scop->linestyles = cutlsty.data();
    scop->colours = cutcol.data();
    scop->linethicknesses = cutthick.data();

    if (main != nullptr) {
        swposs[PRIMARY] = main->swp1;
        swposs[SECONDARY] = main->swp2;
    }
    /* Every derivation starts from a slice of the main window: a run that
     * needs one the main window does not hold is refused. */
    auto uses = [this](const int *sources, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (swpcount[static_cast<size_t>(sources[i])] > 0)
                return true;
        return false;
    };
    if ((uses(kFromPrimary, std::size(kFromPrimary)) && swposs[PRIMARY] == nullptr) ||
        (uses(kFromSecondary, std::size(kFromSecondary)) && swposs[SECONDARY] == nullptr)) {
        std::printf("Slice'n'Map: no sweeps from the main window; plot them first\n");
        device.close(false);
        not_replaced();
        return;
    }
    if (!derive()) {
        device.close(false);
        not_replaced();
        return;
    }
    for (int k = 0; k < nswps; ++k)
        swpp[static_cast<size_t>(k)] = swposs[cutsrc[static_cast<size_t>(k)]];

    const bool wheel = lwhsrc != NO_SOURCE || rwhsrc != NO_SOURCE;
    if (wheel && nswps > 0)
        cpgsubp(1, 2);
    cpgshls(0, 0.0f, 1.0f, 0.0f);
    cpgshls(1, 0.0f, 0.0f, 0.0f);
    if (wheel) {
        if (lwhsrc == NO_SOURCE)
            lwhsrc = rwhsrc;
        if (rwhsrc == NO_SOURCE)
            rwhsrc = lwhsrc;
        cpgpage();
        paged = true;
        if (PlotTwoSweeps(swposs[lwhsrc], swposs[rwhsrc], swop) != 0) {
            std::printf("Slice'n'Map: Wheel plot failed\n");
            device.close(false);
            not_replaced();
            return;
        }
        emin->setText(widgets::number_text(swop->rmin));
        emax->setText(widgets::number_text(swop->rmax));
        psdmin->setText(widgets::number_text(swop->zmin));
        psdmax->setText(widgets::number_text(swop->zmax));
    }
    if (nswps >= 1) {
        cpgpage();
        paged = true;
        pg_ret_val = Sweep_n_cuts_plot(swpp.data(), nswps, thetas.data(), scop);
        if (pg_ret_val != PGSPECTRO_OK) {
            std::printf("Slice'n'Map: Slices plot failed\n");
            device.close(false);
            not_replaced();
            return;
        }
        emin->setText(widgets::number_text(scop->xmin));
        emax->setText(widgets::number_text(scop->xmax));
        psdmin->setText(widgets::number_text(scop->ymin));
        psdmax->setText(widgets::number_text(scop->ymax));
    }
    cpgiden();
    device.close(true);
}
