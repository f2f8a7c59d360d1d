"""The Windows installer under wine: /S installs for the machine with the
licenses, the Start menu entry and the Explorer entries, the installed program
runs a ROM through Explorer's "Open with zerivirav" on its folder and through
the Start menu entry's folder dialog, and /S on the uninstaller leaves nothing
behind; run by hand, the installer shows its pages and its finish page starts
the program."""

import os
import pathlib
import struct
import subprocess
import time
import zipfile

from harness import WineApp, Skip, check, screenshot, standin_runs, wait_until

SESSION = {"focus_new": False}
PROGRAM_FILES = "drive_c/Program Files/zerivirav"
START_MENU = "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/zerivirav.lnk"
DIALOG = "Select rom folder"
FOLDER_VERB = r"HKLM\Software\Classes\Directory\shell\zerivirav"
BACKGROUND_VERB = r"HKLM\Software\Classes\Directory\Background\shell\zerivirav"
INSTALLED = r"C:\Program Files\zerivirav"
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


def _shortcut(path):
    """A shell link's target, working folder, arguments and icon (MS-SHLLINK)."""
    data = path.read_bytes()
    flags, = struct.unpack_from("<I", data, 0x14)
    at = 0x4C
    if flags & 0x1:  # an item id list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = None
    if flags & 0x2:  # link info, with the target's local path
        size, _, _, _, local = struct.unpack_from("<IIIII", data, at)
        if local:
            target = data[at + local:data.index(b"\0", at + local)].decode("latin-1")
        at += size
    wide = 2 if flags & 0x80 else 1
    strings = {}
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "folder"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count, = struct.unpack_from("<H", data, at)
            text = data[at + 2:at + 2 + count * wide]
            strings[name] = text.decode("utf-16-le" if wide == 2 else "latin-1").rstrip("\0")  # wine counts it
            at += 2 + count * wide
    return target, strings.get("folder"), strings.get("arguments", ""), strings.get("icon")


def _installed_parts(session, prefix):
    """What the silent install put down besides the program."""
    installed = prefix / PROGRAM_FILES
    with zipfile.ZipFile(session.windows_zip) as archive:
        check(not any(name.endswith("/qoffscreen.dll") for name in archive.namelist()),
              "the zip ships the offscreen platform plugin, which only the tests load")
    notice = (installed / "licenses/README.txt").read_text()
    for name in ("LICENSE.txt", "licenses/common-licenses/LGPL-3.txt", "licenses/common-licenses/GPL-3.txt",
                 "licenses/qt6-base.copyright.txt"):
        check((installed / name).is_file(), f"{name} was not installed")
    # Every DLL shipped says whose it is and under which terms.
    for dll in installed.rglob("*.dll"):
        check(dll.name in notice, f"licenses/README.txt does not name {dll.relative_to(installed)}")
    for path in (installed / "licenses").glob("*.copyright.txt"):
        check(path.name in notice, f"licenses/README.txt does not point to {path.name}")
    check("qt6-base source package, version " in notice and "apt-get source qt6-base=" in notice
          and "-DFEATURE_" in notice, "licenses/README.txt does not say which Qt source was built, nor how")

    target, folder, arguments, icon = _shortcut(prefix / START_MENU)
    check(target == INSTALLED + r"\zerivirav-open.exe" and arguments == "",
          f"the Start menu entry runs {target!r} {arguments!r}")
    check(folder == INSTALLED, f"the Start menu entry starts in {folder!r}")
    check(icon == INSTALLED + r"\zerivirav.exe", f"the Start menu entry's icon: {icon!r}")

    for key, parameter in ((FOLDER_VERB, '"%1"'), (BACKGROUND_VERB, '"%V"')):
        verb = _wine(session, "reg", "query", key + r"\command").stdout.decode(errors="replace")
        check(f'"{INSTALLED}\\zerivirav-open.exe" {parameter}' in verb, f"{key}'s command: {verb!r}")
        caption = _wine(session, "reg", "query", key).stdout.decode(errors="replace")
        check("Open with zerivirav" in caption and INSTALLED + r"\zerivirav.exe" in caption,
              f"{key}'s caption and icon: {caption!r}")


def from_the_start_menu(session, prefix, installed):
    """The Start menu entry, opened as Explorer opens it (start.exe resolves
    the shortcut): the launcher without a folder asks for one, and the
    folder typed into the dialog is where the program runs the ROM."""
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
    _installed_parts(session, prefix)

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


def _page(app, window):
    """Which kind of page the installer shows, told by two pixels: the
    wizard's picture down the left side (welcome and finish pages), a white
    text box in the middle (license page), or neither (folder page)."""
    width, height, pixels = screenshot(app, window)

    def pixel(x, y):
        at = (y * width + x) * 3
        return tuple(pixels[at:at + 3])
    red, green, blue = pixel(20, height // 2)
    if blue > 100 and red < 80 and green < 80:
        return "wizard"
    return "text" if pixel(60, height * 45 // 100) == (255, 255, 255) else "plain"


def pages(session):
    """Run by hand: welcome, license and folder pages, the install, and the
    finish page, whose ticked "Start zerivirav" starts the launcher."""
    if not session.windows_setup:
        raise Skip("no Windows installer was given (./package-windows.sh makes it)")
    prefix = _prefix()
    installed = prefix / PROGRAM_FILES
    check(not installed.exists(), "an earlier install was left in the prefix")
    _wine(session, "wineboot")
    setup = session.launch(None, kind=WineApp, exe=session.windows_setup, env={"WINEDLLOVERRIDES": NO_MENUS})
    title = "zerivirav " + pathlib.Path(session.windows_setup).name.split("-")[1] + " Setup"
    window = setup.x_window(title)

    def shows(kind, what, timeout=30):
        wait_until(lambda: _page(setup, window) == kind, timeout, what)
        time.sleep(0.5)  # a page takes keys once it has drawn itself

    shows("wizard", "the welcome page")
    setup.keys("Return", window=window)
    shows("text", "the license page")
    setup.keys("Return", window=window)
    shows("plain", "the folder page")
    check(not installed.exists(), "the installer installed before its folder page")
    setup.keys("Return", window=window)  # Install
    shows("wizard", "the finish page", timeout=120)
    check((installed / "uninstall.exe").is_file(), "the finish page came without an install")
    setup.keys("Return", window=window)  # Finish, with "Start zerivirav" ticked
    wait_until(lambda: [w for name in ("zerivirav-open.exe", "zerivirav.exe")
                        for w in session.x(["xdotool", "search", "--onlyvisible", "--classname", name]).split()],
               60, "the finish page to start zerivirav")
    subprocess.run(["wineserver", "-k"], env=session.env, timeout=60)
    check(_wine(session, str(installed / "uninstall.exe"), "/S").returncode == 0, "the uninstaller failed")


SCENARIOS = [
    ("install, run a ROM folder from Explorer and from the Start menu, uninstall", install_run_uninstall, {}),
    ("the installer's pages, and the program started from its finish page", pages, {}),
]
