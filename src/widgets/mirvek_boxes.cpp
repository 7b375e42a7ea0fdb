/* Mirvek's time and lineage boxes. */
#include "mirvek_boxes.h"

#include "lineage_lists.h"
#include "widget_values.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace mirvek {

namespace {

template <typename W>
W *place(W *widget, int x, int y, int w, int h)
{
    widget->setGeometry(x, y, w, h);
    return widget;
}

void copy_text(char (&field)[NURV_LINEAGE_LEN], const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const size_t n = std::min(static_cast<size_t>(bytes.size()), sizeof field - 1);
    std::memcpy(field, bytes.constData(), n);
    field[n] = '\0';
}

} // namespace

/* ---- TimeBox -------------------------------------------------------------- */

TimeBox::TimeBox(QWidget *parent, const char *name) : QGroupBox(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    auto label = [this](const char *text, int x, int y, int w, int h) {
        return place(new QLabel(QString::fromLatin1(text), this), x, y, w, h);
    };

    StartTimeLabel = label("Start", 10, 20, 64, 20);
    byearLabel = label("Year", 10, 40, 40, 20);
    bdoyLabel = label("Doy", 70, 40, 40, 20);
    btimeLabel = label("Time", 125, 40, 64, 20);
    bYearspinBox = place(widgets::make_year_spin(this, 2001), 10, 60, 60, 23);
    bDoyspinBox = place(widgets::make_doy_spin(this, 90), 70, 60, 55, 23);
    btimeEdit = place(widgets::make_time_edit(this, 0, 0, 0), 125, 60, 84, 23);
    textLabel1_2 = label("Date", 10, 85, 40, 20);
    StartdateEdit = place(widgets::make_date_edit(this, 2001, 3, 31), 10, 105, 100, 23);
    CopyTimepushButton = place(new QPushButton(QStringLiteral(">"), this), 230, 60, 40, 20);
    EndTimetextLabel = label("End", 290, 20, 65, 20);
    eyearLabel = label("Year", 290, 40, 40, 20);
    edoyLabel = label("Doy", 350, 40, 40, 20);
    etimeLabel = label("Time", 405, 40, 64, 20);
    eYearspinBox = place(widgets::make_year_spin(this, 2001), 290, 60, 60, 23);
    eDoyspinBox = place(widgets::make_doy_spin(this, 90), 350, 60, 55, 23);
    etimeEdit = place(widgets::make_time_edit(this, 0, 0, 0), 405, 60, 84, 23);
    textLabel1_2_2 = label("Date", 290, 85, 40, 20);
    EnddateEdit = place(widgets::make_date_edit(this, 2001, 3, 31), 289, 105, 100, 23);

    resize(minimumSizeHint().expandedTo(QSize(522, 531)));
    for (const auto &[w, n] : std::initializer_list<std::pair<QWidget *, const char *>>{
             {bYearspinBox, "bYearspinBox"}, {bDoyspinBox, "bDoyspinBox"}, {btimeEdit, "btimeEdit"},
             {StartdateEdit, "StartdateEdit"}, {eYearspinBox, "eYearspinBox"}, {eDoyspinBox, "eDoyspinBox"},
             {etimeEdit, "etimeEdit"}, {EnddateEdit, "EnddateEdit"}})
        w->setObjectName(QString::fromLatin1(n));

    setTabOrder(bYearspinBox, bDoyspinBox);
    setTabOrder(bDoyspinBox, StartdateEdit);
    setTabOrder(StartdateEdit, btimeEdit);
    setTabOrder(btimeEdit, CopyTimepushButton);
    setTabOrder(CopyTimepushButton, eYearspinBox);
    setTabOrder(eYearspinBox, eDoyspinBox);
    setTabOrder(eDoyspinBox, EnddateEdit);
    setTabOrder(EnddateEdit, etimeEdit);

    connect(CopyTimepushButton, &QPushButton::clicked, this, &TimeBox::CopyTime);
    connect(StartdateEdit, &QDateEdit::dateChanged, this, &TimeBox::StartDateChange);
    connect(EnddateEdit, &QDateEdit::dateChanged, this, &TimeBox::EndDateChange);
    connect(bYearspinBox, &QSpinBox::valueChanged, this, &TimeBox::StartYearChange);
    connect(eYearspinBox, &QSpinBox::valueChanged, this, &TimeBox::EndYearChange);
    connect(bDoyspinBox, &QSpinBox::valueChanged, this, &TimeBox::StartDoyChange);
    connect(eDoyspinBox, &QSpinBox::valueChanged, this, &TimeBox::EndDoyChange);

    setSHour(18);
    setEHour(18);
    setEMinute(1);
}

void TimeBox::GetStartTimeFromTimeBox(NURV_TIME_S *t) const
{
    const QTime time = btimeEdit->time();
    to_nurv_time(bYearspinBox->value(), bDoyspinBox->value(), time.hour(), time.minute(), time.second(), 0, t);
}

void TimeBox::GetEndTimeFromTimeBox(NURV_TIME_S *t) const
{
    const QTime time = etimeEdit->time();
    to_nurv_time(eYearspinBox->value(), eDoyspinBox->value(), time.hour(), time.minute(), time.second(), 0, t);
}

void TimeBox::setSHour(int hour) { widgets::set_time_hour(btimeEdit, hour); }
void TimeBox::setSMinute(int minute) { widgets::set_time_minute(btimeEdit, minute); }
void TimeBox::setSSecond(int second) { widgets::set_time_second(btimeEdit, second); }
void TimeBox::setEHour(int hour) { widgets::set_time_hour(etimeEdit, hour); }
void TimeBox::setEMinute(int minute) { widgets::set_time_minute(etimeEdit, minute); }
void TimeBox::setESecond(int second) { widgets::set_time_second(etimeEdit, second); }

void TimeBox::StartDateChange()
{
    widgets::date_to_spins(StartdateEdit, bYearspinBox, bDoyspinBox);
}

void TimeBox::EndDateChange()
{
    widgets::date_to_spins(EnddateEdit, eYearspinBox, eDoyspinBox);
}

void TimeBox::StartYearChange()
{
    widgets::spins_to_date(bYearspinBox, bDoyspinBox, StartdateEdit);
}

void TimeBox::EndYearChange()
{
    widgets::spins_to_date(eYearspinBox, eDoyspinBox, EnddateEdit);
}

void TimeBox::StartDoyChange()
{
    StartYearChange();
}

void TimeBox::EndDoyChange()
{
    EndYearChange();
}

void TimeBox::CopyTime()
{
    const int year = bYearspinBox->value();
    const int doy = bDoyspinBox->value();
    const QTime time = btimeEdit->time();
    eYearspinBox->setValue(year);
    eDoyspinBox->setValue(doy);
    etimeEdit->setTime(time);
}

/* ---- LineageBox ----------------------------------------------------------- */

LineageBox::LineageBox(QWidget *parent, const char *name) : QWidget(parent)
{
    if (name != nullptr)
        setObjectName(QString::fromLatin1(name));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(5);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(QStringLiteral("NURV Lineage"), this);
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
    pachoice = new QComboBox(this);
    for (const char *item : {"no pa binning", "pa: angles", "pa: cosines"})
        pachoice->addItem(QString::fromLatin1(item));
    npa = new QLineEdit(QStringLiteral("13"), this);
    npa->setToolTip(QStringLiteral("Number of pitch angle bins for rebinning"));
    gatherchoice = new QComboBox(this);
    for (const char *item : {"Gather n sweeps", "Gather n spins", "Gather n.n secs"})
        gatherchoice->addItem(QString::fromLatin1(item));
    gathern = new QLineEdit(QStringLiteral("1"), this);
    pachoice->setObjectName(QStringLiteral("pachoice"));
    npa->setObjectName(QStringLiteral("npa"));
    gatherchoice->setObjectName(QStringLiteral("gatherchoice"));
    gathern->setObjectName(QStringLiteral("gathern"));
    for (QWidget *w : std::initializer_list<QWidget *>{title, proj, miss, exp, inst, virins, pachoice, npa,
                                                      gatherchoice, gathern})
        layout->addWidget(w);
}

void LineageBox::grab_lineage(NURV_LINEAGE_S *lineage) const
{
    copy_text(lineage->project, proj->currentText());
    copy_text(lineage->mission, miss->currentText());
    copy_text(lineage->experiment, exp->currentText());
    copy_text(lineage->instrument, inst->currentText());
    copy_text(lineage->virtual_inst, virins->currentText());
    lineage->exten[0] = '\0';
}

} // namespace mirvek
