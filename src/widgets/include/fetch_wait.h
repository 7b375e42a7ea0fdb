// Both programs' windows while an action waits for a fetch program.
#pragma once

namespace widgets {

// Lets the windows repaint (and their timers run) while promotion waits for
// a fetch program; input stays queued until the action has ended, so that
// no second action starts inside the first.
void repaint_while_fetching();

}  // namespace widgets
