// Starts window programs in turn, round after round, on the X display of
// $DISPLAY, and times each start from the fork to two moments the X server
// reports: the program's top-level window mapped, and the window's whole
// area drawn by the program (its first frame). Prints for each program the
// medians, quartiles and its median peak memory (GNU time's %M).
//
// usage: zv_bench_alternate [-v] ROUNDS WARMUP -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...
// One output line per program:
//   mapped_ms q1 q3  painted_ms q1 q3  median_peak_kib
// -v: one line per start on stderr: program index, fork time (CLOCK_REALTIME,
// seconds), mapped and painted in ms after it.
//
// While a program starts this process sleeps in ppoll() on its X connection
// and on the child's pidfd: nothing is polled and nothing else is started, so
// on a small machine it takes no processor time from the program. The
// server's events tell the two moments: SubstructureNotify on the root gives
// MapNotify of the new top-level window; a DAMAGE object on the root, which
// takes in the drawing into every window, gives the program's drawing.
// (Expose cannot be used for the frame: the server sends it when it maps the
// window, before the program has drawn anything.) The display must have no
// window manager, so that the program's window is a child of the root.
// Kept free of Qt and small: a child's peak memory on Linux starts from the
// peak of the process that forked it.

#include "stats.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Sample {
    double mappedMs, paintedMs;
    long peakKib;
};

double now(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The pixels of one window not yet drawn, row by row.
class Coverage {
public:
    void reset(int x, int y, int width, int height)
    {
        m_x = x, m_y = y, m_width = width, m_height = height;
        m_drawn.assign(std::size_t(std::max(0, width * height)), false);
        m_left = m_drawn.size();
    }
    // True once every pixel has been drawn.
    bool add(const xcb_rectangle_t &r)
    {
        const int x0 = std::max(int(r.x), m_x), x1 = std::min(r.x + r.width, m_x + m_width);
        const int y0 = std::max(int(r.y), m_y), y1 = std::min(r.y + r.height, m_y + m_height);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const std::size_t at = std::size_t((y - m_y) * m_width + (x - m_x));
                m_left -= m_drawn[at] ? 0 : 1;
                m_drawn[at] = true;
            }
        return m_left == 0;
    }

    std::size_t left() const { return m_left; }

private:
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0;
    std::vector<bool> m_drawn;
    std::size_t m_left = 0;
};

class Display {
public:
    bool open()
    {
        int screenNumber = 0;
        m_c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_c)) {
            std::fprintf(stderr, "cannot open the X display\n");
            return false;
        }
        fcntl(xcb_get_file_descriptor(m_c), F_SETFD, FD_CLOEXEC);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&it);
        m_root = it.data->root;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!damage || !damage->present) {
            std::fprintf(stderr, "the X server has no DAMAGE extension\n");
            return false;
        }
        m_damageNotify = damage->first_event + XCB_DAMAGE_NOTIFY;
        Reply<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr), &std::free);
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_damage_create(m_c, xcb_generate_id(m_c), m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        sync();
        return version && !xcb_connection_has_error(m_c);
    }

    // Starts `argv` and sleeps until its window is mapped and fully drawn,
    // then until it exits.
    bool run(const std::vector<char *> &argv, Sample &out, double &startedAt)
    {
        const char *program = argv.front();
        startedAt = now(CLOCK_REALTIME);
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
        const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
        xcb_window_t window = XCB_NONE;
        double mapped = -1, painted = -1;
        bool exited = false, gone = false;
        // A program that has ended may still have drawing on its way to the
        // server; its window's DestroyNotify comes after all of it.
        while (painted < 0 && !gone) {
            pollfd fds[2] = {{xcb_get_file_descriptor(m_c), POLLIN, 0}, {pidfd, POLLIN, 0}};
            const timespec limit{exited ? 1 : 60, 0};
            const int ready = ppoll(fds, !exited && pidfd >= 0 ? 2 : 1, &limit, nullptr);
            if (ready == 0) {
                if (!exited) {
                    std::fprintf(stderr, "%s showed no window within a minute\n", program);
                    kill(pid, SIGKILL);
                }
                break;
            }
            exited = exited || (pidfd >= 0 && (fds[1].revents & POLLIN));
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                const double at = now();
                const int type = event->response_type & 0x7F;
                if (type == XCB_CREATE_NOTIFY) {
                    const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event);
                    place(create->window, create->x, create->y, create->width, create->height,
                          create->border_width);
                } else if (type == XCB_CONFIGURE_NOTIFY) {
                    const auto *configure = reinterpret_cast<xcb_configure_notify_event_t *>(event);
                    place(configure->window, configure->x, configure->y, configure->width, configure->height,
                          configure->border_width);
                } else if (type == XCB_MAP_NOTIFY && mapped < 0) {
                    const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                    const auto placed = std::find_if(m_places.begin(), m_places.end(),
                                                     [map](const Place &p) { return p.window == map->window; });
                    if (!map->override_redirect && placed != m_places.end()) {
                        window = map->window;
                        mapped = at - start;
                        m_coverage.reset(placed->x, placed->y, placed->width, placed->height);
                    }
                } else if (type == m_damageNotify && window != XCB_NONE && painted < 0) {
                    const auto *damage = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                    if (m_coverage.add(damage->area))
                        painted = at - start;
                } else if (type == XCB_DESTROY_NOTIFY && window != XCB_NONE) {
                    gone = gone || reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window == window;
                }
                std::free(event);
            }
            if (xcb_connection_has_error(m_c)) {
                std::fprintf(stderr, "lost the X connection\n");
                break;
            }
        }
        m_places.clear();
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        if (pidfd >= 0)
            close(pidfd);
        out = Sample{mapped, painted, usage.ru_maxrss};
        settle(gone ? XCB_NONE : window);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed (status %d)\n", program, status);
            return false;
        }
        if (painted < 0) {
            std::fprintf(stderr, "%s ended before its window was drawn (%s, %zu pixels left)\n", program,
                         mapped < 0 ? "not mapped" : "mapped", m_coverage.left());
            return false;
        }
        return true;
    }

private:
    // Where the program's top-level windows are: the frame counts as drawn
    // once the program has drawn all of its window's place. Taken from the
    // events, as the window may be gone before a request about it arrives.
    struct Place {
        xcb_window_t window;
        int x, y, width, height;
    };
    void place(xcb_window_t window, int x, int y, int width, int height, int border)
    {
        const Place p{window, x + border, y + border, width, height};
        auto it = std::find_if(m_places.begin(), m_places.end(), [window](const Place &q) { return q.window == window; });
        if (it == m_places.end())
            m_places.push_back(p);
        else
            *it = p;
    }

    // After the program has gone, the server takes its windows down and
    // draws the root where they were: wait for that and drop what it
    // reported, so that the next start sees only its own events.
    void settle(xcb_window_t window)
    {
        while (window != XCB_NONE) {
            xcb_generic_event_t *event = xcb_wait_for_event(m_c);
            if (!event)
                return;
            const bool gone = (event->response_type & 0x7F) == XCB_DESTROY_NOTIFY
                              && reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window == window;
            std::free(event);
            if (gone)
                break;
        }
        sync();
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_c))
            std::free(event);
    }

    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_damageNotify = -1;
    std::vector<Place> m_places;
    Coverage m_coverage;
};

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    const bool verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
    first += verbose ? 1 : 0;
    std::vector<std::vector<char *>> programs;
    for (int i = first + 2; i < argc; ++i) {
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
    const int rounds = argc > first + 1 ? std::atoi(argv[first]) : 0;
    const int warmup = argc > first + 1 ? std::atoi(argv[first + 1]) : -1;
    const bool complete = !programs.empty()
                          && std::all_of(programs.begin(), programs.end(),
                                         [](const auto &p) { return p.size() > 1; });
    if (rounds < 1 || warmup < 0 || !complete) {
        std::fprintf(stderr, "usage: %s [-v] ROUNDS WARMUP -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]...\n",
                     argv[0]);
        return 2;
    }
    Display display;
    if (!display.open())
        return 1;
    const int count = static_cast<int>(programs.size());

    // Taking turns spreads slow phases of the machine evenly over the
    // programs; the order within a round flips every round.
    std::vector<std::vector<Sample>> samples(static_cast<std::size_t>(count));
    for (int round = 0; round < warmup + rounds; ++round) {
        for (int k = 0; k < count; ++k) {
            const int which = round % 2 == 0 ? k : count - 1 - k;
            Sample sample{};
            double startedAt = 0;
            if (!display.run(programs[static_cast<std::size_t>(which)], sample, startedAt))
                return 1;
            if (verbose)
                std::fprintf(stderr, "%d %.6f %.2f %.2f%s\n", which, startedAt / 1e3, sample.mappedMs,
                             sample.paintedMs, round < warmup ? " warm-up" : "");
            if (round >= warmup)
                samples[static_cast<std::size_t>(which)].push_back(sample);
        }
    }

    for (const auto &runs : samples) {
        std::vector<double> mapped, painted;
        std::vector<long> kib;
        for (const Sample &s : runs) {
            mapped.push_back(s.mappedMs);
            painted.push_back(s.paintedMs);
            kib.push_back(s.peakKib);
        }
        std::printf("%.2f %.2f %.2f %.2f %.2f %.2f %ld\n", bench::quantile(mapped, 0.5),
                    bench::quantile(mapped, 0.25), bench::quantile(mapped, 0.75), bench::quantile(painted, 0.5),
                    bench::quantile(painted, 0.25), bench::quantile(painted, 0.75), bench::quantile(kib, 0.5));
    }
    return 0;
}
