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
#include "fetch_wait.h"
#include "libPromote.h"
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
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What is put in place of a file of the archive; Field: the widget settings
// of the text column ("name=value;...") in the broken run only; FullDisk:
// the action writes onto a small file system with neither room nor inodes
// left, beside an earlier file of its name; Loop: a symbolic link to itself.
enum class Fault { Text, Missing, Folder, Fifo, DevZero, Field, FullDisk, Loop };
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

// Sets the fields, combos and time edits named in "name=value;..." (combos
// by index, times as HH:mm:ss).
void ApplySettings(QWidget *box, const QString &settings)
{
    for (const QString &setting : settings.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = setting.section(QLatin1Char('='), 0, 0);
        const QString value = setting.section(QLatin1Char('='), 1);
        if (auto *edit = box->findChild<QLineEdit *>(name))
            edit->setText(value);
        else if (auto *time = box->findChild<QTimeEdit *>(name))
            time->setTime(QTime::fromString(value, QStringLiteral("HH:mm:ss")));
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

// How another process puts the whole file in place while a fetch runs.
enum class Arrives { None, Renamed, Copied };
// Another program fetching the same file first: it runs on; it is killed by
// SIGKILL, and its fetch runs on, is killed too, or ends afterwards.
enum class Other { None, Second, Killed, KilledWithFetch, KilledFetchEnds };
// What the data file's paths hold, or what holds, before the action: the
// whole file beside an empty marker that no fetch holds, with no server
// configured (the sample's own DB.cfg); the whole file beside a folder, a
// symbolic link or a FIFO at the marker's path, or beside a user's own file
// there; a user's own file at the marker's path of the file to fetch; an
// empty marker beside the whole description; the file with a hole in its
// middle, as a preallocating download leaves it, put in place by hand; a
// file system that refuses open file description locks, or every lock.
enum class Before {
    None, StaleMarkerNoServer, FolderAtMarker, LinkAtMarker, FifoAtMarker, UsersFileBesideWhole, UsersFileAtMarker,
    StaleDescriptionMarker, HoledCopy, NoOfdLocks, NoLocks
};

// The catalog of the busy-catalog rows, and how many of the writer's
// transactions the next wait for it sits through unseen.
std::string g_catalog;
int g_unseen = 0;

// Returns once the process that holds the catalog's write lock has let it
// go, blocked on the lock as the programs' own waits are, so that the
// writer lets this process in however slow the machine makes either of
// them; a wait first sits through g_unseen of the writer's transactions
// without being seen, so that the locks it waits for follow each other for
// longer than the busy wait.
void UntilTheWriterLetsGo()
{
    constexpr off_t kPendingByte = 0x40000000;  // the lock byte a writer holds
    const int fd = ::open(g_catalog.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (; g_unseen > 0; --g_unseen) {
        unsigned char was[4] = {}, now[4] = {};
        if (::pread(fd, was, 4, 24) != 4)
            break;
        while (::pread(fd, now, 4, 24) == 4 && std::memcmp(was, now, 4) == 0) {
            const timespec pause{0, 2000000};
            nanosleep(&pause, nullptr);
        }
    }
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kPendingByte;
    lock.l_len = 1;
    // The signal that bounds the program's wait breaks this one off; it is
    // taken up again.
    while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0 && errno == EINTR) {
    }
    ::close(fd);
}

// Times a text occurs in another.
int occurrences(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// A limit that only guards against a hang: seconds as on an unloaded
// machine, times the factor of this build's test time limits.
int GuardMs(int seconds)
{
    return seconds * 1000 * KOMBRA_TEST_TIME_SCALE;
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

// The data file of 18:00 of the sample archive moved to the server srvA,
// which every source gets, with a stand-in as the fetch program and the
// stand-ins told where the server and the archive are; all put back when it
// goes.
struct ServedData {
    ServedData(const std::string &root, const std::string &standin)
        : data(root + "/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010901800D"),
          onServer(root + "/remote/srvA/HSPAD20010901800D"), dbCfg(root + "/config/DB.cfg"),
          fetch(root + "/bin/fetch_data"), kept(kombra_test::ReadFile(dbCfg.string())),
          env{{"KOMBRA_STANDIN_REMOTE", root + "/remote"}, {"KOMBRA_STANDIN_ARCHIVE", root + "/data"}}
    {
        cfg_test::ResetConfiguration();
        fs::create_directories(onServer.parent_path());
        fs::create_directories(fetch.parent_path());
        fs::rename(data, onServer);
        std::string cfg = kept;
        const std::size_t items = cfg.find("ITEMS ");
        if (items != std::string::npos)
            cfg.insert(cfg.find('\n', items), " \"NetID\"");
        kombra_test::WriteFile(dbCfg.string(), cfg + "NetID.VALUE \"srvA\"\n");
        fs::create_symlink(kombra_test::ToolsDir() + "/standins/" + standin, fetch);
    }
    ~ServedData()
    {
        fs::remove(fetch);
        kombra_test::WriteFile(dbCfg.string(), kept);
        fs::remove(data);
        fs::rename(onServer, data);
        cfg_test::ResetConfiguration();
    }
    const fs::path data, onServer, dbCfg, fetch;
    const std::string kept;
    const kombra_test::ScopedEnv env[2];
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Replace)
Q_DECLARE_METATYPE(Arrives)
Q_DECLARE_METATYPE(Other)
Q_DECLARE_METATYPE(Before)

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
            QVERIFY(writer.waitForReadyRead(GuardMs(60)));
        QCOMPARE(writer.readLine(), QByteArray("locked\n"));
    }

    // Whether every process named in the pid file (one a line) has ended,
    // waiting for that at most the guard against a hang.
    bool processesEnd(const std::string &pidFile)
    {
        std::ifstream in(pidFile);
        std::vector<std::string> pids;
        for (std::string pid; std::getline(in, pid);)
            pids.push_back(pid);
        QElapsedTimer waited;
        waited.start();
        const auto allGone = [&pids] { return std::all_of(pids.begin(), pids.end(), gone); };
        while (!allGone() && waited.elapsed() < GuardMs(60))
            QTest::qWait(50);
        return !pids.empty() && allGone();
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
        row("data folder a link to itself", "data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD", Fault::Loop, QByteArray(), mirvek,
            "The file %1/" + header + "H is not read: whether a fetch of it runs cannot be told, as its fetch marker "
            "%1/" + header + "H.fetch cannot be looked at: Too many levels of symbolic links\n");

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
        const QString notANumber = QStringLiteral("The field %1 holds \"%2\", which is not one decimal number (blanks "
                                                  "around it only, a decimal point, no comma); nothing done\n");
        row("constant potential 2,5", "", Fault::Field, "sc_pot_val=2,5", exportCef,
            notANumber.arg("s/c potential value", "2,5"), "energy_sc_pot=2");
        row("constant potential 0x10", "", Fault::Field, "sc_pot_val=0x10", exportCef,
            notANumber.arg("s/c potential value", "0x10"), "energy_sc_pot=2");
        row("custom bins minimum 1,5e2", "", Fault::Field, "emin=1,5e2", mirvek,
            notANumber.arg("custom bins min", "1,5e2"), "energy_bins=1;energy_scale=1");
        row("1 count level multiplier 2x", "", Fault::Field, "onecount_mult=2x", lunder,
            notANumber.arg("primary 1 count level multiplier", "2x"));
        row("start time equal to the end", "", Fault::Field, "btimeEdit=18:01:00", mirvek,
            "The start and end times are both 2001-090 18:01:00 (the Start and End time fields): a spectrogram "
            "needs the end after the start; nothing drawn\n");
        row("end time before the start", "", Fault::Field, "etimeEdit=17:59:00", exportCef,
            "The end time 2001-090 17:59:00 is before the start time 2001-090 18:00:00 (the Start and End time "
            "fields); nothing done\n");
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
        case Fault::Loop: fs::create_symlink(path, path); break;
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
    // folders a process left when it ended during a plot or an export are
    // removed by the next plot or export, while those of a running process
    // stay.
    void sessionLeavesNoPrivateFolders()
    {
        QTemporaryDir temp;
        QProcess ended;
        ended.start(QStringLiteral("true"), {});
        QVERIFY(ended.waitForStarted());
        const qint64 deadPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString dir = out_.filePath(QStringLiteral("private"));
        QDir().mkpath(dir);
        const QString stale = temp.filePath(QStringLiteral("kombra-pg-%1-Abc123").arg(deadPid));
        const QString running = temp.filePath(QStringLiteral("kombra-pg-%1-Abc123").arg(getpid()));
        const QString staleExport = dir + QStringLiteral("/.mirvek-export-%1-Abc123").arg(deadPid);
        const QString runningExport = dir + QStringLiteral("/.mirvek-export-%1-Abc123").arg(getpid());
        for (const QString &folder : {stale, running, staleExport, runningExport}) {
            QVERIFY(QDir().mkpath(folder));
            kombra_test::WriteFile((folder + QStringLiteral("/p.gif")).toStdString(), "");
        }
        QProcess session;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        session.setProcessEnvironment(env);
        session.setProcessChannelMode(QProcess::MergedChannels);
        const QString output = dir + QStringLiteral("/said.txt");  // a file: PGPLOT's unit then holds its lines
        session.setStandardOutputFile(output);
        session.start(QStringLiteral(MIRVEK_SESSION), {dir});
        QVERIFY(session.waitForFinished(GuardMs(120)));
        const QByteArray said = QByteArray::fromStdString(kombra_test::ReadFile(output.toStdString()));
        QVERIFY2(session.exitStatus() == QProcess::NormalExit && session.exitCode() == 0, said.constData());
        QVERIFY2(!said.contains("kombra-pg"), said.constData());
        QVERIFY(!QDir(stale).exists());
        QVERIFY(QDir(running).exists());
        QVERIFY(!QDir(staleExport).exists());
        QVERIFY(QDir(runningExport).exists());
        QDir(runningExport).removeRecursively();
        const QStringList left = QDir(temp.path()).entryList({QStringLiteral("kombra-pg-*")}, QDir::Dirs);
        QVERIFY2(left.size() == 1, qPrintable(left.join(QLatin1Char(' '))));
    }

    // SIGTERM, SIGINT or SIGHUP to a scripted session while a fetch program
    // writes the entry's file, or Quit pressed in the window meanwhile (a
    // press on another button then does nothing): the fetch program and
    // what it started end at once with the program, its partial file goes,
    // and so does the action's private folder; a session ends by the
    // signal, with no further action.  The same while the action waits for
    // a catalog another process keeps locked: the wait ends at once (not
    // when it would have given up), and nothing is written or left.
    void programEndsDuringFetch_data()
    {
        QTest::addColumn<int>("signal");  // 0: Quit pressed
        QTest::addColumn<bool>("catalog");  // the action waits for the catalog, not a fetch
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("Quit pressed") << 0 << false;
        QTest::newRow("SIGTERM while the catalog is held") << SIGTERM << true;
        QTest::newRow("Quit pressed while the catalog is held") << 0 << true;
    }

    void programEndsDuringFetch()
    {
        QFETCH(int, signal);
        QFETCH(bool, catalog);
        std::optional<ServedData> served;
        QProcess writer;
        if (catalog) {
            // Past the busy wait, which the window's action waits here.
            SQLite_dbSetBusyWait(30000);
            startWriter(writer, QStringLiteral("0"), QStringLiteral("0.001"), QStringLiteral("600000"));
        } else {
            served.emplace(root(), "fetch_hang_standin");
        }
        QTemporaryDir temp;
        const std::string pids = out_.filePath(QStringLiteral("fetch.pids")).toStdString();
        fs::remove(pids);
        const QString dir = out_.filePath(QStringLiteral("ended"));
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        QProcess session;
        session.setProcessChannelMode(QProcess::MergedChannels);
        QByteArray sessionSaid;
        // Waiting for the fetch, or (for the catalog) into the session's first
        // action or the window's wait.
        const auto started = [&] {
            if (catalog)
                return signal == 0 || (sessionSaid += session.readAll()).contains("--- Print to File");
            std::ifstream in(pids);
            std::string child, leader;
            return std::getline(in, child) && std::getline(in, leader);
        };
        const kombra_test::ScopedEnv env[] = {{"KOMBRA_STANDIN_PIDS", pids},
                                              {"KOMBRA_FETCH_TIMEOUT", "600"},
                                              {"TMPDIR", temp.path().toStdString()},
                                              {"TEMP", temp.path().toStdString()}};
        QElapsedTimer clock;
        clock.start();
        std::string said;
        if (signal != 0) {
            session.start(QStringLiteral(MIRVEK_SESSION), {dir});
            QVERIFY(session.waitForStarted());
            while (!started() && session.state() == QProcess::Running && clock.elapsed() < GuardMs(120))
                QTest::qWait(20);
            QVERIFY(started());
            QCOMPARE(kill(static_cast<pid_t>(session.processId()), signal), 0);
            QVERIFY(session.waitForFinished(GuardMs(120)));
            said = (sessionSaid + session.readAll()).toStdString();
            QVERIFY2(session.exitStatus() == QProcess::CrashExit && session.exitCode() == signal, said.c_str());
            QVERIFY2(said.find("--- Print to File: wheel sequence") == std::string::npos, said.c_str());
        } else {
            // Found by the timer of the running action: the window's Quit,
            // and a button that would start another action.
            QTimer timer;
            connect(&timer, &QTimer::timeout, [&] {
                if (!started())
                    return;
                timer.stop();
                for (QWidget *top : QApplication::topLevelWidgets())
                    if (auto *box = qobject_cast<MirvekBox *>(top)) {
                        widgets::quit_ends_fetches(box->quit);
                        QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("Export")), Qt::LeftButton);
                        QTest::mouseClick(box->quit, Qt::LeftButton);
                    }
            });
            timer.start(20);
            const auto [plotSaid, drawn] = plot();
            said = plotSaid;
            pro_EndFetches(0);
            dbEndWaits(0);
            QVERIFY2(!drawn, said.c_str());
            QVERIFY(!fs::exists(out_.filePath(QStringLiteral("data.cef")).toStdString()));
        }
        if (catalog) {
            SQLite_dbSetBusyWait(10000);
            QCOMPARE(writer.state(), QProcess::Running);
            writer.terminate();
            QVERIFY(writer.waitForFinished(GuardMs(60)));
            // Ended by the program's end, not by the wait giving up.
            QVERIFY2(said.find("The wait for the busy catalog " + root() +
                               "/nurv.db3 was stopped, as the program is ending\n") != std::string::npos,
                     said.c_str());
            QVERIFY2(said.find("stayed busy") == std::string::npos, said.c_str());
            QVERIFY2(said.find("PostTimePath") == std::string::npos, said.c_str());
        } else {
            QVERIFY2(said.find("Could not promote HSPAD20010901800D from srvA: fetch_data was stopped, as the "
                               "program is ending\n") != std::string::npos,
                     said.c_str());
            QVERIFY(processesEnd(pids));
            QVERIFY(!fs::exists(served->data));
            QVERIFY(!fs::exists(served->data.string() + ".fetch"));
        }
        QVERIFY2(said.find("Wrote ") == std::string::npos, said.c_str());
        const QStringList written = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(written.isEmpty(), qPrintable(written.join(QLatin1Char(' '))));
        // Qt's own runtime folder of a session aside.
        QStringList left = QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        left.removeIf([](const QString &name) { return name.startsWith(QLatin1String("runtime-")); });
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }

    // Four sessions at a time, twice, read the catalog while another process
    // writes it transaction after transaction: every action of every session
    // succeeds, also when the writer leaves no pause between its locks but
    // to let in the readers that wait for them.
    void busyCatalog_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("holdMs");
        QTest::newRow("14 writes a second, each lock 20 ms") << "14" << "20";
        QTest::newRow("10 writes a second, each lock 150 ms") << "10" << "150";
    }

    void busyCatalog()
    {
        QFETCH(QString, rate);
        QFETCH(QString, holdMs);
        QProcess writer;
        startWriter(writer, QStringLiteral("0"), rate, holdMs);
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
                QVERIFY(r.waitForFinished(GuardMs(120)));
                const QByteArray said = r.readAll();
                QVERIFY2(r.exitStatus() == QProcess::NormalExit && r.exitCode() == 0, said.constData());
                QVERIFY2(!said.contains("busy") && !said.contains("locked"), said.constData());
                ++sessions;
            }
        }
        // The writer wrote all along, and without a failed transaction.
        QCOMPARE(writer.state(), QProcess::Running);
        writer.terminate();
        QVERIFY(writer.waitForFinished(GuardMs(60)));
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(sessions, 8);
    }

    // A lock kept past the busy wait (shortened here): the action fails and
    // says that the catalog was busy, not that it is misconfigured nor that
    // another source or time might do.
    void catalogStaysBusy()
    {
        SQLite_dbSetBusyWait(300);
        QProcess writer;
        startWriter(writer, QStringLiteral("0"), QStringLiteral("0.001"), QStringLiteral("600000"));
        const std::string said = plot(true).first;
        SQLite_dbSetBusyWait(10000);
        QCOMPARE(writer.state(), QProcess::Running);
        writer.terminate();
        QVERIFY(writer.waitForFinished(GuardMs(60)));
        const std::string catalog = root() + "/nurv.db3";
        QVERIFY2(said.find("The catalog " + catalog + " stayed busy for ") != std::string::npos &&
                     said.find(" s; the action gave up waiting for it\n") != std::string::npos,
                 said.c_str());
        QVERIFY2(said.find(catalog + " was busy: another process kept it locked for more than 0.3 s") !=
                     std::string::npos,
                 said.c_str());
        QVERIFY2(said.find("not configured") == std::string::npos, said.c_str());
        QVERIFY2(said.find("Try another source/time?") == std::string::npos, said.c_str());
    }

    // Locks held by another process while an action runs: one that clears
    // within the busy wait is waited for without a word, and so are locks
    // that follow each other without a pause for longer than the busy wait,
    // each shorter than it; one kept longer fails the action after one wait,
    // with one busy line, well before the lock ends, also when the signal
    // that bounds each wait for the writer lands before that wait begins.
    // Where the lock clears, each wait lasts until the writer has let go and
    // let this process in, however slow the machine makes either.
    void busyOncePerAction_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("drawn");
        QTest::addColumn<bool>("early");  // each wait's first timer signal lands before it begins
        QTest::addColumn<int>("unseen");  // the writer's transactions the first wait sits through unseen
        QTest::newRow("lock cleared within the wait") << "0.001" << 1500 << 60000 << true << false << 0;
        QTest::newRow("lock kept past the wait") << "0.001" << 600000 << 1000 << false << false << 0;
        QTest::newRow("locks of 150 ms without a pause, wait 300 ms") << "10" << 150 << 300 << true << false << 3;
        QTest::newRow("lock kept past the wait, timer signal before each wait")
            << "0.001" << 600000 << 1000 << false << true << 0;
    }

    void busyOncePerAction()
    {
        QFETCH(QString, rate);
        QFETCH(int, holdMs);
        QFETCH(int, waitMs);
        QFETCH(bool, drawn);
        QFETCH(bool, early);
        QFETCH(int, unseen);
        SQLite_dbSetBusyWait(waitMs);
        // Sleeps until the wait's timer signal has come (it comes within a
        // quarter of a second; the sleep ends on it).
        g_catalog = root() + "/nurv.db3";
        g_unseen = unseen;
        SQLite_dbSetTurnWaitHook(early   ? +[] { timespec longer{5, 0}; nanosleep(&longer, nullptr); }
                                 : drawn ? UntilTheWriterLetsGo
                                         : nullptr);
        QProcess writer;
        startWriter(writer, QStringLiteral("0"), rate, QString::number(holdMs));
        const auto [said, drew] = plot(true);
        const bool stillLocked = writer.state() == QProcess::Running;
        writer.terminate();
        QVERIFY(writer.waitForFinished(GuardMs(60)));
        SQLite_dbSetTurnWaitHook(nullptr);
        SQLite_dbSetBusyWait(10000);
        QVERIFY2(drew == drawn, said.c_str());
        QVERIFY2(occurrences(said, "was busy") == (drawn ? 0 : 1), said.c_str());
        QVERIFY2(occurrences(said, "stayed busy") == (drawn ? 0 : 1), said.c_str());
        if (!drawn)
            QVERIFY(stillLocked);
    }

    // The fetch program of the missing data file leaves half of it and fails,
    // never ends, or exits 0 writing nothing, or another process renames or
    // copies the whole file into place while it runs: the action fails with
    // a line that names the file and says how the program ended, leaves no
    // part of the file but keeps the whole one (and says so where the folder
    // could not be watched), which the next action takes, and ends the
    // program's process group; the window could repaint meanwhile.  A time
    // limit that is no whole number of seconds is named in a line; no fetch
    // starts while the program ends.  Another program (a session) fetching
    // the same file first, also one killed by SIGKILL during its fetch, is
    // waited for, never fetched a second time, and its partial file never
    // read as whole: taken where its records reach the entry's end, fetched
    // again where not.  Once the file is there again the action works.
    void fetchFaults_data()
    {
        QTest::addColumn<QString>("standin");
        QTest::addColumn<QString>("limit");      // KOMBRA_FETCH_TIMEOUT, "" unset
        QTest::addColumn<Arrives>("arrives");    // the whole file, while the program runs
        QTest::addColumn<Other>("other");        // another program fetching the file first
        QTest::addColumn<bool>("noWatch");       // the folder cannot be watched
        QTest::addColumn<bool>("ending");        // the program is ending
        QTest::addColumn<bool>("drawn");
        QTest::addColumn<int>("runs");           // fetch programs run, -1 not counted
        QTest::addColumn<QString>("line");       // %1: the archive
        QTest::addColumn<QString>("next");       // a line of the next action
        QTest::addColumn<Before>("before");
        const auto row = [](const char *name, const QString &standin, const QString &limit, Arrives arrives,
                            const QString &line, const QString &next = QString(), Other other = Other::None,
                            bool drawn = false, int runs = -1, bool noWatch = false, bool ending = false,
                            Before before = Before::None) {
            QTest::newRow(name) << standin << limit << arrives << other << noWatch << ending << drawn << runs << line
                                << next << before;
        };
        const QString file = QStringLiteral("Could not promote HSPAD20010901800D from srvA: fetch_data ");
        const QString inOrder = QStringLiteral("its records read in order from the first to its end mark; it is used "
                                               "as it is\n");
        const QString used = "HSPAD20010901800D: its fetch did not end well, but " + inOrder;
        const QString waits = QStringLiteral("HSPAD20010901800D: another program is fetching it; this action waits "
                                             "for that fetch (at most 300 s)\n");
        // Only a program that never ends gets a short time limit, so that a
        // slow start is never cut short; it is still long enough for the
        // program to start and write its half on a loaded machine (times the
        // build's factor), as the file comes only after that.
        const QString three = QString::number(3 * KOMBRA_TEST_TIME_SCALE),
                      five = QString::number(5 * KOMBRA_TEST_TIME_SCALE);
        const QString partial = QStringLiteral("fetch_partial_standin"), hang = QStringLiteral("fetch_hang_standin"),
                      outrun = QStringLiteral("fetch_outrun_standin"), stall = QStringLiteral("fetch_stall_standin");
        row("exits 1 after half the file", partial, "", Arrives::None, file + "exited with status 1\n");
        row("never ends", hang, three, Arrives::None, file + "did not end within " + three + " s and was stopped\n");
        row("exits 0 writing nothing", "fetch_empty_standin", "", Arrives::None,
            file + "exited with status 0 but wrote no file\n");
        const QString exited1 = "HSPAD20010901800D: fetch_data exited with status 1, but " + inOrder;
        row("exits 1 after another process renamed the file in", outrun, "", Arrives::Renamed, exited1, QString(),
            Other::None, true);
        row("exits 1 after another process copied the file in", outrun, "", Arrives::Copied, exited1, QString(),
            Other::None, true);
        row("never ends, another process renamed the file in", hang, five, Arrives::Renamed,
            "HSPAD20010901800D: fetch_data did not end within " + five + " s and was stopped, but " + inOrder,
            QString(), Other::None, true);
        row("no watch, another process renamed the file in", outrun, "", Arrives::Renamed,
            "The folder %1/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD could not be watched during the fetch (the limit "
            "of inotify watches is reached): %1/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/HSPAD20010901800D is kept, "
            "as another process may have put it there\n" + exited1,
            QString(), Other::None, true, -1, true);
        const QString badLimit = QStringLiteral("KOMBRA_FETCH_TIMEOUT is \"%1\", not a whole number of seconds from 1 "
                                                "to 86400; fetch programs may run 300 s\n");
        row("time limit 2.5 s", partial, "2.5", Arrives::None, badLimit.arg("2.5"));
        row("time limit 0 s", partial, "0", Arrives::None, badLimit.arg("0"));
        row("not started while the program is ending", "fetch_standin", "", Arrives::None,
            file + "was not started, as the program is ending\n", QString(), Other::None, false, 0, false, true);
        row("a second program on the same missing file", stall, "", Arrives::None,
            waits + "HSPAD20010901800D: the other program's fetch of it ended well; it is used\n", QString(),
            Other::Second, true, 1);
        row("SIGKILL of the program during its fetch, which goes on", stall, "", Arrives::None, waits + used,
            QString(), Other::Killed, true, 1);
        row("SIGKILL of the program and its fetch, as by a power loss", stall, "", Arrives::None,
            "HSPAD20010901800D: its fetch did not end well, and its records end at 2001/090 18:29:56.096 without "
            "its end mark (its catalog entry ends at 2001/090 18:59:56.095); it is fetched again\n",
            QString(), Other::KilledWithFetch, true, 2);
        row("SIGKILL of the program during its fetch, which ends afterwards", stall, "", Arrives::None, used,
            QString(), Other::KilledFetchEnds, true, 1);

        // Fetch programs as operators' own scripts may be, and what such
        // scripts or people leave at the file's paths.
        const QString spinpad = QStringLiteral("%1/data/CLUSTERII/CLUSTER-1/HALDE/SPINPAD/");
        const QString marker = spinpad + "HSPAD20010901800D.fetch";
        row("preallocates, writes both ends and exits 1", "fetch_prealloc_standin", "", Arrives::None,
            file + "exited with status 1\n");
        row("preallocates, writes both ends and exits 0", "fetch_prealloc_done_standin", "", Arrives::None,
            file + "exited with status 0, but its records cannot be read in order from record 8 of 901 on\n");
        row("a copy with a hole in its middle, put in place by hand", "fetch_standin", "", Arrives::None,
            "The file " + spinpad + "HSPAD20010901800D: its records cannot be read in order from record 8 of 901 "
            "on; its reading stops there\n",
            QString(), Other::None, true, 0, false, false, Before::HoledCopy);
        row("finishes in the background after it exits 0", "fetch_background_standin", "", Arrives::None,
            "HSPAD20010901800D: fetch_data has ended, but what it started still holds the file's fetch marker; this "
            "action waits for it (at most 300 s)\nHSPAD20010901800D: what fetch_data started has ended, and " +
                inOrder,
            QString(), Other::None, true, 1);
        row("closes its descriptors and runs on after SIGKILL of the program", "fetch_closing_standin", "",
            Arrives::None, waits + used, QString(), Other::Killed, true, 1);
        row("leaves a FIFO at the file's path and exits 0", "fetch_fifo_standin", "", Arrives::None,
            file + "exited with status 0, but what it left at " + spinpad +
                "HSPAD20010901800D is a FIFO, not a plain file\n");
        row("a folder at the marker's path beside the whole file", "fetch_standin", "", Arrives::None,
            "The file " + spinpad + "HSPAD20010901800D is not read: " + marker +
                " is a directory, not a fetch marker; remove it\n",
            QString(), Other::None, false, 0, false, false, Before::FolderAtMarker);
        row("a symbolic link at the marker's path beside the whole file", "fetch_standin", "", Arrives::None,
            "The file " + spinpad + "HSPAD20010901800D is not read: " + marker +
                " is a symbolic link, not a fetch marker; remove it\n",
            QString(), Other::None, false, 0, false, false, Before::LinkAtMarker);
        row("a FIFO at the marker's path beside the whole file", "fetch_standin", "", Arrives::None,
            "The file " + spinpad + "HSPAD20010901800D is not read: " + marker +
                " is a FIFO, not a fetch marker; remove it\n",
            QString(), Other::None, false, 0, false, false, Before::FifoAtMarker);
        row("an unheld marker beside the whole file, no server", "fetch_standin", "", Arrives::None, used,
            QString(), Other::None, true, 0, false, false, Before::StaleMarkerNoServer);
        row("a user's own file at the marker's path beside the whole file", "fetch_standin", "", Arrives::None,
            QString(), QString(), Other::None, true, 0, false, false, Before::UsersFileBesideWhole);
        row("a user's own file at the marker's path of the file to fetch", "fetch_standin", "", Arrives::None,
            file.left(file.size() - 11) + marker +
                " is not a fetch marker of these programs; rename or remove it so that the file can be fetched\n",
            QString(), Other::None, false, 0, false, false, Before::UsersFileAtMarker);
        row("an unheld marker beside the whole description, its fetch failing", partial, "", Arrives::None,
            "HSPAD20010010000V.v3: its fetch did not end well, but it reads whole as a description; it is used as "
            "it is\n" + file + "exited with status 1\n",
            QString(), Other::None, false, 1, false, false, Before::StaleDescriptionMarker);
        row("no open file description locks", "fetch_standin", "", Arrives::None, QString(), QString(), Other::None,
            true, 1, false, false, Before::NoOfdLocks);
        row("no locks at all", "fetch_standin", "", Arrives::None,
            "HSPAD20010901800D: no lock can be taken on its fetch marker here (No locks available); it is fetched "
            "without one\n",
            QString(), Other::None, true, 1, false, false, Before::NoLocks);
    }

    void fetchFaults()
    {
        QFETCH(QString, standin);
        QFETCH(QString, limit);
        QFETCH(Arrives, arrives);
        QFETCH(Other, other);
        QFETCH(bool, noWatch);
        QFETCH(bool, ending);
        QFETCH(bool, drawn);
        QFETCH(int, runs);
        QFETCH(QString, line);
        QFETCH(QString, next);
        QFETCH(Before, before);
        const ServedData served(root(), standin.toStdString());
        const std::string marker = served.data.string() + ".fetch";
        const std::string description = served.data.parent_path().string() + "/HSPAD20010010000";
        const std::string usersFile = "my notes on this hour\n";
        const std::string whole = kombra_test::ReadFile(served.onServer.string());
        // The data file in place beside what is at its marker's path.
        const bool fileThere = before == Before::StaleMarkerNoServer || before == Before::FolderAtMarker ||
                               before == Before::LinkAtMarker || before == Before::FifoAtMarker ||
                               before == Before::UsersFileBesideWhole || before == Before::HoledCopy;
        if (fileThere) {
            std::string copy = whole;
            if (before == Before::HoledCopy)
                std::fill(copy.begin() + 1000, copy.end() - 30000, '\0');
            kombra_test::WriteFile(served.data.string(), copy);
        }
        switch (before) {
        case Before::StaleMarkerNoServer:
            kombra_test::WriteFile(served.dbCfg.string(), served.kept);
            cfg_test::ResetConfiguration();
            kombra_test::WriteFile(marker, "");
            break;
        case Before::FolderAtMarker: fs::create_directory(marker); break;
        case Before::LinkAtMarker: fs::create_symlink(served.data, marker); break;
        case Before::FifoAtMarker: QCOMPARE(mkfifo(marker.c_str(), 0600), 0); break;
        case Before::UsersFileBesideWhole:
        case Before::UsersFileAtMarker: kombra_test::WriteFile(marker, usersFile); break;
        case Before::StaleDescriptionMarker: kombra_test::WriteFile(description + "I.fetch", ""); break;
        default: break;
        }
        dbSetFetchLocks(before == Before::NoOfdLocks ? 1 : before == Before::NoLocks ? 2 : 0);
        const std::string pids = out_.filePath(QStringLiteral("fetch.pids")).toStdString();
        const std::string go = out_.filePath(QStringLiteral("fetch.go")).toStdString();
        const std::string log = out_.filePath(QStringLiteral("fetch.log")).toStdString();
        for (const std::string &f : {pids, go, log})
            fs::remove(f);
        fs::create_directories(out_.filePath(QStringLiteral("tmp")).toStdString());
        const kombra_test::ScopedEnv env[] = {
            {"KOMBRA_STANDIN_PIDS", pids},
            {"KOMBRA_STANDIN_GO", go},
            {"KOMBRA_STANDIN_LOG", log},
            {"KOMBRA_FETCH_TIMEOUT", limit.isEmpty() ? std::nullopt : std::optional(limit.toStdString())},
            {"TEMP", out_.filePath(QStringLiteral("tmp")).toStdString()}};
        const auto firstPid = [&pids] {
            std::ifstream in(pids);
            std::string pid;
            return std::getline(in, pid) ? pid : std::string();
        };

        // Another program on the same time, whose fetch has written half the
        // file and waits to be told to go on.
        QProcess session;
        session.setProcessChannelMode(QProcess::MergedChannels);
        if (other != Other::None) {
            const QString dir = out_.filePath(QStringLiteral("other"));
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
            session.start(QStringLiteral(MIRVEK_SESSION), {dir});
            QVERIFY(session.waitForStarted());
            QElapsedTimer waited;
            waited.start();
            while (firstPid().empty() && session.state() == QProcess::Running && waited.elapsed() < GuardMs(120))
                QTest::qWait(20);
            const std::string fetch = firstPid();
            QVERIFY2(!fetch.empty(), session.readAll().constData());
            // A fetch that closes its descriptors is known by what its
            // marker records of it.
            while (standin == QLatin1String("fetch_closing_standin") && fs::file_size(marker) == 0 &&
                   waited.elapsed() < GuardMs(120))
                QTest::qWait(20);
            if (other != Other::Second) {
                QCOMPARE(kill(static_cast<pid_t>(session.processId()), SIGKILL), 0);
                QVERIFY(session.waitForFinished(GuardMs(60)));
                QVERIFY(!gone(fetch));
            }
            if (other == Other::KilledWithFetch)
                QCOMPARE(kill(static_cast<pid_t>(std::stol(fetch)), SIGKILL), 0);
            if (other == Other::KilledWithFetch || other == Other::KilledFetchEnds) {
                kombra_test::WriteFile(go, "");
                QVERIFY(processesEnd(pids));
            }
        }

        // Once a program runs (or the action waits for the other's), the
        // whole file is renamed or copied into place, as an operator would;
        // or the other program's fetch is told to go on.
        int ticks = 0;
        bool arrivedWhileRunning = false;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            if (other != Other::None)
                kombra_test::WriteFile(go, "");
            // What a fetch program left in the background goes on once
            // the action has reaped the program, and so waits for what it
            // started (a look at a program that has only ended could let
            // that end before the action looks).
            if (standin == QLatin1String("fetch_background_standin")) {
                std::ifstream in(pids);
                std::string child, leader;
                if (std::getline(in, child) && std::getline(in, leader) && !fs::exists("/proc/" + leader))
                    kombra_test::WriteFile(go, "");
            }
            const std::string pid = firstPid();
            if (arrives == Arrives::None || arrivedWhileRunning || pid.empty())
                return;
            // Whether the program runs is looked at before the file comes:
            // neither stand-in ends before the file is in place, so a look
            // after it could find the program already ended by its coming.
            const bool running = !gone(pid);
            if (arrives == Arrives::Copied) {
                fs::copy_file(served.onServer, served.data, fs::copy_options::overwrite_existing);
            } else {
                const fs::path copy = served.data.string() + ".copy";
                fs::copy_file(served.onServer, copy, fs::copy_options::overwrite_existing);
                fs::rename(copy, served.data);
            }
            arrivedWhileRunning = running;
        });
        timer.start(50);
        pro_SetWatchFails(noWatch ? 1 : 0);
        pro_EndFetches(ending ? 1 : 0);
        // A program stuck in the open of a FIFO is let go, and the row
        // fails: nothing else ever opens the FIFO for reading.
        std::atomic<bool> done{false}, hung{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 600 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            while (!done && standin == QLatin1String("fetch_fifo_standin")) {
                const int fd = ::open(served.data.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    hung = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        const auto [said, drawnNow] = plot();
        done = true;
        watchdog.join();
        pro_EndFetches(0);
        pro_SetWatchFails(0);
        dbSetFetchLocks(0);
        timer.stop();
        const bool fileLeft = fs::exists(served.data);
        const bool wholeLeft =
            fs::is_regular_file(served.data) && kombra_test::ReadFile(served.data.string()) == whole;

        QVERIFY(!hung);
        const std::string expected = QString(line).replace(QLatin1String("%1"), archive_.path()).toStdString();
        QVERIFY2(said.find(expected) != std::string::npos, said.c_str());
        QVERIFY2(occurrences(said, "Could not promote") == (drawn || fileThere ? 0 : 1), said.c_str());
        QCOMPARE(drawnNow, drawn);
        // A part of the file is never read as whole.
        QVERIFY2(said.find("Wrote ") == std::string::npos || drawn, said.c_str());
        QCOMPARE(fileLeft, arrives != Arrives::None || drawn || fileThere);
        QCOMPARE(wholeLeft, arrives != Arrives::None || ((drawn || fileThere) && before != Before::HoledCopy));
        // A user's own file is never taken for a marker.
        if (before == Before::UsersFileBesideWhole || before == Before::UsersFileAtMarker)
            QCOMPARE(kombra_test::ReadFile(marker), usersFile);
        // What the lines name to remove is removed, as the operator would.
        if (before == Before::FolderAtMarker || before == Before::LinkAtMarker || before == Before::FifoAtMarker ||
            before == Before::UsersFileBesideWhole || before == Before::UsersFileAtMarker)
            fs::remove(marker);
        QCOMPARE(arrivedWhileRunning, arrives != Arrives::None);
        if (standin == QLatin1String("fetch_hang_standin")) {
            QVERIFY(ticks > 0);
            QVERIFY(processesEnd(pids));
        }
        if (runs >= 0)
            QCOMPARE(occurrences(fs::exists(log) ? kombra_test::ReadFile(log) : std::string(), "\n"), runs);
        if (other == Other::Second) {
            QVERIFY(session.waitForFinished(GuardMs(120)));
            const QByteArray sessionSaid = session.readAll();
            QVERIFY2(session.exitStatus() == QProcess::NormalExit && session.exitCode() == 0, sessionSaid.constData());
        }
        if (!drawn || before == Before::HoledCopy) {
            fs::remove(served.data);
            fs::copy_file(served.onServer, served.data);
        }
        const auto [mended, drawnNext] = plot();
        QVERIFY2(drawnNext, mended.c_str());
        QVERIFY2(next.isEmpty() || mended.find(next.toStdString()) != std::string::npos, mended.c_str());
        QVERIFY(!fs::exists(marker));
        QVERIFY(!fs::exists(description + "I.fetch"));
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
            << Replace::NoEntriesThenRename
            << "No data of CLUSTERII CLUSTER-1 HALDE SPINPAD HSPAD: the archive holds none of HSPAD for CLUSTER-1 at "
               "any time";
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
