/* Settings files over widgets: a program describes its file as a list of
 * entries, one per key in the order of its key table, each naming the
 * widget the key saves and restores; the functions here write such a list
 * as a file and apply a file to it.
 *
 * Texts are written as Latin-1 when they fit (so files stay as they were
 * always written) and as UTF-8 otherwise, and read back either way. */
#pragma once

#include "settings_file.h"

#include <QByteArray>
#include <QString>

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimeEdit;

namespace settings {

/* A combo's current index; restored from a whole number within its list. */
struct ComboItem {
    QComboBox *combo;
};
/* A label's text; restored texts are cut to max_chars characters when it is
 * not 0. */
struct LabelText {
    QLabel *label;
    int max_chars = 0;
};
/* An edit's text, written by the entry's form (an integer, a real or the
 * text) and restored as the value text. */
struct EditText {
    QLineEdit *edit;
};
/* A spin box's value; restored from a whole number within its range.  A
 * day of year names the spin box of its year, and is restored only within
 * that year's days. */
struct SpinValue {
    QSpinBox *spin;
    QSpinBox *year = nullptr;
};
/* One field of a time edit; restored from a whole number that is an hour,
 * minute or second of a day. */
enum class TimePart { Hour, Minute, Second };
struct TimeField {
    QTimeEdit *edit;
    TimePart part;
};

using Target = std::variant<ComboItem, LabelText, EditText, SpinValue, TimeField>;

struct Entry {
    const char *key;
    Form form;
    Target target;
};

/* A program's entries made in the order of its key table: each call takes
 * the next key. */
class EntryList {
public:
    EntryList(const char *const *keys, std::size_t count) : keys_(keys), count_(count) { entries_.reserve(count); }
    void add(Form form, Target target);
    void combo(QComboBox *c) { add(Form::Int, ComboItem{c}); }
    void edit(Form form, QLineEdit *e) { add(form, EditText{e}); }
    void label(QLabel *l, int max_chars) { add(Form::Text, LabelText{l, max_chars}); }
    void spin(QSpinBox *s) { add(Form::Int, SpinValue{s}); }
    /* A day of year and the spin box of its year. */
    void day(QSpinBox *d, QSpinBox *year);
    /* The hour, minute and second of a time edit, in that order. */
    void time(QTimeEdit *e);
    /* The entries; every key of the table must have been taken. */
    std::vector<Entry> take();

private:
    const char *const *keys_;
    std::size_t count_;
    std::vector<Entry> entries_;
};

/* Bytes of a text in a settings file, and the text of such bytes. */
QByteArray encode_text(const QString &text);
QString decode_text(std::string_view bytes);

/* The whole file: one line per entry, in order. */
std::string settings_text(std::span<const Entry> entries);
/* Applies the lines of a file's text in file order; keys are those of the
 * entries.  A value its widget cannot hold as it stands (a number with
 * anything after it, a NUL byte among them; a number outside the widget's
 * range, a day its year lacks among them; a text longer than its edit
 * takes) prints one line "Settings file: KEY = VALUE ..." and leaves the
 * widget as it was; an empty number edit is taken.  A line whose key no
 * entry has, and one without "=", set nothing and print one line each (the
 * first 20 of them, then one line counting the others); blank lines are
 * passed over. */
void apply_settings(std::string_view text, std::span<const Entry> entries);

/* Writes the entries into the file name (a temporary file renamed over it).
 * Prints "Error opening %s for save" when the file cannot be written, and
 * "Error writing %s for save" when a write fails, the old file being kept;
 * false then. */
bool save_settings(const QString &name, std::span<const Entry> entries);
/* Applies the file name to the entries.  Prints "Error opening %s for
 * restore" when it cannot be read, and a line naming its size when it
 * holds more than kMaxSettingsBytes (found without reading it whole), and
 * changes nothing; false then. */
bool restore_settings(const QString &name, std::span<const Entry> entries);

} // namespace settings
