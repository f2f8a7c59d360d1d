"""The Debian package as a user gets it: Debian's checks, then the program
unpacked from it (dpkg -x) in folders that hold only ROMs and the stand-in,
and the package as if installed, over the system's /usr in a private mount
namespace, so that nothing outside the test changes."""

import os
import pathlib
import re
import shlex
import subprocess
import time

from harness import Skip, check, descendants, process_state, showing, standin_runs, wait_until
from scn_basics import AIR_RAID

ENTRY, METAINFO = "applications/org.zerivirav.Zerivirav.desktop", "metainfo/org.zerivirav.Zerivirav.metainfo.xml"
ACTION = "file-manager/actions/org.zerivirav.Zerivirav.desktop"
DIALOG = "Select rom folder"
# root's PATH, which lacks /usr/games
PLAIN_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"


def unpacked(session):
    root = session.root / "installed"
    if not root.exists():
        check(session.package and os.path.isfile(session.package), f"no package {session.package!r}: run ./package.sh")
        subprocess.run(["dpkg", "-x", session.package, root], check=True)
    return root


def installed(session, folder):
    return session.launch(folder, binary=unpacked(session) / "usr/games/zerivirav")


def as_installed(session, argv, writable=None, package=True):
    """argv in a mount namespace of its own where the package lies installed
    over /usr (an overlay: the package's files above the system's; without
    `package`, the system's alone); with a folder `writable`, what is written
    to /usr goes there. The namespace lasts as long as a process in it, and
    nothing outside it changes."""
    options = f"lowerdir={unpacked(session)}/usr:/usr" if package else "lowerdir=/usr"
    if writable is not None:
        for name in ("upper", "work"):
            (writable / name).mkdir(parents=True, exist_ok=True)
        options += f",upperdir={writable}/upper,workdir={writable}/work"
    unshare = ["unshare", "--mount", "--propagation", "private"] + ([] if os.geteuid() == 0 else ["--map-root-user"])
    mount = 'mount -t overlay overlay -o "$1" /usr || exit 125; shift; exec "$@"'
    probe = subprocess.run(unshare + ["sh", "-c", mount, "sh", options, "true"], capture_output=True)
    if probe.returncode != 0:
        raise Skip(f"cannot mount an overlay over /usr here: {probe.stderr.decode().strip()}")
    return unshare + ["sh", "-c", mount, "sh", options, *argv]


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


def certain_closure(names):
    """The installed packages that `names` pull in for certain: those named
    without an alternative, and what they pull in the same way, with the
    essential packages; a choice ("a | b") or a virtual name guarantees none."""
    status = subprocess.run(["dpkg-query", "-W", "-f", "${Package}\t${Essential}\t${Pre-Depends}, ${Depends}\n"],
                            capture_output=True, text=True, check=True).stdout
    pulls, todo = {}, list(names)
    for line in status.splitlines():
        package, essential, relations = line.split("\t")
        pulls[package] = [r.split()[0].split(":")[0] for r in relations.split(",") if r.strip() and "|" not in r]
        if essential == "yes":
            todo.append(package)
    closure = set()
    while todo:
        package = todo.pop()
        if package in pulls and package not in closure:
            closure.add(package)
            todo.extend(pulls[package])
    return closure


def owner(path):
    """The package that installed `path` (dpkg knows /lib for /usr/lib on a merged /usr)."""
    for name in (path, re.sub(r"^/usr(?=/(lib|lib64|bin|sbin)/)", "", path)):
        done = subprocess.run(["dpkg-query", "-S", name], capture_output=True, text=True)
        if done.returncode == 0:
            return done.stdout.split(":")[0]
    return None


def depends(session):
    """What the program cannot start or lay itself out without comes with the
    package for certain: the Qt plugins and the fonts it has open once its
    window is up, and the platform plugin of a Wayland session beside the
    X11 one it runs on here."""
    app = installed(session, session.folder("depends", graphics=False, readme=False))
    app.main_window()
    app.settled_picture()
    with open(f"/proc/{app.pid}/maps") as maps:
        mapped = {line.split(None, 5)[5].strip() for line in maps if len(line.split(None, 5)) == 6}
    needed = {path for path in mapped if "/qt6/plugins/" in path or path.startswith("/usr/share/fonts/")}
    xcb = [path for path in needed if path.endswith("/platforms/libqxcb.so")]
    check(xcb and any(path.startswith("/usr/share/fonts/") for path in needed), f"no platform plugin or font in {needed}")
    needed.add(os.path.join(os.path.dirname(xcb[0]), "libqwayland-generic.so"))
    field = subprocess.run(["dpkg-deb", "-f", session.package, "Depends"], capture_output=True, text=True).stdout
    closure = certain_closure(r.split()[0] for r in field.split(",") if "|" not in r)
    missing = sorted(f"{path} ({owner(path)})" for path in needed if owner(path) not in closure)
    check(not missing, f"Depends ({field.strip()}) does not pull in {missing}")


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


def _installed_entry(session, prefix):
    """The desktop entry, the folder of the programs it starts and how to run
    a command where they are installed: the package's, or those installed
    with cmake --install under `prefix`."""
    if prefix is None:
        return f"/usr/share/{ENTRY}", pathlib.Path("/usr/games"), lambda argv: as_installed(session, argv)
    under = session.root / prefix
    subprocess.run(["cmake", "--install", session.build, "--prefix", under], check=True, capture_output=True)
    return under / "share" / ENTRY, under / "bin", list


def open_with(session, name, prefix=None):
    """The desktop entry through GLib's launcher, with a PATH that lacks the
    launcher's folder: "Open With" on a folder. The package's entry, or one
    installed with cmake --install under `prefix`, a folder name with blanks
    and shell characters."""
    folder = session.folder(os.fsdecode(name), graphics=False, readme=False)
    entry, bindir, wrap = _installed_entry(session, prefix)
    app = session.launch_through(wrap(["gio", "launch", entry, folder]), bindir / "zerivirav",
                                 env={"PATH": PLAIN_PATH, "HOME": str(session.private_dir("elsewhere"))})
    expected = sorted(p.name for p in folder.iterdir() if p.suffix.lower() == ".bin")
    wait_until(lambda: sorted(app.rom_names()) == expected, 30, "the folder's ROMs in the list")
    cwd = os.readlink(f"/proc/{app.pid}/cwd".encode())
    check(cwd == os.fsencode(folder), f"the program runs in {cwd!r}")


def _tree(home):
    """Every name under `home`, with each file's content."""
    return sorted((os.fsencode(path), path.read_bytes() if path.is_file() else None) for path in home.rglob("*"))


def _controls(window):
    """The controls a user reaches in `window`; the rows of its views are the
    files, named by them."""
    found, todo = [], [window]
    while todo:
        parent = todo.pop()
        for child in filter(None, (parent.getChildAtIndex(i) for i in range(parent.childCount))):
            if child.getRoleName() in ("push button", "text", "combo box", "list", "tree", "check box"):
                found.append(child)
            if child.getRoleName() not in ("combo box", "list", "tree"):
                todo.append(child)
    return found


def _menu_dialog(session, tag, name=b"ROMs", prefix=None):
    """The menu entry's command, which names no folder: the launcher with
    its folder dialog, its home folder holding a ROM folder `name`."""
    home = session.private_dir(f"home-{tag}")
    folder = session.folder(f"home-{tag}/{os.fsdecode(name)}", graphics=False, readme=False)
    entry, bindir, wrap = _installed_entry(session, prefix)
    before = _tree(home)
    app = session.launch_through(wrap(["gio", "launch", entry]), bindir / "zerivirav-open",
                                 env={"PATH": PLAIN_PATH, "HOME": str(home)})
    dialog = app.window(DIALOG, roles=("dialog",))
    unnamed = [a.getRoleName() for a in _controls(dialog) if showing(a) and not a.name]
    check(not unnamed, f"the dialog has controls without a name: {unnamed}")
    app.find("combo box", str(home), dialog)  # "Look in:", at the home folder
    return app, home, folder, before, bindir


def menu_chooses(session, name, how, prefix=None, run=False):
    """From the menu, the folder chosen by keyboard in the dialog: the path
    typed into its name field, or the folder picked from the list. Qt names
    files in UTF-8: it lists no folder named otherwise, and its name field
    takes a double quote as the end of a name. The path is typed as Qt
    spells it, a byte that is not UTF-8 as U+FFFD; a name with a double
    quote is picked from the list."""
    app, home, folder, before, bindir = _menu_dialog(session, f"choose-{how}", name, prefix)
    window = app.x_window(DIALOG)
    if how == "typed":
        typed = bytes(folder).decode(errors="replace")
        field = next(c for c in _controls(app.window(DIALOG, roles=("dialog",))) if c.getRoleName() == "text")

        def holds_it():
            deadline = time.monotonic() + 5
            while field.queryText().getText(0, -1) != typed and time.monotonic() < deadline:
                time.sleep(0.1)
            return field.queryText().getText(0, -1) == typed
        # xdotool types a character the keyboard map lacks (U+FFFD) through a
        # key it maps for the moment; on a loaded machine the key can arrive
        # after the map is restored, and the character is lost. Typed again
        # until the name field holds all of it.
        for _ in range(5):
            app.keys("ctrl+a", window=window)
            app.x(["xdotool", "type", "--delay", "30", typed], check_rc=True)
            if holds_it():
                break
        check(field.queryText().getText(0, -1) == typed, f"the name field holds {field.queryText().getText(0, -1)!r}")
        app.keys("Return", window=window)
    else:  # the list's first entry, and the dialog's Choose button
        app.keys("shift+Tab", "space", "alt+c", window=window)
    wait_until(lambda: os.readlink(f"/proc/{app.pid}/exe") == str(bindir / "zerivirav"), 30,
               "the launcher to start zerivirav")
    # The same process, another program on the accessibility bus, which may
    # list the dialog's for a while yet.
    def main_window():
        app._root = None
        return app.lookup("list", "ROM files")
    wait_until(main_window, 30, "the main window")
    cwd = os.readlink(f"/proc/{app.pid}/cwd".encode())
    check(cwd == os.fsencode(folder), f"the program runs in {cwd!r}, not {os.fsencode(folder)!r}")
    expected = sorted(p.name for p in folder.iterdir() if p.suffix.lower() == ".bin")
    wait_until(lambda: sorted(app.rom_names()) == expected, 30, "the folder's ROMs in the list")
    check(_tree(home) == before, "the home folder changed")
    if run:
        app.select_rom("AIRRAID.BIN")
        app.press("Run quex")
        runs = wait_until(lambda: standin_runs(folder), 15, "the stand-in to run")
        check([args for _, args in runs] == [[b"AIRRAID.BIN"]], f"the stand-in received {runs}")


def menu_cancelled(session, how, prefix=None):
    """Cancelled, the dialog leaves nothing: no window, no process, status 0,
    and the home folder as it was (no settings, no recent folders)."""
    app, home, _, before, bindir = _menu_dialog(session, f"cancel-{how}", prefix=prefix)
    window = app.x_window(DIALOG)
    if how == "Cancel":
        app.press("Cancel", within=app.window(DIALOG, roles=("dialog",)))
    else:
        app.keys(how, window=window)
    status = app.wait_exit(30)
    check(status == 0, f"the launcher ended with status {status}")
    left = [pid for pid in descendants(os.getpid())
            if process_state(pid) not in (None, "Z") and os.path.realpath(f"/proc/{pid}/exe").startswith(str(bindir))]
    check(not left, f"processes left behind: {left}")
    check(_tree(home) == before, f"the home folder changed: {sorted(set(_tree(home)) - set(before))}")


def folder_action(session):
    """The file managers' action on a folder starts the same launcher as the menu entry."""
    share = unpacked(session) / "usr/share"
    execs = [shlex.split(re.search(r"^Exec=(.*)$", (share / path).read_text(), re.M).group(1))
             for path in (ENTRY, ACTION)]
    check(execs[0] == execs[1] == ["/usr/games/zerivirav-open", "%f"], f"Exec lines {execs}")


def folders_stay_with_the_file_manager(session):
    """With pcmanfm installed, folders open in it; installing the package, and
    the trigger that rebuilds the applications' MIME cache after it, leave
    that default as it was, and every other type's list of applications."""
    home = session.private_dir("mime-home")
    env = {"PATH": PLAIN_PATH, "HOME": str(home), "LANG": "C.UTF-8"}
    query = ("update-desktop-database /usr/share/applications && xdg-mime query default inode/directory"
             " && cat /usr/share/applications/mimeinfo.cache")
    found = {}
    for with_package in (False, True):
        argv = as_installed(session, ["sh", "-c", query], session.private_dir(f"mime-{with_package}"), with_package)
        done = subprocess.run(argv, env=env, capture_output=True)
        check(done.returncode == 0, f"{argv[-1]}: {done.stderr.decode()}")
        found[with_package] = done.stdout.decode().split("\n", 1)
    check(found[False][0] == "pcmanfm.desktop", f"without the package, folders open with {found[False][0]!r}")
    check(found[True][0] == found[False][0], f"installing the package made {found[True][0]!r} open folders")
    check(found[True][1] == found[False][1], "installing the package changed the MIME cache")


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


def launcher_without_display(session):
    """Without a display it cannot ask: it says so, rather than waiting on a
    dialog no one sees."""
    env = {k: v for k, v in session.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    done = subprocess.run([unpacked(session) / "usr/games/zerivirav-open"], capture_output=True, timeout=30,
                          cwd=session.root, env=env)
    check(done.returncode != 0 and b"needs the folder" in done.stderr and not done.stdout,
          f"status {done.returncode}, {done.stdout!r} {done.stderr!r}")


def launcher_help(session):
    launcher = unpacked(session) / "usr/games/zerivirav-open"
    for option, answer in (("--help", b"Usage: zerivirav-open"), ("--version", b"zerivirav-open ")):
        done = subprocess.run([launcher, option], capture_output=True, timeout=30, cwd=session.root)
        check(done.returncode == 0 and done.stdout.startswith(answer) and not done.stderr,
              f"{option}: status {done.returncode}, {done.stdout!r} {done.stderr!r}")


SCENARIOS = [
    ("lintian, desktop entry, metadata, manual page, version", debian_checks, {}),
    ("Depends: the platform plugins and the layout's font", depends, {}),
    ("a folder of ROMs only: installed pictures and readme, Run", installed_defaults, {}),
    ("the folder's own picture wins", folder_copy_wins, {}),
    ("no data file anywhere: the report names both places", no_data_anywhere, {}),
    ("Open With on a folder with blanks, quotes, $, ` and a non-UTF-8 byte", open_with,
     {"name": b"My ROMs 'n\" $HOME `true` \xff"}),
    ("from the menu: typed into the dialog, blanks, ', $, ` and a non-UTF-8 byte; Run", menu_chooses,
     {"name": b"My ROMs 'n $HOME `true` \xff", "how": "typed", "run": True}),
    ("from the menu: a folder with double quotes picked from the list", menu_chooses,
     {"name": b'My "ROMs"', "how": "picked"}),
    ("from the menu installed by cmake under a prefix: the folder typed", menu_chooses,
     {"name": b"ROMs", "how": "typed", "prefix": "menu prefix $HOME"}),
    ("from the menu, cancelled by Escape", menu_cancelled, {"how": "Escape"}),
    ("from the menu, cancelled by Cancel", menu_cancelled, {"how": "Cancel"}),
    ("from the menu, closed by its close box", menu_cancelled, {"how": "alt+F4"}),
    ("installed by cmake under a prefix with blanks, $ and quotes: Open With", open_with,
     {"name": b"ROMs", "prefix": "my \"games\" $HOME `x`"}),
    ("the folder action starts the same launcher", folder_action, {}),
    ("folders stay with the file manager", folders_stay_with_the_file_manager, {}),
    ("the launcher on a folder that does not exist: the report", launcher_fault,
     {"arg": "/no such folder", "says": ('"/no such folder"', "No such file or directory")}),
    ("the launcher on a file: the report", launcher_fault, {"arg": "a-file", "says": ('"a-file"', "Not a directory")}),
    ("the launcher on an empty name: the report", launcher_fault, {"arg": "", "says": ("empty folder name",)}),
    ("the launcher answers --help and --version", launcher_help, {}),
    ("the launcher without a folder or a display", launcher_without_display, {}),
]
