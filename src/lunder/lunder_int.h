/* What Lunder's two windows share: PGPLOT device names from the plot option
 * widgets, the open-failure message, and freeing a sweep record. */
#pragma once

#include "Qsweep_spin.h"

#include <string>

class QLineEdit;

namespace lunder {

/* Longest device name the windows hand to PGPLOT. */
constexpr std::size_t kMaxDeviceName = 199;

/* kind 0..3: the file stem with ".gif/GIF", ".gif/VGIF", ".eps/CPS" or
 * ".eps/VCPS"; kind 5: the X window of the window number field ("53" when
 * it is no integer 1..255) and "/Xserv". */
std::string device_name(int kind, const QLineEdit *stem, const QLineEdit *window);

/* Prints the two lines of a device that could not be opened. */
void print_open_failure(const std::string &name);

/* Frees the sweep's arrays and record and nulls the pointer. */
void free_sweep(HALDE_SWEEP_S *&sweep);

} // namespace lunder
