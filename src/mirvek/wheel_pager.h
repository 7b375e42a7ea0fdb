/* Waiting between the wheels of a sequence on the X window.
 *
 * PGPLOT waits between the pages of an X window by asking on the standard
 * input ("Type <RETURN> for next page:").  Started without a terminal (from
 * a desktop launcher, or with the standard input redirected) that prompt
 * finds nothing to read and the whole sequence flashes by, and in a job
 * started in the background it stops the program.  The sequence then waits
 * in the program's own window instead: after each wheel a small dialog
 * shows the next wheel or stops. */
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace mirvek {

/* True when a wheel sequence on the X window waits in the window: the
 * standard input is no terminal, or one whose foreground is another job,
 * or an answer is set (below). */
bool wheels_wait_in_window();

/* The dialog "Wheel Sequence" after wheel `shown` of `total` of `source`
 * (the spacecraft): "Next Wheel" and "Stop", or after the last wheel
 * "Done" alone.  True: show the next wheel; false: stop here, leaving the
 * wheel on the window ("Stop", "Done" or the dialog closed). */
bool ask_next_wheel(QWidget *parent, const QString &source, int shown, int total, bool last);

/* Answers ask_next_wheel in place of the user (tests run without anyone to
 * answer); an empty function restores the dialog. */
using NextWheelAnswer = std::function<bool(const QString &source, int shown, int total, bool last)>;
void set_next_wheel_answer(NextWheelAnswer answer);

} // namespace mirvek
