/* mirvek_session OUTDIR: a short scripted Mirvek session on the archive the
 * environment names, pressing the buttons a user would with the window's
 * defaults: an energy-angle-time spectrogram into a GIF, a wheel sequence
 * into numbered GIFs, and the gathered sweeps exported as CEF 2 and as CDF.
 * Every file goes into OUTDIR; each is printed with a one-line summary.
 * Exit status 1 when an action wrote nothing.  SIGTERM, SIGINT and SIGHUP
 * end the session as they end Mirvek: the running action ends at once, with
 * its fetch program, and no further action runs. */
#include "fetch_wait.h"
#include "mirvek.h"
#include "mirvek_script.h"

#include <QApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc != 2) {
        std::fprintf(stderr, "usage: mirvek_session OUTDIR\n");
        return 2;
    }
    widgets::end_on_signals(app);
    MirvekBox box;
    const int failures = run_mirvek_session(box, QString::fromLocal8Bit(argv[1]));
    return widgets::exit_status(failures == 0 ? 0 : 1);
}
