// Both programs on the default sample archive through every catalog back
// end: the dBASE tables (KOMBRA_DB_TYPE unset), the SQLite file and a MySQL
// database loaded from the sample's statements on the private MariaDB test
// server.  The scripted Mirvek session of scripts/run-sample runs on each;
// then each row of a table presses "Print to File" on a fresh window with its
// defaults (Mirvek's spectrogram of CLUSTER-1's CPPADH, Lunder's wheel of
// CLUSTER-2's CPPADL), with and without pitch-angle binning, and checks that
// a picture was drawn, nothing failed on the way, and the ranges written back
// agree between the back ends.
#include "dbBackends.h"
#include "libdbSQL.h"
#include "lunder.h"
#include "lunder_boxes.h"
#include "mirvek.h"
#include "mirvek_boxes.h"
#include "mirvek_script.h"
#include "mysql_catalog_fixture.h"
#include "sample_archive.h"
#include "sample_pictures.h"
#include "stdout_capture.h"
#include "support.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSet>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <string>

class SampleBackendsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<kombra_test::TempDir> root_, out_;
    std::unique_ptr<kombra_fixtures::MysqlCatalog> mysql_;
    // The colour and energy ranges an action wrote back, by program and
    // binning, from the first back end that drew it.
    QMap<QString, QString> ranges_;

    // Points the next catalog opening at the back end named.
    bool chooseBackEnd(const QString &backEnd)
    {
        dbClose();  // the MySQL back end forgets its database name here
        if (backEnd == QLatin1String("dBASE")) {
            qunsetenv("KOMBRA_DB_TYPE");
            return true;
        }
        qputenv("KOMBRA_DB_TYPE", backEnd.toLatin1());
        if (backEnd == QLatin1String("MySQL")) {
            if (!mysql_)
                return false;
            MySQL_dbSetDatabaseName(mysql_->name().c_str());
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        root_ = std::make_unique<kombra_test::TempDir>();
        out_ = std::make_unique<kombra_test::TempDir>();
        kombra_sample::SampleOptions options;
        options.docDir = kombra_test::SourceDir() + "/doc";
        kombra_sample::WriteSampleArchive(root_->str(), options);
        qputenv("KOMBRA_CONFIG", QByteArray::fromStdString(root_->file("config")));
        qputenv("KOMBRA_DATA", QByteArray::fromStdString(root_->str()));
        qputenv("KOMBRA_HOME", QByteArray::fromStdString(root_->str()));
        qputenv("VELORA_HOME", QByteArray::fromStdString(root_->str()));
        qputenv("PGPLOT_DIR", "/usr/lib/pgplot5");
        qunsetenv("DISPLAY");
        // The sample's statements loaded as the README says: the project's
        // schema and functions, then the rows.
        if (const auto server = kombra_test::TestMariaDb()) {
            // The client library reads the socket once, at its first use.
            qputenv("MYSQL_UNIX_PORT", QByteArray::fromStdString(server->socket));
            qputenv("MYSQL_PWD", QByteArray::fromStdString(kombra_fixtures::MysqlLoginPassword()));
            const std::string sql = kombra_test::SourceDir() + "/libdbSQL/sql/";
            mysql_ = std::make_unique<kombra_fixtures::MysqlCatalog>(
                server->socket,
                std::vector<std::string>{sql + "catalog_schema.sql", sql + "catalog_functions.sql",
                                         root_->file("nurv.sql")});
        }
    }

    void cleanupTestCase()
    {
        dbClose();
        mysql_.reset();
    }

    void scriptedSession_data()
    {
        QTest::addColumn<QString>("backEnd");
        for (const char *backEnd : {"dBASE", "SQLite", "MySQL"})
            QTest::newRow(backEnd) << QString::fromLatin1(backEnd);
    }
    void scriptedSession()
    {
        QFETCH(QString, backEnd);
        QVERIFY2(chooseBackEnd(backEnd), "no test MariaDB server: run this test through ctest");
        const std::string dir = out_->file("session_" + backEnd.toStdString());
        std::filesystem::create_directories(dir);
        StdoutCapture out, err(2);
        int failures = 0;
        {
            MirvekBox box;
            failures = run_mirvek_session(box, QString::fromStdString(dir));
        }
        const std::string printed = out.take();
        const std::string errors = err.take();
        QCOMPARE(failures, 0);
        for (const char *failure : {"ail", "rror", "Ignoring"})
            QVERIFY2(printed.find(failure) == std::string::npos && errors.find(failure) == std::string::npos,
                     (printed + errors).c_str());
        // A spectrogram and a wheel per sweep of the default minute, and the
        // same sweeps exported.
        const auto count = [&](const std::string &text) {
            long n = 0;
            for (auto at = printed.find(text); at != std::string::npos; at = printed.find(text, at + 1))
                ++n;
            return n;
        };
        QCOMPARE(count(": GIF picture 850 x 680 pixels"), 1L + 17L);
        QCOMPARE(count("mirvek_data.cef: CEF 2 text, "), 1L);
        QCOMPARE(count(" 17 data records"), 1L);
        QCOMPARE(count("mirvek_data.cdf: CDF file, "), 1L);
    }

    void defaultsDraw_data()
    {
        QTest::addColumn<QString>("backEnd");
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("pitchAngles");
        for (const char *backEnd : {"dBASE", "SQLite", "MySQL"})
            for (const char *program : {"Mirvek", "Lunder"})
                for (const bool pa : {false, true})
                    QTest::addRow("%s, %s, %s", backEnd, program, pa ? "pa: angles" : "no pa binning")
                        << QString::fromLatin1(backEnd) << QString::fromLatin1(program) << pa;
    }
    void defaultsDraw()
    {
        QFETCH(QString, backEnd);
        QFETCH(QString, program);
        QFETCH(bool, pitchAngles);
        QVERIFY2(chooseBackEnd(backEnd), "no test MariaDB server: run this test through ctest");
        const QString stem = QString::fromStdString(
            out_->file((backEnd + QLatin1Char('_') + program + (pitchAngles ? "_pa" : "")).toStdString()));

        StdoutCapture out, err(2);
        QString picture, ranges;
        bool slices = true, binned = pitchAngles;  // Lunder's slices say what they hold
        if (program == QLatin1String("Mirvek")) {
            MirvekBox box;
            box.lineage->pachoice->setCurrentIndex(pitchAngles ? 1 : 0);
            box.plot_file_edit->setText(stem);
            box.findChild<QPushButton *>(QStringLiteral("Print to File"))->click();
            picture = box.writtenFiles().value(0);
            ranges = box.psdmin->text() + ' ' + box.psdmax->text() + ' ' + box.emin->text() + ' ' + box.emax->text();
        } else {
            LunderBox box;
            for (lunder::SweepBox *panel : {box.prim_sweep, box.sec_sweep}) {
                // As a user chooses it, so that gathering follows.
                panel->pachoice->setCurrentIndex(pitchAngles ? 1 : 0);
                emit panel->pachoice->activated(panel->pachoice->currentIndex());
            }
            box.plot_file_edit->setText(stem);
            box.actions->button(1)->click();
            slices = box.swp1 != nullptr && box.swp2 != nullptr;
            binned = slices && QByteArray(box.swp1->lineage->virtual_inst).endsWith("_pa") &&
                     QByteArray(box.swp2->lineage->virtual_inst).endsWith("_pa");
            picture = stem + QStringLiteral(".gif");
            ranges = box.psdmin->text() + ' ' + box.psdmax->text() + ' ' + box.emin->text() + ' ' + box.emax->text();
        }
        const std::string printed = out.take() + err.take();
        for (const char *failure : {"ail", "rror", "no data", "No data", "Ignoring"})
            QVERIFY2(printed.find(failure) == std::string::npos, printed.c_str());
        QVERIFY(slices);
        QCOMPARE(binned, pitchAngles);
        QCOMPARE(picture, stem + QStringLiteral(".gif"));
        const QImage image(picture);
        QVERIFY2(!image.isNull(), qPrintable(picture));
        QVERIFY(sample_pictures::PaintedColours(image) > 20);
        // Every back end hands the programs the same sweeps.
        const QString drawn = program + (pitchAngles ? " pa" : "");
        if (ranges_.contains(drawn))
            QCOMPARE(ranges, ranges_.value(drawn));
        ranges_.insert(drawn, ranges);
    }
};

QTEST_MAIN(SampleBackendsTest)
#include "backends_test.moc"
