"""The Windows installer under wine: /S installs for the machine, the
installed program runs a ROM through Explorer's "Open with zerivirav" on its
folder and through the Start menu entry's folder dialog, and /S on the
uninstaller leaves nothing behind."""

import os
import pathlib
import subprocess

from harness import WineApp, Skip, check, standin_runs, wait_until

SESSION = {"focus_new": False}
PROGRAM_FILES = "drive_c/Program Files/zerivirav"
START_MENU = "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/zerivirav.lnk"
DIALOG = "Select rom folder"
FOLDER_VERB = r"HKLM\Software\Classes\Directory\shell\zerivirav"
# Wine's menu builder would copy the Start menu entry into the desktop's menus
# of the user running the tests.
NO_MENUS = "mscoree,mshtml=;winemenubuilder.exe=d"
# Wine keeps its own logs and caches under these; they are no part of the install.
CHURN = ("drive_c/windows/", "drive_c/users/", "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Wine")


def _prefix():
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise Skip("no private wine prefix was given (tools/wine_prefix.sh run)")
    return pathlib.Path(prefix)


def _files(prefix):
    return {str(p.relative_to(prefix)) for p in (prefix / "drive_c").rglob("*")
            if not str(p.relative_to(prefix)).startswith(CHURN)}


def _wine(session, *argv, timeout=120):
    """A wine command in the test's prefix, to its end and that of all it started."""
    done = subprocess.run(["wine", *argv], env=dict(session.env, WINEDEBUG="-all", WINEDLLOVERRIDES=NO_MENUS),
                          capture_output=True, timeout=timeout)
    subprocess.run(["wineserver", "-w"], env=session.env, timeout=timeout)
    return done


def _registry_mentions(prefix):
    """The registry's lines that name the program."""
    return [f"{name}: {line}" for name in ("system.reg", "user.reg")
            for line in (prefix / name).read_text(errors="replace").splitlines() if "zerivirav" in line.lower()]


def from_the_start_menu(session, prefix, installed):
    """The Start menu entry, opened as Explorer opens it (start.exe resolves
    the shortcut): the launcher without a folder asks for one, and the
    folder typed into the dialog is where the program runs the ROM."""
    shortcut = (prefix / START_MENU).read_bytes()
    check("zerivirav-open.exe".encode("utf-16-le") in shortcut or b"zerivirav-open.exe" in shortcut,
          "the Start menu entry does not start zerivirav-open.exe")
    folder = session.windows_folder("menu's roms", ["MENU.BIN"])
    app = session.launch(None, kind=WineApp, exe="start", args=["/unix", prefix / START_MENU],
                         window_of=installed / "zerivirav-open.exe", env={"WINEDLLOVERRIDES": NO_MENUS})
    dialog = app.x_window(DIALOG)
    app.keys("ctrl+a", window=dialog)
    app.x(["xdotool", "type", "--delay", "30", "Z:" + str(folder).replace("/", "\\")], check_rc=True)
    app.keys("Return", window=dialog)
    app.window_exe = installed / "zerivirav.exe"
    window = app.x_window()
    app.keys("Tab", "Home", "shift+Tab", "space", window=window)
    runs = wait_until(lambda: standin_runs(folder), 60, "the program started from the menu to run the ROM")
    check(runs[-1][1] == [b"MENU.BIN"], f"the stand-in received {runs}")
    app.keys("ctrl+x", window=window)
    wait_until(lambda: not app.windows(), 30, "the program to close")
    subprocess.run(["wineserver", "-w"], env=session.env, timeout=60)


def install_run_uninstall(session):
    if not session.windows_setup:
        raise Skip("no Windows installer was given (./package-windows.sh makes it)")
    prefix = _prefix()
    _wine(session, "wineboot")  # the registry saved, so that what follows is all the installer's
    before = _files(prefix)
    check(not _registry_mentions(prefix), "the prefix knows zerivirav before the install")

    done = _wine(session, session.windows_setup, "/S")
    check(done.returncode == 0, f"the installer failed with status {done.returncode}: {done.stderr[-2000:]!r}")
    installed = prefix / PROGRAM_FILES
    for name in ("zerivirav.exe", "zerivirav-open.exe", "uninstall.exe", "qt.conf", "Qt6Core.dll",
                 "platforms/qwindows.dll", "imageformats/qgif.dll", "imageformats/qjpeg.dll",
                 "graphics/atari.gif", "zerivirav.txt", "fonts/NimbusSansNarrow-Regular.pfa"):
        check((installed / name).is_file(), f"{name} was not installed")
    check((prefix / START_MENU).is_file(), "no Start menu entry")
    verb = _wine(session, "reg", "query", FOLDER_VERB + r"\command").stdout.decode(errors="replace")
    check("zerivirav-open.exe" in verb and '"%1"' in verb, f"the folder entry's command: {verb!r}")
    caption = _wine(session, "reg", "query", FOLDER_VERB).stdout.decode(errors="replace")
    check("Open with zerivirav" in caption, f"the folder entry's caption: {caption!r}")

    # "Open with zerivirav" on a ROM folder, as Explorer runs it.
    folder = session.windows_folder("roms & more", ["GAME.BIN"])
    windows_path = "Z:" + str(folder).replace("/", "\\")
    app = session.launch(None, kind=WineApp, exe=installed / "zerivirav-open.exe", args=[windows_path],
                         window_of=installed / "zerivirav.exe", env={"WINEDLLOVERRIDES": NO_MENUS})
    window = app.x_window()
    app.keys("Tab", "Home", "shift+Tab", "space", window=window)
    runs = wait_until(lambda: standin_runs(folder), 60, "the installed program to run the ROM")
    check(runs[-1][1] == [b"GAME.BIN"], f"the stand-in received {runs}")
    check((folder / "Quex.bat").read_bytes() == b'"\r\necho off\r\nquex.exe GAME.BIN\r\n"\r\n',
          "Quex.bat was not written into the folder opened")
    app.keys("ctrl+x", window=window)
    wait_until(lambda: not app.windows(), 30, "the program to close")
    subprocess.run(["wineserver", "-w"], env=session.env, timeout=60)
    from_the_start_menu(session, prefix, installed)

    done = _wine(session, str(installed / "uninstall.exe"), "/S")
    check(done.returncode == 0, f"the uninstaller failed with status {done.returncode}")
    left = sorted(_files(prefix) - before)
    check(not left, f"the uninstaller left {left}")
    check(not _registry_mentions(prefix), f"the registry still names zerivirav: {_registry_mentions(prefix)}")


SCENARIOS = [
    ("install, run a ROM folder from Explorer and from the Start menu, uninstall", install_run_uninstall, {}),
]
