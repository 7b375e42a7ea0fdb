// The programs' actions on a broken copy of the sample archive: a fault of a
// configuration, catalog, description, header, data or help file fails the
// action with a line that names it (or leaves the action working), never
// ends or hangs the program, and the same action works once the file is
// mended.  Besides, sessions read the catalog while another process writes
// it, and a catalog kept locked too long is reported as busy.
#include "../widgets/sample_pictures.h"
#include "../widgets/stdout_capture.h"
#include "config_reset.h"
#include "dbBackends.h"
#include "libdbSQL.h"
#include "lunder.h"
#include "mirvek.h"
#include "sample_archive.h"
#include "support.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// What is put in place of a file of the archive.
enum class Fault { Text, Missing, Folder, Fifo, DevZero };

} // namespace

Q_DECLARE_METATYPE(Fault)

class ArchiveFaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir archive_, out_;
    std::string root() const { return archive_.path().toStdString(); }

    // One plot of the program into a GIF: what it printed (with the
    // standard error when asked), and whether it wrote its picture.
    std::pair<std::string, bool> plot(bool lunder, bool withStderr = false)
    {
        const std::string stem = out_.filePath(QStringLiteral("plot")).toStdString();
        fs::remove(stem + ".gif");
        StdoutCapture capture;
        const int stderrFd = withStderr ? dup(2) : -1;
        if (withStderr)
            dup2(1, 2);
        if (lunder) {
            LunderBox box;
            box.plot_file_edit->setText(QString::fromStdString(stem));
            box.slotActions(1);
        } else {
            MirvekBox box;
            box.plot_file_edit->setText(QString::fromStdString(stem));
            box.findChild<QPushButton *>(QStringLiteral("Print to File"))->click();
        }
        if (withStderr) {
            dup2(stderrFd, 2);
            close(stderrFd);
        }
        return {capture.take(), fs::exists(stem + ".gif")};
    }

private slots:
    void initTestCase()
    {
        kombra_sample::SampleOptions options;
        options.docDir = kombra_test::SourceDir() + "/doc";
        kombra_sample::WriteSampleArchive(root(), options);
        const QByteArray at = archive_.path().toLocal8Bit();
        sample_pictures::UseSampleArchive(at);
        qunsetenv("DISPLAY");
    }

    void faults_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("lunder");
        QTest::addColumn<QString>("line");  // %1: the archive; empty: the plot is drawn all the same
        const QString strings = QStringLiteral("PROJECTS configuration %1/config/PROJECTS.cfg has no usable "
                                               "top-level Strings list of projects\n");
        const QString header = QStringLiteral("data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010901800");
        QTest::newRow("PROJECTS.cfg empty") << "config/PROJECTS.cfg" << Fault::Text << QByteArray() << false << strings;
        QTest::newRow("PROJECTS.cfg Strongs") << "config/PROJECTS.cfg" << Fault::Text
                                              << QByteArray("Strongs \"CLUSTERII\"\n") << false << strings;
        QTest::newRow("PROJECTS.cfg only a comment")
            << "config/PROJECTS.cfg" << Fault::Text << QByteArray("# Strings \"CLUSTERII\"\n") << true << strings;
        QTest::newRow("PROJECTS.cfg NUL in a name") << "config/PROJECTS.cfg" << Fault::Text
                                                    << QByteArray("Strings \"CLUS\0TERII\"\n", 21) << false << strings;
        QTest::newRow("PROJECTS.cfg a folder")
            << "config/PROJECTS.cfg" << Fault::Folder << QByteArray() << false
            << "Cannot read PROJECTS configuration %1/config/PROJECTS.cfg: Is a directory\n";
        QTest::newRow("PROJECTS.cfg a FIFO")
            << "config/PROJECTS.cfg" << Fault::Fifo << QByteArray() << true
            << "Cannot read PROJECTS configuration %1/config/PROJECTS.cfg: not a regular file\n";
        QTest::newRow("DB.cfg missing") << "config/DB.cfg" << Fault::Missing << QByteArray() << false
                                        << "Cannot read DB configuration: no readable DB.cfg in $KOMBRA_CONFIG "
                                           "(%1/config) or $KOMBRA_HOME/config (%1/config)\n";
        QTest::newRow("DB.cfg without ITEMS")
            << "config/DB.cfg" << Fault::Text << QByteArray("LEVELS \"CLUSTERII\"\n") << false
            << "Cannot read DB configuration %1/config/DB.cfg: no usable ITEMS or LEVELS list\n";
        QTest::newRow("kombra.cfg a FIFO") << "config/kombra.cfg" << Fault::Fifo << QByteArray() << false << "";
        QTest::newRow("catalog missing")
            << "nurv.db3" << Fault::Missing << QByteArray() << true
            << "Cannot open the catalog: ERROR: Cannot find database file! - %1/nurv.db3: No such file or "
               "directory (KOMBRA_DATA names its folder)!\n";
        QTest::newRow("catalog a link to /dev/zero")
            << "nurv.db3" << Fault::DevZero << QByteArray() << false
            << "Cannot open the catalog: ERROR: Can not open NURV database - sqlite3_open - %1/nurv.db3: not a "
               "regular file (KOMBRA_DATA names its folder)!\n";
        QTest::newRow("description a FIFO")
            << "data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010010000V.v3" << Fault::Fifo << QByteArray()
            << false << "file_open returned -812\n";
        QTest::newRow("header a FIFO") << header + "H" << Fault::Fifo << QByteArray() << false
                                       << "file_open returned -120\n";
        QTest::newRow("data a link to /dev/zero")
            << header + "D" << Fault::DevZero << QByteArray() << false << "file_open returned -121\n";
        QTest::newRow("help page a FIFO") << "doc/mirvek.html" << Fault::Fifo << QByteArray() << false << "";
    }

    // The file broken, the action run as in a fresh program (nothing loaded
    // yet), then mended and the action run again in the same process.
    void faults()
    {
        QFETCH(QString, file);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, text);
        QFETCH(bool, lunder);
        QFETCH(QString, line);
        cfg_test::ResetConfiguration();
        dbClose();
        const fs::path path = root() + "/" + file.toStdString(), kept = root() + "/kept";
        fs::rename(path, kept);
        switch (fault) {
        case Fault::Text: kombra_test::WriteFile(path.string(), text.toStdString()); break;
        case Fault::Missing: break;
        case Fault::Folder: fs::create_directory(path); break;
        case Fault::Fifo: QCOMPARE(mkfifo(path.c_str(), 0600), 0); break;
        case Fault::DevZero: fs::create_symlink("/dev/zero", path); break;
        }
        const auto [broken, drawnBroken] = plot(lunder);
        fs::remove(path);
        fs::rename(kept, path);
        const std::string expected = line.arg(archive_.path()).toStdString();
        QVERIFY2(broken.find(expected) != std::string::npos, broken.c_str());
        QCOMPARE(drawnBroken, line.isEmpty());
        const auto [mended, drawn] = plot(lunder);
        QVERIFY2(drawn, mended.c_str());
    }

    // Four sessions at a time read the catalog while another process writes
    // it 14 times a second: every action of every session succeeds.
    void busyCatalog()
    {
        QProcess writer;
        writer.start(QString::fromStdString(kombra_test::ToolsDir() + "/standins/catalog_writer"),
                     {archive_.filePath(QStringLiteral("nurv.db3")), QStringLiteral("4"), QStringLiteral("14"),
                      QStringLiteral("20")});
        QVERIFY(writer.waitForStarted());
        int sessions = 0;
        while (!writer.waitForFinished(0) && writer.state() != QProcess::NotRunning) {
            QProcess readers[4];
            for (int i = 0; i < 4; ++i) {
                const QString dir = out_.filePath(QStringLiteral("session%1").arg(i));
                QDir().mkpath(dir);
                readers[i].setProcessChannelMode(QProcess::MergedChannels);
                readers[i].start(QStringLiteral(MIRVEK_SESSION), {dir});
            }
            for (QProcess &r : readers) {
                QVERIFY(r.waitForFinished(60000));
                const QByteArray said = r.readAll();
                QVERIFY2(r.exitStatus() == QProcess::NormalExit && r.exitCode() == 0, said.constData());
                QVERIFY2(!said.contains("busy") && !said.contains("locked"), said.constData());
                ++sessions;
            }
        }
        QCOMPARE(writer.exitCode(), 0);
        QVERIFY(sessions >= 8);
    }

    // A lock kept past the busy wait (shortened here): the action fails and
    // says that the catalog was busy, not that it is misconfigured.
    void catalogStaysBusy()
    {
        SQLite_dbSetBusyWait(300);
        QProcess writer;
        writer.start(QString::fromStdString(kombra_test::ToolsDir() + "/standins/catalog_writer"),
                     {archive_.filePath(QStringLiteral("nurv.db3")), QStringLiteral("3"), QStringLiteral("0.5"),
                      QStringLiteral("2500")});
        QVERIFY(writer.waitForStarted());
        QTest::qWait(300);
        const std::string said = plot(false, true).first;
        SQLite_dbSetBusyWait(10000);
        QVERIFY(writer.waitForFinished());
        QVERIFY2(said.find("nurv.db3 was busy: another process kept it locked for more than 0.3 s") !=
                     std::string::npos,
                 said.c_str());
        QVERIFY2(said.find("not configured") == std::string::npos, said.c_str());
    }
};

QTEST_MAIN(ArchiveFaultsTest)
#include "archive_faults_test.moc"
