#pragma once
// The front end's child after fork(): it becomes the watcher, which starts the
// task and stays its parent (see after_fork_posix.cpp). No Qt here, and only
// async-signal-safe calls in the code behind it: the front end may have other
// threads, whose locks a forked process must never wait for.

namespace launch {

// Everything the child needs, prepared before the fork.
struct WatcherPlan {
    const char *path;   // what is executed
    char *const *argv;  // null-terminated
    char *const *envp;  // null-terminated
    int reportFd;       // the report pipe's writing end
    int maxFd;          // where closing descriptors one by one may stop
    long long watchMs;  // how long an early end is reported
};

// The name the watcher shows in process lists, at most 15 bytes.
inline constexpr char kWatcherName[] = "quex-watch";

// Called in the child at once after fork(); never returns.
[[noreturn]] void runAfterFork(const WatcherPlan &plan);

} // namespace launch
