#pragma once
// What the watcher tells the front end about a task it started, over the
// report pipe. No Qt here: the watcher writes from a forked copy of the front
// end, where only async-signal-safe calls may stand.

#include <cstddef>

namespace launch::report {

// The most of the task's output an Ended message carries (kOutputTailBytes).
inline constexpr int kTailBytes = 4096;

// A header, then `length` bytes.
struct Message {
    enum Kind : int { Started = 1, Running, ForkFailed, ExecFailed, Ended };
    int kind;
    int value;  // Started: the task's pid; *Failed: errno; Ended: its wait status
    int length; // Ended: the last bytes of its output that follow
};

// Async-signal-safe. A reader that has gone takes nothing: the bytes are lost.
void writeAll(int fd, const void *bytes, std::size_t size);
void send(int fd, Message::Kind kind, int value);

// The size of the first message of `data` with its bytes, once all of it has
// come (its header copied to `message`); 0 until then.
std::size_t firstMessage(const char *data, std::size_t size, Message &message);

} // namespace launch::report
