// Settings files: the line format and its reading rules, numbers in any
// locale, the replacing writer, texts outside Latin-1, and both programs'
// key tables over their widgets (defaults, round trips, restore rules).
#include "lunder_boxes.h"
#include "lunder_settings.h"
#include "mirvek_boxes.h"
#include "mirvek_settings.h"
#include "option_widgets.h"
#include "settings_file.h"
#include "stdout_capture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

namespace {

QComboBox *combo(QWidget *parent, int items, int current = 0)
{
    auto *c = new QComboBox(parent);
    for (int i = 0; i < items; ++i)
        c->addItem(QString::number(i));
    c->setCurrentIndex(current);
    return c;
}

QLineEdit *edit(QWidget *parent, const char *text)
{
    return new QLineEdit(QString::fromLatin1(text), parent);
}

// Lunder's widgets as its windows hold them, with their defaults.
struct LunderWindows {
    QWidget root;
    lunder::SettingsWidgets w{};
    LunderWindows()
    {
        QWidget *p = &root;
        w.lineage = new lunder::LineageBox(p);
        w.prim_sweep = new lunder::SweepBox(1, Qt::Horizontal, p);
        w.sec_sweep = new lunder::SweepBox(1, Qt::Horizontal, p);
        w.energy_units = combo(p, 2);
        w.energy_linlog = combo(p, 2, 1);
        w.energy_scale = combo(p, 2);
        w.emin = edit(p, "1");
        w.emax = edit(p, "10");
        w.psd_units = combo(p, 6);
        w.psd_linlog = combo(p, 2, 1);
        w.psd_scale = combo(p, 2);
        w.psdmin = edit(p, "1");
        w.psdmax = edit(p, "10");
        w.anal_proc = combo(p, 5);
        w.anal_linlog = combo(p, 2, 1);
        w.anal_scale = combo(p, 2);
        w.analmin = edit(p, "1");
        w.analmax = edit(p, "10");
        w.plot_col = combo(p, 6);
        w.plot_dev = combo(p, 4);
        w.plot_win_edit = edit(p, "3");
        w.plot_file_edit = edit(p, "lunder_plot");
        auto &s = w.slicewin;
        s.v1 = edit(p, "0");
        s.v2 = edit(p, "0");
        s.b1 = edit(p, "1");
        s.b2 = edit(p, "1");
        s.pot = edit(p, "0.0");
        s.lwheel = new Sources(p);
        s.rwheel = new Sources(p);
        s.box_thick = new Linesthick(p);
        for (int k = 0; k < 6; ++k)
            s.cuts[static_cast<size_t>(k)] = new Cuts_Selector(k, p);
        s.energy_linlog = combo(p, 2, 1);
        s.energy_scale = combo(p, 2);
        s.emin = edit(p, "1");
        s.emax = edit(p, "10");
        s.psd_linlog = combo(p, 2, 1);
        s.psd_scale = combo(p, 2);
        s.psdmin = edit(p, "1");
        s.psdmax = edit(p, "10");
        s.plot_col = combo(p, 3);
        s.plot_dev = combo(p, 4);
        s.plot_win_edit = edit(p, "3");
        s.plot_file_edit = edit(p, "slice_map_plot");
    }
    std::vector<settings::Entry> entries() const { return lunder::settings_entries(w); }
    std::string text() const { return settings::settings_text(entries()); }
    void apply(const std::string &text) const { settings::apply_settings(text, entries()); }
};

// Mirvek's widgets as its main window holds them, with their defaults.
struct MirvekWindow {
    QWidget root;
    mirvek::SettingsWidgets w{};
    MirvekWindow()
    {
        QWidget *p = &root;
        w.lineage = new mirvek::LineageBox(p);
        w.startendbox = new mirvek::TimeBox(p);
        w.plottype = combo(p, 3);
        w.energy_units = combo(p, 2);
        w.energy_bins = combo(p, 2);
        w.energy_sc_pot = combo(p, 3);
        w.sc_pot_val = edit(p, "0.0");
        w.sc_pot_gap_secs = edit(p, "60.0");
        w.nebins = edit(p, "10");
        w.energy_linlog = combo(p, 2, 1);
        w.energy_scale = combo(p, 2);
        w.emin = edit(p, "10.00");
        w.emax = edit(p, "1000.00");
        w.psd_units = combo(p, 6);
        w.psd_linlog = combo(p, 2, 1);
        w.psd_scale = combo(p, 2);
        w.psdmin = edit(p, "1.00000");
        w.psdmax = edit(p, "10.0000");
        w.plot_col = combo(p, 6);
        w.plot_dev = combo(p, 4);
        w.plot_win_edit = edit(p, "3");
        w.plot_win_edit->setMaxLength(3);
        w.plot_file_edit = edit(p, "mirvek_plot");
        w.plot_tgap = edit(p, "0.0");
        w.exp_opt = combo(p, 4);
        w.exp_file_edit = edit(p, "mirvek_data");
    }
    std::vector<settings::Entry> entries() const { return mirvek::settings_entries(w); }
    std::string text() const { return settings::settings_text(entries()); }
    void apply(const std::string &text) const { settings::apply_settings(text, entries()); }
};

QStringList lines_of(const std::string &text)
{
    QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::string read_all(const QString &path)
{
    std::string text;
    settings::read_file(path.toStdString(), text);
    return text;
}

} // namespace

Q_DECLARE_METATYPE(settings::NumberText)

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    // ---- line format -----------------------------------------------------
    void splitLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("as written") << "EMIN = 5" << "EMIN" << "5";
        QTest::newRow("tight, blanks around") << "   EMIN=5  " << "EMIN" << "5";
        QTest::newRow("tabs and CR") << "\tEMIN\t=\t5\r" << "EMIN" << "5";
        QTest::newRow("second = kept in value") << "PLOT_STEM = a=b" << "PLOT_STEM" << "a=b";
        QTest::newRow("no =") << "  lonely  " << "lonely" << "lonely";
        QTest::newRow("empty value") << "EMIN =" << "EMIN" << "";
        QTest::newRow("only =") << "=" << "" << "";
    }
    void splitLine()
    {
        QFETCH(QString, line);
        const std::string bytes = line.toStdString();
        const settings::KeyValue kv = settings::split_line(bytes);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(QString::fromStdString(std::string(kv.key)), key);
        QCOMPARE(QString::fromStdString(std::string(kv.value)), value);
    }

    void numbers_data()
    {
        using K = settings::NumberText;
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("strict");
        QTest::addColumn<int>("leading");
        QTest::addColumn<float>("real");
        QTest::addColumn<K>("realKind"); // what a real field makes of it
        QTest::addColumn<K>("intKind");  // what an integer field makes of it
        const K num = K::Number, range = K::OutOfRange, junk = K::NotANumber, empty = K::Empty;
        QTest::newRow("plain") << "42" << 42 << 42 << 42.0f << num << num;
        QTest::newRow("blanks and sign") << "  -7 " << -7 << -7 << -7.0f << num << num;
        QTest::newRow("plus") << "+5" << 5 << 5 << 5.0f << num << num;
        QTest::newRow("plus minus") << "+-5" << 0 << 0 << 0.0f << junk << junk;
        QTest::newRow("trailing letter") << "2004x" << 0 << 2004 << 2004.0f << junk << junk;
        QTest::newRow("decimal") << "12.5" << 0 << 12 << 12.5f << num << range;
        QTest::newRow("exponent") << "1e3" << 0 << 1 << 1000.0f << num << range;
        QTest::newRow("decimal comma") << "2,5" << 0 << 2 << 2.0f << junk << junk;
        QTest::newRow("hexadecimal") << "0x10" << 0 << 0 << 0.0f << junk << junk;
        QTest::newRow("decimal comma, exponent") << "1,5e2" << 0 << 1 << 1.0f << junk << junk;
        QTest::newRow("two numbers") << "3 4" << 0 << 3 << 3.0f << junk << junk;
        QTest::newRow("NUL after the number") << QString::fromLatin1("5\0junk", 6) << 0 << 5 << 5.0f << junk << junk;
        QTest::newRow("text") << "abc" << 0 << 0 << 0.0f << junk << junk;
        QTest::newRow("empty") << "" << 0 << 0 << 0.0f << empty << empty;
        QTest::newRow("blanks only") << " \t " << 0 << 0 << 0.0f << empty << empty;
        QTest::newRow("int overflow") << "99999999999" << 0 << 2147483647 << 1e11f << num << range;
        QTest::newRow("nan") << "nan" << 0 << 0 << 0.0f << range << range;
        QTest::newRow("inf") << " inf" << 0 << 0 << 0.0f << range << range;
        QTest::newRow("beyond a float") << "1e39" << 0 << 1 << 0.0f << range << range;
        QTest::newRow("beyond a float, negative") << "-1e39" << 0 << -1 << 0.0f << range << range;
        QTest::newRow("int underflow") << "-99999999999" << 0 << (-2147483647 - 1) << -1e11f << num << range;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(int, strict);
        QFETCH(int, leading);
        QFETCH(float, real);
        QFETCH(settings::NumberText, realKind);
        QFETCH(settings::NumberText, intKind);
        const std::string bytes = text.toStdString();
        QCOMPARE(settings::strict_int(bytes), strict);
        QCOMPARE(settings::leading_int(bytes), leading);
        if (realKind != settings::NumberText::OutOfRange)
            QCOMPARE(settings::leading_float(bytes), real);
        QCOMPARE(settings::real_text_kind(bytes), realKind);
        QCOMPARE(settings::int_text_kind(bytes), intKind);
        QCOMPARE(settings::real_text_usable(bytes), realKind <= settings::NumberText::Number);
        QCOMPARE(settings::int_text_usable(bytes), intKind <= settings::NumberText::Number);
    }

    void realLine_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("zero") << 0.0f << "K = 0\n";
        QTest::newRow("whole") << 60.0f << "K = 60\n";
        QTest::newRow("fraction") << 12.5f << "K = 12.5\n";
        QTest::newRow("small") << 1e-5f << "K = 1e-05\n";
        QTest::newRow("large") << 123456789.0f << "K = 1.23457e+08\n";
        QTest::newRow("negative") << -0.25f << "K = -0.25\n";
    }
    void realLine()
    {
        QFETCH(float, value);
        QFETCH(QString, line);
        QCOMPARE(QString::fromStdString(settings::real_line("K", value)), line);
    }

    // Numbers are written and read as the C locale has them even when the
    // process runs under a locale with a decimal comma.
    void commaLocale()
    {
        QTemporaryDir dir;
        const QString out = dir.path() + QStringLiteral("/de_DE.UTF-8");
        const QString cmd = QStringLiteral("localedef -i de_DE -f UTF-8 '%1' >/dev/null 2>&1").arg(out);
        if (std::system(cmd.toLocal8Bit().constData()) != 0 && !QFile::exists(out))
            QSKIP("localedef cannot build de_DE");
        qputenv("LOCPATH", dir.path().toLocal8Bit());
        const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
        const bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        char probe[16];
        std::snprintf(probe, sizeof probe, "%g", 2.5);
        const std::string line = settings::real_line("EMIN", 2.5f);
        const float read = settings::leading_float("2.5");
        std::setlocale(LC_NUMERIC, saved.c_str());
        qunsetenv("LOCPATH");
        if (!set)
            QSKIP("de_DE locale not usable");
        QCOMPARE(QString::fromLatin1(probe), QStringLiteral("2,5")); // the locale is really in force
        QCOMPARE(QString::fromStdString(line), QStringLiteral("EMIN = 2.5\n"));
        QCOMPARE(read, 2.5f);
    }

    // ---- writer ----------------------------------------------------------
    void replaceFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/s.txt");
        QCOMPARE(settings::replace_file(path.toStdString(), "one\n"), settings::SETTINGS_OK);
        QCOMPARE(read_all(path), std::string("one\n"));
        QCOMPARE(settings::replace_file(path.toStdString(), "two\n"), settings::SETTINGS_OK);
        QCOMPARE(read_all(path), std::string("two\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        // A link is followed, not replaced.
        const QString link = dir.path() + QStringLiteral("/link.txt");
        QVERIFY(QFile::link(path, link));
        QCOMPARE(settings::replace_file(link.toStdString(), "three\n"), settings::SETTINGS_OK);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(read_all(path), std::string("three\n"));
    }

    void replaceFileFailures()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/s.txt");
        QCOMPARE(settings::replace_file(path.toStdString(), "old\n"), settings::SETTINGS_OK);
        QCOMPARE(settings::replace_file("", "x"), settings::SETTINGS_OPEN_FAILED);
        QCOMPARE(settings::replace_file((dir.path() + "/missing/s.txt").toStdString(), "x"),
                 settings::SETTINGS_OPEN_FAILED);
        QCOMPARE(settings::replace_file(dir.path().toStdString(), "x"), settings::SETTINGS_OPEN_FAILED);

        // A write that fails half way (the file size limit) keeps the old
        // file and leaves no temporary file behind.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int status = settings::replace_file(path.toStdString(), std::string(4096, 'n'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);
        QCOMPARE(status, settings::SETTINGS_WRITE_FAILED);
        QCOMPARE(read_all(path), std::string("old\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("s.txt")});
    }

    void saveAndRestoreMessages()
    {
        LunderWindows win;
        QTemporaryDir dir;
        {
            StdoutCapture out;
            QVERIFY(!settings::save_settings(dir.path() + "/no/such/file", win.entries()));
            const std::string file = dir.path().toStdString() + "/no/such/file";
            QCOMPARE(out.take(), "Error opening " + file + " for save\n" + file + ": No such file or directory\n");
        }
        {
            StdoutCapture out;
            QVERIFY(!settings::restore_settings(QString(), win.entries()));
            QCOMPARE(out.take(), std::string("Error opening  for restore\n"));
        }
        {
            // A FIFO is refused at once: reading it would wait for a writer.
            const std::string fifo = dir.path().toStdString() + "/fifo";
            QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
            StdoutCapture out;
            QVERIFY(!settings::restore_settings(QString::fromStdString(fifo), win.entries()));
            QCOMPARE(out.take(), "Error opening " + fifo + " for restore\n");
        }
        const QString path = dir.path() + "/keep";
        QVERIFY(settings::save_settings(path, win.entries()));
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &small);
        win.w.emin->setText("99");
        std::string printed;
        {
            StdoutCapture out;
            settings::save_settings(path, win.entries());
            printed = out.take();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);
        // (The capture file is under the same size limit: the reason line
        // after this one may be cut.)
        QVERIFY2(printed.rfind("Error writing " + path.toStdString() + " for save\n", 0) == 0, printed.c_str());
        QVERIFY(read_all(path).find("EMIN = 1\n") != std::string::npos);

        // A file of 64 GiB (sparse) is refused by its size, unread.
        const std::string big = dir.path().toStdString() + "/big";
        QFile file(QString::fromStdString(big));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(1) << 36))
            QSKIP("cannot make a sparse file of 64 GiB here");
        file.close();
        StdoutCapture out;
        QVERIFY(!settings::restore_settings(QString::fromStdString(big), win.entries()));
        QCOMPARE(out.take(), "Settings file " + big + " holds 68719476736 bytes, more than the 1048576 a settings "
                             "file may hold; nothing restored\n");
    }

    // ---- texts -----------------------------------------------------------
    void textEncoding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << "lunder_plot" << QByteArray("lunder_plot");
        QTest::newRow("latin-1") << QString::fromUtf8("d\u00e9j\u00e0") << QByteArray("d\xe9j\xe0");
        QTest::newRow("beyond latin-1") << QString::fromUtf8("\u03a9plot") << QByteArray("\xce\xa9plot");
        QTest::newRow("latin-1 that reads as utf-8") << QString::fromUtf8("\u00c3\u00a9")
                                                     << QByteArray("\xc3\x83\xc2\xa9");
    }
    void textEncoding()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(settings::encode_text(text), bytes);
        QCOMPARE(settings::decode_text(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))),
                 text);
    }

    // ---- Lunder ----------------------------------------------------------
    void lunderDefaults()
    {
        LunderWindows win;
        const QStringList lines = lines_of(win.text());
        QCOMPARE(lines.size(), 114);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(QString::fromLatin1(lunder::savestrings[i]) + " = "), qPrintable(lines[i]));
        QCOMPARE(lines.first(), QStringLiteral("PROJECT = 0"));
        QCOMPARE(lines.last(), QStringLiteral("SLICE_PLOT_STEM = slice_map_plot"));
        for (const char *line : {"MISSION1 = CLUSTER-2", "VIRTUAL2 = CPPADL", "SN_PA1 = 13", "GATHER_OPTS1 = 3",
                                 "N_GATHER1 = 1", "SC_POT_VAL1 = 0", "SC_POT_SECS2 = 60", "YEAR1 = 2001",
                                 "DOY2 = 90", "HR1 = 18", "MIN1 = 0", "ONECNT_MULT2 = 1", "ENERGY_LINLOG = 1",
                                 "XWIN_NO = 3", "PLOT_STEM = lunder_plot", "DELPHI = 0", "BOX_THICK = 0",
                                 "CUT_STYLE3 = 1", "CUT_COL5 = 1", "CUT_THICK0 = 0", "SLICE_XWIN_NO = 3"})
            QVERIFY2(lines.contains(QString::fromLatin1(line)), line);
        QVERIFY(win.text().find("DUMMY_STRING") == std::string::npos);
    }

    // Every widget saved, restored into fresh windows, saves the same file.
    void lunderRoundTrip()
    {
        LunderWindows a;
        a.w.lineage->virins->setCurrentIndex(48);
        a.w.sec_sweep->project->setText(QString::fromUtf8("\u03a9 proj"));
        a.w.sec_sweep->sc_pot_value->setText("-2.5");
        a.w.sec_sweep->timebox->YearspinBox->setValue(2004);
        a.w.sec_sweep->timebox->DoyspinBox->setValue(366);
        a.w.sec_sweep->timebox->setSSecond(59);
        a.w.prim_sweep->onecountchoice->setCurrentIndex(1);
        a.w.plot_file_edit->setText("dir/a=b");
        a.w.slicewin.cuts[4]->colour->setCurrentIndex(9);
        a.w.slicewin.cuts[5]->pangle->setText("135");
        a.w.slicewin.plot_win_edit->setText("12");
        QTemporaryDir dir;
        const QString path = dir.path() + "/lunder.set";
        QVERIFY(settings::save_settings(path, a.entries()));
        LunderWindows b;
        QVERIFY(settings::restore_settings(path, b.entries()));
        QCOMPARE(b.text(), a.text());
        QCOMPARE(b.w.plot_file_edit->text(), QStringLiteral("dir/a=b"));
        QCOMPARE(b.w.sec_sweep->timebox->dateEdit->date(), QDate(2004, 12, 31));
    }

    void lunderRestoreRules()
    {
        LunderWindows win;
        {
            StdoutCapture out;
            win.apply("  EMIN=5  \nEMAX = 7\nemin = 9\n\n \t\nHR2 = 7\n");
            QCOMPARE(out.take(),
                     std::string("Settings file: emin = 9: no field has the key emin; the line is skipped\n"));
        }
        QCOMPARE(win.w.emin->text(), QStringLiteral("5"));
        QCOMPARE(win.w.emax->text(), QStringLiteral("7"));
        QCOMPARE(win.w.sec_sweep->timebox->timeEdit->time(), QTime(7, 0, 0));
        QCOMPARE(win.w.prim_sweep->timebox->timeEdit->time(), QTime(18, 0, 0));

        // Later lines win.  A day is taken within the year the file gives,
        // before or after it.
        StdoutCapture out;
        win.apply("GATHER_OPTS2 = 0\nGATHER_OPTS2 = 2\nYEAR1 = 2004\nDOY1 = 366\nDOY2 = 366\nYEAR2 = 2004\n");
        QCOMPARE(out.take(), std::string());
        QCOMPARE(win.w.sec_sweep->gatherchoice->currentIndex(), 2);
        QCOMPARE(win.w.prim_sweep->timebox->dateEdit->date(), QDate(2004, 12, 31));
        QCOMPARE(win.w.sec_sweep->timebox->dateEdit->date(), QDate(2004, 12, 31));
        StdoutCapture refused;
        win.apply("DOY1 = 366\nYEAR1 = 2003\n");
        QCOMPARE(refused.take(), std::string("Settings file: DOY1 = 366 is outside the range 1 to 365 of the year "
                                             "2003; the field keeps its value\n"));
        QCOMPARE(win.w.prim_sweep->timebox->YearspinBox->value(), 2003);

        // A file that is no settings file is named by its first lines.
        std::string junk;
        for (int i = 0; i < 25; ++i)
            junk += "line " + std::to_string(i) + "\n";
        StdoutCapture named;
        win.apply(junk);
        const std::string said = named.take();
        QVERIFY2(said.rfind("Settings file: line 0 holds no \"=\"", 0) == 0, said.c_str());
        QVERIFY2(said.ends_with("Settings file: line 19 holds no \"=\" between a key and a value; the line is skipped\n"
                                "Settings file: 5 more lines set nothing and are skipped\n"),
                 said.c_str());

        // Labels are cut to the lineage fields; a long line is one line,
        // whatever it holds past its first 511 characters.
        win.apply("MISSION1 = " + std::string(300, 'M') + "\nPLOT_STEM = " + std::string(600, 's') +
                  "EMIN = 8\n");
        QCOMPARE(win.w.prim_sweep->mission->text(), QString(99, QLatin1Char('M')));
        QCOMPARE(win.w.plot_file_edit->text(), QString(600, QLatin1Char('s')) + "EMIN = 8");
        QCOMPARE(win.w.emin->text(), QStringLiteral("5"));

        // "%g" keys save the number the text starts with.
        win.w.emin->setText("0.0");
        win.w.emax->setText("abc");
        win.w.prim_sweep->npa->setText("12.5");
        const QStringList lines = lines_of(win.text());
        QVERIFY(lines.contains("EMIN = 0"));
        QVERIFY(lines.contains("EMAX = 0"));
        QVERIFY(lines.contains("SN_PA1 = 0"));
    }

    // ---- Mirvek ----------------------------------------------------------
    void mirvekDefaults()
    {
        MirvekWindow win;
        const QStringList lines = lines_of(win.text());
        QCOMPARE(lines.size(), 42);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(QString::fromLatin1(mirvek::savestrings[i]) + " = "), qPrintable(lines[i]));
        QCOMPARE(lines.first(), QStringLiteral("PROJECT = 0"));
        QCOMPARE(lines.last(), QStringLiteral("EXPORT_STEM = mirvek_data"));
        for (const char *line : {"N_PA = 13", "N_GATHER = 1", "START_YR = 2001", "START_DOY = 90", "START_HR = 18",
                                 "END_MIN = 1", "SC_POT_VAL = 0", "SC_POT_SECS = 60", "CUSTOM_BIN_NO = 10",
                                 "CUTSOM_BIN_LINLOG = 1", "CUSTOM_BIN_MIN = 10", "CUSTOM_BIN_MAX = 1000",
                                 "PSD_MIN = 1", "PSD_MAX = 10", "XWIN_NO = 3", "PLOT_STEM = mirvek_plot",
                                 "PLOT_TGAP = 0.0"})
            QVERIFY2(lines.contains(QString::fromLatin1(line)), line);
    }

    void mirvekRestoreRules()
    {
        MirvekWindow win;
        {
            // A byte-order mark before the first key is passed over.
            StdoutCapture out;
            win.apply("\xef\xbb\xbf" "END_HR = 7\nCUSTOM_BIN_LINLOG = 0\n");
            QCOMPARE(out.take(), std::string("Settings file: CUSTOM_BIN_LINLOG = 0: no field has the key "
                                             "CUSTOM_BIN_LINLOG; the line is skipped\n"));
        }
        QCOMPARE(win.w.energy_linlog->currentIndex(), 1);
        QCOMPARE(win.w.startendbox->etimeEdit->time(), QTime(7, 1, 0));
        QCOMPARE(win.w.startendbox->btimeEdit->time(), QTime(18, 0, 0));

        win.apply("END_DOY = 366\nEND_YR = 2004\n");
        QCOMPARE(win.w.startendbox->EnddateEdit->date(), QDate(2004, 12, 31));

        win.apply("START_YR = 1949\n");
        QCOMPARE(win.w.startendbox->bYearspinBox->value(), 1949);
        QCOMPARE(win.w.startendbox->bDoyspinBox->value(), 90);
        QCOMPARE(win.w.startendbox->StartdateEdit->date(), QDate(1949, 3, 31));

        MirvekWindow changed;
        changed.w.lineage->gathern->setText("2.5");
        changed.w.plot_tgap->setText("30.");
        changed.w.startendbox->setESecond(42);
        changed.w.exp_opt->setCurrentIndex(3);
        MirvekWindow back;
        back.apply(changed.text());
        QCOMPARE(back.text(), changed.text());
        QCOMPARE(back.w.plot_tgap->text(), QStringLiteral("30."));
    }

    // Values no field of the file's key can hold as they stand are refused,
    // one line each naming the key, and leave every widget as it was; so
    // are lines no field can take.
    void refusedValues_data()
    {
        QTest::addColumn<bool>("lunder");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("said"); // after "Settings file: "
        const QString keeps = QStringLiteral("; the field keeps its value");
        const auto range = [&](const char *key, const char *value, int lo, int hi) {
            return QStringLiteral("%1 = %2 is outside the field's range %3 to %4").arg(key, value).arg(lo).arg(hi) +
                   keeps;
        };
        const auto junk = [&](const char *key, const char *value) {
            return QStringLiteral("%1 = %2 is not one whole number").arg(key, value) + keeps;
        };
        const auto row = [](const char *name, bool lunder, const QByteArray &line, const QString &said) {
            QTest::newRow(name) << lunder << line << said;
        };
        row("start year 1899", false, "START_YR = 1899", range("START_YR", "1899", 1900, 2100));
        row("start day 400", false, "START_DOY = 400", range("START_DOY", "400", 1, 366));
        row("end day 0", false, "END_DOY = 0", range("END_DOY", "0", 1, 366));
        row("start hour 99999", false, "START_HR = 99999", range("START_HR", "99999", 0, 23));
        row("start second 75", false, "START_SEC = 75", range("START_SEC", "75", 0, 59));
        // One above the range, each kind of field.
        row("end second 60", false, "END_SEC = 60", range("END_SEC", "60", 0, 59));
        row("end year 2101", false, "END_YR = 2101", range("END_YR", "2101", 1900, 2100));
        row("combo item 3 of 3", true, "PA_OPTS2 = 3", range("PA_OPTS2", "3", 0, 2));
        row("day 366 of 2001", false, "START_DOY = 366",
            "START_DOY = 366 is outside the range 1 to 365 of the year 2001" + keeps);
        row("year with a letter", true, "YEAR1 = 2004x", junk("YEAR1", "2004x"));
        row("combo item 7 of 3", true, "PA_OPTS2 = 7", range("PA_OPTS2", "7", 0, 2));
        row("combo item with a letter", true, "PA_OPTS1 = 2x", junk("PA_OPTS1", "2x"));
        row("combo item empty", false, "PLOT_TYPE =", junk("PLOT_TYPE", ""));
        row("window 99999", false, "XWIN_NO = 99999",
            "XWIN_NO = 99999 is longer than the field's 3 characters; the field keeps its text");
        row("NUL after the bins", false, QByteArray("N_PA = 5\0junk", 13),
            "N_PA = 5\\0junk is not one whole number; the field keeps its text");
        row("cut angle with a letter", true, "CUT_ANG0 = 7O", "CUT_ANG0 = 7O is not one number; the field keeps its text");
        row("NUL in a stem", false, QByteArray("PLOT_STEM = a\0b", 15),
            "PLOT_STEM = a\\0b holds a NUL byte; the field keeps its text");
        row("gather nan", false, "N_GATHER = nan",
            "N_GATHER = nan is not a finite number within the range of a float; the field keeps its text");
        row("constant potential 1e39", false, "SC_POT_VAL = 1e39",
            "SC_POT_VAL = 1e39 is not a finite number within the range of a float; the field keeps its text");
        row("1e30 pitch-angle bins", false, "N_PA = 1e30",
            "N_PA = 1e30 is not a whole number within the range of an int; the field keeps its text");
        row("gather 0x10", false, "N_GATHER = 0x10", "N_GATHER = 0x10 is not one number; the field keeps its text");
        row("window 0x1", true, "XWIN_NO = 0x1", "XWIN_NO = 0x1 is not one whole number; the field keeps its text");
        // Lines that set nothing.
        row("misspelt key", true, "YR1 = 2004", "YR1 = 2004: no field has the key YR1; the line is skipped");
        row("a key of the other program", false, "EMIN = 5",
            "EMIN = 5: no field has the key EMIN; the line is skipped");
        row("no =", true, "  YEAR1 2004", "YEAR1 2004 holds no \"=\" between a key and a value; the line is skipped");
    }
    void refusedValues()
    {
        QFETCH(bool, lunder);
        QFETCH(QByteArray, line);
        QFETCH(QString, said);
        LunderWindows l;
        MirvekWindow m;
        const std::string before = lunder ? l.text() : m.text();
        const std::string file = (lunder ? "EMIN = 5\n" : "CUSTOM_BIN_MIN = 5\n") + line.toStdString() + "\n";
        StdoutCapture out;
        lunder ? l.apply(file) : m.apply(file);
        QCOMPARE(QString::fromStdString(out.take()), "Settings file: " + said + "\n");
        // The energy minimum is the only change: the line before the
        // refused one still applies.
        QLineEdit *emin = lunder ? l.w.emin : m.w.emin;
        QCOMPARE(emin->text(), QStringLiteral("5"));
        emin->setText(lunder ? "1" : "10");
        QCOMPARE(lunder ? l.text() : m.text(), before);
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
