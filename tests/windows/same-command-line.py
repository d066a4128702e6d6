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
import signal
import subprocess
import sys
import time
from pathlib import Path

windows_bin, linux_bin, work = (Path(p).resolve() for p in sys.argv[1:4])
only = sys.argv[4:]
files = work / "files"
prefix = work / "wine"
env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
           LC_ALL="C.UTF-8")
for name in ("KX6000_ROOT", "KX6000_SETTINGS", "KX6000_LOG_FOLDER", "DISPLAY"):
    env.pop(name, None)
for port in range(1, 5):
    env.pop(f"KX6000_PORT{port}", None)
# The reasons each system gives for the same failure.
REASONS = [("File not found", "No such file or directory"), ("Access denied", "Resource temporarily unavailable")]
KEY = r"HKLM\Software\Veltrane Systems Ltd\Radio Software Components\KX6100_RLDC"
drive_c = prefix / "drive_c"


def wine(*args, check=True):
    return subprocess.run(["wine", *args], env=env, cwd=work, capture_output=True, text=True, check=check)


def start_wine():
    """A prefix of our own, its server kept running so the COM ports stay as we map them. The server is
    started first, in the foreground of a session of its own: one started by wine would hold the pipes of
    the program that started it, and take a radio's pty for its terminal."""
    server = subprocess.Popen(["wineserver", "-f", "-p"], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    for port in range(1, 5):
        wine("reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{port}", "/d", str(work / f"com{port}"),
             "/f")
    return server


def map_ports():
    """COM1 to COM4 lead to the radios' links. The mount manager maps the ports to /dev/ttyS* when wine
    starts, and may still be at it when wineboot returns: the links are made before each run."""
    for port in range(1, 5):
        dosdevice = prefix / "dosdevices" / f"com{port}"
        dosdevice.unlink(missing_ok=True)
        dosdevice.symlink_to(work / f"com{port}")


class Radios:
    """Simulated radios for one run, each behind the link the run's port is mapped to."""

    def __init__(self, count, folder, realtime=False):
        self.processes = []
        for port in range(1, count + 1):
            link = folder / f"com{port}"
            link.unlink(missing_ok=True)
            args = [str(linux_bin / "kx6000-radio-sim"), "--link", str(link), "--max-seconds", "120"]
            if realtime:
                args.append("--realtime")
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


def normal(text, devices, places):
    """The text with each system's names of the same things made equal."""
    named = [(device, f"<device {i}>") for i, device in enumerate(devices, 1)] + places
    for thing, token in named:
        for name in (json.dumps(thing)[1:-1], thing):
            text = text.replace(name, token)
    text = re.sub(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d", "<time>", text)
    for windows, linux in REASONS:
        text = text.replace(windows, linux)
    text = re.sub(r'"seconds": [0-9.e-]+', '"seconds": 0', text)
    text = re.sub(r"bytes in [0-9.]+ s, [0-9.]+ KB/s", "bytes in - s, - KB/s", text)
    # Only Linux can name the program that holds a port.
    text = re.sub(r"; held by .*", "; another program holds it", text)
    text = re.sub(r"stopped during (.*) at [0-9]+ %", r"stopped during \1 at - %", text)
    return text.replace("\r\n", "\n")


def run(command, run_env, stop_after, hold):
    """Runs the program; with `stop_after` seconds, stopped then as Ctrl-C stops it; with `hold`, while
    another copy of it holds the port in a download."""
    def start(words):
        return subprocess.Popen(words, env=run_env, cwd=files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
    holder = None
    if hold:
        holder = start(command[:-len(hold)] + ["download", "demo-upgrade.s28"])
        time.sleep(3)
    program = start(command)
    if stop_after:
        time.sleep(stop_after)
        program.send_signal(signal.SIGINT)
    out, err = program.communicate(timeout=120)
    if holder:
        holder.send_signal(signal.SIGINT)
        holder.communicate(timeout=120)
    return subprocess.CompletedProcess(command, program.returncode, out, err)


def run_linux(args, radios, folder, debug, stop_after, hold):
    devices = [str(folder / f"com{port}") for port in range(1, radios + 1)]
    settings = folder / "settings.ini"
    settings.write_text(f"[KX6100_RLDC]\nDebug={debug}\n")
    run_env = dict(env, KX6000_ROOT=str(folder / "root"), KX6000_SETTINGS=str(settings))
    command = [str(linux_bin / "kx6000-download")]
    command += [word for device in devices for word in ("--device", device)] + args
    done = run(command, run_env, stop_after, hold)
    return done, devices


def run_windows(args, radios, debug, stop_after, hold):
    devices = [f"COM{port}" for port in range(1, radios + 1)]
    wine("reg", "add", KEY, "/v", "Debug", "/d", debug, "/f")
    map_ports()
    for log in drive_c.glob("*.log"):
        log.unlink()
    command = ["wine", str(windows_bin / "kx6000-download.exe")]
    command += [word for device in devices for word in ("--device", device)] + args
    done = run(command, env, stop_after, hold)
    return done, devices


# name, radios, arguments, and what else: the settings' Debug value (logs are compared when it is "True"),
# a Ctrl-C after some seconds against a radio in real time, the port held by another download
CASES = [
    ("errors", 0, ["error"]),
    ("error-json", 0, ["--json", "error", "11"]),
    ("usage", 0, ["--port", "5", "report"]),
    ("validate", 0, ["validate", "demo-upgrade.s28"]),
    ("validate-missing", 0, ["--json", "validate", "no-such-file.s28"]),
    ("validate-unicode", 0, ["validate", "démo été.s28"]),
    ("port-missing", 0, ["--port", "3", "report"]),
    ("report", 1, ["report"]),
    ("report-logged", 1, ["report"], {"debug": "True"}),
    ("report-not-logged", 1, ["report"], {"debug": "true"}),
    ("report-json", 1, ["--json", "report"]),
    ("download", 1, ["--json", "download", "--baud", "115200", "demo-upgrade.s28"]),
    ("erase-refused", 1, ["erase", "ZMA1B_01.00"]),
    ("two-radios", 2, ["--json", "report"]),
    ("stopped", 1, ["download", "demo-upgrade.s28"], {"stop_after": 5}),
    ("in-use", 1, ["report"], {"hold": True}),
]


def main():
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    files.mkdir()
    demo = Path(__file__).resolve().parents[2] / "examples" / "demo-upgrade.s28"
    for name in ("demo-upgrade.s28", "démo été.s28"):
        shutil.copy(demo, files / name)
    server = start_wine()
    failures = 0
    for name, radios, args, *more in CASES:
        if only and name not in only:
            continue
        more = more[0] if more else {}
        debug, stop_after = more.get("debug", "False"), more.get("stop_after")
        hold = args if more.get("hold") else None
        realtime = bool(stop_after or hold)
        folder = work / name
        folder.mkdir()
        with Radios(radios, folder, realtime):
            linux, linux_devices = run_linux(args, radios, folder, debug, stop_after, hold)
        with Radios(radios, work, realtime):
            windows, windows_devices = run_windows(args, radios, debug, stop_after, hold)
        places = [[(str(folder / "settings.ini"), "<settings>"), (str(folder / "root"), "<root>")] +
                  [(f"/dev/ttyS{port - 1}", f"<port {port}>") for port in range(1, 5)],
                  [(KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"), "<settings>"), ("C:\\", "<root>"),
                   ("c:\\", "<root>")] + [(f"\\\\.\\COM{port}", f"<port {port}>") for port in range(1, 5)]]
        logs = [{log.name: log.read_text(errors="replace") for log in where.glob("*.log")}
                for where in (folder / "root", drive_c)]
        # Several radios' status lines interleave as they come: each radio's own order is compared.
        by_radio = (lambda text: "".join(sorted(text.splitlines(True), key=lambda line: line.split(":")[0]))
                    ) if radios > 1 else (lambda text: text)
        seen = [(normal(r.stdout, d, p), by_radio(normal(r.stderr, d, p)), r.returncode,
                 {name: normal(text, d, p) for name, text in l.items()})
                for r, d, p, l in zip((linux, windows), (linux_devices, windows_devices), places, logs)]
        if seen[0] != seen[1]:
            failures += 1
            print(f"FAIL {name}: {' '.join(args)}")
            for label, (out, err, code, logs) in zip(("linux", "windows"), seen):
                print(f"--- {label}: exit {code}\n{out}--- {label} stderr\n{err}")
                for log, text in logs.items():
                    print(f"--- {label} {log}\n{text}")
        else:
            print(f"ok   {name}: exit {seen[0][2]}")
    subprocess.run(["wineserver", "-k"], env=env)
    server.wait()
    return 1 if failures else 0


sys.exit(main())
