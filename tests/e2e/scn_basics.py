"""The typical run, start-up, the accessibility tree, and every way out."""

import os
import re
import signal
import subprocess
import time

from harness import Failure, check, process_state, script_lines, showing, standin_runs, wait_until

AIR_RAID = {"Name": "Air Raid", "File size": "4 KB", "Type of rom.": "Standard 4K game",
            "Type of joystick.": "Joystick", "Maker of game.": "Unknown company", "Rarity.": "Prototype"}
EMPTY_LABELS = dict.fromkeys(AIR_RAID, "")
FRAME_RATE = "Select emulator frame rate. 1 to 254. The default is 60"
USABLE_ROLES = {"push button", "check box", "text", "list", "list item", "page tab", "menu item",
                "radio button", "combo box", "spin button", "slider", "toggle button"}


def typical_run(session):
    folder = session.folder("typical")
    app = session.launch(folder)
    app.main_window()
    check(app.value_labels() == EMPTY_LABELS, f"value labels not empty at start: {app.value_labels()}")
    default_picture = app.settled_picture()

    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the six texts of the Air Raid row")
    wait_until(lambda: app.picture() != default_picture, 10, "the Air Raid picture")
    field = app.find("text", "Value of the frame rate")
    check(not showing(field), "the frame rate field is shown on the Sound page")
    app.show_page("General")
    app.tick(FRAME_RATE)
    check(showing(field), "the frame rate field is not shown on the General page")
    # Typed as a person would: the focus into the field, then the keys.
    field.queryComponent().grabFocus()
    app.keys("5", "0")
    wait_until(lambda: field.queryText().getText(0, -1) == "50", 10, 'the frame rate field to read "50"')
    app.press("Run quex")

    runs = wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    check(script_lines(folder)[2] == b"quex.exe -r50 AIRRAID.BIN", f"script line 3: {script_lines(folder)[2]!r}")
    check(runs[0][1] == [b"-r50", b"AIRRAID.BIN"], f"the stand-in received {runs[0][1]}")
    time.sleep(0.5)
    check(len(standin_runs(folder)) == 1, "one Run started more than one emulator")
    check(app.alive() and showing(app.main_window()), "the front end did not stay open")


def start_without_roms_or_data(session):
    """A folder with neither ROMs nor data files: the defaults beside the
    program (the build tree has the installed layout) serve."""
    reference = session.launch(session.folder("with-roms"))
    reference.main_window()
    default_picture = reference.settled_picture()
    reference.press("Exit")
    reference.wait_exit()

    app = session.launch(session.folder("no-roms", roms=False, graphics=False, readme=False))
    app.main_window()
    check(app.rom_names() == [], f"the file list is not empty: {app.rom_names()}")
    check(app.value_labels() == EMPTY_LABELS, f"value labels: {app.value_labels()}")
    wait_until(lambda: app.picture() == default_picture, 10, "the default game picture")


def accessibility_names(session):
    folder = session.folder("a11y")
    app = session.launch(folder)
    main = app.main_window()

    def unnamed(window):
        return [a.getRoleName() for a in app.find_all_roles(USABLE_ROLES, window) if not a.name.strip()]
    check(not unnamed(main), f"controls without a name in the main window: {unnamed(main)}")
    names = lambda role, within=main: sorted(a.name for a in app.find_all(role, within))  # noqa: E731
    check({"Clear", "Exit", "Run quex"} <= set(names("push button")), f"buttons: {names('push button')}")
    check(names("text") == sorted(["Value of the frame rate", "Value of the video mode",
                                   "Value of the starting scanline", "Value of the palette choice",
                                   "Value of the paddle sensitivity", "Value of the paddle button sensitivity"]),
          f"value fields: {names('text')}")
    check(set(names("image")) == {"Game picture", "Banner"}, f"images: {names('image')}")
    check(len(set(names("check box"))) == 20, f"check boxes: {names('check box')}")
    check(names("page tab") == sorted(["Sound", "Video", "Joystick", "General"]), f"tabs: {names('page tab')}")
    check({"File", "Exit", "Help", "View Readme", "About"} <= set(names("menu item")),
          f"menu items: {names('menu item')}")
    check(names("list", app.root()).count("ROM files") == 1, "the file list is not named")

    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the value labels to expose the game's texts")

    app.menu("Help", "About")
    about = app.window("About")
    app.keys("F1", window=app.x_window())
    readme = app.window("Readme")
    roles = {w.name: w.getRoleName() for w in (about, readme)}
    check(roles == {"About": "frame", "Readme": "frame"}, f"the secondary windows are not exposed as windows: {roles}")
    check(not unnamed(about), f"controls without a name in About: {unnamed(about)}")
    check("Ok" in names("push button", about), "About has no Ok button")
    check(not unnamed(readme), f"controls without a name in Readme: {unnamed(readme)}")
    check("Ok" in names("push button", readme), "Readme has no Ok button")


def readme_by_f1(session):
    folder = session.folder("f1")
    (folder / "zerivirav.txt").write_text("First line of the readme\nSecond line\n")
    app = session.launch(folder)
    app.main_window()
    app.keys("F1")
    readme = app.window("Readme")
    text = app.find_all("text", readme)[0].queryText()
    check(text.getText(0, -1) == "First line of the readme\nSecond line\n",
          f"the Readme window shows {text.getText(0, -1)!r}")
    app.press("Ok", within=readme)
    wait_until(lambda: not showing(readme), 10, "Ok to hide the Readme window")
    app.keys("F1")
    check(showing(app.window("Readme")), "F1 did not show the Readme window again")


def _open_secondary(app, state):
    if state == "never":
        return
    app.menu("Help", "About")
    about = app.window("About")
    app.menu("Help", "View Readme")
    readme = app.window("Readme")
    if state == "hidden":
        for window in (about, readme):
            app.press("Ok", within=window)
            wait_until(lambda w=window: not showing(w), 10, f"Ok to hide {window.name}")


def _leave(app, way):
    if way == "menu":
        app.menu("File", "Exit")
    elif way == "ctrl+x":
        # Inside a value field Ctrl+X cuts; the program must stay.
        app.show_page("General")
        field = app.find("text", "Value of the frame rate")
        app.set_value("Value of the frame rate", "60")
        field.queryComponent().grabFocus()
        app.keys("ctrl+a", "ctrl+x", window=app.x_window())
        wait_until(lambda: field.queryText().getText(0, -1) == "", 10, "Ctrl+X to cut the field's text")
        check(app.alive(), "Ctrl+X in a value field ended the program")
        app.find("push button", "Run quex").queryComponent().grabFocus()
        app.keys("ctrl+x", window=app.x_window())
    elif way == "button":
        app.press("Exit")
    elif way == "close box":
        app.keys("alt+F4", window=app.x_window())
    else:
        raise Failure(f"unknown way out {way}")


def managed_windows(session):
    return re.findall(rb"0x[0-9a-f]+", session.x(["xprop", "-root", "_NET_CLIENT_LIST"]))


def way_out(session, way, state):
    folder = session.folder(f"exit-{way}-{state}".replace(" ", "-").replace("+", ""))
    app = session.launch(folder)
    app.main_window()
    _open_secondary(app, state)
    wait_until(lambda: len(managed_windows(session)) == (3 if state == "shown" else 1), 10,
               f"{'three windows' if state == 'shown' else 'one window'} on the screen")
    _leave(app, way)
    status = app.wait_exit()
    check(status == 0, f"the program ended with status {status}")
    left = managed_windows(session)
    check(not left, f"windows left behind: {left}")


def emulator_outlives_front_end(session, killed):
    folder = session.folder(f"outlive-{killed}")
    app = session.launch(folder, env={"QUEX_STANDIN_SECONDS": "60"})
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    app.press("Run quex")
    (pid, args), = wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    if killed:
        os.kill(app.pid, signal.SIGKILL)
        check(app.wait_exit() == -signal.SIGKILL, "the front end was not killed")
    else:
        app.press("Exit")
        check(app.wait_exit() == 0, "the front end did not end cleanly")
    time.sleep(0.5)
    check(process_state(pid) not in (None, "Z"), "the emulator ended with the front end")
    check(os.readlink(f"/proc/{pid}/cwd") == str(folder), "the emulator runs in another folder")
    # What passes the emulator's output on holds nothing of the front end's,
    # whose window went with it.
    left = managed_windows(session)
    check(not left, f"windows left behind: {left}")


def _layout(app):
    """Where the file list, Run and a check box lie, relative to the window."""
    import pyatspi
    frame = app.main_window().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    where = {}
    for role, name in (("list", "ROM files"), ("push button", "Run quex"),
                       ("check box", "Show sound diagnostic messages.")):
        e = app.find(role, name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        where[name] = (e.x - frame.x, e.y - frame.y, e.width, e.height)
    return where


def no_command_line(session):
    """Qt's own options on the command line change nothing: the program has no command line."""
    folder = session.folder("no-command-line")
    (folder / "big.qss").write_text("* { font-size: 40px; }\n")
    plain = session.launch(folder)
    plain.main_window()
    expected = _layout(plain)
    plain.press("Exit")
    plain.wait_exit()

    app = session.launch(folder, args=["-reverse", "-qwindowtitle", "Something else", "-stylesheet", "big.qss",
                                       "-qwindowgeometry", "300x200+50+50"])
    app.main_window()  # found by its own title
    check(_layout(app) == expected, f"the layout changed: {_layout(app)} instead of {expected}")


def questions_without_the_folder(session):
    """--help and --version are answered without reading the folder, which
    may be a network folder whose server hangs: here listing it never
    returns."""
    hung = os.environ.get("ZV_HUNG_LISTING")
    check(hung, "ZV_HUNG_LISTING names no library")
    folder = session.folder("hung")
    env = dict(session.env, LD_PRELOAD=hung, ASAN_OPTIONS="detect_leaks=0:verify_asan_link_order=0")
    for question, answer in (("--version", b"zerivirav "), ("--help", b"Usage: zerivirav")):
        try:
            done = subprocess.run([session.app_binary, question], cwd=folder, env=env, capture_output=True,
                                  timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure(f"{question} waited for the folder to be listed") from None
        check(done.returncode == 0 and done.stdout.startswith(answer),
              f"{question} gave status {done.returncode}: {done.stdout[:200]!r} {done.stderr[-500:]!r}")
    # The premise: the program itself does hang in that folder.
    app = session.launch(folder, env={"LD_PRELOAD": hung, "ASAN_OPTIONS": "detect_leaks=0:verify_asan_link_order=0"})
    time.sleep(2.0)
    shown = app.x(["xdotool", "search", "--onlyvisible", "--pid", str(app.pid)]).split()
    check(app.alive() and not shown, "the listing did not hang: this scenario proves nothing")


SCENARIOS = [
    ("typical run", typical_run, {}),
    ("start-up without ROM files or data files", start_without_roms_or_data, {}),
    ("accessible names and roles", accessibility_names, {}),
    ("Qt's options on the command line are ignored", no_command_line, {}),
    ("--help and --version without reading the folder", questions_without_the_folder, {}),
    ("F1 opens the Readme window", readme_by_f1, {}),
    ("the emulator outlives the front end", emulator_outlives_front_end, {"killed": False}),
    ("the emulator outlives the front end, killed", emulator_outlives_front_end, {"killed": True}),
] + [
    (f"way out: {way}, About and Readme {state}", way_out, {"way": way, "state": state})
    for way in ("menu", "ctrl+x", "button", "close box")
    for state in ("never", "shown", "hidden")
]
