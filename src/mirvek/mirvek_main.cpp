/* Mirvek: energy-angle-time spectrograms, wheel sequences and exports of the
 * HALDE electron sweeps of one data source over a start and end time. */
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
    return app.exec();
}
