"""ROM files and data files that are not what they seem."""

import os
import random

from harness import NOBODY, check, showing, wait_until
from scn_basics import AIR_RAID, EMPTY_LABELS


def _sparse_4_gib(path):
    path.touch()
    os.truncate(path, 4 << 30)


def _replace_with_directory(path):
    path.unlink()
    path.mkdir()


def _replace_with_pipe(path):
    path.unlink()
    os.mkfifo(path)


def _replace_with_broken_link(path):
    path.unlink()
    path.symlink_to("nowhere/missing.bin")


# name -> (how it is made before the start, what happens to it afterwards)
HOSTILE_ROMS = {
    "empty.bin": (lambda p: p.write_bytes(b""), None),
    "huge.bin": (_sparse_4_gib, None),
    "x.bin": (lambda p: p.write_bytes(b"\x00" * 16), _replace_with_directory),
    "pipe.bin": (lambda p: p.write_bytes(b"\x00" * 16), _replace_with_pipe),
    "link.bin": (lambda p: p.write_bytes(b"\x00" * 16), _replace_with_broken_link),
    "gone.bin": (lambda p: p.write_bytes(b"\x00" * 16), lambda p: p.unlink()),
    # Readable by root only; the program runs as nobody.
    "secret.bin": (lambda p: (p.write_bytes(bytes.fromhex("78D8A2FF9AE88A95") * 8), p.chmod(0)), None),
}


def hostile_rom_files(session):
    folder = session.folder("hostile-roms")
    for name, (make, _) in HOSTILE_ROMS.items():
        make(folder / name)
    user = NOBODY if os.geteuid() == 0 else None
    app = session.launch(folder, user=user)
    app.main_window()
    if user is not None:
        with open(f"/proc/{app.pid}/status") as status:
            uid = next(line.split()[1] for line in status if line.startswith("Uid:"))
        check(int(uid) == user, f"the program runs as uid {uid}, not as nobody")
    default_picture = app.settled_picture()
    listed = app.rom_names()
    check(all(n in listed for n in HOSTILE_ROMS), f"not all listed: {listed}")
    for name, (_, afterwards) in HOSTILE_ROMS.items():
        if afterwards:
            afterwards(folder / name)

    for name in HOSTILE_ROMS:
        app.select_rom("AIRRAID.BIN")
        wait_until(lambda: app.value_labels() == AIR_RAID and app.picture() != default_picture, 10,
                   "Air Raid to be shown")
        app.select_rom(name)
        # A program stuck opening the file would never get there.
        wait_until(lambda: app.value_labels() == EMPTY_LABELS and app.picture() == default_picture,
                   10, f"{name} to show the unrecognised state")
        check(app.alive(), f"the program ended on {name}")


def truncated_default_picture(session, keep):
    folder = session.folder(f"truncated-gif{keep}")
    gif = folder / "graphics" / "atari.gif"
    gif.write_bytes(gif.read_bytes()[:keep])
    app = session.launch(folder)
    box, text = app.error_report(timeout=30)
    check("atari.gif" in text, f"the report does not name the picture: {text!r}")
    app.dismiss(box)
    check(app.wait_exit() != 0, "the program ended with status 0 after a start-up failure")


def corrupt_game_picture(session):
    folder = session.folder("corrupt-bmp")
    bmp = folder / "graphics" / "airraid.bmp"
    bmp.write_bytes(b"BM" + random.Random(2600).randbytes(bmp.stat().st_size - 2))
    app = session.launch(folder)
    app.main_window()
    default_picture = app.settled_picture()
    app.select_rom("TRON.BIN")
    wait_until(lambda: app.picture() != default_picture, 10, "the TRON picture")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the Air Raid texts")
    wait_until(lambda: app.picture() == default_picture, 10, "the default picture to stay")
    check(app.alive() and showing(app.main_window()), "the program did not survive the picture")


def big_or_binary_readme(session, kind):
    folder = session.folder(f"readme-{kind}")
    readme = folder / "zerivirav.txt"
    if kind == "10 MB":
        line = b"All work and no play makes a readme long. 0123456789 abcdefghijklmnopqrstuvwxyz\r\n"
        readme.write_bytes(b"Top of the readme\r\n" + line * (10_000_000 // len(line)))
        first = "Top of the readme"
    else:
        readme.write_bytes(random.Random(7800).randbytes(256 * 1024))
        first = None
    app = session.launch(folder)
    app.main_window()
    app.menu("Help", "View Readme")
    window = app.window("Readme", timeout=30)
    text = app.find_all("text", window)[0].queryText()
    check(text.characterCount > 1000, f"the readme shows only {text.characterCount} characters")
    if first:
        check(text.getText(0, len(first)) == first, f"the readme begins {text.getText(0, 40)!r}")
    # Still answering: scroll to the end and back, hide it, use the main window.
    text.setCaretOffset(text.characterCount)
    app.press("Ok", within=window)
    wait_until(lambda: not showing(window), 10, "Ok to hide the readme")
    app.select_rom("AIRRAID.BIN")
    wait_until(lambda: app.value_labels() == AIR_RAID, 10, "the main window to answer")


SCENARIOS = [
    ("hostile ROM files", hostile_rom_files, {}),
    ("truncated default picture, header only", truncated_default_picture, {"keep": 13}),
    ("truncated default picture, half", truncated_default_picture, {"keep": 1800}),
    ("truncated default picture, no trailer", truncated_default_picture, {"keep": -1}),
    ("corrupt game picture", corrupt_game_picture, {}),
    ("10 MB readme", big_or_binary_readme, {"kind": "10 MB"}),
    ("binary readme", big_or_binary_readme, {"kind": "binary"}),
]
