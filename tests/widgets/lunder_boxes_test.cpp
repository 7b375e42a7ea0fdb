// Lunder's lineage box, time box and sweep source panel: items and
// defaults, the lineage handed to the reader, forcing gathering for
// pitch-angle binning, the date and day-of-year bookkeeping, and advancing
// to the next segment through the reader's end-time search.
#include "lunder_boxes.h"
#include "stdout_capture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <cstring>

namespace {

// The start time shown by a panel, as year, day and time of day.
struct Shown {
    int year, doy;
    QTime time;
    bool operator==(const Shown &) const = default;
};

Shown shown(const lunder::TimeBox *tb)
{
    return {tb->YearspinBox->value(), tb->DoyspinBox->value(), tb->timeEdit->time()};
}

char *toString(const Shown &s)
{
    return QTest::toString(QStringLiteral("%1/%2 %3").arg(s.year).arg(s.doy).arg(s.time.toString("HH:mm:ss")));
}

} // namespace

class LunderBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void lineageBox()
    {
        lunder::LineageBox box;
        QCOMPARE(box.proj->count(), 3);
        QCOMPARE(box.miss->count(), 7);
        QCOMPARE(box.exp->count(), 1);
        QCOMPARE(box.inst->count(), 12);
        QCOMPARE(box.virins->count(), 49);
        QCOMPARE(box.miss->itemText(4), QStringLiteral("C1234"));
        QCOMPARE(box.miss->itemText(6), QStringLiteral("TC-2"));
        QCOMPARE(box.inst->itemText(11), QStringLiteral("RPAD"));
        QCOMPARE(box.virins->itemText(48), QStringLiteral("DPRPADH"));
        QCOMPARE(box.proj->currentText(), QStringLiteral("CLUSTERII"));
    }

    void panelDefaults()
    {
        lunder::SweepBox panel(1, Qt::Horizontal);
        NURV_LINEAGE_S l;
        std::memset(&l, 'z', sizeof l);
        l.vsn = 7;
        panel.transfer_lineage(&l);
        QCOMPARE(QString(l.project), QStringLiteral("CLUSTERII"));
        QCOMPARE(QString(l.mission), QStringLiteral("CLUSTER-2"));
        QCOMPARE(QString(l.experiment), QStringLiteral("HALDE"));
        QCOMPARE(QString(l.instrument), QStringLiteral("PAD"));
        QCOMPARE(QString(l.virtual_inst), QStringLiteral("CPPADL"));
        QCOMPARE(QString(l.exten), QString());
        QCOMPARE(l.vsn, 7);
        QCOMPARE(panel.gatherchoice->currentText(), QStringLiteral("No gathering"));
        QCOMPARE(panel.npa->text(), QStringLiteral("13"));
        QCOMPARE(panel.sc_pot_gap->text(), QStringLiteral("60.0"));
        QCOMPARE(panel.onecount_mult->text(), QStringLiteral("1.0"));
        NURV_TIME_S t;
        panel.transfer_sweep_times(&t);
        QCOMPARE(t.year, 2001);
        QCOMPARE(t.doy, 90);
        QCOMPARE(t.sec, 18 * 3600);
        QCOMPARE(t.nano, 0);
        QCOMPARE(panel.timebox->dateEdit->date(), QDate(2001, 3, 31));
        QCOMPARE(panel.timebox->dateEdit->displayFormat(), QStringLiteral("yyyy-MM-dd"));
        QCOMPARE(panel.timebox->timeEdit->displayFormat(), QStringLiteral("HH:mm:ss"));
    }

    void lineageFromBoxAndLongLabels()
    {
        lunder::LineageBox box;
        lunder::SweepBox panel(1, Qt::Horizontal);
        box.miss->setCurrentIndex(5);
        box.virins->setCurrentIndex(45);
        panel.SetLineage(&box);
        QCOMPARE(panel.mission->text(), QStringLiteral("TC-1"));
        QCOMPARE(panel.virins->text(), QStringLiteral("DP3DF"));
        panel.inst->setText(QString(250, QLatin1Char('I')));
        NURV_LINEAGE_S l{};
        panel.transfer_lineage(&l);
        QCOMPARE(std::strlen(l.instrument), size_t(99));
        QCOMPARE(QString(l.virtual_inst), QStringLiteral("DP3DF"));
    }

    void forceGather_data()
    {
        QTest::addColumn<int>("gather");
        QTest::addColumn<int>("pa");
        QTest::addColumn<int>("gatherAfter");
        QTest::addColumn<QString>("nAfter");
        QTest::newRow("angles, no gathering") << 3 << 1 << 1 << "1";
        QTest::newRow("cosines, no gathering") << 3 << 2 << 1 << "1";
        QTest::newRow("angles, sweeps") << 0 << 1 << 0 << "5";
        QTest::newRow("no binning, no gathering") << 3 << 0 << 3 << "5";
    }
    void forceGather()
    {
        QFETCH(int, gather);
        QFETCH(int, pa);
        lunder::SweepBox panel(1, Qt::Horizontal);
        panel.gatherchoice->setCurrentIndex(gather);
        panel.gathern->setText("5");
        panel.pachoice->setCurrentIndex(pa);
        emit panel.pachoice->activated(pa);
        QTEST(panel.gatherchoice->currentIndex(), "gatherAfter");
        QTEST(panel.gathern->text(), "nAfter");
    }

    void dayOfYearToDate_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("doy");
        QTest::addColumn<int>("doyAfter");
        QTest::addColumn<QDate>("date");
        QTest::newRow("day 60 of 2004") << 2004 << 60 << 60 << QDate(2004, 2, 29);
        QTest::newRow("day 60 of 2001") << 2001 << 60 << 60 << QDate(2001, 3, 1);
        QTest::newRow("day 366 of 2004") << 2004 << 366 << 366 << QDate(2004, 12, 31);
        QTest::newRow("day 366 of 2001 refused") << 2001 << 366 << 365 << QDate(2001, 12, 31);
    }
    void dayOfYearToDate()
    {
        QFETCH(int, year);
        QFETCH(int, doy);
        lunder::TimeBox tb;
        tb.YearspinBox->setValue(year);
        tb.DoyspinBox->setValue(doy);
        QTEST(tb.DoyspinBox->value(), "doyAfter");
        QTEST(tb.dateEdit->date(), "date");
        // From a leap year's last day into a common year.
        tb.YearspinBox->setValue(2004);
        tb.DoyspinBox->setValue(366);
        tb.YearspinBox->setValue(2003);
        QCOMPARE(tb.DoyspinBox->value(), 365);
        QCOMPARE(tb.dateEdit->date(), QDate(2003, 12, 31));
    }

    void dateToDayOfYear_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("doy");
        QTest::newRow("1949 ignored") << QDate(1949, 12, 31) << 2001 << 90;
        QTest::newRow("1950 copied") << QDate(1950, 1, 1) << 1950 << 1;
        QTest::newRow("2100 copied") << QDate(2100, 12, 31) << 2100 << 365;
        QTest::newRow("typed date kept") << QDate(2004, 2, 29) << 2004 << 60;
    }
    void dateToDayOfYear()
    {
        QFETCH(QDate, date);
        lunder::TimeBox tb;
        tb.dateEdit->setDate(date);
        QTEST(tb.YearspinBox->value(), "year");
        QTEST(tb.DoyspinBox->value(), "doy");
        QCOMPARE(tb.dateEdit->date(), date);
    }

    void timeFields()
    {
        lunder::TimeBox tb;
        tb.setSMinute(30);
        tb.setSSecond(15);
        QCOMPARE(tb.timeEdit->time(), QTime(18, 30, 15));
        tb.setSHour(24);
        tb.setSSecond(60);
        tb.setSMinute(-1);
        QCOMPARE(tb.timeEdit->time(), QTime(18, 30, 15));
    }

    // ---- Advance to next segment -------------------------------------------
    void nextSegmentBySeconds()
    {
        lunder::SweepBox panel(1, Qt::Horizontal);
        panel.gatherchoice->setCurrentIndex(2);
        panel.gathern->setText("12.5");
        panel.timebox->setSHour(23);
        panel.timebox->setSMinute(59);
        panel.timebox->setSSecond(55);
        panel.slotNextSegment(); // 00:00:07.5 of the next day rounds down
        QCOMPARE(shown(panel.timebox), (Shown{2001, 91, QTime(0, 0, 7)}));
        QCOMPARE(panel.timebox->dateEdit->date(), QDate(2001, 4, 1));
    }

    void nextSegmentBySpins_data()
    {
        QTest::addColumn<int>("gather");
        QTest::addColumn<int>("pa");
        QTest::addColumn<QString>("n");
        QTest::addColumn<int>("searchGather");
        QTest::addColumn<int>("searchN");
        QTest::newRow("no gathering is one spin") << 3 << 0 << "7" << 1 << 1;
        QTest::newRow("n spins") << 1 << 2 << "4" << 1 << 4;
        QTest::newRow("n sweeps") << 0 << 0 << "3" << 0 << 3;
    }
    void nextSegmentBySpins()
    {
        QFETCH(int, gather);
        QFETCH(int, pa);
        QFETCH(QString, n);
        lunder::SweepBox panel(1, Qt::Horizontal);
        panel.gatherchoice->setCurrentIndex(gather);
        panel.pachoice->setCurrentIndex(pa);
        panel.gathern->setText(n);
        panel.virins->setText("CPPADH");
        int got_gather = -1, got_n = -1, got_pa = -1;
        QString got_virins;
        panel.setSpinEndTimeSearch([&](NURV_LINEAGE_S *l, NURV_TIME_S *start, NURV_TIME_S *end, int do_pa,
                                       int g, int count) {
            got_gather = g;
            got_n = count;
            got_pa = do_pa;
            got_virins = QString::fromLatin1(l->virtual_inst);
            *end = *start;
            end->sec += 3600 + 4;           // 19:00:04.6, less half a second
            end->nano = 600000000;
            return 1;
        });
        panel.slotNextSegment();
        QTEST(got_gather, "searchGather");
        QTEST(got_n, "searchN");
        QCOMPARE(got_pa, pa != 0 ? 1 : 0);
        QCOMPARE(got_virins, QStringLiteral("CPPADH"));
        // Spins end half a second early and round down, sweeps 1 ms late
        // and round up.
        const QTime expect = gather == 0 ? QTime(19, 0, 5) : QTime(19, 0, 4);
        QCOMPARE(shown(panel.timebox), (Shown{2001, 90, expect}));

        panel.timebox->setSHour(18);
        panel.timebox->setSSecond(0);
        panel.setSpinEndTimeSearch([](NURV_LINEAGE_S *, NURV_TIME_S *start, NURV_TIME_S *end, int, int, int) {
            *end = *start;
            end->sec += 60; // 18:01:00.2 less half a second is 18:00:59.7: second 60 carries
            end->nano = 200000000;
            return 1;
        });
        if (gather != 0) {
            panel.slotNextSegment();
            QCOMPARE(shown(panel.timebox), (Shown{2001, 90, QTime(18, 1, 0)}));
        }
    }

    void nextSegmentFailedSearch()
    {
        lunder::SweepBox panel(1, Qt::Horizontal);
        panel.setSpinEndTimeSearch([](NURV_LINEAGE_S *, NURV_TIME_S *, NURV_TIME_S *, int, int, int) { return -7; });
        StdoutCapture out;
        panel.slotNextSegment();
        QCOMPARE(out.take(), std::string("nurv_n_spin_sweep_etime in slotNextSegment returned -7\n"));
        QCOMPARE(shown(panel.timebox), (Shown{2001, 90, QTime(17, 59, 59)}));

        lunder::SweepBox unhooked(1, Qt::Horizontal);
        StdoutCapture out2;
        unhooked.slotNextSegment();
        QCOMPARE(out2.take(), std::string("nurv_n_spin_sweep_etime in slotNextSegment returned -501\n"));
    }
};

QTEST_MAIN(LunderBoxesTest)
#include "lunder_boxes_test.moc"
