/* Pitch-angle rebinning of sweeps and the boolean of the sweep model. */
#ifndef VELORA_PAD_H
#define VELORA_PAD_H

typedef enum { QPFALSE = 0, QPTRUE = 1 } T_OR_F_E;

#include "Qsweep_spin.h"

#endif
