"""A private desktop for the end-to-end suite: Xvfb, openbox, a session bus
with the accessibility bus, and the real zerivirav binary started in
throw-away folders. Everything is driven the way a person or a screen reader
would: through the accessibility tree, and with xdotool where a key press is
the point. Every process started here is ended by its id when the session
closes, whatever happened."""

import ctypes
import json
import os
import pathlib
import re
import resource
import select
import shutil
import signal
import subprocess
import tempfile
import time

NOBODY = 65534
TITLE = "quex Front End"
PR_SET_CHILD_SUBREAPER = 36
A11Y_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
REQUIRED_PROGRAMS = {"Xvfb": "xvfb", "openbox": "openbox", "xdotool": "xdotool", "xprop": "x11-utils",
                     "import": "imagemagick", "dbus-daemon": "dbus", A11Y_BUS_LAUNCHER: "at-spi2-core",
                     "setpriv": "util-linux", "prlimit": "util-linux"}
WAYLAND_PROGRAMS = {"sway": "sway", "swaymsg": "sway", "Xwayland": "xwayland", "wtype": "wtype", "grim": "grim"}
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"runtime error:", b"ERROR: LeakSanitizer")


class Failure(AssertionError):
    pass


class Skip(Exception):
    """The scenario cannot run here (say, no right to mount a file system)."""


def check(condition, message):
    if not condition:
        raise Failure(message)


_atspi = None  # pyatspi, imported once the session's buses exist


def pump():
    """Lets the accessibility library take in the events that keep its view current."""
    if _atspi is None:
        return
    from gi.repository import GLib
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_until(predicate, timeout, what, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        pump()
        try:
            value = predicate()
        except (Failure, AttributeError, NameError, TypeError):
            raise
        except Exception:  # an object that vanished under us counts as "not yet"
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


# ---------------------------------------------------------------- processes

def _stat(pid):
    """The fields of /proc/PID/stat after the command name, or None when gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            stat = f.read()
    except OSError:
        return None
    return stat[stat.rfind(b")") + 2:].split()


def _children_of(parent):
    return [int(entry) for entry in os.listdir("/proc")
            if entry.isdigit() and (fields := _stat(entry)) and int(fields[1]) == parent]


def descendants(pid):
    found, todo = [], [pid]
    while todo:
        for kid in _children_of(todo.pop()):
            found.append(kid)
            todo.append(kid)
    return found


def process_state(pid):
    """The one-letter state of a process ("Z" for a zombie), or None when gone."""
    fields = _stat(pid)
    return fields[0].decode() if fields else None


def _reap(pid):
    try:
        os.waitpid(pid, os.WNOHANG)
    except ChildProcessError:
        pass


def end_process(pid, grace=2.0):
    """SIGTERM, then SIGKILL if it is still there after `grace` seconds."""
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, 2.0)):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            _reap(pid)
            if process_state(pid) in (None, "Z"):
                _reap(pid)
                return
            time.sleep(0.02)


def reap_orphans(keep=()):
    """Processes orphaned to us (we are their subreaper) are collected here,
    except those a Popen object still waits for."""
    for pid in _children_of(os.getpid()):
        if pid not in keep and process_state(pid) == "Z":
            _reap(pid)


def as_user(argv, user):
    if user is None:
        return list(argv)
    return ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *argv]


# ---------------------------------------------------------------- stand-in log

def _unescape(field):
    return re.sub(rb"%([0-9A-F]{2})", lambda m: bytes([int(m.group(1), 16)]), field)


def standin_runs(folder, log="quex.log"):
    """Each run the quex stand-in recorded: (pid, [argument bytes]); from
    "quex.opened", the Windows stand-in's: (pid, [file name, first bytes])."""
    log = pathlib.Path(folder) / log
    if not log.exists():
        return []
    runs = []
    for line in log.read_bytes().split(b"\n"):
        if line:
            fields = line.split(b"\t")
            runs.append((int(fields[0]), [_unescape(f) for f in fields[1:]]))
    return runs


def script_lines(folder):
    return (pathlib.Path(folder) / "Quex.bat").read_bytes().split(b"\r\n")


# ---------------------------------------------------------------- the session

class Session:
    def __init__(self, app, standin, source, standin_win=None, standin_wayland=None, focus_new=True,
                 compositor=False, package=None, build=None, windows_zip=None, windows_setup=None):
        self.focus_new = focus_new  # whether the window manager gives new windows the focus
        self.compositor = compositor  # a Wayland session (sway) rather than Xvfb and openbox
        self.standin_wayland = standin_wayland
        self.app_binary = str(app)
        self.package = package  # the Debian package, for the checks of the installed program
        self.build = build  # the build folder, for cmake --install
        self.windows_zip = windows_zip  # the Windows program's zip and installer
        self.windows_setup = windows_setup
        self._windows_folder = None
        self.standin = str(standin)
        self.standin_win = standin_win
        self.source = pathlib.Path(source)
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="zv-e2e-"))
        os.chmod(self.root, 0o755)
        self.procs = []
        self.apps = []
        self.mounts = []
        self.env = None
        self.default_picture = None  # the start-up game picture, as pixels
        self._template = None
        self._runnable = {}  # binary -> a copy others may run, where needed
        self._launched = 0

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    # -- processes

    def spawn(self, argv, *, env=None, cwd=None, user=None, log=None, rlimits=None, **popen):
        def limits():
            # Only the soft limit, so it can be lifted again from outside.
            for which, value in (rlimits or {}).items():
                resource.setrlimit(which, (value, resource.getrlimit(which)[1]))
        out = open(log, "ab") if log else subprocess.DEVNULL
        try:
            proc = subprocess.Popen(as_user(argv, user), env=env or self.env, cwd=cwd,
                                    stdin=subprocess.DEVNULL, stdout=popen.pop("stdout", out),
                                    stderr=subprocess.STDOUT if log else subprocess.DEVNULL,
                                    preexec_fn=limits if rlimits else None, **popen)
        finally:
            if log:
                out.close()
        self.procs.append(proc)
        return proc

    def start(self):
        required = dict(REQUIRED_PROGRAMS, **(WAYLAND_PROGRAMS if self.compositor else {}))
        missing = sorted({package for program, package in required.items() if not shutil.which(program)})
        check(not missing, f"programs this suite needs are missing; install the Debian packages {missing}")
        libc = ctypes.CDLL(None, use_errno=True)
        # Emulators started by the program outlive it and come back to us.
        libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "XDG_", "QT_", "WAYLAND"))}
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        env["LANG"] = env["LC_ALL"] = "C.UTF-8"

        if not self.compositor:
            env["DISPLAY"] = self._x_server(env)

        # A session bus that admits every user: some cases run the program as nobody.
        conf = self.root / "session-bus.conf"
        conf.write_text(
            '<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"'
            ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n'
            "<busconfig><type>session</type>"
            f"<listen>unix:path={self.root}/session-bus</listen><auth>EXTERNAL</auth>"
            '<policy context="default"><allow user="*"/><allow send_destination="*" eavesdrop="true"/>'
            '<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>\n')
        bus = self.spawn(["dbus-daemon", f"--config-file={conf}", "--nofork", "--print-address=1"],
                         env=env, stdout=subprocess.PIPE)
        env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line(bus.stdout.fileno(), 20, "the session bus")
        self.env = env

        # The accessibility bus admits root and its own user; started as nobody
        # it serves both the program run as nobody and this (root) driver.
        runtime = self.private_dir("run-nobody", NOBODY)
        self.spawn([A11Y_BUS_LAUNCHER, "--launch-immediately"],
                   env=dict(env, XDG_RUNTIME_DIR=str(runtime), HOME=str(runtime)), cwd=runtime,
                   user=NOBODY if os.geteuid() == 0 else None, log=self.root / "atspi.log")
        if self.compositor:
            self._sway(env)
        else:
            self._window_manager(env)
            wait_until(lambda: b"unix:" in self.x(["xprop", "-root", "AT_SPI_BUS"]), 20,
                       "the accessibility bus")

        # In a Wayland session the accessibility bus is found through the
        # session bus alone; the X display there is another user's.
        os.environ.update({k: env[k] for k in ("DBUS_SESSION_BUS_ADDRESS",) + (() if self.compositor else ("DISPLAY",))})
        global _atspi
        import pyatspi
        from gi.repository import Atspi
        _atspi = pyatspi
        Atspi.set_timeout(15000, 30000)  # a frozen program fails the call, not the whole run
        wait_until(lambda: self.desktop() is not None, 20, "the accessibility registry")

    def _x_server(self, env, extra=()):
        """A private Xvfb; its display. Xvfb picks a free display itself, so
        parallel sessions never collide."""
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp", "-ac", "-noreset", *extra], env=env, pass_fds=(write_end,),
                   log=self.root / "xvfb.log")
        os.close(write_end)
        display = self._read_line(read_end, 20, "the X server's display number")
        os.close(read_end)
        return ":" + display

    def _window_manager(self, env):
        openbox = ["openbox"]
        if not self.focus_new:
            rc = self.root / "openbox-rc.xml"
            rc.write_text('<?xml version="1.0" encoding="UTF-8"?>\n'
                          '<openbox_config xmlns="http://openbox.org/3.4/rc">'
                          "<focus><focusNew>no</focusNew></focus></openbox_config>\n")
            openbox += ["--config-file", str(rc)]
        self.spawn(openbox, env=env, log=self.root / "openbox.log")
        wait_until(lambda: b"window id" in self.x(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env),
                   20, "the window manager")

    # -- a Wayland session

    def _sway(self, env):
        """sway 1.7 without a screen, as an unprivileged user (it refuses root),
        with XWayland, a virtual keyboard that stays, and the policy the
        scenarios rely on: a new stand-in window never takes the focus by
        itself, an activation request always does."""
        self.sway_user = NOBODY if os.geteuid() == 0 else None
        runtime = self.private_dir("run-sway", self.sway_user)
        told = runtime / "session"
        config = self.root / "sway.cfg"
        config.write_text("xwayland enable\n"
                          'no_focus [title="quex stand-in"]\n'
                          "focus_on_window_activation focus\n"
                          f"exec printf '%s\\n%s\\n%s\\n' \"$WAYLAND_DISPLAY\" \"$DISPLAY\" \"$SWAYSOCK\" > {told}\n")
        config.chmod(0o644)
        sway_env = dict(env, HOME=str(runtime), XDG_RUNTIME_DIR=str(runtime), WLR_BACKENDS="headless",
                        WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        self.spawn(["sway", "-c", str(config)], env=sway_env, user=self.sway_user, log=self.root / "sway.log")
        lines = wait_until(lambda: told.exists() and len(told.read_text().splitlines()) == 3 and
                           told.read_text().splitlines(), 30, "sway to start")
        env["WAYLAND_DISPLAY"] = str(runtime / lines[0])  # absolute: whatever XDG_RUNTIME_DIR a client has
        env["DISPLAY"] = lines[1]
        self.sway_env = dict(sway_env, WAYLAND_DISPLAY=env["WAYLAND_DISPLAY"], DISPLAY=lines[1], SWAYSOCK=lines[2])
        # A keyboard that is there from the start: Qt takes keys only from a
        # keyboard the seat had when its window got the focus.
        self.spawn(["wtype", "-s", "1000000000"], env=self.sway_env, user=self.sway_user)

    def swaymsg(self, *args):
        done = subprocess.run(as_user(["swaymsg", *args], self.sway_user), env=self.sway_env,
                              capture_output=True, timeout=30)
        return done.stdout

    def sway_windows(self):
        """Every window sway manages: (name, pid, shell, focused)."""
        found = []
        todo = [json.loads(self.swaymsg("-t", "get_tree"))]
        while todo:
            node = todo.pop()
            if node.get("type") in ("con", "floating_con") and node.get("pid"):
                found.append((node.get("name"), node["pid"], node.get("shell"), node.get("focused")))
            todo += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def focused_window(self):
        return next(((name, pid, shell) for name, pid, shell, focused in self.sway_windows() if focused), None)

    def wtype(self, *args):
        subprocess.run(as_user(["wtype", *args], self.sway_user), env=self.sway_env, check=True, timeout=30)

    def other_display(self, *xvfb_args):
        """A second X server with the same window manager, started with
        `xvfb_args` (say, an extension turned off); the environment for it.
        Programs there still reach this session's accessibility bus."""
        env = dict(self.env)
        env["DISPLAY"] = self._x_server(env, xvfb_args)
        self._window_manager(env)
        return env

    def stop(self):
        for app in self.apps:
            app.kill()
        # Whatever we started, and whatever was started from it, newest first.
        for pid in reversed(descendants(os.getpid())):
            end_process(pid, grace=1.0)
        for proc in self.procs:
            try:
                proc.wait(timeout=1)
            except subprocess.TimeoutExpired:
                pass
        for mount in reversed(self.mounts):
            subprocess.run(["umount", "-l", str(mount)], stderr=subprocess.DEVNULL)
        subprocess.run(["chmod", "-R", "u+rwX", str(self.root)], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.root, ignore_errors=True)

    def reset(self):
        """After a scenario: no program and no stand-in of it is left running."""
        for app in self.apps:
            app.kill()
        self.apps.clear()
        self.procs = [p for p in self.procs if p.poll() is None]
        keep = {p.pid for p in self.procs}
        for pid in list(keep):
            keep.update(descendants(pid))
        for pid in descendants(os.getpid()):
            if pid not in keep:
                end_process(pid, grace=0.5)
        reap_orphans({p.pid for p in self.procs})

    @staticmethod
    def _read_line(fd, timeout, what):
        data = b""
        deadline = time.monotonic() + timeout
        while not data.endswith(b"\n"):
            ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise Failure(f"no answer from {what}")
            chunk = os.read(fd, 256)
            if not chunk:
                raise Failure(f"{what} ended before answering")
            data += chunk
        return data.decode().strip()

    def x(self, argv, check_rc=False, env=None):
        """Runs an X client of this display (or of `env`'s); its output."""
        done = subprocess.run(argv, env=env or self.env, capture_output=True, timeout=30)
        if check_rc and done.returncode != 0:
            raise Failure(f"{argv[0]} failed: {done.stderr.decode(errors='replace')}")
        return done.stdout

    def desktop(self):
        return _atspi.Registry.getDesktop(0)

    # -- folders

    def private_dir(self, name, owner=None):
        path = self.root / name
        path.mkdir(exist_ok=True)
        if owner is not None and os.geteuid() == 0:
            os.chown(path, owner, owner)
        os.chmod(path, 0o700)
        return path

    def folder(self, name, *, graphics=True, readme=True, quex=True, roms=True, owner=None):
        """A fresh program folder: the default data files, the stand-in as
        quex.exe and the demo ROMs (each part can be left out)."""
        if self._template is None:
            self._template = self.root / "template"
            subprocess.run([str(self.source / "tools/make_demo.sh"), str(self._template), self.standin],
                           check=True, capture_output=True)
        path = self.root / name
        path.mkdir()
        os.chmod(path, 0o755)
        wanted = {"graphics": graphics, "zerivirav.txt": readme, "quex.exe": quex}
        for entry in self._template.iterdir():
            if not wanted.get(entry.name, roms and entry.suffix.lower() == ".bin"):
                continue
            if entry.is_dir():
                shutil.copytree(entry, path / entry.name)
            else:
                shutil.copy2(entry, path / entry.name)
        if owner is not None and os.geteuid() == 0:
            subprocess.run(["chown", "-R", f"{owner}:{owner}", str(path)], check=True)
        return path

    def windows_program(self):
        """The zip's folder, unpacked once; its zerivirav.exe."""
        if not self.windows_zip:
            raise Skip("no Windows zip was given (./package-windows.sh makes it)")
        if self._windows_folder is None:
            import zipfile
            with zipfile.ZipFile(self.windows_zip) as archive:
                tops = {name.split("/")[0] for name in archive.namelist()}
                check(len(tops) == 1, f"the zip has {len(tops)} top folders: {sorted(tops)}")
                archive.extractall(self.root / "windows")
            self._windows_folder = self.root / "windows" / tops.pop()
        return self._windows_folder / "zerivirav.exe"

    def windows_folder(self, name, roms):
        """A ROM folder for the Windows program: the Windows stand-in as
        quex.exe and the ROMs named, each Air Raid's first bytes; no data
        files, which come from beside the program."""
        if not self.standin_win:
            raise Skip("no Windows stand-in was built")
        folder = self.root / name
        folder.mkdir()
        os.chmod(folder, 0o755)
        shutil.copy(self.standin_win, folder / "quex.exe")
        for rom in roms:
            (folder / rom).write_bytes(bytes.fromhex("78D8A2FF9AE88A95") + b"\xea" * 4088)
        return folder

    def binary_for(self, user, binary=None):
        """The program (or another of the build's, `binary`) as `user` may run
        it: the build tree may be closed to others, and then a copy in the
        session folder is used."""
        binary = str(binary or self.app_binary)
        if user is None:
            return binary
        if binary not in self._runnable:
            probe = subprocess.run(as_user(["test", "-x", binary], user))
            self._runnable[binary] = binary if probe.returncode == 0 else shutil.copy2(binary, self.root)
        return self._runnable[binary]

    def launch(self, folder, kind=None, **kwargs):
        """The program started in `folder`; `kind` another way to run it (WineApp)."""
        self._launched += 1
        app = (kind or App)(self, folder, log=self.root / f"app-{self._launched}.log", **kwargs)
        self.apps.append(app)
        app.start()
        return app

    def launch_through(self, launcher, program, env):
        """Runs `launcher` (say, gio launch) in the environment the program
        gets; the process of `program` it starts is taken as an App."""
        self._launched += 1
        app = App(self, None, log=self.root / f"app-{self._launched}.log")
        self.apps.append(app)  # the launcher's output and the program's are shown if the scenario fails
        app.proc = self.spawn(launcher, env=dict(app.environment(), **env), log=app.log)
        check(app.proc.wait(timeout=30) == 0, f"{launcher[0]} failed")

        def ours(pid):
            try:
                return os.readlink(f"/proc/{pid}/exe") == str(program)
            except OSError:  # a zombie (the launcher's own children end up ours too) or gone
                return False
        app.proc = Adopted(wait_until(lambda: next(filter(ours, descendants(os.getpid())), None), 15,
                                      f"{program} to start"))
        return app


# ---------------------------------------------------------------- the program

class Adopted:
    """A process a launcher started and left to us, its subreaper: as much of
    Popen as App uses."""

    def __init__(self, pid):
        self.pid, self.returncode = pid, None

    def poll(self):
        if self.returncode is None:
            try:
                pid, status = os.waitpid(self.pid, os.WNOHANG)
                if pid:
                    self.returncode = os.waitstatus_to_exitcode(status)
            except ChildProcessError:  # not ours to wait for: gone, its status unknown
                if process_state(self.pid) in (None, "Z"):
                    self.returncode = -1
        return self.returncode

    def wait(self, timeout):
        wait_until(lambda: self.poll() is not None, timeout, f"process {self.pid} to end")
        return self.returncode


class App:
    def __init__(self, session, folder, *, log, user=None, env=None, rlimits=None, args=(), binary=None):
        self.session = session
        self.args = list(args)
        self.binary = binary  # instead of the program under test (say, the one unpacked from the package)
        self.folder = folder
        self.user = user
        self.extra_env = env or {}
        self.xenv = dict(session.env, DISPLAY=self.extra_env.get("DISPLAY", session.env.get("DISPLAY")) or "")
        self.rlimits = rlimits
        self.proc = None
        self._root = None
        self.log = log

    def environment(self):
        env = dict(self.session.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
        env.update(self.extra_env)
        env = {k: v for k, v in env.items() if v is not None}  # None: left out
        env["XDG_RUNTIME_DIR"] = str(self.session.private_dir(f"run-{self.user or 'root'}", self.user))
        if self.user is not None:
            env["HOME"] = env["XDG_RUNTIME_DIR"]
        return env

    def start(self):
        binary = self.binary or self.session.binary_for(self.user)
        self.proc = self.session.spawn([str(binary), *self.args], env=self.environment(), cwd=self.folder,
                                       user=self.user, log=self.log, rlimits=self.rlimits)

    def x(self, argv, check_rc=False):
        """Runs an X client of the program's display; its output."""
        return self.session.x(argv, check_rc, env=self.xenv)

    @property
    def pid(self):
        return self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s")

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            end_process(self.proc.pid, grace=0.5)
            self.proc.wait(timeout=5)

    def sanitizer_report(self):
        text = self.log.read_bytes() if self.log.exists() else b""
        return next((text[max(0, text.find(m) - 200):][:3000].decode(errors="replace")
                     for m in SANITIZER_MARKS if m in text), None)

    # -- the accessibility tree

    def root(self, timeout=30):
        def found():
            if self._root is not None:
                return self._root
            desktop = self.session.desktop()
            for i in range(desktop.childCount):
                try:
                    child = desktop.getChildAtIndex(i)
                    ours = child is not None and child.get_process_id() == self.pid
                except Exception:  # a program that just ended
                    continue
                if ours:
                    self._root = child
                    return child
            check(self.alive(), f"the program ended (status {self.proc.returncode}) before it showed a window")
            return None
        return wait_until(found, timeout, "the program on the accessibility bus")

    def toplevels(self):
        root = self.root()
        return [root.getChildAtIndex(i) for i in range(root.childCount)]

    def window(self, title=TITLE, timeout=30, roles=None):
        """A shown top-level window by its title; the main window and the error
        box share theirs and differ in role."""
        roles = roles or (("frame",) if title == TITLE else None)
        def found():
            check(self.alive(), f"the program ended (status {self.proc.returncode})")
            return next((w for w in self.toplevels() if w is not None and w.name == title
                         and (roles is None or w.getRoleName() in roles) and showing(w)), None)
        return wait_until(found, timeout, f'the window "{title}"')

    def main_window(self, timeout=30):
        return self.window(TITLE, timeout)

    def lookup(self, role, name, within=None):
        return _atspi.findDescendant(within or self.root(),
                                     lambda a: a is not None and a.getRoleName() == role and a.name == name)

    def find(self, role, name, within=None, timeout=10):
        return wait_until(lambda: self.lookup(role, name, within), timeout, f'{role} "{name}"')

    def find_all(self, role, within=None):
        return _atspi.findAllDescendants(within or self.root(), lambda a: a is not None and a.getRoleName() == role)

    def find_all_roles(self, roles, within=None):
        return _atspi.findAllDescendants(within or self.root(), lambda a: a is not None and a.getRoleName() in roles)

    def press(self, name, role="push button", within=None):
        act(self.find(role, name, within), ("Press", "Toggle", "Click"))

    def menu(self, *path):
        item = self.root()
        for name in path:
            item = self.find("menu item", name, within=item)
        act(item, ("Press", "Click"))

    def select_rom(self, name):
        rom_list = self.find("list", "ROM files")
        item = self.find("list item", name, within=rom_list)
        if not item.getState().contains(_atspi.STATE_SELECTED):
            act(item, ("Toggle", "Press"))
        wait_until(lambda: item.getState().contains(_atspi.STATE_SELECTED), 10, f'"{name}" selected')

    def rom_names(self):
        rom_list = self.find("list", "ROM files")
        return [rom_list.getChildAtIndex(i).name for i in range(rom_list.childCount)]

    def value_labels(self):
        """Caption -> text of the six value labels."""
        return {label.description: label.name for label in self.find_all("label") if label.description}

    def show_page(self, caption):
        self.press(caption, role="page tab")
        wait_until(lambda: self.lookup("panel", caption), 10, f'the page "{caption}"')

    def tick(self, caption, ticked=True):
        box = self.find("check box", caption)
        if box.getState().contains(_atspi.STATE_CHECKED) != ticked:
            act(box, ("Toggle", "Press"))
        wait_until(lambda: box.getState().contains(_atspi.STATE_CHECKED) == ticked, 10,
                   f'"{caption}" {"ticked" if ticked else "unticked"}')

    def set_value(self, field_name, text):
        field = self.find("text", field_name)
        editable = field.queryEditableText()
        editable.setTextContents("")
        editable.insertText(0, text, len(text))
        return field.queryText().getText(0, -1)

    def error_report(self, timeout=15):
        """The error box, or the report of an emulator that failed: (box, its
        text: the labels' and then any text box's)."""
        box = self.window(TITLE, timeout, roles=("alert", "dialog"))
        text = "\n".join([label.name for label in self.find_all("label", box)] +
                         [field.queryText().getText(0, -1) for field in self.find_all("text", box)])
        return box, text

    def peak_memory_kib(self):
        with open(f"/proc/{self.pid}/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))

    def dismiss(self, box):
        self.press("OK", within=box)
        wait_until(lambda: not self.alive() or not any(w is not None and w.getRoleName() in ("alert", "dialog")
                                                       for w in self.toplevels()), 10,
                   "the error box to close")

    def active_window(self):
        """The window the window manager says is active (_NET_ACTIVE_WINDOW), or 0."""
        out = self.x(["xprop", "-root", "-notype", "_NET_ACTIVE_WINDOW"]).decode()
        found = re.search(r"window id # (0x[0-9a-f]+)", out)
        return int(found.group(1), 16) if found else 0

    def x_window(self, title=TITLE):
        """The X window id of a shown top-level window of this program."""
        def found():
            ids = self.x(["xdotool", "search", "--onlyvisible", "--pid", str(self.pid)]).split()
            return next((i.decode() for i in ids
                         if self.x(["xdotool", "getwindowname", i]).rstrip(b"\n") == title.encode()), None)
        return wait_until(found, 10, f'the X window "{title}"')

    def keys(self, *keys, window=None):
        win = window or self.x_window()
        active = lambda: self.x(["xdotool", "getactivewindow"]).strip().decode() == win  # noqa: E731

        def settled():
            # A window that was just shown may still take the focus from ours.
            if not active():
                self.x(["xdotool", "windowactivate", "--sync", win])
                return False
            time.sleep(0.15)
            return active()
        wait_until(settled, 10, "the window to take the focus")
        self.x(["xdotool", "key", "--clearmodifiers", "--delay", "40", *keys], check_rc=True)

    def settled_picture(self, accessible_name="Game picture"):
        """The picture once the window has painted it: the same twice running,
        and not one flat colour."""
        def settled():
            first = self.picture(accessible_name)
            time.sleep(0.2)
            colours = {first[i:i + 3] for i in range(0, len(first), 3)}
            return first if len(colours) > 1 and first == self.picture(accessible_name) else None
        return wait_until(settled, 10, f"the {accessible_name} to be painted")

    def picture(self, accessible_name="Game picture"):
        """The pixels on screen where the named image is shown."""
        image = self.find("image", accessible_name)
        ext = image.queryComponent().getExtents(_atspi.DESKTOP_COORDS)
        return self.x(["import", "-silent", "-window", "root", "-crop",
                               f"{ext.width}x{ext.height}+{ext.x}+{ext.y}", "-depth", "8", "rgb:-"],
                              check_rc=True)


# ---------------------------------------------------------------- a Windows program

WINE_CRASH_MARKS = (b"Unhandled page fault", b"Unhandled exception", b"Unhandled stack overflow")


class WineApp(App):
    """A Windows program run by wine, in the wine prefix the test was given
    (WINEPREFIX, from tools/wine_prefix.sh). Wine's windows are not on the
    accessibility bus: they are found by their title and the program's X
    class, and driven by the keyboard."""

    def __init__(self, session, folder, *, log, exe, env=None, args=(), window_of=None):
        super().__init__(session, folder, log=log, env=env, args=args)
        self.exe = pathlib.Path(exe)
        self.launcher = window_of is not None  # the process started only starts the program
        self.window_exe = pathlib.Path(window_of or exe)

    def start(self):
        self.proc = self.session.spawn(["wine", str(self.exe), *self.args], env=self.environment(),
                                       cwd=self.folder, log=self.log)

    def environment(self):
        env = super().environment()
        env.setdefault("WINEDEBUG", "-all,err+seh")  # a crash says so in the log
        env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        return env

    def sanitizer_report(self):
        text = self.log.read_bytes() if self.log.exists() else b""
        return next((text[max(0, text.find(m) - 200):][:3000].decode(errors="replace")
                     for m in WINE_CRASH_MARKS if m in text), None)

    def windows(self, title=TITLE):
        """The shown X windows of this program titled `title`."""
        found = self.x(["xdotool", "search", "--onlyvisible", "--classname", self.window_exe.name.lower()]).split()
        return [w.decode() for w in found
                if self.x(["xdotool", "getwindowname", w]).rstrip(b"\n") == title.encode()]

    def x_window(self, title=TITLE, timeout=60):
        def found():
            check(self.launcher or self.alive(),
                  f"the program ended (status {self.proc.returncode}) before it showed a window")
            return next(iter(self.windows(title)), None)
        window = wait_until(found, timeout, f'the window "{title}" of {self.window_exe.name}')
        time.sleep(1)  # shown before the program takes keys: its first paint and focus come after
        return window

    def keys(self, *keys, window=None):
        """Wine keeps a foreground window of its own: the program's window is
        given the X input focus, so that wine hands it the keys, whatever
        window of the prefix (an interpreter's console) had them."""
        win = window or self.x_window()
        self.x(["xdotool", "windowactivate", "--sync", win])
        self.x(["xdotool", "windowfocus", "--sync", win])
        time.sleep(0.3)
        self.x(["xdotool", "key", "--clearmodifiers", "--delay", "40", *keys], check_rc=True)

    def size(self, window):
        info = self.x(["xwininfo", "-id", window], check_rc=True).decode()
        return tuple(int(re.search(rf"{what}: +(\d+)", info).group(1)) for what in ("Width", "Height"))

    def active_name(self):
        return self.x(["xdotool", "getactivewindow", "getwindowname"]).strip().decode(errors="replace")

    def wait_exit(self, timeout=30):
        return super().wait_exit(timeout)


def screenshot(app, window):
    """The window's pixels as the screen shows them: (width, height, RGB bytes)."""
    width, height = WineApp.size(app, window)
    pixels = app.x(["import", "-silent", "-window", window, "-depth", "8", "rgb:-"], check_rc=True)
    check(len(pixels) == width * height * 3, f"a screenshot of {width}x{height} came as {len(pixels)} bytes")
    return width, height, pixels


def has_state(accessible, name):
    return accessible.getState().contains(getattr(_atspi, f"STATE_{name}"))


def showing(accessible):
    return has_state(accessible, "SHOWING")


def act(accessible, names):
    action = accessible.queryAction()
    available = [action.getName(i) for i in range(action.nActions)]
    for name in names:
        if name in available:
            action.doAction(available.index(name))
            return
    raise Failure(f'"{accessible.name}" offers none of {names}, only {available}')
