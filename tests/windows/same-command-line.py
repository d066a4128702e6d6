#!/usr/bin/env python3
"""The Windows command line under wine against simulated radios mapped as COM ports, beside the Linux
command line against radios of their own: in each case both print the same, exit the same, write the same
logs and send the radio the same bytes, the names each system gives its devices and folders aside. The
serial devices each system lists differ, and so do the names that reach them: the `ports`, `one-claim` and `network` cases
check the Windows program's alone.

Usage: same-command-line.py WINDOWS_BIN LINUX_BIN WORK_FOLDER (--start | --end | --list | CASE)
"""
import json
import re
import socket
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from wineenv import Radios, Wine, dispatch, flash_mismatches

windows_bin, linux_bin, work = (Path(p).resolve() for p in sys.argv[1:4])
files = work / "files"
wine = Wine(work)
env = wine.env
KEY = r"HKLM\Software\Veltrane Systems Ltd\Radio Software Components\KX6100_RLDC"
# A file named by 300 characters, beyond Windows' 260 of old: four folders of 70 and the file's name.
LONG_PATH = "/".join(f"{i}-folder-of-a-long-path".ljust(70, "-") for i in range(1, 5)) + "/demo-upgrade.s28"
# The reasons each system gives for the same failure.
REASONS = [("File not found", "No such file or directory"),
           ("Access denied", "Resource temporarily unavailable"),
           # a far end gone: the port's state after an empty read, or the read itself
           ("Not ready", "Input/output error"), ("Broken pipe", "Input/output error")]

# name: radios, arguments, and what else: more commands on the same radio ("then"), the settings' Debug
# value, a Ctrl-C or the radio's end after some seconds of a download in real time, the port held by
# another download.
CASES = {
    "errors": (0, ["error"]),
    "error-json": (0, ["--json", "error", "11"]),
    "usage": (0, ["--port", "5", "report"]),
    "validate": (0, ["validate", "demo-upgrade.s28"]),
    "validate-missing": (0, ["--json", "validate", "no-such-file.s28"]),
    "validate-unicode": (0, ["validate", "démo été.s28"]),
    "validate-long-path": (0, ["--json", "validate", LONG_PATH]),
    "report": (1, ["--json", "report"]),
    "download-erase": (1, ["--json", "download", "--baud", "115200", "demo-upgrade.s28"],
                       {"then": [["erase", "KXC61_SITE_A"], ["report"]]}),
    "dry-run": (1, ["--json", "download", "--dry-run", "--baud", "115200", "demo-upgrade.s28"]),
    "logs": (1, ["report"], {"debug": "True"}),
    "no-logs": (1, ["report"], {"debug": "true"}),
    "no-radio": (0, ["--port", "3", "report"]),
    "in-use": (1, ["report"], {"hold": True}),
    "radio-gone": (1, ["download", "demo-upgrade.s28"], {"end_after": 5}),
    "stopped": (1, ["download", "demo-upgrade.s28"], {"stop_after": 5}),
    "two-radios": (2, ["--json", "report"]),
    "two-radios-logs": (2, ["--json", "report"], {"debug": "True"}),
}


def start_wine():
    """A prefix of our own, its server kept running so the COM ports stay as mapped."""
    wine.end()  # the server an interrupted run left
    shutil.rmtree(work, ignore_errors=True)
    files.mkdir(parents=True)
    demo = Path(__file__).resolve().parents[2] / "examples" / "demo-upgrade.s28"
    for name in ("demo-upgrade.s28", "démo été.s28", LONG_PATH):
        (files / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(demo, files / name)
    wine.start()


def run(command, run_env, more):
    """Runs the program, and with `more` stops it, ends its radios or holds its port meanwhile. Gives its
    result and the seconds it took to end after its radios did."""
    def start(words):
        return subprocess.Popen(words, env=run_env, cwd=files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
    holder = None
    if more.get("hold"):
        holder = start(command[:command.index("report")] + ["download", "demo-upgrade.s28"])
        time.sleep(3)
    program = start(command)
    ended = None
    if "stop_after" in more:
        time.sleep(more["stop_after"])
        program.send_signal(signal.SIGINT)
    if "end_after" in more:
        time.sleep(more["end_after"])
        more["radios"].end()
        ended = time.monotonic()
    out, err = program.communicate(timeout=120)
    lag = time.monotonic() - ended if ended else 0
    if holder:
        holder.send_signal(signal.SIGINT)
        holder.communicate(timeout=120)
    return subprocess.CompletedProcess(command, program.returncode, out, err), lag


def commands(program, devices, radios, args, more):
    words = [word for device in devices[:radios] for word in ("--device", device)]
    return [program + words + each for each in [args] + more.get("then", [])]


def run_side(windows, folder, name, radios, args, more):
    """One system's run of the case: its outputs, exit statuses, logs, the radios' bytes and the lag."""
    realtime = any(key in more for key in ("stop_after", "end_after", "hold"))
    debug = more.get("debug", "False")
    if windows:
        wine("reg", "add", KEY, "/v", "Debug", "/d", debug, "/f")
        wine.map_ports()
        logs = wine.prefix / "drive_c"
        for log in logs.glob("*.log"):
            log.unlink()
        for radio_logs in logs.glob("KX6000-*"):
            shutil.rmtree(radio_logs)
        run_env, links = env, work
        program, devices = ["wine", str(windows_bin / "kx6000-download.exe")], ["COM1", "COM2"]
    else:
        settings = folder / "settings.ini"
        settings.write_text(f"[KX6100_RLDC]\nDebug={debug}\n")
        logs = folder / "root"
        # Linux's ports 1 to 4 name absent devices as Windows' COM1..4 do, whatever this machine has.
        ports = {f"KX6000_PORT{port}": f"/dev/ttyS{port - 1}" for port in range(1, 5)}
        run_env = dict(env, KX6000_ROOT=str(logs), KX6000_SETTINGS=str(settings), **ports)
        links = folder
        program, devices = [str(linux_bin / "kx6000-download")], [str(folder / "com1"), str(folder / "com2")]
    radios_run = Radios(linux_bin, radios, links, name + ("-windows" if windows else "-linux"), realtime)
    results, lag = [], 0
    for command in commands(program, devices, radios, args, dict(more, radios=radios_run)):
        result, lag = run(command, run_env, dict(more, radios=radios_run))
        results.append(result)
    radios_run.settle()
    radios_run.end()
    # Each radio's log folder first, then the root it lies in.
    places = [(f"{root}KX6000-{device}", f"<logs {i}>") for root in ("C:\\", "c:\\")
              for i, device in enumerate(devices[:radios], 1)]
    places += [(KEY.replace("HKLM", "HKEY_LOCAL_MACHINE"), "<settings>"), ("C:\\", "<root>"), ("c:\\", "<root>")]
    places += [(f"\\\\.\\COM{port}", f"<port {port}>") for port in range(1, 5)]
    if not windows:
        places = [(str(logs / ("KX6000-" + device.replace("/", "_"))), f"<logs {i}>")
                  for i, device in enumerate(devices[:radios], 1)]
        places += [(str(folder / "settings.ini"), "<settings>"), (str(logs), "<root>")]
        places += [(f"/dev/ttyS{port - 1}", f"<port {port}>") for port in range(1, 5)]
    places += [(device, f"<device {i}>") for i, device in enumerate(devices[:radios], 1)]
    texts = [(normal(r.stdout, places, radios), normal(r.stderr, places, radios), r.returncode) for r in results]
    # Logs are compared as written: line ends included. Each radio of several has a folder of its own, named
    # after its device.
    written = {}
    for log in [*logs.glob("*.log"), *logs.glob("KX6000-*/*.log")]:
        name = str(log.relative_to(logs))
        for i, device in enumerate(devices[:radios], 1):
            name = name.replace("KX6000-" + device.replace("/", "_"), f"<device {i}>")
        with open(log, newline="", errors="replace") as text:
            written[name] = normal(text.read(), places, 1)
    return texts, written, ([] if realtime else radios_run.bytes_seen()), lag


def normal(text, places, radios):
    """The text with each system's names of the same things made equal."""
    for thing, token in places:
        for name in (json.dumps(thing)[1:-1], thing):
            text = text.replace(name, token)
    for windows, linux in REASONS:
        text = text.replace(windows, linux)
    text = re.sub(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d", "<time>", text)
    text = re.sub(r'"(seconds|measuredSeconds)": [0-9.e-]+', r'"\1": 0', text)
    text = re.sub(r"bytes in [0-9.]+ s, [0-9.]+ KB/s", "bytes in - s, - KB/s", text)
    text = re.sub(r" at [0-9]+ %", " at - %", text)
    text = re.sub(r"; held by .*", "; another program holds it", text)  # only Linux names the holder
    if "\r" not in text.replace("\r\n", ""):
        text = text.replace("\r\n", "\n")
    if radios > 1:  # several radios' lines interleave as they come: each radio's own order counts
        text = "".join(sorted(text.splitlines(True), key=lambda line: line.split(":")[0]))
    return text


def ports():
    """`ports --json` lists the COM ports wine maps, as its table of them (HARDWARE\\DEVICEMAP\\SERIALCOMM) has
    them, in the order of their numbers, the radios' COM1 and COM2 among them, and ports 1 to 4 reach COM1 to
    COM4, found when listed. Wine's mount manager maps the configured ports when it starts, so this case has a
    prefix of its own, started again once its ports are configured; the other cases' prefix keeps COM3 and COM4
    unmapped."""
    own = Wine(work / "ports")
    shutil.rmtree(own.work, ignore_errors=True)
    own.start()
    own.end()
    own.serve()
    subprocess.run(["wineboot"], env=own.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    try:
        table = subprocess.run(["wine", "reg", "query", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"], env=own.env,
                               cwd=own.work, capture_output=True, text=True).stdout
        result = subprocess.run(["wine", str(windows_bin / "kx6000-download.exe"), "ports", "--json"],
                                env=own.env, cwd=own.work, capture_output=True, text=True, timeout=60)
    finally:
        own.end()
    mapped = sorted({line.split()[-1] for line in table.splitlines() if "REG_SZ" in line},
                    key=lambda name: int(name[3:]))
    failed = [] if {"COM1", "COM2"} <= set(mapped) else [f"wine's table holds {mapped}, not COM1 and COM2"]
    try:
        listed = json.loads(result.stdout)
    except json.JSONDecodeError:
        listed = {"devices": [], "ports": []}
        failed.append(f"no JSON document: {result.stdout!r} {result.stderr!r}")
    devices = listed["devices"]
    wanted = [{"device": "\\\\.\\" + name, "stableName": name, "kind": "uart", "description": ""}
              for name in mapped]
    if devices != wanted:
        failed.append(f"devices {json.dumps(devices)}, wanted those of {mapped}")
    routes = [{"port": port, "device": f"\\\\.\\COM{port}",
               "source": "found" if f"COM{port}" in mapped else "system"} for port in range(1, 5)]
    if listed["ports"] != routes or result.returncode != 0:
        failed.append(f"ports {json.dumps(listed['ports'])}, exit {result.returncode}")
    for failure in failed:
        print(f"FAIL ports: {failure}")
    print(f"{'FAIL' if failed else 'ok'} ports: {', '.join(mapped)}")
    return 1 if failed else 0


def one_claim():
    """While a download holds COM1, every other name that reaches COM1 is refused with 12 and sends nothing:
    the download completes, its radio receiving exactly what the same download's radio on COM2 receives
    undisturbed, and its flash holds the file. Names that are no serial port give 11. Wine links AUX to COM1
    (QueryDosDevice names \DosDevices\COM1), so once the download has ended AUX reaches that radio."""
    wine.map_ports()
    program = ["wine", str(windows_bin / "kx6000-download.exe")]
    demo = files / "demo-upgrade.s28"
    radios = Radios(linux_bin, 2, work, "one-claim", realtime=True, state=True)
    failed = []

    def attempt(name):
        run = subprocess.run(program + ["--device", name, "report"], env=env, cwd=files, capture_output=True,
                             text=True, timeout=60)
        return run.returncode, re.findall(r"^Error \d+ - .*", run.stderr, re.M)

    try:
        downloads = [subprocess.Popen(program + ["--device", port, "download", demo.name], env=env, cwd=files,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                     for port in ("COM1", "COM2")]
        while (line := downloads[0].stderr.readline()) and not line.startswith("Downloading data..."):
            pass
        held = {name: attempt(name) for name in ["AUX", "//./COM1", "\\\\.\\COM1 ", "COM1:"]}
        # NUL, the console, a file and a folder
        not_ports = {name: attempt(name) for name in ["NUL", "CON", demo.name, "C:\\windows"]}
        ended = [(download.communicate(timeout=120)[1], download.returncode) for download in downloads]
        seen = radios.bytes_seen()
        aux = attempt("AUX")
        after = radios.bytes_seen()
    finally:
        states = radios.end()
    in_use, no_port = (1, ["Error 12 - Serial port in use by another application"]), (
        1, ["Error 11 - Serial port does not exist"])
    failed += [f"{name!r} while COM1 downloads: {got}" for name, got in held.items() if got != in_use]
    failed += [f"{name!r}: {got}" for name, got in not_ports.items() if got != no_port]
    failed += [f"the download on COM{port} ended {status}: {err[-300:]!r}"
               for port, (err, status) in enumerate(ended, 1) if status != 0]
    if seen[0]["rx"] != seen[1]["rx"]:
        failed.append(f"COM1's radio received {len(seen[0]['rx']) // 2} bytes, COM2's {len(seen[1]['rx']) // 2}")
    failed += [f"COM{port}'s flash lacks {len(wrong)} records" for port, state in enumerate(states, 1)
               if (wrong := flash_mismatches(state, demo))]
    reached = [len(after[port]["rx"]) > len(seen[port]["rx"]) for port in (0, 1)]
    if aux != (0, []) or reached != [True, False]:
        failed.append(f"AUX after the download: {aux}, reaching COM1 and COM2: {reached}")
    for failure in failed:
        print(f"FAIL one-claim: {failure}")
    print(f"{'FAIL' if failed else 'ok'} one-claim: {len(held)} other names of COM1 refused while it downloads, "
          f"{len(not_ports)} names of no port refused")
    return 1 if failed else 0


def network():
    """The radio behind ser2net on 127.0.0.1, named rfc2217://127.0.0.1:PORT by --device and then by the
    registry's Port1: a report, and a download at 115200 that the radio's flash holds record for record."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    folder = work / "network"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    radios = Radios(linux_bin, 1, folder, "network", state=True)
    (folder / "ser2net.yaml").write_text(
        f"connection: &radio\n  accepter: telnet(rfc2217),tcp,127.0.0.1,{port}\n"
        f"  connector: serialdev,{folder / 'com1'},19200n81,local\n  options:\n    kickolduser: false\n")
    server = subprocess.Popen(["ser2net", "-n", "-c", str(folder / "ser2net.yaml"), "-P", str(folder / "pid")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    address, failed = f"rfc2217://127.0.0.1:{port}", []
    program = ["wine", str(windows_bin / "kx6000-download.exe")]
    try:
        time.sleep(0.5)
        wine("reg", "add", KEY, "/v", "Port1", "/d", address, "/f")
        for words in (["--device", address, "report"], ["--baud", "115200", "download", "demo-upgrade.s28"]):
            run = subprocess.run(program + words, env=env, cwd=files, capture_output=True, text=True, timeout=60)
            if run.returncode != 0 or f"Port 1: {address}" not in run.stderr:
                failed.append(f"{' '.join(words)} ended {run.returncode}: {run.stderr[-300:]!r}")
    finally:
        wine("reg", "delete", KEY, "/v", "Port1", "/f")
        server.terminate()
        server.wait()
        states = radios.end()
    if wrong := flash_mismatches(states[0], files / "demo-upgrade.s28"):
        failed.append(f"the flash lacks {len(wrong)} records")
    for failure in failed:
        print(f"FAIL network: {failure}")
    print(f"{'FAIL' if failed else 'ok'} network: report and download through ser2net at {address}")
    return 1 if failed else 0


WINDOWS_ONLY = {"ports": ports, "one-claim": one_claim, "network": network}


def check(name):
    if name in WINDOWS_ONLY:
        return WINDOWS_ONLY[name]()
    radios, args, *more = CASES[name]
    more = more[0] if more else {}
    folder = work / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    linux = run_side(False, folder, name, radios, args, more)
    windows = run_side(True, folder, name, radios, args, more)
    failed = False
    for what, i in (("output, errors and exit status", 0), ("logs", 1), ("bytes the radios saw", 2)):
        if linux[i] != windows[i]:
            failed = True
            print(f"FAIL {name}: {what} differ")
            for label, side in (("linux", linux), ("windows", windows)):
                print(f"--- {label}\n{json.dumps(side[i], indent=1, ensure_ascii=False)}")
    for label, side in (("linux", linux), ("windows", windows)):
        if side[3] > 2:
            failed = True
            print(f"FAIL {name}: {label} ended {side[3]:.1f} s after its radio, more than 2 s")
    print(f"{'FAIL' if failed else 'ok'} {name}: exit {[t[2] for t in windows[0]]}, logs {sorted(windows[1])}, "
          f"radio bytes {sum(len(s['rx']) + len(s['tx']) for s in windows[2]) // 2}")
    return 1 if failed else 0


dispatch(list(CASES) + list(WINDOWS_ONLY), start_wine, lambda: wine.end(), check)
