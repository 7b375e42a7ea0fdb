/* Lunder's data-source widgets: the lineage box of five combos, the start
 * time box, and the sweep source panel that describes one of the two
 * sources (lineage, pitch-angle binning, gathering, spacecraft-potential
 * correction, start time, azimuth of the slice and the one-count option).
 * Mirvek has classes of the same names that are different classes
 * (mirvek_boxes.h). */
#pragma once

#include "Qnurv_utils.h"

#include <QGroupBox>
#include <QWidget>

#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimeEdit;

namespace lunder {

/* Five read-only combos choosing a data source, stacked top to bottom, each
 * at its first item; they do not constrain one another. */
class LineageBox : public QWidget {
    Q_OBJECT
public:
    explicit LineageBox(QWidget *parent = nullptr, const char *name = nullptr);

    QComboBox *proj;
    QComboBox *miss;
    QComboBox *exp;
    QComboBox *inst;
    QComboBox *virins;
};

/* One start time: year and day-of-year spin boxes (the authority for the time
 * read), a date edit as a second view of them, and a time edit; 2001, day
 * 90, 2001-03-31, 18:00:00 at first. */
class TimeBox : public QWidget {
    Q_OBJECT
public:
    explicit TimeBox(QWidget *parent = nullptr, const char *name = nullptr);

    /* to_nurv_time of the year, the day of year and the time edit's hour,
     * minute and second, 0 nanoseconds. */
    void GetTimeFromTimeBox(NURV_TIME_S *t) const;
    /* One field of the time edit replaced, the others kept; a value that
     * makes no time of day is ignored. */
    void setSHour(int hour);
    void setSMinute(int minute);
    void setSSecond(int second);

    QLabel *yearLabel;
    QLabel *timeLabel;
    QDateEdit *dateEdit;
    QTimeEdit *timeEdit;
    QLabel *doyLabel;
    QLabel *textLabel1_2;
    QSpinBox *DoyspinBox;
    QSpinBox *YearspinBox;

public slots:
    /* The spin boxes follow a date of 1950..2100 typed or set in the date
     * edit; an earlier or later date leaves them. */
    void DateChange();
    /* The date edit follows the spin boxes; day 366 of a common year is
     * brought back to day 365. */
    void YearChange();
    void DoyChange();
};

/* The end time of n spins (gather 1) or sweeps (gather 0) of a source from a
 * start time, as the sweep reader finds it: writes it into end and returns 1,
 * or returns the reader's failure status. */
using SpinEndTimeSearch = std::function<int(NURV_LINEAGE_S *lineage, NURV_TIME_S *start, NURV_TIME_S *end,
                                            int do_pa, int gather, int n)>;

/* One sweep source panel.  The main window sets its frame and title. */
class SweepBox : public QGroupBox {
    Q_OBJECT
public:
    /* The rows stand in one column whatever strips and orientation say;
     * they are kept for the callers that pass them. */
    SweepBox(int strips, Qt::Orientation orientation, QWidget *parent = nullptr, const char *name = nullptr);

    /* The five lineage labels := the current texts of the box's combos. */
    void SetLineage(const LineageBox *box);
    /* project .. virtual_inst := the five label texts (Latin-1, at most 99
     * characters each); exten := empty; vsn untouched. */
    void transfer_lineage(NURV_LINEAGE_S *lineage) const;
    /* The panel's start time. */
    void transfer_sweep_times(NURV_TIME_S *t) const;

    /* Where "Advance to next segment (approx)" finds the end of a segment:
     * the main window hands in the sweep reader's search.  Without one a
     * search reports -501. */
    void setSpinEndTimeSearch(SpinEndTimeSearch search);

    QLabel *project;
    QLabel *mission;
    QLabel *exp;
    QLabel *inst;
    QLabel *virins;
    QComboBox *pachoice;
    QLineEdit *npa;
    QComboBox *gatherchoice;
    QLineEdit *gathern;
    QComboBox *sc_pot;
    QLineEdit *sc_pot_value;
    QLineEdit *sc_pot_gap;
    QLineEdit *azslice;
    QComboBox *onecountchoice;
    QLineEdit *onecount_mult;
    TimeBox *timebox;
    QLabel *lineage_lbl;
    QLabel *slice_lab;

public slots:
    /* Pitch-angle binning needs gathered sweeps: a binning chosen while
     * gathering is "No gathering" switches it to "Gather n spins", n 1. */
    void slotForceGather(int index);
    /* Moves the start time to just before the start of the next segment
     * (n spins or sweeps, or n seconds, on from the start). */
    void slotNextSegment();

private:
    SpinEndTimeSearch spin_end_time_;
};

} // namespace lunder
