// Both programs' windows while an action waits for a fetch program or for
// a catalog another process keeps busy, and the end of a program that is
// asked to end meanwhile.
#pragma once

class QAbstractButton;
class QCoreApplication;

namespace widgets {

// Lets the windows repaint (and their timers run) while promotion waits for
// a fetch program and while a statement waits for a busy catalog.  Of the
// user's input only a click on a Quit button
// (quit_ends_fetches) goes through then; other input is ignored, so that no
// second action starts inside the first.
void repaint_while_fetching();

// A click on quit ends a running fetch as the program ends: the fetch
// program is stopped with what it wrote and no other starts, and a wait for
// a busy catalog ends, so that the action ends at once.  The button quits
// the application as before.
void quit_ends_fetches(QAbstractButton *quit);

// SIGTERM, SIGINT and SIGHUP end the program as Quit does, running fetch
// and all: the handler only notes the signal (for the fetch wait and the
// event loop, which app leaves); the action under way ends and removes its
// private folders.  Call once, before the event loop.
void end_on_signals(QCoreApplication &app);
// Whether a signal asked the program to end (between the actions of a
// scripted session).
bool ending_on_signal();
// Whether a signal or Quit asked the program to end while an action waited.
bool program_ending();
// Before an action writes its file: when the program is ending, prints
// "Nothing written, as the program is ending" and returns true (the action
// then ends without writing); else false.
bool nothing_written_as_ending();
// The exit status of a program whose event loop (or session) returned
// status: when a signal asked it to end, that signal is raised again with
// its default action, so that the program ends as the signal would have
// ended it; else status.
int exit_status(int status);

}  // namespace widgets
