#!/usr/bin/env python3
"""The Windows command line under wine against the simulated radio, mapped as COM ports, beside the Linux
command line against a radio of its own: for each case both must print the same and exit the same, the
devices' names aside.

Usage: same-command-line.py WINDOWS_BIN LINUX_BIN WORK_FOLDER [CASE...]
"""
import json
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

windows_bin, linux_bin, work = (Path(p).resolve() for p in sys.argv[1:4])
only = sys.argv[4:]
examples = Path(__file__).resolve().parents[2] / "examples"
prefix = work / "wine"
env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
           LC_ALL="C")
for name in ("KX6000_ROOT", "KX6000_SETTINGS", "KX6000_LOG_FOLDER", "DISPLAY"):
    env.pop(name, None)
for port in range(1, 5):
    env.pop(f"KX6000_PORT{port}", None)
KEY = r"HKLM\Software\Veltrane Systems Ltd\Radio Software Components\KX6100_RLDC"
drive_c = prefix / "drive_c"


def wine(*args, check=True):
    return subprocess.run(["wine", *args], env=env, cwd=work, capture_output=True, text=True, check=check)


def start_wine():
    """A prefix of our own, its server kept running so the COM ports stay as we map them."""
    subprocess.run(["wineboot", "-i"], env=env, capture_output=True, check=True)
    subprocess.Popen(["wineserver", "-p"], env=env).wait()
    for port in range(1, 5):
        link = work / f"com{port}"
        wine("reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{port}", "/d", str(link), "/f")
        # The mount manager mapped the ports to /dev/ttyS* when wine started: the links are made after it.
        dosdevice = prefix / "dosdevices" / f"com{port}"
        dosdevice.unlink(missing_ok=True)
        dosdevice.symlink_to(link)


class Radios:
    """Simulated radios for one run, each behind the link the run's port is mapped to."""

    def __init__(self, count, folder, scenario=None):
        self.processes = []
        for port in range(1, count + 1):
            link = folder / f"com{port}"
            link.unlink(missing_ok=True)
            args = [str(linux_bin / "kx6000-radio-sim"), "--link", str(link), "--max-seconds", "120"]
            if scenario:
                args += ["--scenario", str(scenario)]
            self.processes.append(subprocess.Popen(args, stdout=subprocess.DEVNULL))
            for _ in range(100):
                if link.exists():
                    break
                time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        for process in self.processes:
            process.kill()
            process.wait()


def normal(text, devices):
    """The text with each system's names of the same things made equal."""
    for i, device in enumerate(devices, 1):
        for name in (json.dumps(device)[1:-1], device):
            text = text.replace(name, f"<device {i}>")
    text = re.sub(r'"seconds": [0-9.e-]+', '"seconds": 0', text)
    text = re.sub(r"bytes in [0-9.]+ s, [0-9.]+ KB/s", "bytes in - s, - KB/s", text)
    return text.replace("\r\n", "\n")


def run_linux(args, radios, folder):
    devices = [str(folder / f"com{port}") for port in range(1, radios + 1)]
    run_env = dict(env, KX6000_ROOT=str(folder / "root"), KX6000_SETTINGS=str(folder / "settings.ini"))
    command = [str(linux_bin / "kx6000-download")]
    command += [word for device in devices for word in ("--device", device)] + args
    done = subprocess.run(command, env=run_env, cwd=examples, capture_output=True, text=True, timeout=120)
    return done, devices


def run_windows(args, radios):
    devices = [f"COM{port}" for port in range(1, radios + 1)]
    command = ["wine", str(windows_bin / "kx6000-download.exe")]
    command += [word for device in devices for word in ("--device", device)] + args
    done = subprocess.run(command, env=env, cwd=examples, capture_output=True, text=True, timeout=120)
    return done, devices


# name, radios, arguments
CASES = [
    ("errors", 0, ["error"]),
    ("error-json", 0, ["--json", "error", "11"]),
    ("usage", 0, ["--port", "5", "report"]),
    ("validate", 0, ["validate", "demo-upgrade.s28"]),
    ("validate-missing", 0, ["--json", "validate", "no-such-file.s28"]),
    ("report", 1, ["report"]),
    ("report-json", 1, ["--json", "report"]),
    ("download", 1, ["--json", "download", "--baud", "115200", "demo-upgrade.s28"]),
    ("erase-refused", 1, ["erase", "ZMA1B_01.00"]),
    ("two-radios", 2, ["--json", "report"]),
]


def main():
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    start_wine()
    failures = 0
    for name, radios, args in CASES:
        if only and name not in only:
            continue
        folder = work / name
        folder.mkdir()
        with Radios(radios, folder):
            linux, linux_devices = run_linux(args, radios, folder)
        with Radios(radios, work):
            windows, windows_devices = run_windows(args, radios)
        seen = [(normal(r.stdout, d), normal(r.stderr, d), r.returncode)
                for r, d in ((linux, linux_devices), (windows, windows_devices))]
        if seen[0] != seen[1]:
            failures += 1
            print(f"FAIL {name}: {' '.join(args)}")
            for label, (out, err, code) in zip(("linux", "windows"), seen):
                print(f"--- {label}: exit {code}\n{out}--- {label} stderr\n{err}")
        else:
            print(f"ok   {name}: exit {seen[0][2]}")
    subprocess.run(["wineserver", "-k"], env=env)
    return 1 if failures else 0


sys.exit(main())
