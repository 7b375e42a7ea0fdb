// Lunder's windows: start-up, defaults and small slots of the main window,
// its plot action and the slice-and-map window on a sample archive made for
// the test (pictures checked by decoding the GIF files), their failure
// paths, and the demo settings file shipped with the archive end to end.
#include "Helpbwin.h"
#include "Slicewin.h"
#include "lunder.h"
#include "lunder_boxes.h"
#include "sample_archive.h"
#include "sample_pictures.h"
#include "stdout_capture.h"
#include "support.h"
#include "widget_values.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTimeEdit>
#include <QtTest>

#include <cpgplot.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

int device_open()
{
    int id = 0;
    cpgqid(&id);
    return id;
}

} // namespace

class LunderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<kombra_test::TempDir> root_;
    std::unique_ptr<kombra_test::TempDir> out_;
    std::unique_ptr<LunderBox> box_;

    // The line that names a plot file kept in the output folder.
    std::string wrote(const std::string &name) const { return "Wrote plot file " + out_->file(name) + "\n"; }

    // The box's plot into GIF stem name in the output folder.
    std::string plotGif(const std::string &name, int id = 1)
    {
        box_->plot_file_edit->setText(QString::fromStdString(out_->file(name)));
        box_->plot_dev->setCurrentIndex(0);
        StdoutCapture out;
        box_->slotActions(id);
        return out.take();
    }

private slots:
    void initTestCase()
    {
        root_ = std::make_unique<kombra_test::TempDir>();
        out_ = std::make_unique<kombra_test::TempDir>();
        kombra_sample::SampleOptions options;
        options.docDir = kombra_test::SourceDir() + "/doc";
        kombra_sample::WriteSampleArchive(root_->str(), options);
        sample_pictures::UseSampleArchive(QByteArray::fromStdString(root_->str()));
    }

    void init() { box_ = std::make_unique<LunderBox>(); }
    void cleanup() { box_.reset(); }

    // The application object takes the user's locale; start-up puts C number
    // formatting back before the window is made.
    void startUp()
    {
        QTemporaryDir dir;
        const QString cmd = QStringLiteral("localedef -i de_DE -f UTF-8 '%1/de_DE.UTF-8' >/dev/null 2>&1").arg(dir.path());
        [[maybe_unused]] const int built = std::system(cmd.toLocal8Bit().constData());
        qputenv("LOCPATH", dir.path().toLocal8Bit());
        const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        qunsetenv("LOCPATH");
        char probe[16];
        std::snprintf(probe, sizeof probe, "%g", 2.5);
        QCOMPARE(QString::fromLatin1(probe), comma ? QStringLiteral("2,5") : QStringLiteral("2.5"));
        auto box = start_lunder(*qApp);
        std::snprintf(probe, sizeof probe, "%g", 2.5);
        QCOMPARE(QString::fromLatin1(probe), QStringLiteral("2.5"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Plot Azimuthal Slices  V3.6.1"));
        QVERIFY(box->isVisible());
        QVERIFY(!box->helpbwin->isVisible());
        QVERIFY(!box->slicewin->isVisible());
        QVERIFY(!box->helpbwin->testAttribute(Qt::WA_QuitOnClose));
    }

    void defaults()
    {
        LunderBox &b = *box_;
        QCOMPARE(b.prim_sweep->title(), QStringLiteral("Primary Slice - Controls Autoscaling ..."));
        QCOMPARE(b.sec_sweep->title(), QStringLiteral("Secondary Slice - plotted on right"));
        QCOMPARE(b.psd_units->count(), 6);
        QCOMPARE(b.energy_units->count(), 2);
        QCOMPARE(b.anal_proc->itemText(4), QStringLiteral("Divide Prim/Sec"));
        QCOMPARE(b.plot_col->itemText(5), QStringLiteral("Earth"));
        QCOMPARE(b.plot_dev->itemText(3), QStringLiteral("Portrait PS File ->"));
        for (QComboBox *c : {b.energy_linlog, b.psd_linlog, b.anal_linlog})
            QCOMPARE(c->currentText(), QStringLiteral("Log"));
        for (QComboBox *c : {b.energy_scale, b.psd_scale, b.anal_scale})
            QCOMPARE(c->currentText(), QStringLiteral("Autoscale"));
        for (QComboBox *c : {b.energy_units, b.psd_units, b.anal_proc, b.plot_col, b.plot_dev})
            QCOMPARE(c->currentIndex(), 0);
        QCOMPARE(b.plot_win_edit->maxLength(), 3);
        QCOMPARE(b.plot_file_edit->text(), QStringLiteral("lunder_plot"));
        const QStringList texts{"Xwin", "Print to File", "Xwin then Slice'n'Map", "Help", "Save...", "Restore...", "Quit"};
        for (int id = 0; id < texts.size(); ++id)
            QCOMPARE(b.actions->button(id)->text(), texts[id]);
        QCOMPARE(b.quit, b.actions->button(6));
        QVERIFY(b.swp1 == nullptr && b.swp2 == nullptr && b.swpar == nullptr);
        QCOMPARE(b.paopts1.n_pabins, 13);
        Slicewin &s = *b.slicewin;
        QCOMPARE(s.windowTitle(), QStringLiteral("HALDE Sweep Shifting, Liouville Mapping and Slicing"));
        QCOMPARE(s.plot_file_edit->text(), QStringLiteral("slice_map_plot"));
        QCOMPARE(s.box_thick->count(), 10);
        QCOMPARE(s.plot_col->count(), 3);
        QCOMPARE(s.pot->text(), QStringLiteral("0.0"));
        QCOMPARE(s.psd_units->currentText(), QStringLiteral("As Main Win"));
    }

    void smallSlots()
    {
        LunderBox &b = *box_;
        b.lineage->miss->setCurrentIndex(4);
        b.slotSetSecondarySweepLineage();
        QCOMPARE(b.sec_sweep->mission->text(), QStringLiteral("C1234"));
        QCOMPARE(b.prim_sweep->mission->text(), QStringLiteral("CLUSTER-2"));
        b.prim_sweep->timebox->dateEdit->setDate(QDate(2001, 4, 2));
        b.prim_sweep->timebox->timeEdit->setTime(QTime(17, 5, 9));
        b.slotCopyTime();
        QCOMPARE(b.sec_sweep->timebox->DoyspinBox->value(), 92);
        QCOMPARE(b.sec_sweep->timebox->timeEdit->time(), QTime(17, 5, 9));
        widgets::set_file_dialog_answer([](widgets::FileDialog, const QString &) { return QString(); });
        b.slotPlotfile();
        QCOMPARE(b.plot_file_edit->text(), QStringLiteral("lunder_plot"));
        widgets::set_file_dialog_answer([](widgets::FileDialog, const QString &) { return QStringLiteral("/x/a=b"); });
        b.slotPlotfile();
        QCOMPARE(b.plot_file_edit->text(), QStringLiteral("/x/a=b"));
        widgets::set_file_dialog_answer({});
        // Ids of buttons that plot nothing leave everything as it was.
        StdoutCapture out;
        for (int id : {3, 4, 5, 6, -1, 7})
            b.slotActions(id);
        QCOMPARE(QString::fromStdString(out.take()), QString());
        QCOMPARE(b.emin->text(), QStringLiteral("1"));
    }

    // The default sources on the sample archive: the wheel of both halves
    // in colour with its wedge, the autoscaled ranges written back; a "#"
    // in the stem is kept.
    void plotWheel()
    {
        const std::string printed = plotGif("wheel#1");
        QCOMPARE(QString::fromStdString(printed), QString::fromStdString(wrote("wheel#1.gif")));
        QCOMPARE(device_open(), 0);
        QVERIFY(box_->swp1 != nullptr && box_->swp2 != nullptr && box_->swpar == nullptr);
        const QImage image(QString::fromStdString(out_->file("wheel#1.gif")));
        QVERIFY(!image.isNull());
        const int w = image.width(), h = image.height();
        const int cx = w * 475 / 1000; // the wheel's centre
        QVERIFY(sample_pictures::Colourful(image, {w * 15 / 100, 0, cx - w * 15 / 100, h}) > 20000);
        QVERIFY(sample_pictures::Colourful(image, {cx, 0, w * 72 / 100 - cx, h}) > 20000);
        // The wedge: a ramp of many colours up its column.
        int most = 0;
        for (int x = w * 73 / 100; x < w * 85 / 100; ++x) {
            QSet<QRgb> ramp;
            for (int y = 0; y < h; ++y)
                ramp.insert(image.pixel(x, y));
            most = std::max(most, static_cast<int>(ramp.size()));
        }
        QVERIFY2(most > 20, qPrintable(QString::number(most)));
        QVERIFY2(box_->psdmax->text() != QStringLiteral("10"), qPrintable(box_->psdmin->text() + " " + box_->psdmax->text() + " " + box_->emin->text()));
        QVERIFY(box_->emax->text() != QStringLiteral("10"));
        QVERIFY(box_->psdmin->text().toFloat() < box_->psdmax->text().toFloat());
    }

    // A portrait page holds the whole wheel: labels and titles keep off its
    // edges.
    void portraitPicture()
    {
        box_->plot_dev->setCurrentIndex(1);
        box_->plot_file_edit->setText(QString::fromStdString(out_->file("portrait")));
        StdoutCapture out;
        box_->slotActions(1);
        QCOMPARE(out.take(), wrote("portrait.gif"));
        const QImage image(QString::fromStdString(out_->file("portrait.gif")));
        QCOMPARE(image.size(), QSize(680, 850));
        QVERIFY(sample_pictures::KeepsOffEdges(image));
    }

    // The slice of a source is taken from the first spin that begins at or
    // after the start, whether its spins hold one sweep (the spin product,
    // or 3DR outside the hour of whole spins) or many.
    void sliceOfFirstSpin_data()
    {
        QTest::addColumn<QString>("inst");  // its low-energy product is plotted
        QTest::addColumn<int>("gather");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("spin");
        const int none = 3, spins = 1;
        QTest::newRow("spin product, a spin at 18:59:52") << "PAD" << none << QTime(18, 59, 50) << QTime(18, 59, 52);
        QTest::newRow("spin product, gathered") << "PAD" << spins << QTime(18, 59, 50) << QTime(18, 59, 52);
        QTest::newRow("spin product, start on a spin") << "PAD" << none << QTime(18, 59, 52) << QTime(18, 59, 52);
        QTest::newRow("3DR, one sweep a spin") << "3DR" << none << QTime(18, 59, 50) << QTime(18, 59, 52);
        QTest::newRow("3DR, whole spins, start within one") << "3DR" << none << QTime(18, 0, 2) << QTime(18, 0, 4);
        QTest::newRow("3DR, whole spins, start on one") << "3DR" << none << QTime(18, 0, 4) << QTime(18, 0, 4);
        QTest::newRow("3DR, whole spins, gathered") << "3DR" << spins << QTime(18, 0, 4) << QTime(18, 0, 4);
    }
    void sliceOfFirstSpin()
    {
        QFETCH(QString, inst);
        QFETCH(int, gather);
        QFETCH(QTime, start);
        QFETCH(QTime, spin);
        for (lunder::SweepBox *panel : {box_->prim_sweep, box_->sec_sweep}) {
            panel->inst->setText(inst);
            panel->virins->setText(inst == QLatin1String("PAD") ? "CPPADL" : "CP3DRL");
            panel->gatherchoice->setCurrentIndex(gather);
            panel->timebox->timeEdit->setTime(start);
        }
        std::string said = plotGif("first_spin");
        QVERIFY2(said == wrote("first_spin.gif"), said.c_str());
        for (const HALDE_SWEEP_S *slice : {box_->swp1, box_->swp2})
            QCOMPARE(QTime(0, 0).addSecs(slice->suntime.sec), spin);
        // "Advance to next segment" and the plot then show the next spin.
        {
            StdoutCapture quiet;
            box_->prim_sweep->findChild<QPushButton *>(QStringLiteral("next_segment"))->click();
        }
        said = plotGif("first_spin");
        QVERIFY2(said == wrote("first_spin.gif"), said.c_str());
        QCOMPARE(QTime(0, 0).addSecs(box_->swp1->suntime.sec), spin.addSecs(4));
    }

    // On every page kind no text of a plot is drawn over another, none
    // reaches off the page and none is too small to read: the wheel, the
    // wheel with its analysis panel, and the slice-and-map window's wheel
    // with cuts.
    void textsKeepApart_data()
    {
        QTest::addColumn<int>("plot");
        QTest::addColumn<int>("page");
        const char *plots[] = {"wheel", "wheel and sum", "slice and map"};
        for (int plot = 0; plot < 3; ++plot)
            for (int page = 0; page < static_cast<int>(std::size(sample_pictures::kPageKinds)); ++page)
                QTest::addRow("%s, %s", plots[plot], sample_pictures::kPageKinds[page].name) << plot << page;
    }
    void textsKeepApart()
    {
        QFETCH(int, plot);
        QFETCH(int, page);
        const sample_pictures::PageKind &kind = sample_pictures::kPageKinds[page];
        const sample_pictures::PostScriptPage sheet(kind);
        QVERIFY(sheet.width > 0);
        box_->anal_proc->setCurrentIndex(plot == 1 ? 1 : 0);
        box_->plot_dev->setCurrentIndex(kind.plot_dev);
        box_->plot_file_edit->setText(QString::fromStdString(out_->file("texts")));
        std::string file = out_->file("texts.eps");
        {
            StdoutCapture out;
            box_->slotActions(1);
            QCOMPARE(out.take(), wrote("texts.eps"));
        }
        if (plot == 2) {
            Slicewin &s = *box_->slicewin;
            s.lwheel->setCurrentIndex(PRIMARY);
            s.rwheel->setCurrentIndex(SECONDARY);
            s.cuts[0]->source->setCurrentIndex(PRIMARY);
            s.cuts[1]->source->setCurrentIndex(SECONDARY);
            s.cuts[1]->pangle->setText("90");
            s.plot_dev->setCurrentIndex(kind.plot_dev);
            s.plot_file_edit->setText(QString::fromStdString(out_->file("slice_texts")));
            StdoutCapture out;
            s.slotRun(1);
            const std::string said = out.take();
            QVERIFY2(said.find(wrote("slice_texts.eps")) != std::string::npos, said.c_str());
            file = out_->file("slice_texts.eps");
        }
        const std::string faults =
            sample_pictures::TextFaults(file, sheet.width, sheet.height, sample_pictures::kLegibleText);
        QVERIFY2(faults.empty(), faults.c_str());
    }

    // The ranges written back are the ones drawn: plotted again with them as
    // user ranges, the picture is the same.  On the default logarithmic
    // scales they hold values above zero only.
    void writtenBackRangesAreDrawn()
    {
        box_->sec_sweep->timebox->setSMinute(1);
        box_->anal_proc->setCurrentIndex(SUBTRACT); // a difference holds values below zero
        QCOMPARE(QString::fromStdString(plotGif("auto_range")), QString::fromStdString(wrote("auto_range.gif")));
        for (const QLineEdit *low : {box_->psdmin, box_->emin, box_->analmin})
            QVERIFY2(low->text().toFloat() > 0, qPrintable(low->text()));
        QVERIFY(box_->analmax->text().toFloat() > box_->analmin->text().toFloat());
        box_->psd_scale->setCurrentIndex(1);
        box_->energy_scale->setCurrentIndex(1);
        box_->anal_scale->setCurrentIndex(1);
        QCOMPARE(QString::fromStdString(plotGif("user_range")), QString::fromStdString(wrote("user_range.gif")));
        const QImage automatic(QString::fromStdString(out_->file("auto_range.gif")));
        const QImage user(QString::fromStdString(out_->file("user_range.gif")));
        QVERIFY(!automatic.isNull());
        // The fields hold 6 significant digits: a pixel on a bin's edge may
        // change, never a bin.
        const long changed = sample_pictures::ChangedPixels(automatic, user);
        QVERIFY2(changed >= 0 && changed < 20, qPrintable(QString::number(changed)));
    }

    // Every failure: its lines, no device left open, the earlier plot kept.
    void failures_data()
    {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<int>("hour");
        QTest::addColumn<QString>("npa");
        QTest::addColumn<QString>("expected");
        const QString open = QStringLiteral("Failed to open pgplot device %1 successfully\n"
                                            "If file check write permissions; if Xwindow, check pgxwin server\n");
        QTest::newRow("unwritable folder")
            << "/nonexistent/dir/p" << 18 << "13"
            << open.arg("/nonexistent/dir/p.gif/GIF") +
                   "The folder /nonexistent/dir of the plot file is no folder: No such file or directory\n";
        const QString longStem = QString(200, QChar('s'));
        QTest::newRow("long stem") << longStem << 18 << "13"
                                   << open.arg(longStem + ".gif/GIF") +
                                          "The device name is 208 characters long; at most 199 are taken\n";
        QTest::newRow("empty stem") << " " << 18 << "13" << "The plot file stem \" \" names no file; nothing written\n";
        QTest::newRow("no data") << "keep" << 3 << "13" << "nurv_n_spin_sweep_etime returned -499\n";
        QTest::newRow("no pitch-angle bins") << "keep" << 18 << "0"
                                             << "Number of pitch angle bins must be at least 1, not 0\n";
        QTest::newRow("1e8 pitch-angle bins") << "keep" << 18 << "100000000"
                                              << "Number of pitch angle bins must be at most 10000, not 100000000\n";
        QTest::newRow("1e30 pitch-angle bins")
            << "keep" << 18 << "1e30"
            << "The field primary pitch-angle bins holds \"1e30\", which is not a whole number from -2147483648 to "
               "2147483647; nothing done\n";
    }
    void failures()
    {
        QFETCH(QString, stem);
        QFETCH(int, hour);
        QFETCH(QString, npa);
        QFETCH(QString, expected);
        QCOMPARE(plotGif("keep"), wrote("keep.gif"));
        const auto before = fs::file_size(out_->file("keep.gif"));
        box_->prim_sweep->timebox->setSHour(hour);
        box_->prim_sweep->pachoice->setCurrentIndex(1);
        box_->prim_sweep->npa->setText(npa);
        box_->prim_sweep->gatherchoice->setCurrentIndex(1);
        const QString full = stem.startsWith('/') || stem.size() > 100 || stem.trimmed().isEmpty() ? stem : QString::fromStdString(out_->file(stem.toStdString()));
        box_->plot_file_edit->setText(full);
        StdoutCapture out;
        box_->slotActions(1);
        const QString printed = QString::fromStdString(out.take());
        QVERIFY2(printed.endsWith(expected), qPrintable(printed)); // the reader's own lines come first
        QCOMPARE(device_open(), 0);
        QCOMPARE(fs::file_size(out_->file("keep.gif")), before);
        QVERIFY(box_->swp1 == nullptr && box_->swp2 == nullptr);
        QCOMPARE(box_->psdmin->text(), QStringLiteral("1"));
    }

    // Before any plot the slice-and-map window has nothing to derive from;
    // the failed run says what became of the picture file.
    void sliceWithoutSweeps_data()
    {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<bool>("earlier");
        QTest::newRow("no earlier file") << "none" << false;
        QTest::newRow("earlier picture") << "earlier" << true;
    }
    void sliceWithoutSweeps()
    {
        QFETCH(QString, stem);
        QFETCH(bool, earlier);
        const std::string file = out_->file(stem.toStdString() + ".gif");
        if (earlier)
            kombra_test::WriteFile(file, "earlier picture");
        Slicewin &s = *box_->slicewin;
        s.lwheel->setCurrentIndex(PRIMARY);
        s.cuts[0]->source->setCurrentIndex(MAPPED_PRIMARY);
        s.plot_file_edit->setText(QString::fromStdString(out_->file(stem.toStdString())));
        StdoutCapture out;
        s.slotRun(1);
        const std::string last = earlier ? "Slice'n'Map: the earlier picture in " + file + " was not replaced\n"
                                         : "Slice'n'Map: no picture written to " + file + "\n";
        QCOMPARE(out.take(), "Slice'n'Map: no sweeps from the main window; plot them first\n" + last);
        QCOMPARE(device_open(), 0);
        QCOMPARE(fs::exists(file), earlier);
        if (earlier)
            QCOMPARE(kombra_test::ReadFile(file), std::string("earlier picture"));
        for (HALDE_SWEEP_S *e : s.swposs)
            QVERIFY(e == nullptr);
    }

    // Runs that could only draw nothing, or a mapping by a field strength
    // that is none, are refused with one line before anything is opened.
    void sliceRefusals_data()
    {
        QTest::addColumn<int>("wheel");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QString>("b1");
        QTest::addColumn<QString>("b2");
        QTest::addColumn<QString>("said");
        const QString weak = QStringLiteral("The field %1 holds \"%2\": a field strength must be above 0 to map by; "
                                            "nothing done\n");
        QTest::newRow("every source None") << 0 << 0 << "1" << "1"
                                           << "Slice'n'Map: every wheel half and cut is at None, so there is nothing "
                                              "to draw; nothing written\n";
        QTest::newRow("B secondary -1") << int(MAPPED_PRIMARY) << 0 << "1" << "-1" << weak.arg("B secondary", "-1");
        QTest::newRow("B primary 0, cut of a ratio")
            << 0 << int(SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY) << "0" << "2" << weak.arg("B primary", "0");
    }
    void sliceRefusals()
    {
        QFETCH(int, wheel);
        QFETCH(int, cut);
        QFETCH(QString, b1);
        QFETCH(QString, b2);
        QFETCH(QString, said);
        Slicewin &s = *box_->slicewin;
        s.rwheel->setCurrentIndex(wheel);
        s.cuts[3]->source->setCurrentIndex(cut);
        s.b1->setText(b1);
        s.b2->setText(b2);
        s.plot_file_edit->setText(QString::fromStdString(out_->file("refused")));
        StdoutCapture out;
        s.slotRun(1);
        QCOMPARE(QString::fromStdString(out.take()), said);
        QCOMPARE(device_open(), 0);
        QVERIFY(!fs::exists(out_->file("refused.gif")));
    }

    // The window's "Help" opens the help window at the page of this window.
    void sliceHelp()
    {
        box_->slicewin->actions->button(2)->click();
        QVERIFY(box_->helpbwin->isVisible());
        const auto *browser = box_->helpbwin->findChild<QTextBrowser *>(QStringLiteral("browser"));
        QCOMPARE(browser->source().fileName(), QStringLiteral("lunder_slicemap.html"));
        box_->helpbwin->hide();
    }

    // However the slice-and-map window is closed, the minimised main window
    // comes back and the derived sweeps are freed; Return in a field asks
    // for no file and draws nothing.
    void sliceWindowKeysAndClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Dismiss") << "dismiss";
        QTest::newRow("Escape in a field") << "escape";
        QTest::newRow("close button") << "close";
        QTest::newRow("Return in every field, then Escape") << "return";
    }
    void sliceWindowKeysAndClose()
    {
        QFETCH(QString, how);
        box_->show();
        box_->slotSlice();
        Slicewin &s = *box_->slicewin;
        QVERIFY(box_->isMinimized());
        QVERIFY(s.isVisible());
        s.swposs[MAPPED_PRIMARY] = new_sweep_record(); // as a run leaves it, for closing to free
        int dialogs = 0;
        widgets::set_file_dialog_answer([&](widgets::FileDialog, const QString &) {
            ++dialogs;
            return QString();
        });
        StdoutCapture out;
        bool stayed = true;
        if (how == "return") {
            s.b2->setText("2");
            for (QLineEdit *e : s.findChildren<QLineEdit *>()) {
                e->setFocus();
                QTest::keyClick(e, Qt::Key_Return);
                QTest::keyClick(e, Qt::Key_Enter, Qt::KeypadModifier);
            }
            stayed = s.isVisible() && box_->isMinimized();
        }
        bool closed = true;
        if (how == "dismiss")
            s.actions->button(3)->click();
        else if (how == "close")
            closed = s.close();
        else
            QTest::keyClick(s.b2, Qt::Key_Escape);
        widgets::set_file_dialog_answer({});
        QCOMPARE(QString::fromStdString(out.take()), QString());
        QCOMPARE(dialogs, 0);
        QVERIFY(stayed && closed);
        QCOMPARE(device_open(), 0);
        QVERIFY(!s.isVisible());
        QVERIFY(box_->isVisible());
        QVERIFY(!box_->isMinimized());
        for (HALDE_SWEEP_S *e : s.swposs)
            QVERIFY(e == nullptr);
    }

    // Which sources a run makes, how the cut rows pack, and the labels of
    // a comparison; "Dismiss" frees what the run made.
    void sliceDerivations()
    {
        box_->sec_sweep->timebox->setSMinute(1);
        box_->psd_units->setCurrentIndex(PSD_UNITS_S3_PER_KM6);
        QCOMPARE(plotGif("pair"), wrote("pair.gif"));
        Slicewin &s = *box_->slicewin;
        s.plot_file_edit->setText(QString::fromStdString(out_->file("slice")));
        s.b2->setText("2");
        s.lwheel->setCurrentIndex(MAPPED_OVER_SECONDARY);
        s.cuts[0]->source->setCurrentIndex(SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY);
        s.cuts[2]->source->setCurrentIndex(MAPPED_PRIMARY);
        s.cuts[2]->pangle->setText("30");
        s.cuts[5]->source->setCurrentIndex(SECONDARY);
        StdoutCapture out;
        s.slotRun(1);
        const QString said = QString::fromStdString(out.take()); // the library's progress lines, then the file
        QVERIFY2(!said.contains("ailed") && said.endsWith(QString::fromStdString(wrote("slice.gif"))), qPrintable(said));
        QCOMPARE(s.nswps, 3);
        QCOMPARE(s.cutsrc[1], MAPPED_PRIMARY);
        QCOMPARE(s.thetas[1], 30.0f);
        QCOMPARE(s.swpp[2], box_->swp2);
        for (int e : {SHIFTED_PRIMARY, MAPPED_PRIMARY, SHIFTED_THEN_MAPPED_PRIMARY, SHIFTED_SECONDARY,
                      MAPPED_OVER_SECONDARY, SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY})
            QVERIFY2(s.swposs[static_cast<size_t>(e)] != nullptr, qPrintable(QString::number(e)));
        for (int e : {SHIFTED_THEN_MAPPED_OVER_SHIFTED_SECONDARY, MAPPED_MINUS_SECONDARY})
            QVERIFY(s.swposs[static_cast<size_t>(e)] == nullptr);
        const HALDE_SWEEP_S &ratio = *s.swposs[MAPPED_OVER_SECONDARY];
        QCOMPARE(QString::fromLatin1(ratio.lineage->mission), QStringLiteral("CLUSTER-2/CLUSTER-2"));
        QCOMPARE(ratio.psd_units, UNKNOWN_PSD_UNITS);
        QCOMPARE(ratio.etime.sec, box_->swp2->btime.sec);
        QCOMPARE(QString::fromLatin1(s.swposs[SHIFTED_THEN_MAPPED_MINUS_SHIFTED_SECONDARY]->lineage->mission),
                 QStringLiteral("CLUSTER-2 - CLUSTER-2"));
        QVERIFY(!QImage(QString::fromStdString(out_->file("slice.gif"))).isNull());
        QVERIFY(s.emax->text() != QStringLiteral("10"));
        s.actions->button(3)->click();
        QVERIFY(s.swposs[MAPPED_PRIMARY] == nullptr);
        QCOMPARE(s.swposs[PRIMARY], nullptr);
    }

    // Levels of a cut of the sweep at theta that hold a value.
    static int valuesOfCut(const HALDE_SWEEP_S *sweep, float theta)
    {
        HALDE_1D_SWEEP_CUT_S *cut = sweep_1D_cut(theta, sweep);
        if (cut == nullptr)
            return 0;
        const int n = static_cast<int>(std::count_if(cut->psd1D, cut->psd1D + cut->n_lev,
                                                     [&](float v) { return v != sweep->missing_value; }));
        free_1D_cut_arrays(cut);
        std::free(cut);
        return n;
    }

    // The demo of the sample archive: restore it, print the pitch-angle
    // wheel and its ratio, draw the mapped primary against the secondary
    // with two cuts through both, save.
    void acceptance()
    {
        fs::current_path(out_->path());
        const QString demo = QString::fromStdString(root_->file("lunder_demo.settings"));
        const QString saved = QString::fromStdString(out_->file("saved.settings"));
        widgets::set_file_dialog_answer([&](widgets::FileDialog kind, const QString &) {
            return kind == widgets::FileDialog::Open ? demo : saved;
        });
        box_->actions->button(5)->click();
        QCOMPARE(box_->anal_proc->currentIndex(), 4);
        StdoutCapture out;
        box_->actions->button(1)->click();
        QCOMPARE(QString::fromStdString(out.take()), QStringLiteral("Wrote plot file lunder_demo.gif\n"));
        for (const HALDE_SWEEP_S *slice : {box_->swp1, box_->swp2})
            QVERIFY2(QByteArray(slice->lineage->virtual_inst).endsWith("_pa"), slice->lineage->virtual_inst);
        const QImage image(QString::fromStdString(out_->file("lunder_demo.gif")));
        QCOMPARE(image.size(), QSize(680, 850)); // two panels read on a portrait page
        QVERIFY(sample_pictures::KeepsOffEdges(image));
        const int h = image.height();
        QVERIFY(sample_pictures::Colourful(image, {0, 0, image.width(), h / 2}) > 5000); // the wheel
        QVERIFY(sample_pictures::Colourful(image, {0, h / 2, image.width(), h / 2}) > 5000); // the ratio
        QVERIFY(box_->analmax->text() != QStringLiteral("10"));
        Slicewin &s = *box_->slicewin;
        StdoutCapture out2;
        s.actions->button(1)->click();
        QVERIFY(!QString::fromStdString(out2.take()).contains("ailed"));
        QVERIFY(s.swposs[MAPPED_PRIMARY] != nullptr);
        QCOMPARE(s.nswps, 2);
        const QImage slice(QString::fromStdString(out_->file("slice_map_demo.gif")));
        QCOMPARE(slice.size(), QSize(680, 850));
        QVERIFY(sample_pictures::KeepsOffEdges(slice));
        const int sw = slice.width(), sh = slice.height(), cx = sw * 475 / 1000;
        // Both halves of the wheel: the mapped primary on the left, the
        // secondary on the right; the colour bar spans the mapped values.
        QVERIFY2(sample_pictures::Colourful(slice, {sw * 15 / 100, 0, cx - sw * 15 / 100, sh / 2}) > 5000, "mapped primary drawn");
        QVERIFY2(sample_pictures::Colourful(slice, {cx, 0, sw * 72 / 100 - cx, sh / 2}) > 5000, "secondary drawn");
        QVERIFY(s.swop->zmin > 0.0f && s.swop->zmin < s.swop->zmax);
        QVERIFY(sample_pictures::Colourful(slice, {0, sh / 2, sw, sh / 2}) > 100); // the two cuts
        // Each cut crosses the measured pitch angles: most levels hold a value.
        for (int k = 0; k < s.nswps; ++k)
            QVERIFY2(valuesOfCut(s.swpp[static_cast<size_t>(k)], s.thetas[static_cast<size_t>(k)]) >
                         s.swpp[static_cast<size_t>(k)]->n_lev / 2,
                     qPrintable(QString::number(k)));
        const QImage cuts_before = slice.copy(0, sh / 2, sw, sh / 2);
        // A cut at another measured angle draws another row of the mapped primary.
        s.cuts[0]->pangle->setText(QString::number(s.thetas[0] + 30));
        s.actions->button(1)->click();
        QVERIFY(valuesOfCut(s.swpp[0], s.thetas[0]) > s.swpp[0]->n_lev / 2);
        const QImage cuts_after = QImage(QString::fromStdString(out_->file("slice_map_demo.gif"))).copy(0, sh / 2, sw, sh / 2);
        QVERIFY(cuts_after != cuts_before);
        box_->actions->button(4)->click();
        widgets::set_file_dialog_answer({});
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 115); // 114 lines and the empty rest after the last
        QCOMPARE(lines[55], QByteArray("ANALYSIS_OPT = 4"));
        QCOMPARE(lines[113], QByteArray("SLICE_PLOT_STEM = slice_map_demo"));
    }

    // On PGPLOT's X-window server (run under the Xvfb wrapper only): the
    // window number field names the window, and the slice-and-map window
    // opens after the plot.
    void xwinPlot()
    {
        if (qEnvironmentVariableIsEmpty("LUNDER_XWIN"))
            QSKIP("needs the X-window server of the Xvfb wrapper");
        box_->plot_win_edit->setText("256");
        StdoutCapture out;
        box_->actions->button(2)->click();
        QVERIFY(!QString::fromStdString(out.take()).contains("ailed"));
        QCOMPARE(device_open(), 0);
        QVERIFY(box_->swp1 != nullptr);
        QVERIFY(box_->slicewin->isVisible());
    }
};

QTEST_MAIN(LunderTest)
#include "lunder_test.moc"
