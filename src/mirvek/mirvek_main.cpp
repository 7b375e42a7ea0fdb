/* Mirvek: energy-angle-time spectrograms, wheel sequences and exports of the
 * HALDE electron sweeps of one data source over a start and end time. */
#include "fetch_wait.h"
#include "mirvek.h"

#include <QApplication>
#include <QPushButton>

#include <clocale>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    /* Qt switches C number formatting to the user's locale; settings files
     * and typed numbers use the C locale's point. */
    std::setlocale(LC_NUMERIC, "C");
    MirvekBox box(nullptr, nullptr);
    box.setWindowTitle(QString::fromLatin1("Deverin Energy-Time-Angle Plots") + QString::fromLatin1("  ") +
                       QString::fromLatin1("V3.6.1a"));
    box.show();
    QObject::connect(box.quit, &QPushButton::clicked, &app, &QApplication::quit);
    /* Quit or a signal during a fetch ends the fetch with the program. */
    widgets::quit_ends_fetches(box.quit);
    widgets::end_on_signals(app);
    return widgets::exit_status(app.exec());
}
