// Mirvek's main window and its plot and export actions on the sample
// archive: defaults, stem dialogs, device names, pictures and exported
// files checked by independent readers, and the failure paths.
#include "../kve/cdf_dump.h"
#include "../widgets/sample_pictures.h"
#include "../widgets/stdout_capture.h"
#include "Helpbwin.h"
#include "kve_cdf.h"
#include "kve_flat.h"
#include "mirvek.h"
#include "mirvek_boxes.h"
#include "support.h"
#include "sample_archive.h"
#include "wheel_pager.h"
#include "widget_values.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

class MirvekTest : public QObject {
    Q_OBJECT

    QTemporaryDir archive_, out_;
    QByteArray display_;  // set when run under scripts/with-xvfb
    QString file(const char *name) const { return out_.filePath(QString::fromLatin1(name)); }
    // A flat file of the output folder read back; its status in *status.
    KvCDFContents *readFlat(const char *stem, const char *extn, int *status) const
    {
        KvCDFContents *c = KvMakeCDFContentsObj();
        c->io_f_path = KvNewStr((out_.path().toStdString() + "/").c_str());
        c->io_f_name = KvNewStr(stem);
        c->io_f_extn = const_cast<char *>(extn);
        KvOptions *o = KvMakeOptionsObj();
        StdoutCapture quiet;
        *status = KvGetCSDSgenFlat(c, o);
        c->io_f_extn = STR_NULL;
        KvFreeOptionsObj(o);
        return c;
    }
    std::string press(MirvekBox &box, const char *button)
    {
        StdoutCapture capture;
        box.findChild<QPushButton *>(QString::fromLatin1(button))->click();
        return capture.take();
    }

private slots:
    void initTestCase()
    {
        kombra_sample::SampleOptions options;
        options.docDir = kombra_test::SourceDir() + "/doc";
        kombra_sample::WriteSampleArchive(archive_.path().toStdString(), options);
        const QByteArray root = archive_.path().toLocal8Bit();
        sample_pictures::UseSampleArchive(root);
        qputenv("PGPLOT_DIR", "/usr/lib/pgplot5");
        display_ = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
    }

    void defaults()
    {
        MirvekBox box;
        for (QComboBox *c : box.findChildren<QComboBox *>()) {
            const bool log = c == box.energy_linlog || c == box.psd_linlog;
            QCOMPARE(c->currentIndex(), log ? 1 : 0);
        }
        QCOMPARE(box.plottype->count(), 3);
        QCOMPARE(box.plot_dev->itemText(3), QStringLiteral("Portrait PS File ->"));
        QCOMPARE(box.exp_opt->itemText(0), QStringLiteral("Ascii Cluster Exchange 2"));
        QCOMPARE(box.energy_sc_pot->toolTip(), QStringLiteral("Uses EFW for Cluster; otherwise only const used"));
        QCOMPARE(box.psdmin->text() + box.psdmax->text(), QStringLiteral("1.0000010.0000"));
        QCOMPARE(box.emin->text() + box.emax->text() + box.nebins->text(), QStringLiteral("10.001000.0010"));
        QCOMPARE(box.plot_win_edit->maxLength(), 3);
        QCOMPARE(box.plot_file_edit->text() + box.exp_file_edit->text(), QStringLiteral("mirvek_plotmirvek_data"));
        QCOMPARE(box.startendbox->objectName(), QStringLiteral("Start/End Times"));
        QVERIFY(box.helpbwin->isHidden());
        // The archive carries the whole linked set of help pages.
        for (const char *page : {"mirvek.html", "mirvek_plot.html", "mirvek_export.html", "lunder_slicemap.html"})
            QVERIFY2(QFileInfo::exists(archive_.filePath(QStringLiteral("doc/") + page)), page);
    }

    void stemDialogs()
    {
        MirvekBox box;
        QString asked;
        widgets::set_file_dialog_answer([&asked](widgets::FileDialog, const QString &start) {
            asked = start;
            return start == QStringLiteral("mirvek_plot") ? QStringLiteral("/tmp/p") : QString();
        });
        box.findChild<QPushButton *>(QStringLiteral("plot_browse"))->click();
        box.findChild<QPushButton *>(QStringLiteral("exp_browse"))->click();
        widgets::set_file_dialog_answer({});
        QCOMPARE(asked, QStringLiteral("mirvek_data"));
        QCOMPARE(box.plot_file_edit->text(), QStringLiteral("/tmp/p"));
        QCOMPARE(box.exp_file_edit->text(), QStringLiteral("mirvek_data"));  // cancelled
    }

    // "Save..." and "Restore..." through the window's own widgets; a
    // cancelled dialog names no file.
    void settingsRoundTrip()
    {
        MirvekBox box;
        QString answer = file("mirvek.settings");
        widgets::set_file_dialog_answer([&answer](widgets::FileDialog, const QString &) { return answer; });
        box.plot_dev->setCurrentIndex(3);
        box.exp_file_edit->setText(QStringLiteral("a=b"));
        box.startendbox->setEMinute(7);
        press(box, "Save...");
        box.plot_dev->setCurrentIndex(0);
        box.exp_file_edit->clear();
        box.startendbox->setEMinute(1);
        press(box, "Restore...");
        answer.clear();
        const std::string cancelled = press(box, "Save...");
        widgets::set_file_dialog_answer({});
        QCOMPARE(box.plot_dev->currentIndex(), 3);
        QCOMPARE(box.exp_file_edit->text(), QStringLiteral("a=b"));
        NURV_TIME_S end;
        box.startendbox->GetEndTimeFromTimeBox(&end);
        QCOMPARE(end.sec, 18 * 3600 + 7 * 60);
        QCOMPARE(cancelled, std::string("Error opening  for save\n"));
    }

    // Devices that do not open (no display, no folder) report their names.
    void deviceNames_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("line");
        QTest::newRow("window 0") << "0" << 0 << -1 << "device 53/Xserv ";
        QTest::newRow("window 256") << "256" << 0 << -1 << "device 53/Xserv ";
        QTest::newRow("no number") << "x" << 0 << -1 << "device 53/Xserv ";
        QTest::newRow("window 3") << "3" << 0 << -1 << "device 3/Xserv ";
        QTest::newRow("wheels, GIF") << "3" << 1 << 0 << "/no/such/mirvek_plot#.gif/GIF ";
        QTest::newRow("stack, PS") << "3" << 0 << 2 << "/no/such/mirvek_plot.eps/CPS ";
        QTest::newRow("cuts, VPS") << "3" << 2 << 3 << "/no/such/mirvek_plot.ps/VCPS ";
    }
    void deviceNames()
    {
        QFETCH(QString, window);
        QFETCH(int, type);
        QFETCH(int, kind);
        QFETCH(QString, line);
        MirvekBox box;
        box.plot_win_edit->setText(window);
        box.plottype->setCurrentIndex(type);
        box.plot_dev->setCurrentIndex(std::max(kind, 0));
        box.plot_file_edit->setText(QStringLiteral("/no/such/mirvek_plot"));
        const std::string out = press(box, kind < 0 ? "Plot Xwin" : "Print to File");
        QVERIFY2(out.find(line.toStdString() + "successfully\n") != std::string::npos, out.c_str());
        QVERIFY(out.find("If file check write permissions; if Xwindow, check pgxwin server\n") != std::string::npos);
        QVERIFY(out.find("Get Sweeps") == std::string::npos);  // nothing read
    }

    void spectrogramAndWheels()
    {
        MirvekBox box;
        box.plot_file_edit->setText(file("stack"));
        std::string out = press(box, "Print to File");
        QVERIFY2(out.find("ail") == std::string::npos, out.c_str());
        const QImage stack(file("stack.gif"));
        QCOMPARE(stack.size(), QSize(850, 680));
        QVERIFY(sample_pictures::PaintedColours(stack) > 40);  // cells of many levels and the wedge
        // The autoscaled colour range and the instrument's levels are written back.
        QVERIFY(box.psdmin->text().toFloat() > 0 && box.psdmax->text().toFloat() > box.psdmin->text().toFloat());
        QVERIFY(box.emin->text() != QStringLiteral("10.00") && box.emax->text().toFloat() > 1000);

        box.plottype->setCurrentIndex(1);
        box.plot_file_edit->setText(file("w#eel"));  // a "#" of the stem is kept
        out = press(box, "Print to File");
        QVERIFY2(out.find("ail") == std::string::npos, out.c_str());
        // The lines name the files kept, never PGPLOT's scratch pages.
        QVERIFY2(out.find("Wrote plot file " + file("w#eel1.gif").toStdString() + "\n") != std::string::npos &&
                     out.find("%PGPLOT") == std::string::npos,
                 out.c_str());
        QVERIFY(box.writtenFiles().size() > 10);
        QCOMPARE(box.writtenFiles().first(), file("w#eel1.gif"));
        QVERIFY(sample_pictures::PaintedColours(QImage(box.writtenFiles().last())) > 20);

        // A shorter sequence under the same stem: its pages are exactly the
        // files under the stem; other files beside them stay.
        const int longer = static_cast<int>(box.writtenFiles().size());
        kombra_test::WriteFile(file("wheel_notes.txt").toStdString(), "notes\n");
        box.lineage->gathern->setText(QStringLiteral("5"));
        out = press(box, "Print to File");
        const int shorter = static_cast<int>(box.writtenFiles().size());
        QVERIFY2(shorter >= 1 && shorter < longer, out.c_str());
        for (int page = 1; page <= longer; ++page)
            QCOMPARE(QFile::exists(out_.filePath(QStringLiteral("w#eel%1.gif").arg(page))), page <= shorter);
        QVERIFY(QFile::exists(file("wheel_notes.txt")));
        box.lineage->gathern->setText(QStringLiteral("1"));

        box.plottype->setCurrentIndex(2);
        box.plot_dev->setCurrentIndex(2);
        box.plot_file_edit->setText(file("cuts"));
        QVERIFY(press(box, "Print to File").find("ail") == std::string::npos);
        QVERIFY(ReadAll(file("cuts.ps")).rfind("%!PS", 0) == 0);
    }

    // The colour range written back is the one drawn: plotted again with it
    // as the user range, the picture is the same.  On the default
    // logarithmic scale the range holds values above zero only.
    void writtenBackRangeIsDrawn_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("picture");
        QTest::newRow("spectrogram") << 0 << QStringLiteral(".gif");
        QTest::newRow("wheels") << 1 << QStringLiteral("1.gif");
    }
    void writtenBackRangeIsDrawn()
    {
        QFETCH(int, type);
        QFETCH(QString, picture);
        MirvekBox box;
        box.plottype->setCurrentIndex(type);
        QCOMPARE(box.psd_linlog->currentText(), QStringLiteral("Log"));
        QStringList drawn;
        for (const char *stem : {"auto", "user"}) {
            box.plot_file_edit->setText(file(stem) + QStringLiteral("_range"));
            const std::string out = press(box, "Print to File");
            QVERIFY2(out.find("ail") == std::string::npos, out.c_str());
            drawn << file(stem) + QStringLiteral("_range") + picture;
            box.psd_scale->setCurrentIndex(1);
        }
        QVERIFY2(box.psdmin->text().toFloat() > 0, qPrintable(box.psdmin->text()));
        QVERIFY(box.psdmax->text().toFloat() > box.psdmin->text().toFloat());
        const QImage automatic(drawn[0]), user(drawn[1]);
        QVERIFY(!automatic.isNull());
        // The fields hold 6 significant digits: a pixel on a bin's edge may
        // change, never a bin.
        const long changed = sample_pictures::ChangedPixels(automatic, user);
        QVERIFY2(changed >= 0 && changed < 20, qPrintable(QString::number(changed)));
    }

    // On every page kind no text of a plot is drawn over another, none
    // reaches off the page, and those of wheels and cuts are large enough to
    // read, in counts and in phase-space density.
    void textsKeepApart_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("mission");
        QTest::addColumn<QString>("product");  // of 3DR; empty: the default PAD product
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("page");
        const struct { const char *name; int type; const char *mission, *product; int units; } plots[] = {
            {"spectrogram", 0, "CLUSTER-1", "", 0}, {"four spacecraft", 0, "C1234", "", 0},
            {"two of four spacecraft", 0, "C1234", "CP3DRH", 0}, {"wheels", 1, "CLUSTER-1", "", 0},
            {"wheels and cuts", 2, "CLUSTER-1", "", 0},
            {"wheels and cuts in phase-space density", 2, "CLUSTER-1", "", PSD_UNITS_S3_PER_KM6}};
        for (const auto &plot : plots)
            for (int page = 0; page < static_cast<int>(std::size(sample_pictures::kPageKinds)); ++page)
                QTest::addRow("%s, %s", plot.name, sample_pictures::kPageKinds[page].name)
                    << plot.type << QString::fromLatin1(plot.mission) << QString::fromLatin1(plot.product)
                    << plot.units << page;
    }
    void textsKeepApart()
    {
        QFETCH(int, type);
        QFETCH(QString, mission);
        QFETCH(QString, product);
        QFETCH(int, units);
        QFETCH(int, page);
        const sample_pictures::PageKind &kind = sample_pictures::kPageKinds[page];
        const sample_pictures::PostScriptPage sheet(kind);
        QVERIFY(sheet.width > 0);
        MirvekBox box;
        box.lineage->miss->setCurrentIndex(box.lineage->miss->findText(mission));
        if (!product.isEmpty()) {
            box.lineage->inst->setCurrentIndex(box.lineage->inst->findText(QStringLiteral("3DR")));
            box.lineage->virins->setCurrentIndex(box.lineage->virins->findText(product));
        }
        box.psd_units->setCurrentIndex(units);
        box.startendbox->setESecond(12);
        box.startendbox->setEMinute(0);
        box.plottype->setCurrentIndex(type);
        box.plot_dev->setCurrentIndex(kind.plot_dev);
        box.plot_file_edit->setText(file("texts"));
        const std::string out = press(box, "Print to File");
        QVERIFY2(out.find("ail") == std::string::npos, out.c_str());
        // The stack's level labels share the height of their narrow panels;
        // the texts of wheels and cuts are kept legible.
        const std::string faults =
            sample_pictures::TextFaults(file(type == 0 ? "texts.eps" : "texts.ps").toStdString(), sheet.width,
                                        sheet.height, type == 0 ? 0 : sample_pictures::kLegibleText);
        QVERIFY2(faults.empty(), faults.c_str());
    }

    void fourSpacecraftAndFailures()
    {
        MirvekBox box;
        box.lineage->miss->setCurrentIndex(box.lineage->miss->findText(QStringLiteral("C1234")));
        QVERIFY(box.lineage->miss->currentIndex() >= 0);
        box.plot_file_edit->setText(file("four"));
        QVERIFY(press(box, "Print to File").find("ail") == std::string::npos);
        QCOMPARE(QImage(file("four.gif")).size(), QSize(850, 680));
        box.exp_file_edit->setText(file("four"));
        QCOMPARE(press(box, "Export"),
                 std::string("Multi-spacecraft export not supported\n"
                             "GetNHaldeSweeps returned error -504. Try another source/time?\n"));

        // A product two spacecraft lack: each is named, once, and its panel
        // (the lower half of the page) says so; the other two are drawn.
        box.lineage->inst->setCurrentIndex(box.lineage->inst->findText(QStringLiteral("3DR")));
        box.lineage->virins->setCurrentIndex(box.lineage->virins->findText(QStringLiteral("CP3DRH")));
        box.plot_file_edit->setText(file("two"));
        std::string said = press(box, "Print to File");
        for (const std::string sc : {"CLUSTER-1", "CLUSTER-2", "CLUSTER-3", "CLUSTER-4"})
            QVERIFY2((said.find("No data of CLUSTERII " + sc + " HALDE 3DR CP3DRH: the archive holds none of CP3DRH "
                                "for " + sc + " at any time, so no other time would help; choose a source it "
                                "holds\n") != std::string::npos) == (sc > "CLUSTER-2"),
                     said.c_str());
        QVERIFY2(said.find("Try another") == std::string::npos, said.c_str());
        const QImage two(file("two.gif"));
        QCOMPARE(two.size(), QSize(850, 680));
        for (const int panel : {2, 3}) {
            long dark = 0;
            for (int y = two.height() * panel / 4; y < two.height() * (panel + 1) / 4; ++y)
                for (int x = 0; x < two.width(); ++x)
                    dark += qGray(two.pixel(x, y)) < 128 ? 1 : 0;
            QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
        }
        // An instrument and a product that do not belong together.
        box.lineage->virins->setCurrentIndex(box.lineage->virins->findText(QStringLiteral("CPPADH")));
        said = press(box, "Print to File");
        QVERIFY2(said.find("Error getting data key\nThe instrument 3DR of CLUSTERII CLUSTER-1 HALDE has no product "
                           "CPPADH (it is a product of PAD); choose a product of 3DR: CP3DRH, CP3DRL\n") !=
                     std::string::npos,
                 said.c_str());
        box.lineage->inst->setCurrentIndex(0);
        box.lineage->virins->setCurrentIndex(0);

        // No data for the time: the line that says so and no generic one
        // after it, the earlier plot and export kept.
        box.lineage->miss->setCurrentIndex(box.lineage->miss->findText(QStringLiteral("CLUSTER-1")));
        box.startendbox->bDoyspinBox->setValue(120);
        box.startendbox->eDoyspinBox->setValue(120);
        const std::string earlier = ReadAll(file("four.gif"));
        std::string out = press(box, "Print to File");
        QVERIFY2(out.find("No data of CLUSTERII CLUSTER-1 HALDE SPINPAD HSPAD from 2001/120 18:00:00 to 18:01:00: the "
                          "archive holds none for that time; choose a time it holds\n") != std::string::npos &&
                     out.find("Try another") == std::string::npos,
                 out.c_str());
        QCOMPARE(ReadAll(file("four.gif")), earlier);
        QVERIFY(box.writtenFiles().isEmpty());

        box.startendbox->bDoyspinBox->setValue(90);
        box.startendbox->eDoyspinBox->setValue(90);
        box.energy_bins->setCurrentIndex(1);
        box.nebins->setText(QStringLiteral("0"));
        QCOMPARE(press(box, "Print to File"), std::string("The number of custom energy bins must be at least 1\n"));
        // Counts that would keep the window busy for hours are refused as
        // soon, before anything is read.
        box.nebins->setText(QStringLiteral("100000000"));
        QCOMPARE(press(box, "Print to File"),
                 std::string("The number of custom energy bins must be at most 10000\n"));
        box.energy_bins->setCurrentIndex(0);
        box.lineage->pachoice->setCurrentIndex(2);
        box.lineage->npa->setText(QStringLiteral("-3"));
        QCOMPARE(press(box, "Export"), std::string("The number of pitch-angle bins must be at least 1\n"));
        box.lineage->npa->setText(QStringLiteral("10001"));
        QCOMPARE(press(box, "Export"), std::string("The number of pitch-angle bins must be at most 10000\n"));
        box.lineage->pachoice->setCurrentIndex(0);
        box.lineage->gatherchoice->setCurrentIndex(0);
        box.lineage->gathern->setText(QStringLiteral("0"));
        QCOMPARE(press(box, "Export"),
                 std::string("The number of sweeps or spins to gather must be at least 1, not \"0\" (field gather n)\n"));
        box.lineage->gathern->setText(QStringLiteral("1"));
        box.plot_file_edit->setText(QString(600, QLatin1Char('p')));
        out = press(box, "Print to File");
        QVERIFY(out.rfind("Failed to open pgplot device ppp", 0) == 0);
        QVERIFY2(out.find("\nThe device name is 608 characters long; at most 499 are taken\n") != std::string::npos,
                 out.c_str());
    }

    // On the X window: a spectrogram, then wheel sequences that wait in the
    // window between wheels (the dialog answered in advance), never at
    // PGPLOT's prompt on the standard input.
    void xWindow()
    {
        if (display_.isEmpty())
            QSKIP("no X display (run under scripts/with-xvfb)");
        qputenv("DISPLAY", display_);
        MirvekBox box;
        QVERIFY(press(box, "Plot Xwin").find("ail") == std::string::npos);
        box.plottype->setCurrentIndex(1);
        box.startendbox->setESecond(12);
        box.startendbox->setEMinute(0);
        struct Asked {
            QString source;
            int shown, total;
            bool last;
        };
        QList<Asked> asked;
        int next_answers = 0;
        mirvek::set_next_wheel_answer([&](const QString &source, int shown, int total, bool last) {
            asked.append({source, shown, total, last});
            return next_answers-- > 0;
        });
        next_answers = 99;  // through to the last wheel
        std::string out = press(box, "Plot Xwin");
        QVERIFY2(out.find("ail") == std::string::npos && out.find("RETURN") == std::string::npos, out.c_str());
        QVERIFY(box.psdmax->text() != QStringLiteral("10.0000"));
        QVERIFY(asked.size() >= 3);
        for (int i = 0; i < asked.size(); ++i) {
            QCOMPARE(asked[i].source, QStringLiteral("CLUSTER-1"));
            QCOMPARE(asked[i].shown, i + 1);
            QCOMPARE(asked[i].total, static_cast<int>(asked.size()));
            QCOMPARE(asked[i].last, i + 1 == asked.size());
        }

        asked.clear();
        next_answers = 1;  // "Next Wheel" once, then "Stop"
        box.plottype->setCurrentIndex(2);
        out = press(box, "Plot Xwin");
        mirvek::set_next_wheel_answer({});
        QVERIFY2(out.find("ail") == std::string::npos && out.find("RETURN") == std::string::npos, out.c_str());
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.last().shown, 2);
        QVERIFY(!asked.last().last);
        qunsetenv("DISPLAY");
    }

    void exports()
    {
        MirvekBox box;  // the 3D product, rebinned to pitch angle
        box.lineage->inst->setCurrentIndex(box.lineage->inst->findText(QStringLiteral("3DR")));
        box.lineage->virins->setCurrentIndex(box.lineage->virins->findText(QStringLiteral("CP3DRH")));
        box.lineage->pachoice->setCurrentIndex(2);
        box.lineage->npa->setText(QStringLiteral("10"));
        box.energy_bins->setCurrentIndex(1);
        box.exp_file_edit->setText(QStringLiteral("  ") + file("run  1") + QStringLiteral(" "));
        for (const int format : {1, 0, 2, 3}) {  // CEF 2 replaces CEF 1 (both .cef)
            box.exp_opt->setCurrentIndex(format);
            const std::string out = press(box, "Export");
            QVERIFY2(out.find("io_f_") == std::string::npos && out.find("returned") == std::string::npos, out.c_str());
            QCOMPARE(box.writtenFiles().size(), 1);
            const char *extension[] = {".cef", ".cef", ".qft", ".cdf"};
            const std::string kept = "Wrote export file " + file("run 1").toStdString() + extension[format] + "\n";
            QVERIFY2(out.find(kept) != std::string::npos, out.c_str());
        }
        // CEF 2: one variable block per variable, one record end per gathered
        // sweep: the minute's 15 whole spins of 31 sweeps, the sweep of its
        // end and the one after.
        const std::string cef = ReadAll(file("run 1.cef"));
        QVERIFY(cef.rfind("!@.cef2@", 0) == 0 && cef.find("FILE_NAME = run 1.cef\n") != std::string::npos);
        const std::string data = cef.substr(cef.find("DATA_UNTIL"));
        constexpr long kSweeps = 15 * 31 + 2;
        QCOMPARE(std::count(data.begin(), data.end(), '$'), kSweeps);
        QCOMPARE(static_cast<int>(QString::fromStdString(cef).count(QStringLiteral("\nEND_VARIABLE"))), 10);
        // The table: every data row read by Python's csv with the same number of fields.
        int status = 0;
        const std::string rows = kve_test::RunProgram(
            {"python3", "-c",
             "import csv,sys\nr=[x for x in csv.reader(open(sys.argv[1]),delimiter=' ',skipinitialspace=True)"
             " if x and x[0][:2].isdigit()]\nprint(len(r),len({len(x) for x in r}))",
             file("run 1.qft").toStdString()},
            &status);
        QCOMPARE(rows, std::to_string(kSweeps) + " 1\n");
        // CDF: read back by jcdf, ten pitch-angle bins.
        std::string error;
        const auto dump = kve_test::JcdfDump(file("run 1.cdf").toStdString(), &error);
        QVERIFY2(dump, error.c_str());
        QVERIFY2(dump->find("var psd FLOAT recvary=T dims=[10,10] records=" + std::to_string(kSweeps)) != std::string::npos,
                 dump->c_str());

        // A failed write leaves the earlier file as it was and no scratch behind.
        const std::string earlier = ReadAll(file("run 1.cdf"));
        box.startendbox->bDoyspinBox->setValue(120);
        box.startendbox->eDoyspinBox->setValue(120);
        press(box, "Export");
        QCOMPARE(ReadAll(file("run 1.cdf")), earlier);
        QCOMPARE(QDir(out_.path()).entryList(QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot).size(), 0);
    }

    // Whole spins through 360 degrees are exported with the centre and
    // half-width of the long way round, in every format: the sample's PAD
    // sweeps (read sweep by sweep for pitch-angle binning) fill spins from
    // 180 through 360 to 174.24 degrees.
    void exportedAzimuths_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("extension");
        QTest::newRow("CEF 2") << 0 << QStringLiteral(".cef");
        QTest::newRow("CEF 1") << 1 << QStringLiteral(".cef");
        QTest::newRow("table") << 2 << QStringLiteral(".qft");
        QTest::newRow("CDF") << 3 << QStringLiteral(".cdf");
    }
    void exportedAzimuths()
    {
        QFETCH(int, format);
        QFETCH(QString, extension);
        MirvekBox box;
        box.lineage->pachoice->setCurrentIndex(1);
        box.lineage->gatherchoice->setCurrentIndex(GATHER_SPINS);
        box.startendbox->setESecond(12);
        box.startendbox->setEMinute(0);
        box.exp_opt->setCurrentIndex(format);
        box.exp_file_edit->setText(file("spins"));
        const std::string out = press(box, "Export");
        QVERIFY2(out.find("returned") == std::string::npos, out.c_str());
        std::vector<float> phi, delta;
        if (format == 3) {
            std::string error;
            const auto dump = kve_test::JcdfDump(file("spins.cdf").toStdString(), &error);
            QVERIFY2(dump, error.c_str());
            for (const auto &[name, values] : {std::pair{"phi", &phi}, {"phi_delta", &delta}}) {
                std::istringstream in(dump->substr(dump->find(std::string("var ") + name + " FLOAT")));
                std::string line;
                std::getline(in, line);
                while (std::getline(in, line) && line.rfind("  rec ", 0) == 0) {
                    const std::uint32_t bits = std::stoul(line.substr(line.rfind(" f") + 2), nullptr, 16);
                    values->push_back(std::bit_cast<float>(bits));
                }
            }
        } else {
            int status = -2;
            KvCDFContents *c = readFlat("spins", extension.toLatin1().constData(), &status);
            const long p = KvGetVarByName(c, "phi"), d = KvGetVarByName(c, "phi_delta");
            for (long k = 0; status == 0 && p >= 0 && d >= 0 && k < c->n_recs; ++k) {
                phi.push_back(static_cast<const float *>(c->vardata[p]->data)[k]);
                delta.push_back(static_cast<const float *>(c->vardata[d]->data)[k]);
            }
            KvFreeCDFContentsObj(c);
            QCOMPARE(status, 0);
        }
        QVERIFY2(phi.size() >= 3 && phi.size() == delta.size(), qPrintable(QString::number(phi.size())));
        for (int k = 0; k < 3; ++k) {  // the whole spins of 18:00:00, :04 and :08
            QVERIFY2(std::fabs(phi[k] - 357.12f) < 1e-3f, qPrintable(QString::number(phi[k])));
            QVERIFY2(std::fabs(delta[k] - 177.12f) < 1e-3f, qPrintable(QString::number(delta[k])));
        }
        for (std::size_t k = 0; k < delta.size(); ++k)
            QVERIFY(delta[k] >= 0 && phi[k] >= 0 && phi[k] < 360);
    }

    // A failed export names the file and the system's reason.
    void exportFailureNamesTheFile()
    {
        // The private folder can be made, the file's name is longer than a
        // name may be: the writer's own open fails.
        MirvekBox box;
        const QString stem = out_.filePath(QString(300, QLatin1Char('r')));
        box.exp_file_edit->setText(stem);
        const std::string out = press(box, "Export");
        const std::string said = stem.toStdString() + ".cef: File name too long\n";
        QVERIFY2(out.find("KvWriteCSDSgenFlat returned 131\n") != std::string::npos, out.c_str());
        QVERIFY2(out.find(said) != std::string::npos, out.c_str());
    }

    // A 32 x 32 psd makes records of more values than one attribute may
    // hold: the CEF 2 and CEF 1 exports, and the CDF export written again
    // as a delimited table, read back whole with the values of the CDF.
    void wideRecordsReadBack()
    {
        MirvekBox box;
        box.lineage->inst->setCurrentIndex(box.lineage->inst->findText(QStringLiteral("3DR")));
        box.lineage->virins->setCurrentIndex(box.lineage->virins->findText(QStringLiteral("CP3DRH")));
        box.lineage->pachoice->setCurrentIndex(2);
        box.lineage->npa->setText(QStringLiteral("32"));
        box.energy_bins->setCurrentIndex(1);
        box.nebins->setText(QStringLiteral("32"));
        for (const auto &[format, stem] : {std::pair{0, "wide2"}, {1, "wide1"}, {3, "wide"}}) {
            box.exp_opt->setCurrentIndex(format);
            box.exp_file_edit->setText(file(stem));
            const std::string out = press(box, "Export");
            QVERIFY2(out.find("returned") == std::string::npos, out.c_str());
        }
        const std::string dir = out_.path().toStdString() + "/";
        KvCDFContents *cdf = KvMakeCDFContentsObj();
        QCOMPARE(KvGetCSDSgenCDF((dir + "wide.cdf").c_str(), cdf), 0);
        const long psd = KvGetVarByName(cdf, "psd");
        QVERIFY(psd >= 0 && cdf->n_recs > 1);
        QCOMPARE(cdf->vardata[psd]->dim_sizes[0] * cdf->vardata[psd]->dim_sizes[1], 1024L);
        // The delimited table: the CDF's data set written again.
        {
            KvCDFContents *again = KvMakeCDFContentsObj();
            QCOMPARE(KvGetCSDSgenCDF((dir + "wide.cdf").c_str(), again), 0);
            again->io_f_path = KvNewStr(dir.c_str());
            again->io_f_name = KvNewStr("wided");
            KvOptions *o = KvMakeOptionsObj();
            o->f_type = DELIMITED;
            o->data_delim = ',';
            const int written = KvWriteCSDSgenFlat(again, o);
            KvFreeOptionsObj(o);
            KvFreeCDFContentsObj(again);
            QCOMPARE(written, 0);
        }
        for (const auto &[stem, extn] : {std::pair{"wide2", ".cef"}, {"wide1", ".cef"}, {"wided", ".qfd"}}) {
            int status = -2;
            KvCDFContents *c = readFlat(stem, extn, &status);
            const long v = KvGetVarByName(c, "psd");
            const bool whole = status == 0 && c->n_recs == cdf->n_recs && v >= 0;
            for (long k = 0; whole && k < 1024 * cdf->n_recs; ++k) {
                const float want = static_cast<const float *>(cdf->vardata[psd]->data)[k];
                const float got = static_cast<const float *>(c->vardata[v]->data)[k];
                if (std::fabs(got - want) > 1e-5f * std::fabs(want)) {
                    QFAIL(qPrintable(QStringLiteral("%1: value %2 is %3, not %4").arg(stem).arg(k).arg(got).arg(want)));
                }
            }
            const long records = c->n_recs;
            KvFreeCDFContentsObj(c);
            QVERIFY2(whole, qPrintable(QStringLiteral("%1: status %2, %3 records").arg(stem).arg(status).arg(records)));
        }
        KvFreeCDFContentsObj(cdf);
    }
};

QTEST_MAIN(MirvekTest)
#include "mirvek_test.moc"
