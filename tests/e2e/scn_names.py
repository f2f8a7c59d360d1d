"""ROM file names that a command interpreter or a careless quote would break."""

import os

from harness import check, showing, standin_runs, wait_until

AIR_RAID_START = bytes.fromhex("78D8A2FF9AE88A95") + b"\xea" * 4088

# Each must reach the emulator as exactly one argument, byte for byte.
PASSABLE = [
    "Blank Name.bin",
    "Tom & Jerry.bin",
    "100% Fun %PATH%.bin",
    "Up^Down.bin",
    "Pac (Man) [1].bin",
    "semi;colon=comma,!.bin",
    "Ärger über Ölfässer ñ 東京.bin",
    "x" * 251 + ".bin",  # 255 bytes, the longest name a file may have here
    "lower.bin",
    "UPPER.BIN",
    "MiXeD.BiN",
    "trailing back\\.bin",
]
REFUSED = [
    'Say "Hi".bin',
    "two\nlines.bin",
]


def hostile_names(session):
    folder = session.folder("names", roms=False)
    for name in PASSABLE + REFUSED:
        (folder / name).write_bytes(AIR_RAID_START)
    check(len(os.fsencode(PASSABLE[7])) == 255, "the long name is not 255 bytes")
    app = session.launch(folder)
    app.main_window()
    listed = app.rom_names()
    missing = [n for n in PASSABLE + REFUSED if n not in listed]
    check(not missing, f"not listed: {missing}")

    for name in PASSABLE:
        before = len(standin_runs(folder))
        app.select_rom(name)
        app.press("Run quex")
        runs = wait_until(lambda: len(standin_runs(folder)) > before and standin_runs(folder), 15,
                          f"the stand-in to run for {name!r}")
        check(runs[-1][1] == [os.fsencode(name)],
              f"for {name!r} the stand-in received {runs[-1][1]}")

    for name in REFUSED:
        old_script = (folder / "Quex.bat").read_bytes()
        before = len(standin_runs(folder))
        app.select_rom(name)
        app.press("Run quex")
        box, text = app.error_report()
        check(all(part in text for part in name.split("\n")), f"the report for {name!r} does not name it: {text!r}")
        app.dismiss(box)
        check((folder / "Quex.bat").read_bytes() == old_script, f"{name!r} changed Quex.bat")
        check(len(standin_runs(folder)) == before, f"{name!r} started the emulator")
        check(app.alive() and showing(app.main_window()), f"the program did not survive {name!r}")

    # Still fully working after the refusals.
    app.select_rom("Blank Name.bin")
    app.press("Run quex")
    wait_until(lambda: standin_runs(folder)[-1][1] == [b"Blank Name.bin"], 15, "a Run after the refusals")


SCENARIOS = [
    ("hostile ROM names", hostile_names, {}),
]
