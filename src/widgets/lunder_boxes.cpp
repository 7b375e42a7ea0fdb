/* Lunder's lineage box, start time box and sweep source panels. */
#include "lunder_boxes.h"

#include "lineage_lists.h"
#include "widget_values.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace lunder {

namespace {

void name_widget(QWidget *w, const char *name)
{
    if (name != nullptr)
        w->setObjectName(QString::fromLatin1(name));
}

QComboBox *combo(QWidget *parent, std::initializer_list<const char *> items, int current = 0)
{
    auto *box = new QComboBox(parent);
    for (const char *item : items)
        box->addItem(QString::fromLatin1(item));
    box->setCurrentIndex(current);
    return box;
}

QLabel *lineage_label(QWidget *parent, const char *text)
{
    auto *label = new QLabel(QString::fromLatin1(text), parent);
    label->setFrameStyle(QFrame::Box | QFrame::Raised);
    return label;
}

/* A label's text into a lineage field, cut to the field. */
void copy_label(char (&field)[NURV_LINEAGE_LEN], const QLabel *label)
{
    const QByteArray text = label->text().toLatin1();
    const size_t n = std::min(static_cast<size_t>(text.size()), sizeof field - 1);
    std::memcpy(field, text.constData(), n);
    field[n] = '\0';
}

} // namespace

/* ---- LineageBox ----------------------------------------------------------- */

LineageBox::LineageBox(QWidget *parent, const char *name) : QWidget(parent)
{
    name_widget(this, name);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    proj = new QComboBox(this);
    miss = new QComboBox(this);
    exp = new QComboBox(this);
    inst = new QComboBox(this);
    virins = new QComboBox(this);
    widgets::add_items(proj, project_strs);
    widgets::add_mission_items(miss);
    widgets::add_items(exp, exp_strs);
    widgets::add_items(inst, inst_strs);
    widgets::add_items(virins, virins_strs);
    for (QComboBox *box : {proj, miss, exp, inst, virins})
        layout->addWidget(box);
}

/* ---- TimeBox -------------------------------------------------------------- */

TimeBox::TimeBox(QWidget *parent, const char *name) : QWidget(parent)
{
    name_widget(this, name);
    yearLabel = new QLabel(QStringLiteral("Year"), this);
    YearspinBox = widgets::make_year_spin(this, 2001);
    doyLabel = new QLabel(QStringLiteral("Doy"), this);
    DoyspinBox = widgets::make_doy_spin(this, 90);
    textLabel1_2 = new QLabel(QStringLiteral("Date"), this);
    dateEdit = widgets::make_date_edit(this, 2001, 3, 31);
    timeLabel = new QLabel(QStringLiteral("Time"), this);
    timeEdit = widgets::make_time_edit(this, 0, 0, 0);
    setSHour(18);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *w : std::initializer_list<QWidget *>{yearLabel, YearspinBox, doyLabel, DoyspinBox, textLabel1_2,
                                                      dateEdit, timeLabel, timeEdit})
        layout->addWidget(w);

    /* Connected after the defaults, so that building fires no slot. */
    connect(dateEdit, &QDateEdit::dateChanged, this, &TimeBox::DateChange);
    connect(YearspinBox, &QSpinBox::valueChanged, this, &TimeBox::YearChange);
    connect(DoyspinBox, &QSpinBox::valueChanged, this, &TimeBox::DoyChange);
    setTabOrder(YearspinBox, DoyspinBox);
    setTabOrder(DoyspinBox, dateEdit);
}

void TimeBox::GetTimeFromTimeBox(NURV_TIME_S *t) const
{
    const QTime time = timeEdit->time();
    to_nurv_time(YearspinBox->value(), DoyspinBox->value(), time.hour(), time.minute(), time.second(), 0, t);
}

void TimeBox::setSHour(int hour)
{
    widgets::set_time_hour(timeEdit, hour);
}

void TimeBox::setSMinute(int minute)
{
    widgets::set_time_minute(timeEdit, minute);
}

void TimeBox::setSSecond(int second)
{
    widgets::set_time_second(timeEdit, second);
}

void TimeBox::DateChange()
{
    widgets::date_to_spins(dateEdit, YearspinBox, DoyspinBox);
}

void TimeBox::YearChange()
{
    widgets::spins_to_date(YearspinBox, DoyspinBox, dateEdit);
}

void TimeBox::DoyChange()
{
    widgets::spins_to_date(YearspinBox, DoyspinBox, dateEdit);
}

/* ---- SweepBox ------------------------------------------------------------- */

SweepBox::SweepBox(int /*strips*/, Qt::Orientation /*orientation*/, QWidget *parent, const char *name)
    : QGroupBox(parent)
{
    name_widget(this, name);
    auto *layout = new QVBoxLayout(this);

    auto *row1 = new QHBoxLayout;
    row1->setSpacing(2);
    lineage_lbl = new QLabel(QStringLiteral("Lineage"), this);
    project = lineage_label(this, "CLUSTERII");
    mission = lineage_label(this, "CLUSTER-2");
    exp = lineage_label(this, "HALDE");
    inst = lineage_label(this, "PAD");
    virins = lineage_label(this, "CPPADL");
    pachoice = combo(this, {"no pa binning", "pa: angles", "pa: cosines"});
    npa = new QLineEdit(QStringLiteral("13"), this);
    npa->setToolTip(QStringLiteral("Number of pitch angle bins for rebinning"));
    for (QWidget *w : std::initializer_list<QWidget *>{lineage_lbl, project, mission, exp, inst, virins, pachoice, npa})
        row1->addWidget(w);
    connect(pachoice, &QComboBox::activated, this, &SweepBox::slotForceGather);

    auto *row2 = new QHBoxLayout;
    row2->setSpacing(2);
    gatherchoice = combo(this, {"Gather n sweeps", "Gather n spins", "Gather n.n secs", "No gathering"}, 3);
    gathern = new QLineEdit(QStringLiteral("1"), this);
    sc_pot = combo(this, {"No s/c pot. correction", "Do s/c pot. correction", "Const s/c pot."});
    sc_pot->setToolTip(QStringLiteral("Uses EFW for Cluster; otherwise only const used"));
    auto *pot_label = new QLabel(QStringLiteral("val, gap secs"), this);
    sc_pot_value = new QLineEdit(QStringLiteral("0.0"), this);
    sc_pot_value->setToolTip(QStringLiteral("Value for gap or no EFW data in V"));
    sc_pot_gap = new QLineEdit(QStringLiteral("60.0"), this);
    sc_pot_gap->setToolTip(QStringLiteral("If gap > this in EFW, gap s/c pot value used"));
    for (QWidget *w : std::initializer_list<QWidget *>{gatherchoice, gathern, sc_pot, pot_label, sc_pot_value,
                                                      sc_pot_gap})
        row2->addWidget(w);

    auto *row3 = new QHBoxLayout;
    row3->addWidget(new QLabel(QStringLiteral("Time close to but earlier than spin start:"), this));
    auto *next = new QPushButton(QStringLiteral("Advance to next segment (approx)"), this);
    next->setObjectName(QStringLiteral("next_segment"));
    row3->addWidget(next);
    connect(next, &QPushButton::clicked, this, &SweepBox::slotNextSegment);

    timebox = new TimeBox(this);

    auto *row5 = new QHBoxLayout;
    row5->setSpacing(2);
    slice_lab = new QLabel(QStringLiteral("Azimuthal Slice (deg)"), this);
    azslice = new QLineEdit(QStringLiteral("0"), this);
    onecountchoice = combo(this, {"Actual Data", "1 Count Level x"});
    onecount_mult = new QLineEdit(QStringLiteral("1.0"), this);
    for (QWidget *w : std::initializer_list<QWidget *>{slice_lab, azslice, onecountchoice, onecount_mult})
        row5->addWidget(w);

    /* The fields by name, for scripted sessions and tests. */
    const std::pair<QWidget *, const char *> named[] = {
        {pachoice, "pachoice"}, {npa, "npa"},         {gatherchoice, "gatherchoice"}, {gathern, "gathern"},
        {sc_pot, "sc_pot"},     {sc_pot_value, "sc_pot_value"}, {sc_pot_gap, "sc_pot_gap"}, {azslice, "azslice"},
        {onecount_mult, "onecount_mult"}};
    for (const auto &[w, n] : named)
        w->setObjectName(QString::fromLatin1(n));

    layout->addLayout(row1);
    layout->addLayout(row2);
    layout->addLayout(row3);
    layout->addWidget(timebox);
    layout->addLayout(row5);
}

void SweepBox::SetLineage(const LineageBox *box)
{
    project->setText(box->proj->currentText());
    mission->setText(box->miss->currentText());
    exp->setText(box->exp->currentText());
    inst->setText(box->inst->currentText());
    virins->setText(box->virins->currentText());
}

void SweepBox::transfer_lineage(NURV_LINEAGE_S *lineage) const
{
    copy_label(lineage->project, project);
    copy_label(lineage->mission, mission);
    copy_label(lineage->experiment, exp);
    copy_label(lineage->instrument, inst);
    copy_label(lineage->virtual_inst, virins);
    lineage->exten[0] = '\0';
}

void SweepBox::transfer_sweep_times(NURV_TIME_S *t) const
{
    timebox->GetTimeFromTimeBox(t);
}

void SweepBox::setSpinEndTimeSearch(SpinEndTimeSearch search)
{
    spin_end_time_ = std::move(search);
}

void SweepBox::slotForceGather(int index)
{
    if (index != 0 && gatherchoice->currentIndex() == 3) {
        gatherchoice->setCurrentIndex(1);
        gathern->setText(QStringLiteral("1"));
    }
}

void SweepBox::slotNextSegment()
{
    NURV_TIME_S t;
    transfer_sweep_times(&t);
    NURV_TIME_S e = t;
    NURV_LINEAGE_S lineage{};
    transfer_lineage(&lineage);

    int g = gatherchoice->currentIndex();
    const int do_pa = pachoice->currentIndex() != 0 ? 1 : 0;
    int n = widgets::edit_int(gathern);
    if (g == 3) {
        g = 1;
        n = 1;
    }

    auto search = [&]() {
        const int status = spin_end_time_ ? spin_end_time_(&lineage, &t, &e, do_pa, g, n) : -501;
        if (status != 1)
            std::printf("nurv_n_spin_sweep_etime in slotNextSegment returned %d\n", status);
    };
    switch (g) {
    case 1:
        /* Half a second before the spin that follows the n spins: the
         * slice takes the first spin that begins at or after its start,
         * which is that spin, however long the spins are. */
        search();
        add_secs_to_nurv_time(&e, -0.5f);
        break;
    case 2:
        add_secs_to_nurv_time(&e, widgets::edit_float(gathern));
        break;
    case 0:
        search();
        add_secs_to_nurv_time(&e, 0.001f);
        break;
    default:
        std::printf("slotNextSegment confused about gather choice = %d\n", g);
        break;
    }

    /* Round to the second before splitting, so that a carry runs on into
     * the minute, hour and day instead of asking for second 60. */
    if (e.nano > 500000000)
        add_secs_to_nurv_time(&e, 1.0f);
    int hour, minute, second, nano;
    to_hms_time(&e, &hour, &minute, &second, &nano);
    widgets::set_spin_value(timebox->YearspinBox, e.year);
    widgets::set_spin_value(timebox->DoyspinBox, e.doy);
    timebox->setSHour(hour);
    timebox->setSMinute(minute);
    timebox->setSSecond(second);
}

} // namespace lunder
