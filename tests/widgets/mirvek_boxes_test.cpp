// Mirvek's time and lineage boxes: defaults and places, the times and
// lineage handed on, copying the start to the end, and the date and
// day-of-year bookkeeping of both times.
#include "mirvek_boxes.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <cstring>

class MirvekBoxesTest : public QObject {
    Q_OBJECT

private slots:
    void timeDefaults()
    {
        mirvek::TimeBox tb;
        NURV_TIME_S start, end;
        tb.GetStartTimeFromTimeBox(&start);
        tb.GetEndTimeFromTimeBox(&end);
        QCOMPARE(start.year, 2001);
        QCOMPARE(start.doy, 90);
        QCOMPARE(start.sec, 18 * 3600);
        QCOMPARE(end.year, 2001);
        QCOMPARE(end.doy, 90);
        QCOMPARE(end.sec, 18 * 3600 + 60);
        QCOMPARE(end.nano, 0);
        QCOMPARE(tb.StartdateEdit->date(), QDate(2001, 3, 31));
        QCOMPARE(tb.EnddateEdit->date(), QDate(2001, 3, 31));
        QCOMPARE(tb.CopyTimepushButton->text(), QStringLiteral(">"));
        QCOMPARE(tb.EnddateEdit->geometry(), QRect(289, 105, 100, 23));
        QCOMPARE(tb.etimeEdit->geometry(), QRect(405, 60, 84, 23));
        QCOMPARE(tb.bYearspinBox->minimum(), 1900);
        QCOMPARE(tb.eDoyspinBox->maximum(), 366);
        QVERIFY(tb.eDoyspinBox->wrapping());
        QVERIFY(tb.width() >= 522 && tb.height() >= 531);
        QVERIFY(tb.title().isEmpty());
    }

    void copyTime()
    {
        mirvek::TimeBox tb;
        tb.bYearspinBox->setValue(2004);
        tb.bDoyspinBox->setValue(60);
        tb.setSMinute(42);
        tb.setSSecond(7);
        tb.CopyTimepushButton->click();
        NURV_TIME_S start, end;
        tb.GetStartTimeFromTimeBox(&start);
        tb.GetEndTimeFromTimeBox(&end);
        QCOMPARE(end.year, start.year);
        QCOMPARE(end.doy, start.doy);
        QCOMPARE(end.sec, start.sec);
        QCOMPARE(tb.EnddateEdit->date(), QDate(2004, 2, 29));
    }

    void dates_data()
    {
        QTest::addColumn<bool>("end");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("doy");
        for (bool end : {false, true}) {
            const char *which = end ? "end" : "start";
            QTest::addRow("%s 1949-12-31 ignored", which) << end << QDate(1949, 12, 31) << 2001 << 90;
            QTest::addRow("%s 1950-01-01", which) << end << QDate(1950, 1, 1) << 1950 << 1;
            QTest::addRow("%s typed leap day kept", which) << end << QDate(2004, 2, 29) << 2004 << 60;
        }
    }
    void dates()
    {
        QFETCH(bool, end);
        QFETCH(QDate, date);
        mirvek::TimeBox tb;
        QDateEdit *edit = end ? tb.EnddateEdit : tb.StartdateEdit;
        edit->setDate(date);
        QTEST((end ? tb.eYearspinBox : tb.bYearspinBox)->value(), "year");
        QTEST((end ? tb.eDoyspinBox : tb.bDoyspinBox)->value(), "doy");
        QCOMPARE(edit->date(), date);
    }

    void dayOfYear()
    {
        mirvek::TimeBox tb;
        tb.eDoyspinBox->setValue(366);
        QCOMPARE(tb.eDoyspinBox->value(), 365);
        QCOMPARE(tb.EnddateEdit->date(), QDate(2001, 12, 31));
        tb.bYearspinBox->setValue(2004);
        tb.bDoyspinBox->setValue(366);
        QCOMPARE(tb.StartdateEdit->date(), QDate(2004, 12, 31));
        tb.bYearspinBox->setValue(1949);
        QCOMPARE(tb.StartdateEdit->date(), QDate(1949, 12, 31));
        QCOMPARE(tb.bYearspinBox->value(), 1949);
        QCOMPARE(tb.bDoyspinBox->value(), 365);
    }

    void endTimeFields()
    {
        mirvek::TimeBox tb;
        tb.setEHour(7);
        tb.setESecond(30);
        tb.setEMinute(99);
        QCOMPARE(tb.etimeEdit->time(), QTime(7, 1, 30));
        QCOMPARE(tb.btimeEdit->time(), QTime(18, 0, 0));
    }

    void lineage()
    {
        mirvek::LineageBox box;
        NURV_LINEAGE_S l;
        std::memset(&l, 'z', sizeof l);
        l.vsn = 3;
        box.grab_lineage(&l);
        QCOMPARE(QString(l.project), QStringLiteral("CLUSTERII"));
        QCOMPARE(QString(l.mission), QStringLiteral("CLUSTER-1"));
        QCOMPARE(QString(l.experiment), QStringLiteral("HALDE"));
        QCOMPARE(QString(l.instrument), QStringLiteral("PAD"));
        QCOMPARE(QString(l.virtual_inst), QStringLiteral("CPPADH"));
        QCOMPARE(QString(l.exten), QString());
        QCOMPARE(l.vsn, 3);
        QCOMPARE(box.gatherchoice->count(), 3);
        QCOMPARE(box.gatherchoice->itemText(2), QStringLiteral("Gather n.n secs"));
        QCOMPARE(box.pachoice->itemText(2), QStringLiteral("pa: cosines"));
        QCOMPARE(box.npa->text(), QStringLiteral("13"));
        QCOMPARE(box.gathern->text(), QStringLiteral("1"));
        QCOMPARE(box.virins->count(), 49);
        box.miss->setCurrentIndex(4);
        box.grab_lineage(&l);
        QCOMPARE(QString(l.mission), QStringLiteral("C1234"));
    }
};

QTEST_MAIN(MirvekBoxesTest)
#include "mirvek_boxes_test.moc"
