"""Faults at launch: the script cannot be written, the emulator cannot be started,
or it ends at once. Each is reported, loses nothing, and the next Run after the
fix works."""

import os
import resource
import shutil
import subprocess

from harness import NOBODY, Failure, Skip, check, showing, standin_runs, wait_until

OLD_SCRIPT = b'"\r\necho off\r\nquex.exe -q OLD.BIN\r\n"\r\n'


def _run_is_refused(app, folder, must_name, script_must_stay=True):
    before = len(standin_runs(folder))
    app.press("Run quex")
    box, text = app.error_report()
    check(must_name in text, f"the report does not name {must_name}: {text!r}")
    app.dismiss(box)
    if script_must_stay:
        now = (folder / "Quex.bat").read_bytes()
        check(now == OLD_SCRIPT, f"the old Quex.bat was changed to {now!r}")
        leftovers = sorted(p.name for p in folder.iterdir() if p.name.lower().startswith("quex.bat"))
        check(leftovers == ["Quex.bat"], f"half-written files left behind: {leftovers}")
    check(len(standin_runs(folder)) == before, "the emulator was started all the same")
    check(app.alive() and showing(app.main_window()), "the program did not survive the fault")
    return text


def _run_works(app, folder):
    before = len(standin_runs(folder))
    app.press("Run quex")
    runs = wait_until(lambda: len(standin_runs(folder)) > before and standin_runs(folder), 15,
                      "a Run after the fault was fixed")
    check(runs[-1][1] == [b"AIRRAID.BIN"], f"the stand-in received {runs[-1][1]}")
    check((folder / "Quex.bat").read_bytes().split(b"\r\n")[2] == b"quex.exe AIRRAID.BIN",
          "the new Quex.bat is wrong")


def read_only_folder(session):
    folder = session.folder("read-only")
    (folder / "Quex.bat").write_bytes(OLD_SCRIPT)
    (folder / "Quex.bat").chmod(0o444)
    folder.chmod(0o555)
    user = NOBODY if os.geteuid() == 0 else None  # root could write anyway
    app = session.launch(folder, user=user)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    text = _run_is_refused(app, folder, "Quex.bat")
    check(any(w in text.lower() for w in ("denied", "not writable", "permission")),
          f"the report gives no reason: {text!r}")
    folder.chmod(0o777)
    (folder / "Quex.bat").chmod(0o666)
    _run_works(app, folder)


def full_disk(session):
    disk = session.root / "small-disk"
    disk.mkdir()
    try:
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,mode=0755", "tmpfs", str(disk)],
                                 capture_output=True)
    except FileNotFoundError:
        raise Skip("no mount command here")
    if mounted.returncode != 0:
        raise Skip(f"cannot mount a small tmpfs here: {mounted.stderr.decode().strip()}")
    session.mounts.append(disk)
    template = session.folder("full-disk-data")
    (disk / "graphics").symlink_to(template / "graphics")
    (disk / "quex.exe").symlink_to(template / "quex.exe")
    shutil.copy(template / "AIRRAID.BIN", disk)
    (disk / "Quex.bat").write_bytes(OLD_SCRIPT)
    app = session.launch(disk)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    filler = os.open(disk / "filler", os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        while os.write(filler, b"\0" * 4096) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(filler)
    text = _run_is_refused(app, disk, "Quex.bat")
    check("space" in text.lower(), f"the report gives no reason: {text!r}")
    (disk / "filler").unlink()
    _run_works(app, disk)


def file_size_limit(session):
    folder = session.folder("size-limit")
    (folder / "Quex.bat").write_bytes(OLD_SCRIPT)
    app = session.launch(folder, rlimits={resource.RLIMIT_FSIZE: 16})
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    text = _run_is_refused(app, folder, "Quex.bat")
    check("large" in text.lower() or "space" in text.lower(), f"the report gives no reason: {text!r}")
    subprocess.run(["prlimit", f"--pid={app.pid}", "--fsize=unlimited"], check=True)
    _run_works(app, folder)


def _break_emulator(folder, how):
    exe = folder / "quex.exe"
    if how == "missing":
        exe.unlink()
    elif how == "not executable":
        exe.chmod(0o644)
    elif how == "a directory":
        exe.unlink()
        exe.mkdir()
    elif how == "a dangling link":
        exe.unlink()
        exe.symlink_to("gone.exe")
    else:
        raise Failure(f"unknown fault {how}")


def broken_emulator(session, how, on_path):
    """Nothing usable named quex.exe in the folder: a copy on the search path
    runs; without one the report names both places."""
    name = f"quex-{how.replace(' ', '-')}{'-path' if on_path else ''}"
    folder = session.folder(name)
    (folder / "Quex.bat").write_bytes(OLD_SCRIPT)
    saved = session.root / f"standin-{name}"
    shutil.copy2(folder / "quex.exe", saved)
    _break_emulator(folder, how)
    search_path = "/usr/bin:/bin"
    check(shutil.which("quex.exe", path=search_path) is None, "quex.exe is on the search path")
    if on_path:
        bin_dir = session.private_dir(f"bin-{name}")
        shutil.copy2(saved, bin_dir / "quex.exe")
        search_path = f"{bin_dir}:{search_path}"
    app = session.launch(folder, env={"PATH": search_path})
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    if on_path:
        _run_works(app, folder)
        return
    text = _run_is_refused(app, folder, "quex.exe", script_must_stay=False)
    if how != "not executable":  # that one is a program file, and the report says what is wrong with it
        check(str(folder) in text and search_path in text, f"the report does not name both places: {text!r}")
    if (folder / "quex.exe").is_dir():
        (folder / "quex.exe").rmdir()
    elif (folder / "quex.exe").is_symlink():
        (folder / "quex.exe").unlink()
    shutil.copy2(saved, folder / "quex.exe")
    _run_works(app, folder)


def deleted_folder(session):
    folder = session.folder("deleted")
    app = session.launch(folder)
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    shutil.rmtree(folder)
    app.press("Run quex")
    box, text = app.error_report()
    check(f"{folder}/Quex.bat" in text and "no longer exists" in text, f"the report does not say where: {text!r}")
    app.dismiss(box)
    check(app.alive() and showing(app.main_window()), "the program did not survive the report")


def emulator_ends_at_once(session, standin, says):
    """The report comes once the emulator has ended, names what ran and how it
    ended, and shows its last words; the window goes on answering beside it."""
    folder = session.folder("ends-" + "-".join(standin))
    app = session.launch(folder, env={f"QUEX_STANDIN_{k}": v for k, v in standin.items()})
    app.main_window()
    app.select_rom("AIRRAID.BIN")
    before = app.peak_memory_kib()
    app.press("Run quex")
    box, text = app.error_report(timeout=30)
    for part in ("quex.exe", '"AIRRAID.BIN"', *says):
        check(part in text, f"the report does not say {part!r}: {text!r}")
    # Modal to no window: the main window takes a selection meanwhile.
    app.select_rom("TRON.BIN")
    check(showing(box), "the report went away")
    grown = app.peak_memory_kib() - before
    # The emulator's output passes the front end by; a report holds 4 KiB of it.
    check(grown < 32 * 1024, f"the front end's peak memory grew by {grown} KiB")
    app.dismiss(box)
    check(app.alive() and showing(app.main_window()), "the program did not survive the report")
    # All of the emulator's output reached the front end's own.
    output = app.log.read_bytes()
    check("SAY" not in standin or standin["SAY"].encode() + b"\n" in output, "its error output went missing")
    check("WRITE_MB" not in standin or output.count(b"quex stand-in output line ") == 1574703,
          "its output went missing")


SCENARIOS = [
    ("read-only folder", read_only_folder, {}),
    ("full disk", full_disk, {}),
    ("file-size limit", file_size_limit, {}),
    ("the folder deleted while the program runs", deleted_folder, {}),
    ("quex.exe exits 3 at once: the report", emulator_ends_at_once,
     {"standin": {"SAY": "quex: cannot open display", "EXIT": "3"},
      "says": ("with exit status 3", "quex: cannot open display")}),
    ("quex.exe dies by SIGSEGV: the report", emulator_ends_at_once,
     {"standin": {"SIGNAL": "11"}, "says": ("signal 11", "Segmentation fault")}),
    ("quex.exe writes 50 MiB, then exits 1: the report shows the end", emulator_ends_at_once,
     {"standin": {"WRITE_MB": "50", "EXIT": "1"}, "says": ("with exit status 1", "output line 1574703\nqu")}),
] + [
    (f"quex.exe {how}{', a copy on PATH' if on_path else ''}", broken_emulator, {"how": how, "on_path": on_path})
    for how in ("missing", "not executable", "a directory", "a dangling link")
    for on_path in ((False, True) if how in ("a directory", "a dangling link") else (False,))
]
