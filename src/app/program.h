#pragma once
// The whole program, from the command line to the end of its event loop:
// main() is only this, and the start-up benchmark runs the very same.

namespace app {

// Runs zerivirav with the command line it was started with; the exit status.
int run(int argc, char *argv[]);

} // namespace app
