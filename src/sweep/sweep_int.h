/* Helpers shared by the sweep readers. */
#pragma once

#include "Qnurv_utils.h"

/* btime plus one spin period held in single precision, to the nanosecond,
 * whole days carried into the day of year and the year. */
NURV_TIME_S nurv_time_plus_spin(const NURV_TIME_S &btime, float tspin);
