// mirvek_bench [--day]: times Mirvek's own actions.  Generates the sample
// archive (with --day the whole day of every product), then presses
// "Print to File" for the energy-angle-time spectrogram into a GIF and
// "Export" for CEF 2, over CLUSTER-1's high-energy pitch-angle product
// gathered by 15 spins: the whole day with --day, else ten minutes of the
// default sample (the smoke test, which times nothing it checks).
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

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

double Press(MirvekBox &box, const char *button)
{
    const auto start = std::chrono::steady_clock::now();
    box.findChild<QPushButton *>(QString::fromLatin1(button))->click();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    kombra_sample::SampleOptions options;
    options.day = argc > 1 && std::strcmp(argv[1], "--day") == 0;
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
    return 0;
}
