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

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What is put in place of a file of the archive; Field: the widget settings
// of the text column ("name=value;...") in the broken run only; FullDisk:
// the action writes onto a small file system with neither room nor inodes
// left, beside an earlier file of its name.
enum class Fault { Text, Missing, Folder, Fifo, DevZero, Field, FullDisk };
// The action run, and the file it writes (under the output folder).
enum class Action { MirvekPlot, LunderPlot, MirvekWheels, MirvekExport };

const char *OutputName(Action action)
{
    switch (action) {
    case Action::MirvekWheels: return "wheel1.gif";
    case Action::MirvekExport: return "data.cef";
    default: return "plot.gif";
    }
}

// Sets the fields and combos named in "name=value;..." (combos by index).
void ApplySettings(QWidget *box, const QString &settings)
{
    for (const QString &setting : settings.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = setting.section(QLatin1Char('='), 0, 0);
        const QString value = setting.section(QLatin1Char('='), 1);
        if (auto *edit = box->findChild<QLineEdit *>(name))
            edit->setText(value);
        else if (auto *combo = box->findChild<QComboBox *>(name))
            combo->setCurrentIndex(value.toInt());
        else
            QFAIL(qPrintable("no field " + name));
    }
}

// A small tmpfs mounted for one test and unmounted when it goes.
class SmallDisk {
public:
    explicit SmallDisk(const std::string &at) : at_(at)
    {
        fs::create_directories(at_);
        mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=256k,nr_inodes=64") == 0;
        error_ = mounted_ ? std::string() : std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (mounted_)
            umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string &error() const { return error_; }
    // No inode and no block left: files until none more can be made, then
    // one of them grown until the disk is full.
    void Fill()
    {
        for (int i = 0;; ++i) {
            const std::string name = at_ + "/filler" + std::to_string(i);
            const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0600);
            if (fd < 0)
                break;
            ::close(fd);
            fillers_.push_back(name);
        }
        const int fd = ::open(fillers_.front().c_str(), O_WRONLY);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    void Free()
    {
        for (const std::string &f : fillers_)
            fs::remove(f);
        fillers_.clear();
    }

private:
    std::string at_, error_;
    bool mounted_ = false;
    std::vector<std::string> fillers_;
};

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
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Replace)

class ArchiveFaultsTest : public QObject {
    Q_OBJECT

    QTemporaryDir archive_, out_;
    std::string root() const { return archive_.path().toStdString(); }

    // One action of a program writing into folder, with the widget settings
    // given: what it printed (with the standard error when asked), and
    // whether it wrote its file (a file there before it counts only when
    // its content changed).
    std::pair<std::string, bool> act(Action action, const QString &settings = QString(),
                                     const std::string &folder = std::string(), bool withStderr = false)
    {
        const std::string dir = folder.empty() ? out_.path().toStdString() : folder;
        const std::string file = dir + "/" + OutputName(action);
        const std::string before = fs::exists(file) ? kombra_test::ReadFile(file) : std::string();
        const QString stem = QString::fromStdString(dir + "/" + (action == Action::MirvekWheels ? "wheel"
                                                                 : action == Action::MirvekExport ? "data"
                                                                                                  : "plot"));
        StdoutCapture capture;
        const int stderrFd = withStderr ? dup(2) : -1;
        if (withStderr)
            dup2(1, 2);
        if (action == Action::LunderPlot) {
            LunderBox box;
            box.plot_file_edit->setText(stem);
            ApplySettings(&box, settings);
            box.slotActions(1);
        } else {
            MirvekBox box;
            box.plot_file_edit->setText(stem);
            box.exp_file_edit->setText(stem);
            box.plottype->setCurrentIndex(action == Action::MirvekWheels ? 1 : 0);
            ApplySettings(&box, settings);
            box.findChild<QPushButton *>(QString::fromLatin1(action == Action::MirvekExport ? "Export" : "Print to File"))
                ->click();
        }
        if (withStderr) {
            dup2(stderrFd, 2);
            close(stderrFd);
        }
        const bool written = fs::exists(file) && kombra_test::ReadFile(file) != before;
        return {capture.take(), written};
    }

    // One Mirvek plot into the output folder, with no picture of an earlier
    // case left there.
    std::pair<std::string, bool> plot(bool withStderr = false)
    {
        fs::remove(out_.filePath(QString::fromLatin1(OutputName(Action::MirvekPlot))).toStdString());
        return act(Action::MirvekPlot, QString(), std::string(), withStderr);
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
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("settings"); // widget settings of both runs
        QTest::addColumn<QString>("line");     // %1: the archive, %2: the output folder; empty: written all the same
        const auto row = [](const char *name, const QString &file, Fault fault, const QByteArray &text, Action action,
                            const QString &line, const QString &settings = QString()) {
            QTest::newRow(name) << file << fault << text << action << settings << line;
        };
        const QString strings = QStringLiteral("PROJECTS configuration %1/config/PROJECTS.cfg has no usable "
                                               "top-level Strings list of projects\n");
        const QString header = QStringLiteral("data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010901800");
        const Action mirvek = Action::MirvekPlot, lunder = Action::LunderPlot;
        row("PROJECTS.cfg empty", "config/PROJECTS.cfg", Fault::Text, QByteArray(), mirvek, strings);
        row("PROJECTS.cfg Strongs", "config/PROJECTS.cfg", Fault::Text, QByteArray("Strongs \"CLUSTERII\"\n"), mirvek,
            strings);
        row("PROJECTS.cfg only a comment", "config/PROJECTS.cfg", Fault::Text, QByteArray("# Strings \"CLUSTERII\"\n"),
            lunder, strings);
        row("PROJECTS.cfg NUL in a name", "config/PROJECTS.cfg", Fault::Text,
            QByteArray("Strings \"CLUS\0TERII\"\n", 21), mirvek, strings);
        row("PROJECTS.cfg a folder", "config/PROJECTS.cfg", Fault::Folder, QByteArray(), mirvek,
            "Cannot read PROJECTS configuration %1/config/PROJECTS.cfg: Is a directory\n");
        row("PROJECTS.cfg a FIFO", "config/PROJECTS.cfg", Fault::Fifo, QByteArray(), lunder,
            "Cannot read PROJECTS configuration %1/config/PROJECTS.cfg: not a regular file\n");
        row("DB.cfg missing", "config/DB.cfg", Fault::Missing, QByteArray(), mirvek,
            "Cannot read DB configuration: no readable DB.cfg in $KOMBRA_CONFIG "
            "(%1/config) or $KOMBRA_HOME/config (%1/config)\n");
        row("DB.cfg without ITEMS", "config/DB.cfg", Fault::Text, QByteArray("LEVELS \"CLUSTERII\"\n"), mirvek,
            "Cannot read DB configuration %1/config/DB.cfg: no usable ITEMS or LEVELS list\n");
        row("kombra.cfg a FIFO", "config/kombra.cfg", Fault::Fifo, QByteArray(), mirvek, "");
        row("catalog missing", "nurv.db3", Fault::Missing, QByteArray(), lunder,
            "Cannot open the catalog: ERROR: Cannot find database file! - %1/nurv.db3: No such file or "
            "directory (KOMBRA_DATA names its folder)!\n");
        row("catalog a link to /dev/zero", "nurv.db3", Fault::DevZero, QByteArray(), mirvek,
            "Cannot open the catalog: ERROR: Can not open NURV database - sqlite3_open - %1/nurv.db3: not a "
            "regular file (KOMBRA_DATA names its folder)!\n");
        row("description a FIFO", "data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010010000V.v3", Fault::Fifo,
            QByteArray(), mirvek, "file_open returned -812\n");
        row("header a FIFO", header + "H", Fault::Fifo, QByteArray(), mirvek, "file_open returned -120\n");
        row("data a link to /dev/zero", header + "D", Fault::DevZero, QByteArray(), mirvek, "file_open returned -121\n");
        row("help page a FIFO", "doc/mirvek.html", Fault::Fifo, QByteArray(), mirvek, "");

        // Settings no action can draw or write: refused before anything is
        // read, with one line naming the field.
        const QString notFloat = QStringLiteral("The field %1 holds \"%2\", which is not a finite number within the "
                                                "range of a float (at most 3.40282e+38 in size); nothing done\n");
        const QString notInt = QStringLiteral("The field %1 holds \"%2\", which is not a whole number from "
                                              "-2147483648 to 2147483647; nothing done\n");
        const Action exportCef = Action::MirvekExport, wheels = Action::MirvekWheels;
        row("constant potential 1e39", "", Fault::Field, "sc_pot_val=1e39", exportCef,
            notFloat.arg("s/c potential value", "1e39"), "energy_sc_pot=2");
        row("colour scale minimum nan", "", Fault::Field, "psdmin=nan", mirvek, notFloat.arg("phase space min", "nan"),
            "psd_scale=1");
        row("gather seconds nan", "", Fault::Field, "gathern=nan", wheels, notFloat.arg("gather n", "nan"),
            "gatherchoice=2");
        row("1e30 energy bins", "", Fault::Field, "nebins=1e30", exportCef,
            notInt.arg("number of custom energy bins", "1e30"), "energy_bins=1");
        row("azimuthal slice inf", "", Fault::Field, "azslice=inf", lunder, notFloat.arg("primary azimuthal slice", "inf"));
        row("gather count negative", "", Fault::Field, "gathern=-3", exportCef,
            "The number of sweeps or spins to gather must be at least 1, not \"-3\" (field gather n)\n");
        row("gather seconds 1e30", "", Fault::Field, "gathern=1e30", lunder,
            "The seconds to gather must be from 0 to 3.16224e+07, not 1e+30 (primary field gather n)\n",
            "gatherchoice=2");
        row("10000 x 10000 bins", "", Fault::Field, "nebins=10000;npa=10000", exportCef,
            "The custom bins (10000 pitch angles x 10000 energies) of one sweep would hold 100000000 values, more "
            "than the 20000000 one action may hold; nothing done\n",
            "energy_bins=1;pachoice=1");
        row("empty export stem", "", Fault::Field, "exp_file_edit= ", exportCef,
            "The export file stem \"\" names no file; nothing written\n");
        row("empty plot stem", "", Fault::Field, "plot_file_edit=", wheels,
            "The plot file stem \"\" names no file; nothing written\n");

        // Pitch-angle binning without the field data that gives the angles:
        // the minute's 15 whole spins of 41 sweeps, its end's and the next.
        const QString noField = QStringLiteral("Pitch-angle binning needs the magnetic field of CLUSTERII CLUSTER-1 "
                                               "FGM VEC CFUNIT from 2001-090 18:00:00 to 2001-090 18:01:00, which "
                                               "none of the 617 sweeps read has; nothing %1\n");
        row("field data missing, export", "data/CLUSTERII/CLUSTER-1/FGM", Fault::Missing, QByteArray(), exportCef,
            noField.arg("written"), "pachoice=1");
        row("field data missing, plot", "data/CLUSTERII/CLUSTER-1/FGM", Fault::Missing, QByteArray(), mirvek,
            noField.arg("drawn"), "pachoice=2");

        // A full disk: the earlier file stays as it was.
        row("export onto a full disk", "", Fault::FullDisk, QByteArray(), exportCef,
            "Cannot make the private folder %2/.mirvek-export-XXXXXX for the export: No space left on device; "
            "nothing written\n");
        row("plot onto a full disk", "", Fault::FullDisk, QByteArray(), mirvek,
            "Could not write plot file %2/plot.gif: No space left on device\n");
    }

    // The file broken (or the setting made), the action run as in a fresh
    // program (nothing loaded yet), then mended and the action run again in
    // the same process.
    void faults()
    {
        QFETCH(QString, file);
        QFETCH(Fault, fault);
        QFETCH(QByteArray, text);
        QFETCH(Action, action);
        QFETCH(QString, settings);
        QFETCH(QString, line);
        cfg_test::ResetConfiguration();
        dbClose();
        const fs::path path = root() + "/" + file.toStdString(), kept = root() + "/kept";
        std::string folder = out_.path().toStdString();
        std::unique_ptr<SmallDisk> disk;
        QString broken_settings = settings;
        fs::remove(folder + "/" + OutputName(action));
        switch (fault) {
        case Fault::Field: broken_settings += QLatin1Char(';') + QString::fromLatin1(text); break;
        case Fault::FullDisk:
            folder += "/disk";
            disk = std::make_unique<SmallDisk>(folder);
            if (!disk->mounted())
                QSKIP(qPrintable(QString::fromStdString("cannot mount a small tmpfs here: " + disk->error())));
            kombra_test::WriteFile(folder + "/" + OutputName(action), "the earlier file\n");
            disk->Fill();
            break;
        default:
            fs::rename(path, kept);
            break;
        }
        switch (fault) {
        case Fault::Text: kombra_test::WriteFile(path.string(), text.toStdString()); break;
        case Fault::Folder: fs::create_directory(path); break;
        case Fault::Fifo: QCOMPARE(mkfifo(path.c_str(), 0600), 0); break;
        case Fault::DevZero: fs::create_symlink("/dev/zero", path); break;
        default: break;
        }
        const auto [broken, writtenBroken] = act(action, broken_settings, folder);
        if (fault == Fault::FullDisk) {
            disk->Free();
            QCOMPARE(kombra_test::ReadFile(folder + "/" + OutputName(action)), std::string("the earlier file\n"));
        } else if (fault != Fault::Field) {
            fs::remove_all(path);
            fs::rename(kept, path);
        }
        std::string expected = QString(line)
                                   .replace(QLatin1String("%1"), archive_.path())
                                   .replace(QLatin1String("%2"), QString::fromStdString(folder))
                                   .toStdString();
        const std::size_t x = expected.find("XXXXXX");
        const std::size_t at = x == std::string::npos ? broken.find(expected)
                                                      : broken.find(expected.substr(0, x));
        QVERIFY2(at != std::string::npos &&
                     (x == std::string::npos || broken.find(expected.substr(x + 6), at) != std::string::npos),
                 broken.c_str());
        QCOMPARE(writtenBroken, line.isEmpty());
        QVERIFY2(line.isEmpty() || broken.find("Wrote ") == std::string::npos, broken.c_str());
        if (fault != Fault::FullDisk)
            fs::remove(folder + "/" + OutputName(action));
        const auto [mended, written] = act(action, settings, folder);
        QVERIFY2(written, mended.c_str());
    }

    // A session whose output is no terminal: PGPLOT's notes on the private
    // folders are not written at exit, no private folder is left, and the
    // folder a process left when it ended during a plot is removed by the
    // next plot, while that of a running process stays.
    void sessionLeavesNoPrivateFolders()
    {
        QTemporaryDir temp;
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 deadPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString stale = temp.filePath(QStringLiteral("kombra-pg-%1-Abc123").arg(deadPid));
        const QString running = temp.filePath(QStringLiteral("kombra-pg-%1-Abc123").arg(getpid()));
        for (const QString &dir : {stale, running}) {
            QVERIFY(QDir().mkpath(dir));
            kombra_test::WriteFile((dir + QStringLiteral("/p.gif")).toStdString(), "");
        }
        QProcess session;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        session.setProcessEnvironment(env);
        session.setProcessChannelMode(QProcess::MergedChannels);
        const QString dir = out_.filePath(QStringLiteral("private"));
        QDir().mkpath(dir);
        const QString output = dir + QStringLiteral("/said.txt");  // a file: PGPLOT's unit then holds its lines
        session.setStandardOutputFile(output);
        session.start(QStringLiteral(MIRVEK_SESSION), {dir});
        QVERIFY(session.waitForFinished(120000));
        const QByteArray said = QByteArray::fromStdString(kombra_test::ReadFile(output.toStdString()));
        QVERIFY2(session.exitStatus() == QProcess::NormalExit && session.exitCode() == 0, said.constData());
        QVERIFY2(!said.contains("kombra-pg"), said.constData());
        QVERIFY(!QDir(stale).exists());
        QVERIFY(QDir(running).exists());
        const QStringList left = QDir(temp.path()).entryList({QStringLiteral("kombra-pg-*")}, QDir::Dirs);
        QVERIFY2(left.size() == 1, qPrintable(left.join(QLatin1Char(' '))));
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
        const std::string said = plot(true).first;
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
        const auto [said, drew] = plot(true);
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
        const auto [said, drawnBroken] = plot();
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
        const auto [mended, drawn] = plot();
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
        const auto [broken, drawnBroken] = plot();
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
        const auto [mended, drawn] = plot();
        QVERIFY2(drawn, mended.c_str());
    }
};

QTEST_MAIN(ArchiveFaultsTest)
#include "archive_faults_test.moc"
