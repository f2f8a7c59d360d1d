"""A Wayland session (sway 1.7 without a screen): the front end as a native
Wayland client and on XWayland, and Run bringing the emulator's window to
the front, be it an X11 window (shown through XWayland; wine's among them)
or a native Wayland one that takes the startup token Run asked for. sway
here gives a new stand-in window no focus of its own: only an activation
brings it forward."""

import os
import shutil
import signal
import subprocess
import time

from harness import NOBODY, Skip, check, descendants, has_state, process_state, showing, standin_runs, wait_until

SESSION = {"compositor": True}
TITLE = "quex stand-in"
OWNER = NOBODY if os.geteuid() == 0 else None


def _emulator(session, folder, kind):
    """x11: the Qt stand-in on XWayland; wayland: the Wayland client stand-in;
    wine: the Windows stand-in through wine."""
    if kind == "wine":
        if not session.standin_win or not shutil.which("wine") or not os.environ.get("WINEPREFIX"):
            raise Skip("no wine, no Windows stand-in or no private wine prefix here")
        if OWNER is not None:  # the test's own copy of the prefix, for the user the session runs as
            subprocess.run(["chown", "-R", f"{OWNER}:{OWNER}", os.environ["WINEPREFIX"]], check=True)
        shutil.copy(session.standin_win, folder / "QUEX.EXE")
    elif kind == "wayland":
        if not session.standin_wayland:
            raise Skip("the Wayland stand-in was not built")
        shutil.copy2(session.standin_wayland, folder / "quex.exe")
    else:
        standin = session.binary_for(OWNER, session.standin)
        (folder / "quex.exe").write_text(f'#!/bin/sh\nQT_QPA_PLATFORM=xcb exec "{standin}" "$@"\n')
        (folder / "quex.exe").chmod(0o755)
    if OWNER is not None:
        subprocess.run(["chown", "-R", f"{OWNER}:{OWNER}", str(folder)], check=True)


def _stand_in_focused(session):
    focused = session.focused_window()
    return focused is not None and focused[0] == TITLE


def _front_end(session, platform, kind, name, display=True):
    """The front end in a folder of its own with the emulator of `kind`, the
    ROM selected; the folder and the program."""
    folder = session.folder(name, quex=False, owner=OWNER)
    _emulator(session, folder, kind)
    env = {"QT_QPA_PLATFORM": platform, "QUEX_STANDIN_WINDOW": "1", "QUEX_STANDIN_SECONDS": "120"}
    if not display:
        env["DISPLAY"] = None
    app = session.launch(folder, user=OWNER, env=env)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    shell = "xdg_shell" if platform == "wayland" else "xwayland"
    wait_until(lambda: any(pid == app.pid and s == shell for _, pid, s, _ in session.sway_windows()), 20,
               f"the front end's window ({shell})")
    return folder, app


def _press_run(session, app):
    """Run pressed from the keyboard while the front end holds the focus."""
    session.swaymsg(f"[pid={app.pid}] focus")
    run = app.find("push button", "Run quex")
    run.queryComponent().grabFocus()
    wait_until(lambda: has_state(run, "FOCUSED") and session.focused_window()[1] == app.pid, 10,
               "Run to hold the focus")
    pressed = time.monotonic()
    session.wtype("-k", "space")
    return pressed


def run_brings_forward(session, platform, kind, limit, display=True):
    folder, app = _front_end(session, platform, kind, f"{platform}-{kind}-{int(display)}", display)
    started = _press_run(session, app)
    if not display:
        # No X display: the X11 stand-in cannot start. Nothing is said of its
        # window; its failure is reported, in its own words.
        wait_until(lambda: standin_runs(folder), 20, "the stand-in to run")
        box, text = app.error_report(timeout=20)
        check("quex.exe ended" in text and "could not connect to display" in text,
              f"the report does not give the emulator's end and words: {text!r}")
        app.dismiss(box)
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        return
    wait_until(lambda: _stand_in_focused(session), limit, "the emulator's window to have the focus", interval=0.1)
    print(f"      {platform} front end, {kind} stand-in: focused {time.monotonic() - started:.2f} s after Run",
          flush=True)
    check(standin_runs(folder) and standin_runs(folder)[-1][1] == [b"AIRRAID.BIN"], "the emulator was not run right")
    check(showing(app.main_window(timeout=10)), "the front end stopped answering")


def no_focus_without_activation(session):
    """The premise: stand-ins started by hand, X11 and Wayland, stay behind the front end."""
    folder = session.folder("premise", owner=OWNER)
    app = session.launch(folder, user=OWNER, env={"QT_QPA_PLATFORM": "wayland"})
    app.main_window()
    wait_until(lambda: session.focused_window() and session.focused_window()[1] == app.pid, 20,
               "the front end to have the focus")
    env = dict(session.env, QT_QPA_PLATFORM="xcb", QUEX_STANDIN_WINDOW="1", QUEX_STANDIN_SECONDS="60")
    standins = [session.standin] + ([session.standin_wayland] if session.standin_wayland else [])
    for standin in standins:
        session.spawn([session.binary_for(OWNER, standin)], user=OWNER, cwd=folder, env=env)
    wait_until(lambda: sum(name == TITLE for name, *_ in session.sway_windows()) == len(standins), 20,
               "the stand-ins' windows")
    time.sleep(1.0)
    check(session.focused_window()[1] == app.pid, "sway gave a new window the focus by itself")


def _running_xwayland():
    """The session's XWayland process, or None: sway starts it for the first X client."""
    def comm(pid):
        try:
            with open(f"/proc/{pid}/comm") as f:
                return f.read().strip()
        except OSError:
            return None
    return next((p for p in descendants(os.getpid()) if comm(p) == "Xwayland" and process_state(p) != "Z"), None)


def _xwayland(session):
    return wait_until(_running_xwayland, 20, "XWayland to run")


def no_xwayland_for_wayland(session):
    """A native Wayland emulator started from the native front end starts no
    XWayland: sway starts it on demand, and nothing here needs it. (First
    of the group, before any X client has started it.)"""
    check(_running_xwayland() is None, "XWayland runs already: this scenario proves nothing")
    folder, app = _front_end(session, "wayland", "wayland", "no-xwayland")
    _press_run(session, app)
    wait_until(lambda: _stand_in_focused(session), 10, "the emulator's window to have the focus", interval=0.1)
    time.sleep(1.0)
    check(_running_xwayland() is None, "XWayland was started for a Wayland emulator")


def stalled_xwayland(session):
    """XWayland stopped (a debugger, or a system short of memory) while the
    native front end looks for an X window: the window keeps answering, and
    the front end still ends at once, cleanly, when the user leaves it."""
    folder, app = _front_end(session, "wayland", "x11", "stalled-xwayland")
    _press_run(session, app)
    wait_until(lambda: _stand_in_focused(session), 20, "the emulator's window to have the focus", interval=0.1)
    xwayland = _xwayland(session)
    os.kill(xwayland, signal.SIGSTOP)
    try:
        # Through the accessibility bus, which the window serves on its
        # user-interface thread: a call that thread cannot answer fails.
        app.press("Run quex")  # the front end's own X connection now gets no answer
        wait_until(lambda: len(standin_runs(folder)) == 2, 20, "the second stand-in to run")
        app.menu("Help", "View Readme")
        readme = app.window("Readme", timeout=10)
        check(showing(readme), "the Readme window is not shown")
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        check(app.alive(), "the front end ended")
        app.press("Exit")
        status = app.wait_exit(10)
        check(status == 0, f"the front end ended with status {status}")
    finally:
        os.kill(xwayland, signal.SIGCONT)


SCENARIOS = [
    ("a native Wayland emulator starts no XWayland", no_xwayland_for_wayland, {}),
    ("a new window takes no focus by itself", no_focus_without_activation, {}),
    ("native front end, X11 stand-in", run_brings_forward, {"platform": "wayland", "kind": "x11", "limit": 10}),
    ("native front end, the Windows stand-in through wine", run_brings_forward,
     {"platform": "wayland", "kind": "wine", "limit": 30}),
    ("native front end, native Wayland stand-in", run_brings_forward,
     {"platform": "wayland", "kind": "wayland", "limit": 10}),
    ("front end on XWayland, X11 stand-in", run_brings_forward, {"platform": "xcb", "kind": "x11", "limit": 10}),
    ("native front end without DISPLAY, X11 stand-in", run_brings_forward,
     {"platform": "wayland", "kind": "x11", "limit": 10, "display": False}),
    ("XWayland stopped while the native front end looks for a window", stalled_xwayland, {}),
]
