"""A Windows quex.exe in the ROM folder, started through wine."""

import os
import pathlib
import shutil
import subprocess
import time

from harness import Skip, check, showing, standin_runs, wait_until

AIR_RAID_START = bytes.fromhex("78D8A2FF9AE88A95") + b"\xea" * 4088
ROMS = ["plain.bin", "a&b.bin", "100% fun.bin", "été.bin"]


def _wine_folder(session, name):
    if not session.standin_win:
        raise Skip("no Windows stand-in was built")
    folder = session.folder(name, quex=False, roms=False)
    shutil.copy(session.standin_win, folder / "QUEX.EXE")  # as copied from Windows: not executable
    for rom in ROMS:
        (folder / rom).write_bytes(AIR_RAID_START)
    return folder


def runs_through_wine(session):
    folder = _wine_folder(session, "wine")
    app = session.launch(folder)
    app.main_window()
    for rom in ROMS:
        before = len(standin_runs(folder))
        app.select_rom(rom)
        app.press("Run quex")
        # Wine takes a while to start; the window answers all along.
        deadline = time.monotonic() + 60
        while len(standin_runs(folder)) == before and time.monotonic() < deadline:
            check(showing(app.main_window(timeout=10)), "the main window went away")
            time.sleep(0.1)
        runs = standin_runs(folder)
        check(len(runs) > before, f"the Windows stand-in did not run for {rom!r}")
        check(runs[-1][1] == [os.fsencode(rom)], f"for {rom!r} the Windows stand-in received {runs[-1][1]}")
    check(app.alive(), "the front end did not stay open")


def no_wine_installed(session):
    folder = _wine_folder(session, "no-wine")
    empty = session.private_dir("no-programs")
    app = session.launch(folder, env={"PATH": str(empty)})
    app.main_window()
    app.select_rom("plain.bin")
    app.press("Run quex")
    box, text = app.error_report()
    for part in ("QUEX.EXE", "Windows program", "wine"):
        check(part in text, f"the report does not say {part!r}: {text!r}")
    app.dismiss(box)
    check((folder / "Quex.bat").read_bytes().split(b"\r\n")[2] == b"quex.exe plain.bin", "the script was not written")
    check(standin_runs(folder) == [], "something ran all the same")
    check(app.alive() and showing(app.main_window()), "the program did not survive the report")


def fails_through_wine(session, standin, says, dll_missing=False):
    """A Windows quex.exe that fails at once gets the report, with wine's
    status and what it or wine wrote."""
    folder = _wine_folder(session, "wine-fails" + ("-dll" if dll_missing else ""))
    if dll_missing:
        shutil.copy(pathlib.Path(session.standin_win).with_name("quex_standin_win_dll_missing.exe"), folder / "QUEX.EXE")
    # A wine server that is up already: the emulator starts well within the span however busy the machine.
    subprocess.run(["wineserver", "-p"], check=True)
    app = session.launch(folder, env={f"QUEX_STANDIN_{k}": v for k, v in standin.items()} |
                         ({"WINEDEBUG": "-all,err+module"} if dll_missing else {}))
    app.main_window()
    app.select_rom("été.bin")
    app.press("Run quex")
    box, text = app.error_report(timeout=30)
    for part in ("quex.exe", '"été.bin"', *says):
        check(part in text, f"the report does not say {part!r}: {text!r}")
    app.dismiss(box)
    check(app.alive() and showing(app.main_window()), "the program did not survive the report")


SCENARIOS = [
    ("a Windows quex.exe runs through wine", runs_through_wine, {}),
    ("no wine installed", no_wine_installed, {}),
    ("a Windows quex.exe exits 3 at once: the report", fails_through_wine,
     {"standin": {"SAY": "quex: cannot open display", "EXIT": "3"},
      "says": ("with exit status 3", "quex: cannot open display")}),
    ("a Windows quex.exe whose DLL is missing: the report", fails_through_wine,
     {"standin": {}, "says": ("with exit status 53", "quexgone.dll", "not found"), "dll_missing": True}),
]
