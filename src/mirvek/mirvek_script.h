/* The scripted Mirvek session of scripts/run-sample (program mirvek_session)
 * and of the tests: the buttons a user would press on a window with its
 * defaults. */
#pragma once

#include <QString>

class MirvekBox;

/* "Print to File" for an energy-angle-time spectrogram (stem
 * mirvek_spectrogram) and for a wheel sequence (mirvek_wheel, one numbered
 * GIF per wheel), then "Export" as CEF 2 and as CDF (mirvek_data), every
 * file into outDir.  Prints each action and each file written with a
 * one-line summary on the standard output; returns the number of actions
 * that wrote nothing.  A signal that asks the program to end
 * (widgets::end_on_signals) ends the session after the running action. */
int run_mirvek_session(MirvekBox &box, const QString &outDir);
