// The programs' actions on a broken copy of the sample archive: a fault of a
// configuration, catalog, description, header, data or help file fails the
// action with a line that names it (or leaves the action working), never
// ends or hangs the program, and the same action works once the file is
// mended.  Besides, sessions read the catalog while another process writes
// it, and a catalog kept locked too long is reported as busy; fetch programs
// that fail or never end, and a catalog replaced under a running program,
// leave the next action working.
#include "../widgets/sample_pictures.h"
#include "../widgets/stdout_capture.h"
#include "config_reset.h"
#include "dbBackends.h"
#include "libdbSQL.h"
#include "lunder.h"
#include "mirvek.h"
#include "sample_archive.h"
#include "support.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

// What is put in place of a file of the archive.
enum class Fault { Text, Missing, Folder, Fifo, DevZero };

// How the catalog is broken, and how the operator puts it right.
enum class Replace { EmptyFileThenCopy, NoEntriesThenRename };

// Times a text occurs in another.
int occurrences(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// Whether a process has gone (or is only waiting to be reaped).
bool gone(const std::string &pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const std::size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Replace)

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

    // The catalog writer stand-in on the archive's catalog, once it has
    // taken its first lock.
    void startWriter(QProcess &writer, const QString &seconds, const QString &rate, const QString &holdMs)
    {
        writer.start(QString::fromStdString(kombra_test::ToolsDir() + "/standins/catalog_writer"),
                     {archive_.filePath(QStringLiteral("nurv.db3")), seconds, rate, holdMs});
        QVERIFY(writer.waitForStarted());
        while (!writer.canReadLine())
            QVERIFY(writer.waitForReadyRead(60000));
        QCOMPARE(writer.readLine(), QByteArray("locked\n"));
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

    // Four sessions at a time, twice, read the catalog while another process
    // writes it 14 times a second: every action of every session succeeds.
    void busyCatalog()
    {
        QProcess writer;
        startWriter(writer, QStringLiteral("0"), QStringLiteral("14"), QStringLiteral("20"));
        int sessions = 0;
        for (int round = 0; round < 2; ++round) {
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
        // The writer wrote all along, and without a failed transaction.
        QCOMPARE(writer.state(), QProcess::Running);
        writer.terminate();
        QVERIFY(writer.waitForFinished(60000));
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(sessions, 8);
    }

    // A lock kept past the busy wait (shortened here): the action fails and
    // says that the catalog was busy, not that it is misconfigured.
    void catalogStaysBusy()
    {
        SQLite_dbSetBusyWait(300);
        QProcess writer;
        startWriter(writer, QStringLiteral("3"), QStringLiteral("0.5"), QStringLiteral("2500"));
        const std::string said = plot(false, true).first;
        SQLite_dbSetBusyWait(10000);
        QVERIFY(writer.waitForFinished());
        QVERIFY2(said.find("nurv.db3 was busy: another process kept it locked for more than 0.3 s") !=
                     std::string::npos,
                 said.c_str());
        QVERIFY2(said.find("not configured") == std::string::npos, said.c_str());
    }

    // One lock held by another process while an action runs: one that clears
    // within the busy wait is waited for without a word; one kept longer
    // fails the action after one wait, with one busy line, well before the
    // lock ends.
    void busyOncePerAction_data()
    {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("lock cleared within the wait") << 1500 << 60000 << true;
        QTest::newRow("lock kept past the wait") << 600000 << 1000 << false;
    }

    void busyOncePerAction()
    {
        QFETCH(int, holdMs);
        QFETCH(int, waitMs);
        QFETCH(bool, drawn);
        SQLite_dbSetBusyWait(waitMs);
        QProcess writer;
        startWriter(writer, QStringLiteral("0"), QStringLiteral("0.001"), QString::number(holdMs));
        const auto [said, drew] = plot(false, true);
        const bool stillLocked = writer.state() == QProcess::Running;
        writer.terminate();
        QVERIFY(writer.waitForFinished(60000));
        SQLite_dbSetBusyWait(10000);
        QCOMPARE(drew, drawn);
        QVERIFY2(occurrences(said, "was busy") == (drawn ? 0 : 1), said.c_str());
        if (!drawn)
            QVERIFY(stillLocked);
    }

    // The fetch program of the missing data file leaves half of it and fails,
    // or never ends: the action fails with a line that names the file and
    // says how the program ended, leaves no part of the file, and ends the
    // program's process group; the window could repaint meanwhile.  Once the
    // file is there again the action works.
    void fetchFaults_data()
    {
        QTest::addColumn<QString>("standin");
        QTest::addColumn<QString>("line");
        const QString file = QStringLiteral("Could not promote HSPAD20010901800D from srvA: ");
        QTest::newRow("exits 1 after half the file")
            << "fetch_partial_standin" << file + "fetch_data exited with status 1\n";
        QTest::newRow("never ends") << "fetch_hang_standin"
                                    << file + "fetch_data did not end within 3 s and was stopped\n";
    }

    void fetchFaults()
    {
        QFETCH(QString, standin);
        QFETCH(QString, line);
        cfg_test::ResetConfiguration();
        const fs::path dir = root() + "/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD", remote = root() + "/remote/srvA";
        const fs::path data = dir / "HSPAD20010901800D", onServer = remote / "HSPAD20010901800D";
        const fs::path dbCfg = root() + "/config/DB.cfg", bin = root() + "/bin";
        fs::create_directories(remote);
        fs::create_directories(bin);
        fs::rename(data, onServer);
        // A server for every source, and the stand-in as its fetch program.
        const std::string kept = kombra_test::ReadFile(dbCfg.string());
        std::string cfg = kept;
        const std::size_t items = cfg.find("ITEMS ");
        QVERIFY(items != std::string::npos);
        cfg.insert(cfg.find('\n', items), " \"NetID\"");
        kombra_test::WriteFile(dbCfg.string(), cfg + "NetID.VALUE \"srvA\"\n");
        fs::create_symlink(kombra_test::ToolsDir() + "/standins/" + standin.toStdString(), bin / "fetch_data");
        const std::string pids = out_.filePath(QStringLiteral("fetch.pids")).toStdString();
        fs::remove(pids);
        fs::create_directories(out_.filePath(QStringLiteral("tmp")).toStdString());
        // Only a program that never ends gets a short time limit, so that a
        // slow start is never cut short.
        const bool hangs = standin == QLatin1String("fetch_hang_standin");
        const kombra_test::ScopedEnv env[] = {
            {"KOMBRA_STANDIN_REMOTE", root() + "/remote"},
            {"KOMBRA_STANDIN_ARCHIVE", root() + "/data"},
            {"KOMBRA_STANDIN_PIDS", pids},
            {"KOMBRA_FETCH_TIMEOUT", hangs ? std::optional<std::string>("3") : std::nullopt},
            {"TEMP", out_.filePath(QStringLiteral("tmp")).toStdString()}};

        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(50);
        QElapsedTimer clock;
        clock.start();
        const auto [said, drawnBroken] = plot(false);
        const qint64 took = clock.elapsed();
        timer.stop();
        const bool partLeft = fs::exists(data);

        fs::remove(bin / "fetch_data");
        kombra_test::WriteFile(dbCfg.string(), kept);
        fs::remove(data);
        fs::rename(onServer, data);
        cfg_test::ResetConfiguration();

        QVERIFY2(said.find(line.toStdString()) != std::string::npos, said.c_str());
        QVERIFY2(occurrences(said, "Could not promote") == 1, said.c_str());
        QVERIFY(!drawnBroken);
        QVERIFY(!partLeft);
        QVERIFY(took < 60000);
        if (hangs) {
            QVERIFY(ticks > 0);
            std::ifstream in(pids);
            std::string pid;
            QVERIFY(std::getline(in, pid));
            QElapsedTimer waited;
            waited.start();
            while (!gone(pid) && waited.elapsed() < 30000)
                QTest::qWait(50);
            QVERIFY2(gone(pid), pid.c_str());
        }
        const auto [mended, drawn] = plot(false);
        QVERIFY2(drawn, mended.c_str());
    }

    // A catalog file that is no catalog is refused at open with a line that
    // says so; a catalog the program opened and the operator then replaced is
    // opened afresh, so the next action reads the new file.
    void catalogReplaced_data()
    {
        QTest::addColumn<Replace>("how");
        QTest::addColumn<QString>("line");  // %1, when there: the archive
        QTest::newRow("empty file, then removed and copied back")
            << Replace::EmptyFileThenCopy
            << "Cannot open the catalog: ERROR: Can not open NURV database - sqlite3_open - %1/nurv.db3 is not a "
               "catalog: no table hierarchy, hd_entries, v_entries!\n";
        QTest::newRow("no entries, then a good copy renamed in place")
            << Replace::NoEntriesThenRename << "MIRVEK failed initial Get Sweeps returning";
    }

    void catalogReplaced()
    {
        QFETCH(Replace, how);
        QFETCH(QString, line);
        cfg_test::ResetConfiguration();
        dbClose();
        const fs::path catalog = root() + "/nurv.db3", good = root() + "/good.db3";
        fs::copy_file(catalog, good, fs::copy_options::overwrite_existing);
        if (how == Replace::EmptyFileThenCopy) {
            kombra_test::WriteFile(catalog.string(), "");
        } else {
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(catalog.c_str(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "DELETE FROM hd_entries;", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const auto [broken, drawnBroken] = plot(false);
        if (how == Replace::EmptyFileThenCopy) {
            fs::remove(catalog);
            fs::copy_file(good, catalog);
            fs::remove(good);
        } else {
            fs::rename(good, catalog);
        }
        const QString expected = line.contains(QLatin1String("%1")) ? line.arg(archive_.path()) : line;
        QVERIFY2(broken.find(expected.toStdString()) != std::string::npos, broken.c_str());
        QVERIFY(!drawnBroken);
        const auto [mended, drawn] = plot(false);
        QVERIFY2(drawn, mended.c_str());
    }
};

QTEST_MAIN(ArchiveFaultsTest)
#include "archive_faults_test.moc"
