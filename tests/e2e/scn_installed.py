"""The Debian package as a user gets it: Debian's own checks, then the
program unpacked from it (dpkg -x), started in folders that hold only ROMs and
the stand-in, from a terminal or through its desktop entry."""

import os
import re
import subprocess

from harness import check, wait_until, standin_runs
from scn_basics import AIR_RAID

APP_ID = "org.zerivirav.Zerivirav"


def unpacked(session):
    """The package's files under a scratch root, unpacked once a session."""
    root = session.root / "installed"
    if not root.exists():
        check(session.package and os.path.isfile(session.package),
              f"no package at {session.package!r}: build it with ./package.sh")
        subprocess.run(["dpkg", "-x", session.package, str(root)], check=True)
    return root


def program(session):
    return unpacked(session) / "usr/games/zerivirav"


def bare_folder(session, name):
    return session.folder(name, graphics=False, readme=False)


def debian_checks(session):
    root = unpacked(session)
    share = root / "usr/share"
    lint = subprocess.run(["lintian", "--fail-on", "error,warning", "--info", session.package], capture_output=True)
    check(lint.returncode == 0 and not re.search(rb"^[EW]: ", lint.stdout, re.M),
          f"lintian:\n{lint.stdout.decode(errors='replace')}{lint.stderr.decode(errors='replace')}")
    for argv in (["desktop-file-validate", share / f"applications/{APP_ID}.desktop"],
                 ["appstreamcli", "validate", "--no-net", share / f"metainfo/{APP_ID}.metainfo.xml"]):
        done = subprocess.run(argv, capture_output=True)
        output = (done.stdout + done.stderr).decode(errors="replace")
        check(done.returncode == 0 and not re.search(r"\b(error|warning)\b", output, re.I),
              f"{argv[0]}:\n{output}")
    for page in ("zerivirav.6.gz", "zerivirav-open.6.gz"):
        done = subprocess.run(["man", "--warnings", "-l", share / "man/man6" / page], capture_output=True,
                              env=dict(os.environ, MANWIDTH="80"))
        check(done.returncode == 0 and b"zerivirav-open" in done.stdout and not done.stderr,
              f"man {page}: {done.stderr.decode(errors='replace')}")
    version = subprocess.run(["dpkg-deb", "-f", session.package, "Version"], capture_output=True, check=True)
    shown = subprocess.run([program(session), "--version"], capture_output=True, cwd=session.root)
    check(shown.returncode == 0 and shown.stdout == b"zerivirav " + version.stdout,
          f"--version printed {shown.stdout!r}, the package is {version.stdout!r}")


def installed_defaults(session):
    reference = session.launch(session.folder("installed-reference"), binary=program(session))
    reference.main_window()
    pictures = reference.settled_picture(), reference.settled_picture("Banner")
    reference.press("Exit")
    reference.wait_exit()

    folder = bare_folder(session, "installed-bare")
    app = session.launch(folder, binary=program(session))
    app.main_window()
    wait_until(lambda: (app.picture(), app.picture("Banner")) == pictures, 10, "the default pictures")
    app.keys("F1")
    text = app.find_all("text", app.window("Readme"))[0].queryText()
    readme = (unpacked(session) / "usr/share/zerivirav/zerivirav.txt").read_text()
    check(text.getText(0, -1) == readme, f"the Readme window shows {text.getText(0, 80)!r}...")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the Air Raid texts")
    app.press("Run quex")
    runs = wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    check([args for _, args in runs] == [[b"AIRRAID.BIN"]], f"the stand-in received {runs}")


def folder_copy_wins(session):
    """The folder's own picture is shown, whatever its letter case; the
    installed one is not. The copy is the Air Raid picture as a GIF."""
    folder = bare_folder(session, "installed-override")
    (folder / "Graphics").mkdir()
    subprocess.run(["convert", unpacked(session) / "usr/share/zerivirav/graphics/airraid.bmp", "+dither",
                    f"GIF:{folder / 'Graphics/Atari.gif'}"], check=True)
    app = session.launch(folder, binary=program(session))
    app.main_window()
    shown = app.settled_picture()
    app.select_rom("TRON.BIN")
    wait_until(lambda: app.picture() != shown, 10, "the TRON picture")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.picture() == shown, 10, "the Air Raid picture to match the one shown at start")


def no_data_anywhere(session):
    data = unpacked(session) / "usr/share/zerivirav"
    away = data.with_name("zerivirav-away")
    data.rename(away)
    try:
        folder = bare_folder(session, "installed-nothing")
        app = session.launch(folder, binary=program(session))
        box, text = app.error_report(timeout=30)
        for path in (folder / "graphics/atari.gif", data / "graphics/atari.gif"):
            check(str(path) in text, f"the report does not name {path}: {text!r}")
        frames = [w.name for w in app.toplevels() if w is not None and w.getRoleName() == "frame"]
        check(not frames, f"a window appeared next to the report: {frames}")
        app.dismiss(box)
        check(app.wait_exit() != 0, "the program ended with status 0 after a start-up failure")
    finally:
        away.rename(data)


def open_with(session, name):
    """Through the desktop entry, as a file manager's "Open With" (a folder
    given) or the menu (none: the home folder) starts it."""
    folder = bare_folder(session, os.fsdecode(name))
    home = folder if name == b"home" else session.private_dir("elsewhere")
    root = unpacked(session)
    entry = root / f"usr/share/applications/{APP_ID}.desktop"
    env = {"PATH": f"{root / 'usr/games'}:{os.environ['PATH']}", "HOME": str(home)}
    app = session.launch_through(["gio", "launch", entry] + ([folder] if home != folder else []),
                                 program(session), env=env)
    app.main_window()
    expected = sorted(p.name for p in folder.iterdir() if p.suffix.lower() == ".bin")
    wait_until(lambda: sorted(app.rom_names()) == expected, 10, "the folder's ROMs in the list")
    cwd = os.readlink(f"/proc/{app.pid}/cwd".encode())
    check(cwd == os.fsencode(folder), f"the program runs in {cwd!r}")


SCENARIOS = [
    ("lintian, desktop entry, metadata, manual page, version", debian_checks, {}),
    ("a folder of ROMs only: installed pictures and readme, Run", installed_defaults, {}),
    ("the folder's own picture wins", folder_copy_wins, {}),
    ("no data file anywhere: the report names both places", no_data_anywhere, {}),
    ("Open With on a folder with blanks, quotes, $, ` and a non-UTF-8 byte", open_with,
     {"name": b"My ROMs 'n\" $HOME `true` \xff"}),
    ("chosen from the menu: the home folder", open_with, {"name": b"home"}),
]
