#pragma once
// Bringing the started emulator's window to the front: one piece per display
// system, chosen by what the front end itself runs on.

#include "launch/task.h"

namespace desktop {

// Asked for on the Run press, before the task starts: a startup token from
// the desktop, where it hands them out (a Wayland compositor), so that the
// task can bring its own window forward. Waits on the desktop for about
// 100 ms at the most; empty without one.
launch::StartupToken startupToken();

// Best effort: brings the window of the task (or of a process it started) to
// the front once it appears, looking for it from the event loop for a while,
// but never over a program the user has turned to since. Never blocks and
// never reports; a later call replaces an earlier one still looking.
void activateTask(double taskId);

} // namespace desktop
