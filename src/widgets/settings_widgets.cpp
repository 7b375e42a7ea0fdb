/* Saving and restoring widgets through a settings file. */
#include "settings_widgets.h"

#include "widget_values.h"

#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <vector>

namespace settings {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

bool fits_latin1(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xff)
            return false;
    return true;
}

/* Well-formed UTF-8: no overlong forms, no surrogates, nothing past
 * U+10FFFF, no sequence cut short. */
bool valid_utf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        size_t len;
        char32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xc2 && b <= 0xdf) {
            len = 2;
            cp = b & 0x1f;
        } else if (b >= 0xe0 && b <= 0xef) {
            len = 3;
            cp = b & 0x0f;
        } else if (b >= 0xf0 && b <= 0xf4) {
            len = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3f);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10ffff ||
            (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += len;
    }
    return true;
}

bool has_high_bytes(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

int time_part(const TimeField &t)
{
    const QTime time = t.edit->time();
    switch (t.part) {
    case TimePart::Hour:
        return time.hour();
    case TimePart::Minute:
        return time.minute();
    case TimePart::Second:
        break;
    }
    return time.second();
}

void set_time_part(const TimeField &t, int value)
{
    switch (t.part) {
    case TimePart::Hour:
        widgets::set_time_hour(t.edit, value);
        break;
    case TimePart::Minute:
        widgets::set_time_minute(t.edit, value);
        break;
    case TimePart::Second:
        widgets::set_time_second(t.edit, value);
        break;
    }
}

std::string entry_line(const Entry &e)
{
    const auto edit_value = [&e](const QString &text) {
        const QByteArray utf8 = text.toUtf8();
        switch (e.form) {
        case Form::Int:
            return int_line(e.key, strict_int(view(utf8)));
        case Form::Real:
            return real_line(e.key, leading_float(view(utf8)));
        case Form::Text:
            break;
        }
        return text_line(e.key, view(encode_text(text)));
    };
    return std::visit(Overloaded{
                          [&](const ComboItem &t) { return int_line(e.key, t.combo->currentIndex()); },
                          [&](const LabelText &t) { return edit_value(t.label->text()); },
                          [&](const EditText &t) { return edit_value(t.edit->text()); },
                          [&](const SpinValue &t) { return int_line(e.key, t.spin->value()); },
                          [&](const TimeField &t) { return int_line(e.key, time_part(t)); },
                      },
                      e.target);
}

/* Prints the line of a refused value: the key, the value as read and why. */
bool refuse(const Entry &e, std::string_view value, const std::string &why, const char *keeps)
{
    std::printf("Settings file: %s = %s %s; the field keeps its %s\n", e.key, shown_value(value).c_str(),
                why.c_str(), keeps);
    return false;
}

/* The whole number of a combo, spin box or time value within lo..hi; any
 * other value is refused with one line. */
bool whole_in_range(const Entry &e, std::string_view value, int lo, int hi)
{
    if (int_text_kind(value) != NumberText::Number)
        return refuse(e, value, "is not one whole number", "value");
    const int n = strict_int(value);
    if (n < lo || n > hi)
        return refuse(e, value, "is outside the field's range " + std::to_string(lo) + " to " + std::to_string(hi),
                      "value");
    return true;
}

/* A spin box's value within its range and, for a day of year, within the
 * days of the year its time box holds: the box would bring day 366 of a
 * common year back to 365. */
bool spin_value_usable(const Entry &e, const SpinValue &t, std::string_view value)
{
    if (!whole_in_range(e, value, t.spin->minimum(), t.spin->maximum()))
        return false;
    if (t.year == nullptr)
        return true;
    const int year = t.year->value();
    const int days = QDate::isLeapYear(year) ? 366 : 365;
    if (strict_int(value) <= days)
        return true;
    return refuse(e, value,
                  "is outside the range 1 to " + std::to_string(days) + " of the year " + std::to_string(year),
                  "value");
}

/* A value the entry's widget cannot hold as it stands is refused with one
 * line naming the key, and the widget is left as it was: a number with
 * text after it (a NUL included) or no number where one belongs, a number
 * outside the widget's range, a text longer than its edit takes.  A number
 * edit may be left empty. */
bool value_usable(const Entry &e, std::string_view value)
{
    const auto edit_usable = [&](const EditText &t) {
        if (e.form == Form::Text) {
            if (value.find('\0') != std::string_view::npos)
                return refuse(e, value, "holds a NUL byte", "text");
        } else {
            const bool real = e.form == Form::Real;
            switch (real ? real_text_kind(value) : int_text_kind(value)) {
            case NumberText::Empty:
            case NumberText::Number:
                break;
            case NumberText::NotANumber:
                return refuse(e, value, real ? "is not one number" : "is not one whole number", "text");
            case NumberText::OutOfRange:
                return refuse(e, value,
                              real ? "is not a finite number within the range of a float"
                                   : "is not a whole number within the range of an int",
                              "text");
            }
        }
        const qsizetype length = decode_text(value).size();
        if (length > t.edit->maxLength())
            return refuse(e, value, "is longer than the field's " + std::to_string(t.edit->maxLength()) + " characters",
                          "text");
        return true;
    };
    return std::visit(Overloaded{
                          [&](const ComboItem &t) { return whole_in_range(e, value, 0, t.combo->count() - 1); },
                          [&](const LabelText &) { return true; },
                          edit_usable,
                          [&](const SpinValue &t) { return spin_value_usable(e, t, value); },
                          [&](const TimeField &t) {
                              return whole_in_range(e, value, 0, t.part == TimePart::Hour ? 23 : 59);
                          },
                      },
                      e.target);
}

void apply_entry(const Entry &e, std::string_view value)
{
    if (!value_usable(e, value))
        return;
    std::visit(Overloaded{
                   [&](const ComboItem &t) { t.combo->setCurrentIndex(strict_int(value)); },
                   [&](const LabelText &t) {
                       QString text = decode_text(value);
                       if (t.max_chars > 0)
                           text.truncate(t.max_chars);
                       t.label->setText(text);
                   },
                   [&](const EditText &t) { t.edit->setText(decode_text(value)); },
                   [&](const SpinValue &t) { t.spin->setValue(strict_int(value)); },
                   [&](const TimeField &t) { set_time_part(t, strict_int(value)); },
               },
               e.target);
}

std::string local_name(const QString &name)
{
    return QFile::encodeName(name).toStdString();
}

} // namespace

void EntryList::add(Form form, Target target)
{
    assert(entries_.size() < count_);
    entries_.push_back({keys_[entries_.size()], form, std::move(target)});
}

void EntryList::day(QSpinBox *d, QSpinBox *year)
{
    add(Form::Int, SpinValue{d, year});
}

void EntryList::time(QTimeEdit *e)
{
    for (TimePart part : {TimePart::Hour, TimePart::Minute, TimePart::Second})
        add(Form::Int, TimeField{e, part});
}

std::vector<Entry> EntryList::take()
{
    assert(entries_.size() == count_);
    return std::move(entries_);
}

QByteArray encode_text(const QString &text)
{
    /* Latin-1 bytes that would read back as UTF-8 are written as UTF-8, so
     * that every text comes back exactly as it was. */
    if (fits_latin1(text)) {
        const QByteArray latin1 = text.toLatin1();
        if (!has_high_bytes(latin1) || !valid_utf8(view(latin1)))
            return latin1;
    }
    return text.toUtf8();
}

QString decode_text(std::string_view bytes)
{
    const qsizetype n = static_cast<qsizetype>(bytes.size());
    if (valid_utf8(bytes))
        return QString::fromUtf8(bytes.data(), n);
    return QString::fromLatin1(bytes.data(), n);
}

std::string settings_text(std::span<const Entry> entries)
{
    std::string text;
    for (const Entry &e : entries)
        text += entry_line(e);
    return text;
}

void apply_settings(std::string_view text, std::span<const Entry> entries)
{
    std::vector<const char *> keys;
    keys.reserve(entries.size());
    for (const Entry &e : entries)
        keys.push_back(e.key);
    /* A file that is no settings file at all is named by its first lines. */
    constexpr int kNamedSkips = 20;
    int skipped = 0;
    /* A day of year is taken within the year the file gives, whichever
     * line comes first: the days are set after every other line. */
    const auto is_day = [](const Entry &e) {
        const auto *spin = std::get_if<SpinValue>(&e.target);
        return spin != nullptr && spin->year != nullptr;
    };
    const std::vector<Match> matches = match_lines(text, keys);
    std::vector<const Match *> days;
    for (const Match &m : matches) {
        if (m.index >= 0) {
            const Entry &e = entries[static_cast<size_t>(m.index)];
            if (is_day(e))
                days.push_back(&m);
            else
                apply_entry(e, m.value);
        } else if (++skipped > kNamedSkips) {
            continue;
        } else if (m.index == kNoKey) {
            std::printf("Settings file: %s: no field has the key %s; the line is skipped\n",
                        shown_value(m.value).c_str(), shown_value(split_line(m.value).key).c_str());
        } else {
            std::printf("Settings file: %s holds no \"=\" between a key and a value; the line is skipped\n",
                        shown_value(m.value).c_str());
        }
    }
    if (skipped > kNamedSkips)
        std::printf("Settings file: %d more lines set nothing and are skipped\n", skipped - kNamedSkips);
    for (const Match *m : days)
        apply_entry(entries[static_cast<size_t>(m->index)], m->value);
}

bool save_settings(const QString &name, std::span<const Entry> entries)
{
    const std::string path = local_name(name);
    const int status = replace_file(path, settings_text(entries));
    const int error = errno;
    if (status == SETTINGS_OPEN_FAILED)
        std::printf("Error opening %s for save\n", path.c_str());
    else if (status != SETTINGS_OK)
        std::printf("Error writing %s for save\n", path.c_str());
    /* The system's reason, unless the name itself was missing (a cancelled
     * dialog); the old file is kept in every case. */
    if (status != SETTINGS_OK && !path.empty() && error != 0)
        std::printf("%s: %s\n", path.c_str(), std::strerror(error));
    return status == SETTINGS_OK;
}

bool restore_settings(const QString &name, std::span<const Entry> entries)
{
    const std::string path = local_name(name);
    std::string text;
    long long size = 0;
    if (!path.empty() && read_file(path, text, kMaxSettingsBytes, &size)) {
        apply_settings(text, entries);
        return true;
    }
    if (size > kMaxSettingsBytes)
        std::printf("Settings file %s holds %lld bytes, more than the %lld a settings file may hold; nothing "
                    "restored\n",
                    path.c_str(), size, kMaxSettingsBytes);
    else
        std::printf("Error opening %s for restore\n", path.c_str());
    return false;
}

} // namespace settings
