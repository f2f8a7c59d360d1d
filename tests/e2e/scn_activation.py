"""After Run the emulator's window comes to the front, although the window
manager here gives new windows no focus of their own."""

import os
import shutil
import time

from harness import Skip, check, has_state, showing, standin_runs, wait_until

SESSION = {"focus_new": False}
STANDIN_TITLE = "quex stand-in"
SHELL = "#!/bin/sh\n"


def _standin_windows(session):
    ids = session.x(["xdotool", "search", "--onlyvisible", "--name", f"^{STANDIN_TITLE}$"]).split()
    return {int(i) for i in ids}


def _native(session, folder):
    shutil.copy2(session.standin, folder / "quex.exe")


def _script_with_child(session, folder):
    # The window belongs to a process the started task starts in turn.
    (folder / "quex.exe").write_text(SHELL + f'"{session.standin}" "$@"\n')
    (folder / "quex.exe").chmod(0o755)


def _windows_program(session, folder):
    if not session.standin_win or not shutil.which("wine"):
        raise Skip("no wine or no Windows stand-in here")
    shutil.copy(session.standin_win, folder / "QUEX.EXE")


def _xmessage(session, folder):
    # xmessage sets no _NET_WM_PID: its window is known by the X server's
    # record of its client.
    (folder / "quex.exe").write_text(
        SHELL + f'QUEX_STANDIN_WINDOW=0 QUEX_STANDIN_SECONDS=0 "{session.standin}" "$@"\n'
        f'exec xmessage -title "{STANDIN_TITLE}" "{STANDIN_TITLE}"\n')
    (folder / "quex.exe").chmod(0o755)


def _press_run(app):
    """Run pressed from the keyboard while the front end holds the focus."""
    main = app.x_window()
    app.session.x(["xdotool", "windowactivate", "--sync", main])
    run = app.find("push button", "Run quex")
    run.queryComponent().grabFocus()
    wait_until(lambda: has_state(run, "FOCUSED"), 10, "Run to hold the focus")
    app.keys("space")
    return int(main, 0)


def comes_to_front(session, kind, limit):
    make = {"native": _native, "script": _script_with_child, "wine": _windows_program, "xmessage": _xmessage}[kind]
    folder = session.folder(f"activate-{kind}", quex=False)
    make(session, folder)
    app = session.launch(folder, env={"QUEX_STANDIN_WINDOW": "1", "QUEX_STANDIN_SECONDS": "120"})
    app.main_window()
    app.select_rom("AIRRAID.BIN")

    if kind == "native":
        # The premise: a window that nobody activates stays behind the front end.
        main = int(app.x_window(), 0)
        app.keys("Home")  # the front end holds the focus
        loner = session.spawn([session.standin], env=dict(session.env, QUEX_STANDIN_WINDOW="1",
                                                         QUEX_STANDIN_SECONDS="120"), cwd=session.root)
        wait_until(lambda: _standin_windows(session), 20, "the stand-in started by hand to show its window")
        check(app.active_window() == main, "the window manager gave a new window the focus by itself")
        loner.kill()
        loner.wait()
        wait_until(lambda: not _standin_windows(session), 10, "the hand-started stand-in to go")

    main = _press_run(app)
    started = time.monotonic()

    def in_front():
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        active = app.active_window()
        return active != main and active in _standin_windows(session)
    wait_until(in_front, limit, "the emulator's window to be the active window", interval=0.1)
    print(f"      {kind}: the emulator's window came to the front {time.monotonic() - started:.2f} s after Run",
          flush=True)
    check(standin_runs(folder) and standin_runs(folder)[-1][1] == [b"AIRRAID.BIN"], "the emulator was not run right")


def _wakeups(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/status") as status:
            total += sum(int(line.split()[1]) for line in status
                         if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
    return total


def no_window_at_all(session):
    folder = session.folder("activate-none", quex=False)
    _native(session, folder)
    app = session.launch(folder, env={"QUEX_STANDIN_SECONDS": "120"})  # runs, shows nothing
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    _press_run(app)
    wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    started = time.monotonic()

    def looking():
        """How often the front end wakes up over a second."""
        before = _wakeups(app.pid)
        time.sleep(1.0)
        return _wakeups(app.pid) - before
    while_looking = looking()
    # Past the 10 s limit the front end has stopped looking: it idles.
    while time.monotonic() - started < 11.5:
        check(showing(app.main_window(timeout=10)), "the front end stopped answering")
        time.sleep(0.5)
    after = min(looking() for _ in range(3))
    print(f"      wake-ups a second: {while_looking} while looking, {after} after the limit", flush=True)
    check(while_looking >= 8, f"the front end woke {while_looking} times in a second while looking")
    check(after <= while_looking // 4, f"still waking {after} times a second after the limit "
          f"({while_looking} while looking): something keeps polling")
    boxes = [w for w in app.toplevels() if w is not None and w.getRoleName() in ("alert", "dialog")]
    check(not boxes, "a report was shown for a task without a window")


SCENARIOS = [
    ("the native stand-in comes to the front", comes_to_front, {"kind": "native", "limit": 10}),
    ("a script's child comes to the front", comes_to_front, {"kind": "script", "limit": 10}),
    ("a window without _NET_WM_PID comes to the front", comes_to_front, {"kind": "xmessage", "limit": 10}),
    ("the Windows stand-in comes to the front through wine", comes_to_front, {"kind": "wine", "limit": 30}),
    ("a task that never shows a window", no_window_at_all, {}),
]
