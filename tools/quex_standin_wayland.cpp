// A quex stand-in that is a plain Wayland client, as a native emulator built
// on SDL or a toolkit is: it records its run in "quex.log" like the other
// stand-ins, shows a grey window "quex stand-in" (app id "quex.exe") for
// QUEX_STANDIN_SECONDS (default 60) and, once that window is on screen, hands
// the startup token it was started with (XDG_ACTIVATION_TOKEN, else
// DESKTOP_STARTUP_ID) to the compositor through xdg_activation_v1. GTK 3
// spends its token before its window is mapped, which sway 1.7 passes over;
// this stand-in does what the protocol allows either way, after mapping.

#include "standin_log_posix.h"

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

constexpr int kWidth = 320, kHeight = 120;

struct Client {
    wl_compositor *compositor = nullptr;
    wl_shm *shm = nullptr;
    xdg_wm_base *shell = nullptr;
    xdg_activation_v1 *activation = nullptr;
    bool configured = false;
    bool closed = false;
};

template <typename T>
T *bindGlobal(wl_registry *registry, uint32_t name, const wl_interface *interface, uint32_t version)
{
    return static_cast<T *>(wl_registry_bind(registry, name, interface, version));
}

void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *c = static_cast<Client *>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        c->compositor = bindGlobal<wl_compositor>(registry, name, &wl_compositor_interface, 1);
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        c->shm = bindGlobal<wl_shm>(registry, name, &wl_shm_interface, 1);
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        c->shell = bindGlobal<xdg_wm_base>(registry, name, &xdg_wm_base_interface, 1);
    else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        c->activation = bindGlobal<xdg_activation_v1>(registry, name, &xdg_activation_v1_interface, 1);
}
void onGlobalRemoved(void *, wl_registry *, uint32_t) {}
const wl_registry_listener kRegistry{onGlobal, onGlobalRemoved};

void onPing(void *, xdg_wm_base *shell, uint32_t serial)
{
    xdg_wm_base_pong(shell, serial);
}
const xdg_wm_base_listener kShell{onPing};

void onSurfaceConfigure(void *data, xdg_surface *surface, uint32_t serial)
{
    xdg_surface_ack_configure(surface, serial);
    static_cast<Client *>(data)->configured = true;
}
const xdg_surface_listener kSurface{onSurfaceConfigure};

void onToplevelConfigure(void *, xdg_toplevel *, int32_t, int32_t, wl_array *) {}
void onClose(void *data, xdg_toplevel *)
{
    static_cast<Client *>(data)->closed = true;
}
void onBounds(void *, xdg_toplevel *, int32_t, int32_t) {}
void onCapabilities(void *, xdg_toplevel *, wl_array *) {}
const xdg_toplevel_listener kToplevel{onToplevelConfigure, onClose, onBounds, onCapabilities};

// A buffer of the window's size in a light grey.
wl_buffer *greyBuffer(wl_shm *shm)
{
    const int stride = kWidth * 4, size = stride * kHeight;
    const int fd = ::memfd_create("quex-standin", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, size) != 0)
        return nullptr;
    void *pixels = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    std::memset(pixels, 0xC0, size);
    ::munmap(pixels, size);
    wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    return buffer;
}

// The token this run was started with; taken out of the environment, as a
// token serves once.
std::string startupToken()
{
    std::string token;
    for (const char *name : {"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"}) {
        if (const char *value = std::getenv(name); value && *value)
            token = value;
        ::unsetenv(name);
    }
    return token;
}

} // namespace

int main(int argc, char **argv)
{
    if (!appendRunToLog(argc, argv))
        return 3;
    const char *secondsText = std::getenv("QUEX_STANDIN_SECONDS");
    const auto stay = std::chrono::seconds(secondsText ? std::atoi(secondsText) : 60);
    const std::string token = startupToken();

    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return 4;
    Client c;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.shell)
        return 5;
    xdg_wm_base_add_listener(c.shell, &kShell, &c);

    wl_surface *surface = wl_compositor_create_surface(c.compositor);
    xdg_surface *shellSurface = xdg_wm_base_get_xdg_surface(c.shell, surface);
    xdg_surface_add_listener(shellSurface, &kSurface, &c);
    xdg_toplevel *toplevel = xdg_surface_get_toplevel(shellSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &c);
    xdg_toplevel_set_title(toplevel, "quex stand-in");
    xdg_toplevel_set_app_id(toplevel, "quex.exe");
    wl_surface_commit(surface);
    while (!c.configured && wl_display_dispatch(display) >= 0) {
    }
    wl_surface_attach(surface, greyBuffer(c.shm), 0, 0);
    wl_surface_commit(surface);
    wl_display_roundtrip(display); // the window is on screen now

    if (c.activation && !token.empty())
        xdg_activation_v1_activate(c.activation, token.c_str(), surface);
    wl_display_flush(display);

    const auto until = std::chrono::steady_clock::now() + stay;
    while (!c.closed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd readable{wl_display_get_fd(display), POLLIN, 0};
        if (::poll(&readable, 1, int(left.count())) > 0 && wl_display_dispatch(display) < 0)
            break;
        wl_display_flush(display);
    }
    wl_display_disconnect(display);
    return 0;
}
