"""Run with hostile value fields, Run pressed fifty times in quick succession, and a double-click."""

import time

from harness import check, descendants, has_state, process_state, script_lines, showing, standin_runs, wait_until

FRAME_RATE = ("General", "Select emulator frame rate. 1 to 254. The default is 60", "Value of the frame rate")
SCANLINE = ("Video", "Select starting scanline. Usally 39.", "Value of the starting scanline")
PADDLE = ("Joystick", "Paddle sensitivity. From 1 to 15, 3 is the normal.", "Value of the paddle sensitivity")
HUGE = "1.7976931348623157E+308"  # the largest finite double, as the options line writes it

# (option, text typed or pasted, what the emulator must receive before the ROM name)
VALUES = [
    (FRAME_RATE, "1E999", []),
    (FRAME_RATE, "-1E999", [f"-r-{HUGE}"]),
    (SCANLINE, "1E999", [f"-u{HUGE}"]),
    (SCANLINE, "1" + "0" * 99_999, [f"-u{HUGE}"]),
    (PADDLE, "-5" + "x" * 99_998, ["-p-5"]),
    (FRAME_RATE, "9" * 100_000, []),
    (SCANLINE, "&HFFFFFFFFFFFFFFFFFFFF", ["-u1.2089258196146292E+24"]),
    (FRAME_RATE, "&HFFFFFFFFFFFFFFFFFFFF", []),
]


def hostile_values(session):
    folder = session.folder("values")
    app = session.launch(folder)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    for (page, caption, field), text, expected in VALUES:
        shown = f"{text[:24]}... ({len(text)} characters)" if len(text) > 30 else text
        app.press("Clear")
        wait_until(lambda: not any(has_state(b, "CHECKED") for b in app.find_all("check box"))
                   and not any(t.queryText().characterCount for t in app.find_all("text")), 10,
                   "Clear to empty every option")
        app.show_page(page)
        app.tick(caption)
        app.set_value(field, text)  # inserted in one piece, as a paste is
        before = len(standin_runs(folder))
        app.press("Run quex")
        runs = wait_until(lambda: len(standin_runs(folder)) > before and standin_runs(folder), 15,
                          f"the stand-in to run with {shown!r} in {field}")
        got = [a.decode() for a in runs[-1][1]]
        check(got == expected + ["AIRRAID.BIN"], f"{shown!r} in {field}: the stand-in received {got}")
        line = script_lines(folder)[2].decode()
        check(line == " ".join(["quex.exe", *expected, "AIRRAID.BIN"]), f"{shown!r}: script line 3 is {line!r}")
        check(app.alive(), f"the program ended on {shown!r}")


def fifty_runs(session):
    folder = session.folder("fifty")
    app = session.launch(folder)
    app.main_window()
    app.tick("Run emulator with no sound.")
    run = app.find("push button", "Run quex")
    run.queryComponent().grabFocus()
    wait_until(lambda: has_state(run, "FOCUSED"), 10, "Run to hold the focus")
    app.keys("Tab", *"AIRRAID", "shift+Tab")  # typed in the list, which selects the first match
    wait_until(lambda: has_state(run, "FOCUSED"), 10, "Run to hold the focus again")
    roms = (b"AIRRAID.BIN", b"AIRRAIDS.BIN")  # neighbours in the list
    scripts = {b'"\r\necho off\r\nquex.exe -q ' + rom + b'\r\n"\r\n' for rom in roms}

    # Space on the focused button, fifty times, as fast as a keyboard repeats;
    # between two presses Tab to the list, an arrow to the other ROM and back,
    # so that no press is the second click of a double-click.
    keys = []
    for i in range(50):
        keys += ["space", "Tab", "Up" if i % 2 else "Down", "shift+Tab"]
    app.keys(keys[0])  # the first, so the window surely has the focus
    presses = session.spawn(["xdotool", "key", "--delay", "20", *keys[1:]])
    slowest = 0.0
    scripts_seen = set()
    deadline = time.monotonic() + 60
    while len(standin_runs(folder)) < 50 and time.monotonic() < deadline:
        started = time.monotonic()
        check(showing(app.main_window()), "the main window went away")
        slowest = max(slowest, time.monotonic() - started)
        if (folder / "Quex.bat").exists():
            scripts_seen.add((folder / "Quex.bat").read_bytes())
        time.sleep(0.02)
    presses.wait(timeout=30)
    time.sleep(1.0)  # a fifty-first run would show now

    runs = standin_runs(folder)
    check(len(runs) == 50, f"{len(runs)} stand-in runs for fifty presses")
    check(len({pid for pid, _ in runs}) == 50, "stand-in runs share a process id")
    for rom in roms:
        count = sum(1 for _, args in runs if args == [b"-q", rom])
        check(count == 25, f"{count} runs of the fifty with {rom!r}")
    check(scripts_seen <= scripts, f"scripts seen on disk: {scripts_seen - scripts}")
    check((folder / "Quex.bat").read_bytes() == b'"\r\necho off\r\nquex.exe -q AIRRAIDS.BIN\r\n"\r\n',
          "the final script is wrong")
    # Every probe was answered; the bound only catches a window that stopped
    # answering for good, far above any pause a loaded machine makes (beside
    # two CPU hogs, a probe waited 13.9 s behind fifty queued Runs).
    check(slowest < 30.0, f"the window took {slowest:.1f} s to answer during the runs")
    # A child the program never waits for stays a zombie until it ends.
    zombies = [pid for pid in descendants(app.pid) if process_state(pid) == "Z"]
    check(not zombies, f"zombie processes under the program: {zombies}")

    # A double-click on Run (two presses 20 ms apart) starts one emulator.
    session.x(["xdotool", "key", "--delay", "20", "space", "space"], check_rc=True)
    wait_until(lambda: len(standin_runs(folder)) > 50, 15, "the double-click's run")
    time.sleep(1.0)  # a second one would show now
    runs = standin_runs(folder)
    check(len(runs) == 51 and runs[-1][1] == [b"-q", b"AIRRAID.BIN"],
          f"a double-click gave {len(runs) - 50} runs: {[args for _, args in runs[50:]]}")


SCENARIOS = [
    ("hostile value fields", hostile_values, {}),
    ("fifty runs in quick succession, then a double-click", fifty_runs, {}),
]
