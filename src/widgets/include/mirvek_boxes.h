/* Mirvek's time and lineage boxes: the start and end time of a request, each
 * time's date, year and day of year kept in step, and the data source with
 * its pitch-angle and gathering controls.  Lunder has classes of the same
 * names that are different classes (lunder_boxes.h). */
#pragma once

#include "Qnurv_utils.h"

#include <QGroupBox>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace mirvek {

/* Start and end time at fixed places in a group box without title: 2001, day
 * 90 (2001-03-31) from 18:00:00 to 18:01:00 at first. */
class TimeBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TimeBox(QWidget *parent = nullptr, const char *name = nullptr);

    /* to_nurv_time of the start (end) year, day of year and time, 0
     * nanoseconds. */
    void GetStartTimeFromTimeBox(NURV_TIME_S *t) const;
    void GetEndTimeFromTimeBox(NURV_TIME_S *t) const;
    /* One field of the start (end) time replaced, the others kept; a value
     * that makes no time of day is ignored. */
    void setSHour(int hour);
    void setSMinute(int minute);
    void setSSecond(int second);
    void setEHour(int hour);
    void setEMinute(int minute);
    void setESecond(int second);

    QLabel *StartTimeLabel;
    QLabel *byearLabel;
    QLabel *bdoyLabel;
    QLabel *btimeLabel;
    QSpinBox *bYearspinBox;
    QSpinBox *bDoyspinBox;
    QTimeEdit *btimeEdit;
    QLabel *textLabel1_2;
    QDateEdit *StartdateEdit;
    QPushButton *CopyTimepushButton;
    QLabel *EndTimetextLabel;
    QLabel *eyearLabel;
    QLabel *edoyLabel;
    QLabel *etimeLabel;
    QSpinBox *eYearspinBox;
    QSpinBox *eDoyspinBox;
    QTimeEdit *etimeEdit;
    QLabel *textLabel1_2_2;
    QDateEdit *EnddateEdit;

public slots:
    /* The year and day spin boxes follow a date of 1950..2100. */
    void StartDateChange();
    void EndDateChange();
    /* The date edit follows the spin boxes; day 366 of a common year is
     * brought back to day 365. */
    void StartYearChange();
    void EndYearChange();
    void StartDoyChange();
    void EndDoyChange();
    /* The end year, day and time := the start's. */
    void CopyTime();
};

/* The data source hierarchy with the pitch-angle and gathering controls. */
class LineageBox : public QWidget {
    Q_OBJECT
public:
    explicit LineageBox(QWidget *parent = nullptr, const char *name = nullptr);

    /* project .. virtual_inst := the current texts of the five combos;
     * exten := empty; vsn as the caller set it. */
    void grab_lineage(NURV_LINEAGE_S *lineage) const;

    QComboBox *proj;
    QComboBox *miss;
    QComboBox *exp;
    QComboBox *inst;
    QComboBox *virins;
    QComboBox *pachoice;
    QLineEdit *npa;
    QComboBox *gatherchoice;
    QLineEdit *gathern;
};

} // namespace mirvek
