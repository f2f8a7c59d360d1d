#pragma once
// Bringing the started emulator's window to the front: one piece per display
// system, chosen by what the program runs on.

namespace desktop {

// Best effort: brings the window of the task (or of a process it started) to
// the front once it appears, looking for it from the event loop for a while.
// Never blocks and never reports; a later call replaces an earlier one still
// looking.
void activateTask(double taskId);

} // namespace desktop
