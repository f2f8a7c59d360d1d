#!/usr/bin/env python3
"""Runs one group of end-to-end scenarios against the real program.

usage: run_e2e.py --app BIN --standin BIN [--standin-win EXE] [--standin-wayland BIN] [--package DEB]
                  [--build DIR] [--windows-zip ZIP] [--windows-setup EXE] --source DIR GROUP [--only NAME]"""

import argparse
import importlib
import os
import signal
import sys
import time
import traceback

GROUPS = {
    "basics": "scn_basics",
    "names": "scn_names",
    "files": "scn_files",
    "launch": "scn_launch",
    "runs": "scn_runs",
    "wine": "scn_wine",
    "activation": "scn_activation",
    "wayland": "scn_wayland",
    "installed": "scn_installed",
    "windows": "scn_windows",
    "windows_installer": "scn_windows_installer",
}
SYSTEM_PYTHON = "/usr/bin/python3"


def ensure_pyatspi():
    """pyatspi comes from Debian; another python3 first on PATH cannot see it."""
    try:
        import pyatspi  # noqa: F401  (only checks that it can be imported)
    except ImportError:
        if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and os.path.exists(SYSTEM_PYTHON):
            os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, *sys.argv])
        raise


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--standin-win", help="the Windows stand-in, for the wine group")
    parser.add_argument("--standin-wayland", help="the native Wayland stand-in")
    parser.add_argument("--package", help="the Debian package, for the installed group")
    parser.add_argument("--build", help="the build folder, for the installed group's cmake --install")
    parser.add_argument("--windows-zip", help="the Windows program's zip, for the windows groups")
    parser.add_argument("--windows-setup", help="the Windows installer, for the windows_installer group")
    parser.add_argument("--source", required=True)
    parser.add_argument("--only", help="run only the scenarios whose name contains this")
    parser.add_argument("group", choices=sorted(GROUPS))
    args = parser.parse_args()

    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import harness

    module = importlib.import_module(GROUPS[args.group])
    scenarios = module.SCENARIOS
    failed, skipped = [], []
    started = time.monotonic()
    session = harness.Session(args.app, args.standin, args.source, standin_win=args.standin_win,
                              standin_wayland=args.standin_wayland, package=args.package, build=args.build,
                              windows_zip=args.windows_zip, windows_setup=args.windows_setup,
                              **getattr(module, "SESSION", {}))

    # Stopped from outside (a timeout): everything goes at once. Raising here
    # instead could be swallowed by a callback of the accessibility library.
    def stop(signum, _frame):
        print(f"stopped by signal {signum}; ending every process started", flush=True)
        session.stop()
        os._exit(128 + signum)
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(sig, stop)

    with session:
        for name, function, params in scenarios:
            if args.only and args.only not in name:
                continue
            t0 = time.monotonic()
            try:
                function(session, **params)
                for app in session.apps:
                    report = app.sanitizer_report()
                    harness.check(report is None, f"the sanitizer reported:\n{report}")
                print(f"PASS  {name}  ({time.monotonic() - t0:.1f} s)", flush=True)
            except harness.Skip as reason:
                skipped.append(name)
                print(f"SKIP  {name}: {reason}", flush=True)
            except Exception as error:
                failed.append(name)
                print(f"FAIL  {name}  ({time.monotonic() - t0:.1f} s): {error}", flush=True)
                if not isinstance(error, harness.Failure):
                    traceback.print_exc()
                for app in session.apps:
                    if app.log.exists():
                        tail = app.log.read_bytes()[-3000:].decode(errors="replace").strip()
                        if tail:
                            print(f"  --- output of the program (pid {app.pid}) ---\n{tail}")
            finally:
                session.reset()
    total = sum(1 for n, _, _ in scenarios if not args.only or args.only in n)
    print(f"{args.group}: {total - len(failed) - len(skipped)} of {total} scenarios passed, "
          f"{len(skipped)} skipped, in {time.monotonic() - started:.0f} s", flush=True)
    for name in failed:
        print(f"  failed: {name}")
    return 1 if failed else 0


if __name__ == "__main__":
    ensure_pyatspi()
    sys.exit(main())
