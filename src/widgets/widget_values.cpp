/* Number fields, safe setters, the time widgets and the file dialogs. */
#include "widget_values.h"

#include "Qnurv_utils.h"
#include "settings_file.h"

#include <QDateEdit>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdio>
#include <string>

namespace widgets {

namespace {

std::function<QString(FileDialog, const QString &)> &dialog_answer()
{
    static std::function<QString(FileDialog, const QString &)> answer;
    return answer;
}

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

bool is_leap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

void set_time(QTimeEdit *edit, int hour, int minute, int second)
{
    const QTime t(hour, minute, second, 0);
    if (t.isValid())
        edit->setTime(t);
}

} // namespace

int edit_int(const QLineEdit *edit)
{
    return settings::strict_int(view(edit->text().toUtf8()));
}

float edit_float(const QLineEdit *edit)
{
    return settings::leading_float(view(edit->text().toUtf8()));
}

namespace {

/* One line for a field that holds no single number: what was typed and
 * what the field takes. */
void print_not_a_number(const QLineEdit *edit, const char *field)
{
    std::printf("The field %s holds \"%s\", which is not one decimal number (blanks around it only, a decimal "
                "point, no comma); nothing done\n",
                field, settings::shown_value(view(edit->text().toUtf8())).c_str());
    std::fflush(stdout);
}

} // namespace

bool real_field_usable(const QLineEdit *edit, const char *field)
{
    const QByteArray text = edit->text().toUtf8();
    switch (settings::real_text_kind(view(text))) {
    case settings::NumberText::Empty:
    case settings::NumberText::Number:
        return true;
    case settings::NumberText::NotANumber:
        print_not_a_number(edit, field);
        return false;
    case settings::NumberText::OutOfRange:
        break;
    }
    std::printf("The field %s holds \"%s\", which is not a finite number within the range of a float "
                "(at most %g in size); nothing done\n",
                field, settings::shown_value(view(text)).c_str(), static_cast<double>(FLT_MAX));
    std::fflush(stdout);
    return false;
}

bool int_field_usable(const QLineEdit *edit, const char *field)
{
    const QByteArray text = edit->text().toUtf8();
    switch (settings::int_text_kind(view(text))) {
    case settings::NumberText::Empty:
    case settings::NumberText::Number:
        return true;
    case settings::NumberText::NotANumber:
        print_not_a_number(edit, field);
        return false;
    case settings::NumberText::OutOfRange:
        break;
    }
    std::printf("The field %s holds \"%s\", which is not a whole number from %d to %d; nothing done\n", field,
                settings::shown_value(view(text)).c_str(), INT_MIN, INT_MAX);
    std::fflush(stdout);
    return false;
}

bool stem_usable(const QString &stem, const char *what)
{
    const QString trimmed = stem.trimmed();
    if (!trimmed.isEmpty() && !trimmed.endsWith(QLatin1Char('/')))
        return true;
    std::printf("The %s \"%s\" names no file; nothing written\n", what, stem.toStdString().c_str());
    std::fflush(stdout);
    return false;
}

bool values_within_bound(long long values, const char *what)
{
    if (values <= kMaxValues)
        return true;
    std::printf("%s would hold %lld values, more than the %lld one action may hold; nothing done\n", what, values,
                kMaxValues);
    std::fflush(stdout);
    return false;
}

QString number_text(double value)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
    return QString::fromLatin1(buf, static_cast<qsizetype>(result.ptr - buf));
}

void set_spin_value(QSpinBox *spin, int value)
{
    spin->setValue(std::clamp(value, spin->minimum(), spin->maximum()));
}

void set_time_hour(QTimeEdit *edit, int hour)
{
    const QTime t = edit->time();
    set_time(edit, hour, t.minute(), t.second());
}

void set_time_minute(QTimeEdit *edit, int minute)
{
    const QTime t = edit->time();
    set_time(edit, t.hour(), minute, t.second());
}

void set_time_second(QTimeEdit *edit, int second)
{
    const QTime t = edit->time();
    set_time(edit, t.hour(), t.minute(), second);
}

QSpinBox *make_year_spin(QWidget *parent, int year)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(1900, 2100);
    spin->setWrapping(true);
    spin->setValue(year);
    return spin;
}

QSpinBox *make_doy_spin(QWidget *parent, int doy)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(1, 366);
    spin->setWrapping(true);
    spin->setValue(doy);
    return spin;
}

QDateEdit *make_date_edit(QWidget *parent, int year, int month, int day)
{
    auto *edit = new QDateEdit(parent);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setDate(QDate(year, month, day));
    edit->setEnabled(true);
    return edit;
}

QTimeEdit *make_time_edit(QWidget *parent, int hour, int minute, int second)
{
    auto *edit = new QTimeEdit(parent);
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    edit->setTime(QTime(hour, minute, second));
    return edit;
}

void spins_to_date(QSpinBox *year, QSpinBox *doy, QDateEdit *date)
{
    const int y = year->value();
    const int last = is_leap(y) ? 366 : 365;
    int d = doy->value();
    if (d > last) {
        const QSignalBlocker block(doy);
        doy->setValue(last);
        d = last;
    }
    int month, day;
    QanYearDoyToDate(y, d, &month, &day);
    date->setDate(QDate(y, month, day));
}

void date_to_spins(QDateEdit *date, QSpinBox *year, QSpinBox *doy)
{
    const QDate d = date->date();
    int day_of_year;
    QanDateToYearDoy(d.year(), d.month(), d.day(), &day_of_year);
    if (d.year() < 1950 || d.year() > 2100)
        return;
    const QSignalBlocker block_year(year);
    const QSignalBlocker block_doy(doy);
    year->setValue(d.year());
    doy->setValue(day_of_year);
}

QString ask_stem_name(QWidget *parent, const QString &start, const QString &caption)
{
    if (dialog_answer())
        return dialog_answer()(FileDialog::Stem, start);
    return QFileDialog::getSaveFileName(parent, caption, start, QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString ask_save_name()
{
    if (dialog_answer())
        return dialog_answer()(FileDialog::Save, QString());
    return QFileDialog::getSaveFileName(nullptr, QString(), QString(), QString());
}

QString ask_open_name()
{
    if (dialog_answer())
        return dialog_answer()(FileDialog::Open, QString());
    return QFileDialog::getOpenFileName(nullptr, QString(), QString(), QString());
}

void set_file_dialog_answer(std::function<QString(FileDialog, const QString &)> answer)
{
    dialog_answer() = std::move(answer);
}

} // namespace widgets
