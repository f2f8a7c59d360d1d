// Runs programs in turn, round after round, and prints for each its median
// wall time and median peak memory (the same figure as GNU time's %M).
//
// usage: zv_bench_alternate ROUNDS WARMUP -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...
// One output line per program: median_ms q1_ms q3_ms median_peak_kib
// Taking turns spreads slow phases of the machine evenly over the programs;
// the order within a round flips every round.

#include "stats.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Sample {
    double ms;
    long peakKib;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool runOnce(const std::vector<char *> &argv, Sample &out)
{
    const char *program = argv.front();
    const double start = now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program, std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        execv(program, argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", program, std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return false;
    }
    out = Sample{now() - start, usage.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", program, status);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::vector<char *>> programs;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            if (!programs.empty())
                programs.back().push_back(nullptr);
            programs.emplace_back();
        } else if (!programs.empty()) {
            programs.back().push_back(argv[i]);
        }
    }
    if (!programs.empty())
        programs.back().push_back(nullptr);
    const int rounds = argc > 2 ? std::atoi(argv[1]) : 0;
    const int warmup = argc > 2 ? std::atoi(argv[2]) : -1;
    const bool complete = !programs.empty()
                          && std::all_of(programs.begin(), programs.end(),
                                         [](const auto &p) { return p.size() > 1; });
    if (rounds < 1 || warmup < 0 || !complete) {
        std::fprintf(stderr, "usage: %s ROUNDS WARMUP -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...\n",
                     argv[0]);
        return 2;
    }
    const int count = static_cast<int>(programs.size());

    std::vector<std::vector<Sample>> samples(static_cast<std::size_t>(count));
    for (int round = 0; round < warmup + rounds; ++round) {
        for (int k = 0; k < count; ++k) {
            const int which = round % 2 == 0 ? k : count - 1 - k;
            Sample sample{};
            if (!runOnce(programs[static_cast<std::size_t>(which)], sample))
                return 1;
            if (round >= warmup)
                samples[static_cast<std::size_t>(which)].push_back(sample);
        }
    }

    for (const auto &runs : samples) {
        std::vector<double> ms;
        std::vector<long> kib;
        for (const Sample &s : runs) {
            ms.push_back(s.ms);
            kib.push_back(s.peakKib);
        }
        std::printf("%.2f %.2f %.2f %ld\n", bench::quantile(ms, 0.5), bench::quantile(ms, 0.25),
                    bench::quantile(ms, 0.75), bench::quantile(kib, 0.5));
    }
    return 0;
}
