// mirvek_bench [--day] [--xwin-minutes N]: times Mirvek's own actions.
// Generates the sample archive (with --day the whole day of every product),
// then presses "Print to File" for the energy-angle-time spectrogram into a
// GIF and "Export" for CEF 2, over CLUSTER-1's high-energy pitch-angle
// product gathered by 15 spins: the whole day with --day, else ten minutes
// of the default sample.  With an X display (scripts/with-xvfb) it then
// draws the spectrogram of CLUSTER-1's 3DR CP3DRH from 17:30, sweep by
// sweep in whole spins, for N minutes (60, the hour of whole spins, unless
// given) both into a GIF and on the X window, and prints the two times and
// their ratio.  The smoke tests run it briefly and time nothing they check.
#include "mirvek.h"
#include "mirvek_boxes.h"
#include "sample_archive.h"

#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

double Press(MirvekBox &box, const char *button)
{
    const auto start = std::chrono::steady_clock::now();
    box.findChild<QPushButton *>(QString::fromLatin1(button))->click();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Choose(QComboBox *combo, const char *text)
{
    combo->setCurrentIndex(combo->findText(QString::fromLatin1(text)));
}

// The spectrogram of every sweep of CP3DRH from 17:30 for the minutes
// given, into a GIF and on the X window.
void XWindowAgainstFile(const QTemporaryDir &dir, int minutes)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("  Plot Xwin against Print to File: no X display (run under scripts/with-xvfb)\n");
        return;
    }
    MirvekBox box;
    Choose(box.lineage->inst, "3DR");
    Choose(box.lineage->virins, "CP3DRH");
    box.startendbox->setSHour(17);
    box.startendbox->setSMinute(30);
    box.startendbox->setSSecond(0);
    const int end = 30 + minutes;
    box.startendbox->setEHour(17 + end / 60);
    box.startendbox->setEMinute(end % 60);
    box.startendbox->setESecond(0);
    box.plot_file_edit->setText(dir.filePath(QStringLiteral("hour")));
    std::fflush(stdout);
    const double file = Press(box, "Print to File");
    const double gif = static_cast<double>(std::filesystem::file_size(dir.filePath(QStringLiteral("hour.gif")).toStdString()));
    const double xwin = Press(box, "Plot Xwin");
    std::printf("mirvek_bench: CLUSTER-1 CP3DRH spectrogram from 17:30 for %d minutes, sweep by sweep\n", minutes);
    std::printf("  Print to File, landscape GIF %7.3f s  GIF of %.0f bytes\n", file, gif);
    std::printf("  Plot Xwin                    %7.3f s  %.2f times the file (goal: at most about 2)\n", xwin,
                file > 0 ? xwin / file : 0.0);
}

}  // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    kombra_sample::SampleOptions options;
    int xwin_minutes = 60;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--day") == 0)
            options.day = true;
        else if (std::strcmp(argv[a], "--xwin-minutes") == 0 && a + 1 < argc)
            xwin_minutes = std::max(1, std::min(60, std::atoi(argv[++a])));
    }
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    kombra_sample::WriteSampleArchive(root, options);
    setenv("KOMBRA_CONFIG", (root + "/config").c_str(), 1);
    setenv("KOMBRA_DATA", root.c_str(), 1);
    setenv("KOMBRA_HOME", root.c_str(), 1);
    setenv("KOMBRA_DB_TYPE", "SQLite", 1);
    setenv("PGPLOT_DIR", "/usr/lib/pgplot5", 0);

    MirvekBox box;
    const int first = kombra_sample::FirstHour(options);
    box.startendbox->setSHour(first);
    box.startendbox->setSMinute(0);
    box.startendbox->setEHour(options.day ? 23 : first);
    box.startendbox->setEMinute(options.day ? 59 : 10);
    box.startendbox->setESecond(options.day ? 59 : 0);
    box.lineage->gatherchoice->setCurrentIndex(1);
    box.lineage->gathern->setText(QStringLiteral("15"));
    box.plot_file_edit->setText(dir.filePath(QStringLiteral("stack")));
    box.exp_file_edit->setText(dir.filePath(QStringLiteral("data")));

    std::fflush(stdout);
    const double plot = Press(box, "Print to File");
    const double gif = static_cast<double>(std::filesystem::file_size(root + "/stack.gif"));
    const double exp = Press(box, "Export");
    const double cef = static_cast<double>(std::filesystem::file_size(root + "/data.cef"));
    std::printf("mirvek_bench: CLUSTER-1 HSPAD, %s, gathered by 15 spins\n",
                options.day ? "the whole day" : "ten minutes");
    std::printf("  Print to File, spectrogram  %7.3f s  GIF of %.0f bytes (goal for the day: under 3 s)\n", plot, gif);
    std::printf("  Export, CEF 2               %7.3f s  file of %.0f bytes (goal for the day: under 2 s)\n", exp, cef);
    XWindowAgainstFile(dir, xwin_minutes);
    return 0;
}
