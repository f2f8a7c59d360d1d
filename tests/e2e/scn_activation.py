"""After Run the emulator's window comes to the front, although the window
manager here gives new windows no focus of their own."""

import os
import shutil
import time

from harness import Skip, check, has_state, showing, standin_runs, wait_until

SESSION = {"focus_new": False}
TITLE = "quex stand-in"


def _standin_windows(session):
    return {int(i) for i in session.x(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"]).split()}


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
    app.session.x(["xdotool", "windowactivate", "--sync", str(main)])
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
    def count():
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/status") as status:
                total += sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)
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


SCENARIOS = [
    ("the native stand-in comes to the front", comes_to_front, {"kind": "native", "limit": 10}),
    ("a script's child comes to the front", comes_to_front, {"kind": "script", "limit": 10}),
    ("a window without _NET_WM_PID comes to the front", comes_to_front, {"kind": "xmessage", "limit": 10}),
    ("the Windows stand-in comes to the front through wine", comes_to_front, {"kind": "wine", "limit": 30}),
    ("a task that never shows a window", no_window_at_all, {}),
]
