/* Small helpers both programs' widgets share: reading numbers from text
 * fields as the windows do, setting combos, spin boxes and time edits
 * without handing the toolkit a value it would misuse, the start-time
 * widgets with their formats, the day-of-year bookkeeping between a date
 * edit and its year and day spin boxes, and the file dialogs. */
#pragma once

#include <QString>

#include <functional>

class QDateEdit;
class QLineEdit;
class QSpinBox;
class QTimeEdit;
class QWidget;

namespace widgets {

/* An integer field: a whole base-10 integer with blanks around it allowed,
 * else 0. */
int edit_int(const QLineEdit *edit);
/* A real-valued field: its leading number in single precision (C locale),
 * 0 when there is none. */
float edit_float(const QLineEdit *edit);
/* Number fields checked before an action uses them: a field holding
 * anything but one number with blanks around it ("2,5", "1,5e2", text
 * after the number or no number at all), a real field whose number is not
 * finite or lies beyond a float's range, or an integer field whose number
 * is no whole one within an int's range, prints one line naming the field
 * and its text and gives false; the action then does not run.  An empty
 * field passes and reads as 0. */
bool real_field_usable(const QLineEdit *edit, const char *field);
bool int_field_usable(const QLineEdit *edit, const char *field);

/* A plot or export file stem: false, with one line naming the stem, when it
 * holds no file name (empty, blank, or a folder ending in "/"). */
bool stem_usable(const QString &stem, const char *what);

/* The most bins an action makes along one axis, and the most values (bins
 * x levels x sweeps) that one action's sweeps, plot or export may hold:
 * far beyond what a plot can show, while every copy of them costs four
 * bytes a value. */
inline constexpr int kMaxBins = 10000;
inline constexpr long long kMaxValues = 20000000;
/* Checks values against kMaxValues: false, with one line naming what would
 * hold them and the bound, when they are more. */
bool values_within_bound(long long values, const char *what);

/* A range written back into its field: "%g" form, 6 significant digits. */
QString number_text(double value);

/* The spin box's value := value brought into its range (a wrapping spin box
 * would otherwise wrap it round). */
void set_spin_value(QSpinBox *spin, int value);
/* The time edit's hour, minute or second := value, the other two kept and
 * milliseconds 0; a value that makes no time of day is ignored. */
void set_time_hour(QTimeEdit *edit, int hour);
void set_time_minute(QTimeEdit *edit, int minute);
void set_time_second(QTimeEdit *edit, int second);

/* The widgets of one start or end time, with the defaults and display
 * formats both programs use: years 1900..2100 and days 1..366, wrapping;
 * dates as "yyyy-MM-dd", times as "HH:mm:ss". */
QSpinBox *make_year_spin(QWidget *parent, int year);
QSpinBox *make_doy_spin(QWidget *parent, int doy);
QDateEdit *make_date_edit(QWidget *parent, int year, int month, int day);
QTimeEdit *make_time_edit(QWidget *parent, int hour, int minute, int second);

/* The date edit := the year and day of year of the spin boxes.  A day the
 * year lacks (day 366 of a common year) is refused: the day spin box is
 * brought back to the year's last day, so that the time read from the
 * spin boxes is always a real day. */
void spins_to_date(QSpinBox *year, QSpinBox *doy, QDateEdit *date);
/* The spin boxes := the year and day of year of the date edit, when its year
 * lies within 1950..2100; otherwise nothing changes.  The spin boxes are set
 * with their signals blocked, so that a date typed in stays as typed. */
void date_to_spins(QDateEdit *date, QSpinBox *year, QSpinBox *doy);

/* ---- File dialogs ------------------------------------------------------- */

enum class FileDialog { Stem, Save, Open };

/* A plot or export file stem: the save-file dialog starting at start, no
 * filter, with caption; a stem is not the file written, so no overwrite
 * question.  Empty when cancelled. */
QString ask_stem_name(QWidget *parent, const QString &start, const QString &caption);
/* A settings file to write or read: the save-file or open-file dialog with no
 * start name, no filter, no parent and no caption.  Empty when cancelled. */
QString ask_save_name();
QString ask_open_name();

/* Answers every dialog above in place of the user (tests run without
 * anyone to answer); an empty function restores the real dialogs.  The
 * function gets the kind of dialog and its start text. */
void set_file_dialog_answer(std::function<QString(FileDialog, const QString &start)> answer);

} // namespace widgets
