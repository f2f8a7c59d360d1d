"""After Run the emulator's window comes to the front, although the window
manager here gives new windows no focus of their own; but never while the
user is busy with another program, never a helper's window over the
emulator's own, and never at the cost of the front end."""

import os
import shutil
import time

from harness import Failure, Skip, check, has_state, showing, standin_runs, wait_until

SESSION = {"focus_new": False}
TITLE = "quex stand-in"


def _standin_windows(session, title=TITLE, env=None):
    found = session.x(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=env)
    return {int(i) for i in found.split()}


def _make_emulator(session, folder, kind):
    """native; script (the window is its child's); xmessage (no _NET_WM_PID:
    known by the X server's record of its client); wine."""
    if kind == "wine":
        if not session.standin_win or not shutil.which("wine"):
            raise Skip("no wine or no Windows stand-in here")
        shutil.copy(session.standin_win, folder / "QUEX.EXE")
    elif kind == "native":
        shutil.copy2(session.standin, folder / "quex.exe")
    else:
        script = f'"{session.standin}" "$@"\n' if kind == "script" else (
            f'QUEX_STANDIN_WINDOW=0 QUEX_STANDIN_SECONDS=0 "{session.standin}" "$@"\n'
            f'exec xmessage -title "{TITLE}" "{TITLE}"\n')
        (folder / "quex.exe").write_text("#!/bin/sh\n" + script)
        (folder / "quex.exe").chmod(0o755)


def _start(session, kind, env, name):
    folder = session.folder(name, quex=False)
    _make_emulator(session, folder, kind)
    app = session.launch(folder, env=env)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    return folder, app, int(app.x_window(), 0)


def _press_run(app, main):
    """Run pressed from the keyboard while the front end holds the focus."""
    app.x(["xdotool", "windowactivate", "--sync", str(main)])
    run = app.find("push button", "Run quex")
    run.queryComponent().grabFocus()
    wait_until(lambda: has_state(run, "FOCUSED"), 10, "Run to hold the focus")
    app.keys("space")


def comes_to_front(session, kind, limit):
    env = {"QUEX_STANDIN_WINDOW": "1", "QUEX_STANDIN_SECONDS": "120"}
    folder, app, main = _start(session, kind, env, f"activate-{kind}")
    if kind == "native":
        # The premise: a window that nobody activates stays behind the front end.
        app.keys("Home")
        loner = session.spawn([session.standin], env=dict(session.env, **env), cwd=session.root)
        wait_until(lambda: _standin_windows(session), 20, "the stand-in started by hand to show its window")
        check(app.active_window() == main, "the window manager gave a new window the focus by itself")
        loner.kill()
        loner.wait()
        wait_until(lambda: not _standin_windows(session), 10, "the hand-started stand-in to go")

    _press_run(app, main)
    started = time.monotonic()

    def in_front():
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        return app.active_window() != main and app.active_window() in _standin_windows(session)
    wait_until(in_front, limit, "the emulator's window to be the active window", interval=0.1)
    print(f"      {kind}: in front {time.monotonic() - started:.2f} s after Run", flush=True)
    check(standin_runs(folder) and standin_runs(folder)[-1][1] == [b"AIRRAID.BIN"], "the emulator was not run right")


def _wakeups_in_a_second(pid):
    """How often the program's threads went to sleep and woke up in one
    second; being preempted by a busy machine does not count."""
    def count():
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/status") as status:
                total += sum(int(line.split()[1]) for line in status if line.startswith("voluntary_ctxt_switches"))
        return total
    before = count()
    time.sleep(1.0)
    return count() - before


def no_window_at_all(session):
    folder, app, main = _start(session, "native", {"QUEX_STANDIN_SECONDS": "120"}, "no-window")  # shows nothing
    _press_run(app, main)
    wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    started = time.monotonic()
    # The front end waits for the window list to change rather than asking
    # again and again, and past the 10 s limit it stops looking: it idles.
    while_looking = _wakeups_in_a_second(app.pid)
    while time.monotonic() - started < 11.5:
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        time.sleep(0.5)
    after = min(_wakeups_in_a_second(app.pid) for _ in range(3))
    print(f"      wake-ups a second: {while_looking} while looking, {after} after the limit", flush=True)
    check(while_looking <= 4, f"the front end woke {while_looking} times in a second while looking")
    check(after <= 4, f"still waking {after} times a second after the limit: something keeps polling")
    check(not [w for w in app.toplevels() if w is not None and w.getRoleName() in ("alert", "dialog")],
          "a report was shown for a task without a window")


def _other_program(session, env=None):
    """A window of another program, shown and known by its X id."""
    session.spawn(["xmessage", "-title", "another program", "another program"], env=env or session.env)
    return wait_until(lambda: next(iter(_standin_windows(session, "another program", env)), None), 20,
                      "the other program's window")


def without_x_resource(session):
    # Untrusted ssh -X forwarding and some VNC servers hide the extension; a
    # window without _NET_WM_PID (xmessage's) is on the screen when Run is pressed.
    env = session.other_display("-extension", "X-Resource")
    _other_program(session, env)
    folder = session.folder("no-xres", quex=False)
    _make_emulator(session, folder, "native")
    app = session.launch(folder, env={"DISPLAY": env["DISPLAY"], "QUEX_STANDIN_WINDOW": "1",
                                      "QUEX_STANDIN_SECONDS": "120"})
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    main = int(app.x_window(), 0)
    _press_run(app, main)
    wait_until(lambda: app.active_window() in _standin_windows(session, env=env), 10,
               "the emulator's window to come to the front")
    time.sleep(0.5)
    check(app.alive() and showing(app.main_window(timeout=10)), "the front end did not survive Run")
    check(standin_runs(folder)[-1][1] == [b"AIRRAID.BIN"], "the emulator was not run right")


def user_switched_away(session):
    other = _other_program(session)
    env = {"QUEX_STANDIN_WINDOW": "1", "QUEX_STANDIN_SECONDS": "120", "QUEX_STANDIN_DELAY_MS": "3000"}
    folder, app, main = _start(session, "native", env, "switched-away")
    _press_run(app, main)
    app.x(["xdotool", "windowactivate", "--sync", str(other)])  # the user turns to another program
    emulator = wait_until(lambda: next(iter(_standin_windows(session)), None), 20, "the emulator's window")
    # The front end's answer to the window is the flag; an activation would
    # have been sent before it.
    wait_until(lambda: b"_NET_WM_STATE_DEMANDS_ATTENTION" in app.x(["xprop", "-id", str(emulator), "_NET_WM_STATE"]),
               10, "the emulator's window to be flagged")
    check(app.active_window() == other, "the emulator's window was brought over the program the user turned to")


def helper_window_first(session):
    # The task's child shows a window ("helper", as wine's configuration
    # dialog is) before the task's own window appears.
    env = {"QUEX_STANDIN_WINDOW": "1", "QUEX_STANDIN_SECONDS": "120", "QUEX_STANDIN_DELAY_MS": "1000",
           "QUEX_STANDIN_HELPER": "1"}
    folder, app, main = _start(session, "native", env, "helper-first")
    _press_run(app, main)
    helper = wait_until(lambda: next(iter(_standin_windows(session, "helper")), None), 20, "the helper's window")
    emulator = wait_until(lambda: next(iter(_standin_windows(session)), None), 20, "the emulator's window")
    try:
        wait_until(lambda: app.active_window() == emulator, 10, "the emulator's window to be active")
    except Failure:
        active = app.active_window()
        raise Failure(f"the active window is {'the helper' if active == helper else hex(active)}, "
                             "not the emulator's")
    check(_standin_windows(session, "helper") == {helper}, "the helper's window went away too soon")


SCENARIOS = [
    ("the native stand-in comes to the front", comes_to_front, {"kind": "native", "limit": 10}),
    ("a script's child comes to the front", comes_to_front, {"kind": "script", "limit": 10}),
    ("a window without _NET_WM_PID comes to the front", comes_to_front, {"kind": "xmessage", "limit": 10}),
    ("the Windows stand-in comes to the front through wine", comes_to_front, {"kind": "wine", "limit": 30}),
    ("a task that never shows a window", no_window_at_all, {}),
    ("an X server without X-Resource", without_x_resource, {}),
    ("the user turned to another program meanwhile", user_switched_away, {}),
    ("a helper's window before the emulator's own", helper_window_first, {}),
]
