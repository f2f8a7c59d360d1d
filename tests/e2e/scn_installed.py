"""The Debian package as a user gets it: Debian's checks, then the program
unpacked from it (dpkg -x) in folders that hold only ROMs and the stand-in."""

import os
import re
import subprocess

from harness import check, standin_runs, wait_until
from scn_basics import AIR_RAID

ENTRY, METAINFO = "applications/org.zerivirav.Zerivirav.desktop", "metainfo/org.zerivirav.Zerivirav.metainfo.xml"


def unpacked(session):
    root = session.root / "installed"
    if not root.exists():
        check(session.package and os.path.isfile(session.package), f"no package {session.package!r}: run ./package.sh")
        subprocess.run(["dpkg", "-x", session.package, root], check=True)
    return root


def installed(session, folder):
    return session.launch(folder, binary=unpacked(session) / "usr/games/zerivirav")


def debian_checks(session):
    """lintian and appstreamcli fail on warnings; desktop-file-validate and man only print them."""
    share = unpacked(session) / "usr/share"
    for argv in (["lintian", "--fail-on", "error,warning", session.package],
                 ["appstreamcli", "validate", "--no-net", share / METAINFO], ["desktop-file-validate", share / ENTRY],
                 ["man", "--warnings", "-l", share / "man/man6/zerivirav.6.gz", share / "man/man6/zerivirav-open.6.gz"]):
        done = subprocess.run(argv, capture_output=True, env=dict(os.environ, MANWIDTH="80"))
        warned = re.search(rb": (error|warning):", done.stdout) or (argv[0] == "man" and done.stderr)
        check(done.returncode == 0 and not warned, f"{argv[0]}: {(done.stdout + done.stderr)[-3000:].decode()}")
    version = subprocess.run(["dpkg-deb", "-f", session.package, "Version"], capture_output=True).stdout
    shown = subprocess.run([unpacked(session) / "usr/games/zerivirav", "--version"], capture_output=True).stdout
    check(shown == b"zerivirav " + version, f"--version printed {shown!r}, the package is {version!r}")


def installed_defaults(session):
    reference = installed(session, session.folder("reference"))
    reference.main_window()
    pictures = reference.settled_picture(), reference.settled_picture("Banner")
    reference.press("Exit")
    reference.wait_exit()

    folder = session.folder("bare", graphics=False, readme=False)
    app = installed(session, folder)
    app.main_window()
    wait_until(lambda: (app.picture(), app.picture("Banner")) == pictures, 10, "the default pictures")
    app.keys("F1")
    readme = app.find_all("text", app.window("Readme"))[0].queryText().getText(0, -1)
    check(readme == (unpacked(session) / "usr/share/zerivirav/zerivirav.txt").read_text(), f"readme {readme[:80]!r}")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the Air Raid texts")
    app.press("Run quex")
    runs = wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
    check([args for _, args in runs] == [[b"AIRRAID.BIN"]], f"the stand-in received {runs}")


def folder_copy_wins(session):
    """The folder's Graphics/Atari.gif, the Air Raid picture as a GIF, is shown at start."""
    folder = session.folder("override", graphics=False, readme=False)
    (folder / "Graphics").mkdir()
    subprocess.run(["convert", unpacked(session) / "usr/share/zerivirav/graphics/airraid.bmp", "+dither",
                    f"GIF:{folder / 'Graphics/Atari.gif'}"], check=True)
    app = installed(session, folder)
    shown = app.settled_picture()
    app.select_rom("TRON.BIN")
    wait_until(lambda: app.picture() != shown, 10, "the TRON picture")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.picture() == shown, 10, "the Air Raid picture to match the one shown at start")


def no_data_anywhere(session):
    data = unpacked(session) / "usr/share/zerivirav"
    data.rename(data.with_name("away"))
    try:
        folder = session.folder("nothing", graphics=False, readme=False)
        app = installed(session, folder)
        box, text = app.error_report(timeout=30)
        for path in (folder / "graphics/atari.gif", data / "graphics/atari.gif"):
            check(str(path) in text, f"the report does not name {path}: {text!r}")
        check(not [w for w in app.toplevels() if w is not None and w.getRoleName() == "frame"], "a window opened")
        app.dismiss(box)
        check(app.wait_exit() != 0, "the program ended with status 0 after a start-up failure")
    finally:
        data.with_name("away").rename(data)


def open_with(session, name):
    """The desktop entry through GLib's launcher: "Open With" on a folder, or
    the menu (no folder: the home folder)."""
    folder = session.folder(os.fsdecode(name), graphics=False, readme=False)
    home = folder if name == b"home" else session.private_dir("elsewhere")
    root = unpacked(session)
    app = session.launch_through(["gio", "launch", root / "usr/share" / ENTRY] + ([folder] if home != folder else []),
                                 root / "usr/games/zerivirav", env={"PATH": f"{root}/usr/games:{os.environ['PATH']}",
                                                                    "HOME": str(home)})
    expected = sorted(p.name for p in folder.iterdir() if p.suffix.lower() == ".bin")
    wait_until(lambda: sorted(app.rom_names()) == expected, 30, "the folder's ROMs in the list")
    cwd = os.readlink(f"/proc/{app.pid}/cwd".encode())
    check(cwd == os.fsencode(folder), f"the program runs in {cwd!r}")


def launcher_fault(session, arg, says):
    """Started by a file manager, the launcher's error output reaches no one:
    why nothing opened is shown in the program's error box."""
    (session.root / "a-file").write_bytes(b"")
    app = session.launch(session.root, binary=unpacked(session) / "usr/games/zerivirav-open", args=[arg])
    box, text = app.error_report(timeout=30)
    for part in says:
        check(part in text, f"the report does not say {part!r}: {text!r}")
    app.dismiss(box)
    check(app.wait_exit() == 1, "the launcher did not fail")


def launcher_help(session):
    launcher = unpacked(session) / "usr/games/zerivirav-open"
    for option, answer in (("--help", b"Usage: zerivirav-open"), ("--version", b"zerivirav-open ")):
        done = subprocess.run([launcher, option], capture_output=True, timeout=30, cwd=session.root)
        check(done.returncode == 0 and done.stdout.startswith(answer) and not done.stderr,
              f"{option}: status {done.returncode}, {done.stdout!r} {done.stderr!r}")


SCENARIOS = [
    ("lintian, desktop entry, metadata, manual page, version", debian_checks, {}),
    ("a folder of ROMs only: installed pictures and readme, Run", installed_defaults, {}),
    ("the folder's own picture wins", folder_copy_wins, {}),
    ("no data file anywhere: the report names both places", no_data_anywhere, {}),
    ("Open With on a folder with blanks, quotes, $, ` and a non-UTF-8 byte", open_with,
     {"name": b"My ROMs 'n\" $HOME `true` \xff"}),
    ("chosen from the menu: the home folder", open_with, {"name": b"home"}),
    ("the launcher on a folder that does not exist: the report", launcher_fault,
     {"arg": "/no such folder", "says": ('"/no such folder"', "No such file or directory")}),
    ("the launcher on a file: the report", launcher_fault, {"arg": "a-file", "says": ('"a-file"', "Not a directory")}),
    ("the launcher on an empty name: the report", launcher_fault, {"arg": "", "says": ("empty folder name",)}),
    ("the launcher answers --help and --version", launcher_help, {}),
]
