"""The Windows program from the zip, run by wine in Xvfb with openbox, driven
by the keyboard: wine's windows are not on the accessibility bus. The window
manager gives new windows no focus, so a stand-in window in front got there
by the program's own doing."""

import os
import pathlib
import re
import subprocess
import time

from harness import WineApp, Skip, check, screenshot, script_lines, standin_runs, wait_until

SESSION = {"focus_new": False}

# Each ROM name and how the launch script must carry it to cmd.exe: quoted
# where the interpreter would split or act on it, percent signs doubled.
ARGUMENTS = {"plain.bin": b"plain.bin", "blank name.bin": b'"blank name.bin"', "a&b.bin": b'"a&b.bin"',
             "100% fun.bin": b'"100%% fun.bin"', "x^y.bin": b'"x^y.bin"'}
CLIENT = (634, 358)  # the window's client area below the menu bar, 9510 x 5370 twips
WINDOW_HEIGHT = 379  # with the menu bar, on Linux
STARTS = 20
OLD_SCRIPT = b'"\r\necho off\r\nquex.exe -q OLD.BIN\r\n"\r\n'


def _start(session, folder, **env):
    app = session.launch(folder, kind=WineApp, exe=session.windows_program(), env=env)
    return app, app.x_window()


def _run_first_rom(app, window):
    """Run holds the focus at start; the list is next in the focus order, and
    its first key selects its first entry."""
    app.keys("Tab", "Home", "shift+Tab", "space", window=window)


def _fixed_size(app, window, linux_height=None):
    width, height = app.size(window)
    check(width == CLIENT[0], f"the window is {width} pixels wide, not {CLIENT[0]}")
    # The menu bar above the client area may differ by a pixel or two with the font.
    check(abs(height - (linux_height or WINDOW_HEIGHT)) <= 2,
          f"the window is {height} pixels high, on Linux {linux_height or WINDOW_HEIGHT}")
    hints = app.x(["xprop", "-id", window, "WM_NORMAL_HINTS"]).decode()
    for kind in ("minimum", "maximum"):
        check(f"program specified {kind} size: {width} by {height}" in hints,
              f"the window manager may resize the window: {hints!r}")


def runs_names_through_cmd(session):
    folder = session.windows_folder("names", ARGUMENTS)
    app, window = _start(session, folder)
    seen = []
    for i in range(len(ARGUMENTS)):
        before = len(standin_runs(folder))
        app.keys("Tab", "Home" if i == 0 else "Down", "shift+Tab", "space", window=window)
        runs = wait_until(lambda: len(standin_runs(folder)) > before and standin_runs(folder), 60,
                          f"run {i + 1} to reach the stand-in through cmd.exe")
        received = runs[-1][1]
        check(len(received) == 1 and received[0].decode() in ARGUMENTS,
              f"the stand-in received {received}")
        name = received[0].decode()
        check(name not in seen, f"{name!r} was run twice")
        seen.append(name)
        # The interpreter's console comes and goes; keys wait until it has.
        time.sleep(3)
        script = (folder / "Quex.bat").read_bytes()
        expected = b'"\r\necho off\r\nquex.exe ' + ARGUMENTS[name] + b'\r\n"\r\n'
        check(script == expected, f"Quex.bat for {name!r} holds {script!r}")
    check(sorted(seen) == sorted(ARGUMENTS), f"runs: {seen}")
    check(app.alive(), "the program did not stay open")


def _copies():
    """The interpreters' copies of the script in the prefix's temporary folders."""
    return list((pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "users").glob("*/**/zerivirav-run-*.bat"))


def overlapping_runs(session):
    """A second Run while the first emulator runs starts a further one; each
    interpreter runs a copy of its own Run's script, and once both have ended
    nothing more has run and no copy is left."""
    folder = session.windows_folder("overlapping", ["first.bin", "second.bin"])
    app, window = _start(session, folder, QUEX_STANDIN_SECONDS="30")
    _run_first_rom(app, window)
    wait_until(lambda: len(standin_runs(folder)) == 1, 60, "the first emulator")
    first = time.monotonic()
    time.sleep(2)  # the console has come; keys go to the front end again
    app.keys("Tab", "Down", "shift+Tab", "space", window=window)
    wait_until(lambda: len(standin_runs(folder)) == 2, 60, "the second emulator")
    check(time.monotonic() - first < 30, "the first emulator had ended before the second started")
    check(len(_copies()) == 2, f"while both run, the copies are {_copies()}")
    check(script_lines(folder)[2] == b"quex.exe second.bin", f"Quex.bat holds {script_lines(folder)}")
    wait_until(lambda: not _copies(), 90, "both interpreters to end and their copies to go")
    time.sleep(2)
    runs = sorted(args for _, args in standin_runs(folder))
    check(runs == [[b"first.bin"], [b"second.bin"]], f"the stand-in ran {runs}")
    check([w for w in app.windows() if w != window] == [], "an error was reported")
    check(app.alive(), "the program did not stay open")


def names_outside_ascii(session):
    """Names in the system's code page and outside it reach quex.exe as the
    very file, by their name or their short one, never with a '?'."""
    names = ["Café.bin", "Ωμέγα.bin"]  # in list order
    folder = session.windows_folder("code-page", names)
    app, window = _start(session, folder)
    for i, name in enumerate(names):
        app.keys("Tab", "Home" if i == 0 else "Down", "shift+Tab", "space", window=window)
        wait_until(lambda: len(standin_runs(folder)) > i, 60, f"the stand-in to run for {name!r}")
        opened = wait_until(lambda: len(standin_runs(folder, "quex.opened")) > i and standin_runs(folder, "quex.opened"),
                            10, f"the stand-in to open the file it was given for {name!r}: {standin_runs(folder)}")
        check(opened[-1][1][0] == name.encode(), f"for {name!r} the stand-in opened {opened[-1][1][0]!r}")
        check(b"?" not in script_lines(folder)[2], f"Quex.bat holds {script_lines(folder)}")
        time.sleep(3)  # the interpreter's console comes and goes; keys wait until it has


def system_files_not_listed(session):
    folder = session.windows_folder("system", ["a-system.bin", "b-plain.bin"])
    subprocess.run(["wine", "cmd", "/c", "attrib", "+s", "a-system.bin"], cwd=folder, check=True,
                   capture_output=True)
    shown = subprocess.run(["wine", "cmd", "/c", "attrib", "a-system.bin"], cwd=folder, capture_output=True).stdout
    if b"S" not in shown.split(b"Z:")[0]:
        raise Skip(f"the file system keeps no system attribute here: {shown!r}")
    app, window = _start(session, folder)
    _run_first_rom(app, window)
    runs = wait_until(lambda: standin_runs(folder), 60, "the stand-in to run")
    check(runs[-1][1] == [b"b-plain.bin"], f"the first entry listed was {runs[-1][1]}, not b-plain.bin")


def user_turned_back(session):
    """A click on the front end while only the interpreter's console shows
    keeps the front end in front."""
    folder = session.windows_folder("turned-back", ["GAME.BIN"])
    app, window = _start(session, folder, QUEX_STANDIN_WINDOW="1", QUEX_STANDIN_SECONDS="60",
                         QUEX_STANDIN_DELAY_MS="15000")
    _run_first_rom(app, window)
    wait_until(lambda: app.active_name() not in ("quex Front End", ""), 30, "the interpreter's console to come forward")
    time.sleep(2)  # wine's steps of bringing it forward are over
    app.x(["xdotool", "windowactivate", "--sync", window])
    app.x(["xdotool", "windowfocus", "--sync", window])
    end = time.monotonic() + 4
    while time.monotonic() < end:
        check(app.active_name() == "quex Front End", f"the active window became {app.active_name()!r}")
        time.sleep(0.1)


def standin_window_comes_forward(session):
    """Over the interpreter's console, which has the focus first."""
    folder = session.windows_folder("forward", ["GAME.BIN"])
    app, window = _start(session, folder, QUEX_STANDIN_WINDOW="1", QUEX_STANDIN_SECONDS="60")
    _run_first_rom(app, window)
    wait_until(lambda: app.active_name() == "quex stand-in", 60, "the stand-in's window to come to the front")
    check(standin_runs(folder)[-1][1] == [b"GAME.BIN"], f"the stand-in received {standin_runs(folder)}")


def user_switched_away(session):
    """Whoever turned to another program before the emulator's window showed
    is not pulled back. The other program is a Windows one: wine keeps its
    foreground window up to date only between its own windows."""
    folder = session.windows_folder("switched", ["GAME.BIN"])
    app, window = _start(session, folder, QUEX_STANDIN_WINDOW="1", QUEX_STANDIN_SECONDS="60",
                         QUEX_STANDIN_DELAY_MS="5000")
    notepad = session.launch(folder, kind=WineApp, exe="notepad")
    other = notepad.x_window(title="Untitled - Notepad")
    _run_first_rom(app, window)
    wait_until(lambda: standin_runs(folder), 60, "the stand-in to run")
    # The interpreter's console comes forward first; the user, having seen
    # it, turns to another program.
    wait_until(lambda: app.active_name() not in ("quex Front End", "Untitled - Notepad"), 30,
               "the interpreter's console to come forward")
    notepad.x(["xdotool", "windowactivate", "--sync", other])
    notepad.x(["xdotool", "windowfocus", "--sync", other])
    wait_until(lambda: app.x(["xdotool", "search", "--onlyvisible", "--name", "^quex stand-in$"]), 60,
               "the emulator's window")
    end = time.monotonic() + 3
    while time.monotonic() < end:
        check(app.active_name() == "Untitled - Notepad", f"the active window became {app.active_name()!r}")
        time.sleep(0.1)


def starts_and_closes(session, starts=STARTS):
    """Start after start: a window of the fixed size every time, closed by
    File > Exit (Ctrl+X) and by the close box in turn, status 0 and no crash."""
    folder = session.windows_folder("starts", ["GAME.BIN"])
    shown = 0
    for i in range(starts):
        app, window = _start(session, folder)
        shown += 1
        _fixed_size(app, window)
        app.keys("ctrl+x" if i % 2 == 0 else "alt+F4", window=window)
        status = app.wait_exit(60)
        check(status == 0, f"start {i + 1} ended with status {status}")
        check(app.sanitizer_report() is None, f"start {i + 1} crashed:\n{app.sanitizer_report()}")
    print(f"      {shown} starts, {shown} windows, no crash", flush=True)


def same_layout_as_linux(session):
    """The Linux program and the Windows one in the same folder: the same
    client area, pixel for pixel where it is not text, and text of the same
    size and place."""
    folder = session.folder("layout")
    linux = session.launch(folder)
    linux.main_window()
    linux.settled_picture()
    linux_window = linux.x_window()
    _, linux_height, linux_pixels = screenshot(linux, linux_window)
    linux.kill()

    app, window = _start(session, folder)
    _fixed_size(app, window, linux_height)
    time.sleep(1)  # the first paint
    width, height, pixels = screenshot(app, window)
    rows = CLIENT[1]
    client = lambda data, h: data[(h - rows) * width * 3:]  # noqa: E731
    theirs, ours = client(linux_pixels, linux_height), client(pixels, height)
    differing = sum(1 for i in range(0, len(ours), 3) if ours[i:i + 3] != theirs[i:i + 3])
    # The picture buttons are bitmaps drawn when the program is built: the same pixels.
    for name, (left, top) in {"Run": (480, 272), "Exit": (424, 320), "Clear": (536, 320)}.items():
        for y in range(top + 4, top + 29):
            at = (y * width + left + 3) * 3
            check(ours[at:at + 75 * 3] == theirs[at:at + 75 * 3], f"the {name} button differs in row {y}")
    share = differing / (width * rows)
    print(f"      {differing} of {width * rows} client pixels differ ({share:.2%})", flush=True)
    check(share < 0.02, f"{share:.2%} of the client area differs from the Linux build's")


def read_only_folder(session):
    folder = session.windows_folder("read-only", ["GAME.BIN"])
    (folder / "Quex.bat").write_bytes(OLD_SCRIPT)
    # Root writes anywhere: the folder is made read-only by a read-only mount.
    for argv in (["mount", "--bind", str(folder), str(folder)],
                 ["mount", "-o", "remount,bind,ro", str(folder), str(folder)]):
        try:
            done = subprocess.run(argv, capture_output=True)
        except FileNotFoundError:
            raise Skip("no mount command here")
        if done.returncode != 0:
            raise Skip(f"cannot make a read-only mount here: {done.stderr.decode().strip()}")
        if folder not in session.mounts:
            session.mounts.append(folder)
    check(not os.access(folder, os.W_OK), "the folder is still writable")
    app, window = _start(session, folder)
    _run_first_rom(app, window)
    boxes = wait_until(lambda: [w for w in app.windows() if w != window], 30, "the error report")
    time.sleep(1)
    check(app.alive(), "the program ended at the report")
    check((folder / "Quex.bat").read_bytes() == OLD_SCRIPT, "the old Quex.bat was changed")
    check(standin_runs(folder) == [], "the emulator was started all the same")
    app.keys("Return", window=boxes[0])
    wait_until(lambda: not [w for w in app.windows() if w != window], 30, "the report to close")
    time.sleep(1)
    check(app.alive() and window in app.windows(), "the program did not stay after the report")


def answers_help(session):
    """A GUI program has no console of its own: --help, /? and --version are
    answered on the standard output it was given (here a file, as "> file"
    gives it), with Windows line ends, and the program does not start (it
    would hold the run until the time-out)."""
    version = re.search(r"project\(zerivirav VERSION ([0-9.]+)", (session.source / "CMakeLists.txt").read_text())[1]
    program = session.windows_program()
    folder = session.windows_folder("help", [])
    for exe in (program, program.with_name("zerivirav-open.exe")):
        for option, expected in (("--help", f"Usage: {exe.stem} ["), ("/?", f"Usage: {exe.stem} ["),
                                 ("--version", f"{exe.stem} {version}\r\n")):
            with open(folder / "answer.txt", "wb") as answer:
                done = subprocess.run(["wine", exe, option], env=dict(session.env, WINEDEBUG="-all"), cwd=folder,
                                      stdout=answer, stderr=subprocess.DEVNULL, timeout=120)
            text = (folder / "answer.txt").read_bytes()
            check(done.returncode == 0 and text.startswith(expected.encode()) and text.endswith(b"\r\n"),
                  f"{exe.name} {option}: status {done.returncode}, {text[:200]!r}")


SCENARIOS = [
    ("zerivirav.exe and zerivirav-open.exe answer --help, /? and --version", answers_help, {}),
    ("runs ROM names through cmd.exe", runs_names_through_cmd, {}),
    ("the stand-in's window comes to the front", standin_window_comes_forward, {}),
    ("the user turned to another program meanwhile", user_switched_away, {}),
    ("a read-only folder is reported", read_only_folder, {}),
    ("two overlapping Runs, each on its own script", overlapping_runs, {}),
    ("names outside ASCII reach quex.exe as the very file", names_outside_ascii, {}),
    ("system files are not listed", system_files_not_listed, {}),
    ("a user who turned back to the front end keeps it", user_turned_back, {}),
    ("the layout is the Linux build's", same_layout_as_linux, {}),
    (f"{STARTS} starts, each closed cleanly", starts_and_closes, {}),
]
