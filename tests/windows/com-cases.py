#!/usr/bin/env python3
"""KX6000Download.exe as the automation server under wine: a VBScript run by wine's cscript creates
clsDLManager late bound and drives the simulated radio on COM1 through it, a C++ client calls it with named
arguments; /RegServer and /UnregServer say their outcome in a message box (none with /s) and leave the
registry as they found it. With win64, some of the cases run in a 64-bit prefix, their callers 64-bit
programs (the prefix's own cscript, download-client64.exe) and the server a 32-bit one through WoW64, with the
installer's case there.

Usage: com-cases.py WINDOWS_BIN LINUX_BIN WORK_FOLDER [win64] (--start | --end | --list | CASE)
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import time
from pathlib import Path

from wineenv import (HERE, Display, Radios, Wine, dispatch, end_on_display, flash_mismatches, record,
                     start_on_display, write_image)

windows_bin, linux_bin, work = (Path(p).resolve() for p in sys.argv[1:4])
ARCH = "win64" if sys.argv[4:-1] == ["win64"] else "win32"
SERVER = windows_bin / "KX6000Download.exe"
# The caller of the prefix's own kind: 64-bit in a 64-bit prefix (the 32-bit cscript is in syswow64).
CSCRIPT = r"C:\windows\system32\cscript.exe"
CLIENT = windows_bin / ("download-client64.exe" if ARCH == "win64" else "download-client.exe")
DEMO = HERE.parents[1] / "examples" / "demo-upgrade.s28"
EXAMPLE = HERE.parents[1] / "examples" / "windows" / "report.vbs"
KX6200 = json.dumps({"model": 6200, "configurations": [
    {"productId": name, "address": address, "status": status} for name, address, status in [
        ("ZMA2B_01.00", 0x100, 0), ("KXA62_HW03", 0x30100, 0), ("KXC62_SITE_NORTH", 0x40100, 2),
        ("KXB62_A|B%C", 0x50100, 0), ("KXB62_\u00ff\u00e9", 0x60100, 1)]],
    "devices": [{"networkId": 1, "deviceId": 2, "flash": [{"start": 0, "length": 0x8000}],
                 "configurations": [{"productId": "KXD62_CONTROL_HEAD", "address": 0x100, "status": 1}]}]})

# What report.vbs prints of that radio.
EXAMPLE_LISTED = ["ZMA2B_01.00\tOK", "KXA62_HW03\tOK", "KXC62_SITE_NORTH\tChecksum invalid", "KXB62_A|B%C\tOK",
                  "KXB62_\u00ff\u00e9\tNo code segments", "KXD62_CONTROL_HEAD\tNo code segments"]

failures = []


def expect(what, got, wanted):
    if got != wanted:
        failures.append(what)
        print(f"FAIL {what}:\n  got    {got!r}\n  wanted {wanted!r}")


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def servers(wine):
    """The server processes of this prefix: wine gives each process its Windows command line."""
    found = []
    for entry in Path("/proc").iterdir():
        try:
            line = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
            prefix = f"WINEPREFIX={wine.prefix}".encode() in (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if prefix and "KX6000Download.exe" in line and "-Embedding" in line:
            found.append(int(entry.name))
    return found


def run_steps(wine, case, *files, seen=lambda step: None):
    """com-steps.vbs's case run by cscript: its steps' values, the server processes while the object lived
    and 5 s after its release, and cscript's exit status. `seen` is told each step as it is printed. cscript
    writes the console's (OEM) code page."""
    run = subprocess.Popen(["wine", CSCRIPT, "//nologo", windows_path(HERE / "com-steps.vbs"), case,
                            *(f if isinstance(f, str) else windows_path(f) for f in files)], env=wine.env,
                           cwd=work, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, encoding="cp437")
    steps, during = {}, None
    for line in run.stdout:
        step, value = line.rstrip("\r\n").split("|", 1)
        steps[step] = value
        if step == "CreateObject":
            during = servers(wine)
        seen(step)
    run.wait(timeout=60)
    print("\n".join(f"{step}: {value}" for step, value in steps.items()))
    return steps, during, left(wine), run.returncode


def left(wine):
    """The server processes still running 5 s after the object's release, which ends its server."""
    for _ in range(50):
        if not (running := servers(wine)):
            break
        time.sleep(0.1)
    return running


def expect_one_server(during, after, status):
    expect("one server process, not the script's, while the object lives", len(during or []), 1)
    expect("server processes left 5 s after the release", after, [])
    expect("cscript's exit status", status, 0)


def fpga(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    image = work / "fpga.s28"
    image.write_text(record("S0", 0, b"ZMA1G_FPGA".hex().upper()) + record("S2", 0x20000, "1111222233334444") +
                     record("S8", 0, ""), newline="")
    steps, during, after, status = run_steps(wine, "fpga", image)
    # step: value|Err.Number
    wanted = {"SetPort": "0|0", "LoadFiles": "0|0", "DownLoad": "1|0", "AssumeYes": "True|0",
              "LoadFiles again": "0|0", "DownLoad again": "0|0", "released": "|0"}
    for step, value in wanted.items():
        expect(step, steps.get(step), value)
    expect_one_server(during, after, status)
    wrong = flash_mismatches(radios.end()[0], image)
    expect("records not in flash", wrong, [])


def window(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    shown, hidden = work / "shown", work / "hidden"
    for flag in (shown, hidden):
        flag.unlink(missing_ok=True)
    visible = []

    def look(step):
        """Whether the window is on the display after that step, seen before the script goes on."""
        if step.startswith("SetPort"):
            wanted = step == "SetPort shown"
            deadline = time.monotonic() + 10
            while (on := bool(subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^KX6000 Download$"],
                                             env=wine.env, capture_output=True, text=True).stdout)) != wanted:
                if time.monotonic() > deadline:
                    break
                time.sleep(0.1)
            visible.append(on)
            (shown if wanted else hidden).touch()

    steps, during, after, status = run_steps(wine, "window", shown, hidden, seen=look)
    expect("SetPort shown, hidden", [steps.get("SetPort shown"), steps.get("SetPort hidden")], ["0|0", "0|0"])
    expect("the window on the display after each", visible, [True, False])
    expect_one_server(during, after, status)


def events(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    run = subprocess.run(["wine", str(CLIENT), "1", "6100", windows_path(DEMO)],
                         env=wine.env, cwd=work, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    lines = [line.split("|", 1) for line in run.stdout.replace("\r", "").splitlines()]
    statuses = [value for name, value in lines if name == "Status"]
    progress = [int(value) for name, value in lines if name == "Progress"]
    results = {name: value for name, value in lines if name in ("DownLoad", "GetLastError", "RoundTrip")}
    print(f"GetLastError's round trip from the early-bound client: median {results.get('RoundTrip')} us of 1000")
    # SetPort, LoadFiles, then the download of the demo's two images.
    image = ["Checking file against flash information...", "Unlocking flash...", "Erasing flash...",
             "Downloading data...", "Locking flash..."]
    expect("statuses in the operations' order", statuses,
           ["Ready", "Validating file...", "Ready", "Resetting radio...", "Setting baud rate...",
            "Reading current configuration...", *image, *image, "Reading current configuration...",
            "Resetting radio...", "Download successful"])
    # Each image's percentage rises to 100 (the runs where it rises); the bar is emptied at the end.
    runs = [[progress[0]]] if progress else []
    for before, value in zip(progress, progress[1:]):
        runs[-1:] = [runs[-1] + [value]] if value > before else [runs[-1], [value]]
    expect("where each rising run of percentages ends", [run[-1] for run in runs], [100, 100, 0])
    expect("DownLoad and GetLastError", [results.get("DownLoad", "").split("|")[0], results.get("GetLastError")],
           ["0", "0|Success"])
    expect("exit status", run.returncode, 0)
    # A file that is not there, through the vtable too.
    run = subprocess.run(["wine", str(CLIENT), "1", "6100", windows_path(work / "no.s28")],
                         env=wine.env, cwd=work, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
    expect("a missing file's number and message", [line for line in run.stdout.replace("\r", "").splitlines()
                                                   if line.startswith("GetLastError|")],
           ["GetLastError|33|File does not exist"])
    expect("a missing file's exit status", run.returncode, 1)
    expect("server processes left 5 s after the release", left(wine), [])
    wrong = flash_mismatches(radios.end()[0], DEMO)
    expect("records not in flash (the first of them)", (len(wrong), wrong[:1]), (0, []))


def cancel(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    image = work / "image.s28"
    write_image(image, 256 * 1024)
    stopped = (r'Stopped by Cancel\(\) during "Downloading data\.\.\." of DISK at 3\d %: that image is '
               r"incomplete, although the radio may list it with status 0; the radio stays in upgrade mode until the "
               r"next operation")
    # Twice: DownLoad called through the interface, then by name as a script calls it. At 30 % the client's
    # event listener makes a second operation and reads; then its second thread, which has asked for the last
    # error every 20 ms meanwhile, makes another and stops the download, as a Stop button would.
    for way in ("early", "late"):
        client = ["wine", str(CLIENT), "1", "6100", windows_path(image), "30"]
        run = subprocess.run(client + (["late"] if way == "late" else []), env=wine.env, cwd=work,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        lines = run.stdout.replace("\r", "").splitlines()
        busy = next((i for i, line in enumerate(lines) if line.startswith("Busy|")), len(lines))
        after = [line for line in lines[busy:] if line.startswith(("Busy", "Status", "Baud", "GetLastError"))]
        # Refused with 13 while it runs, read calls answered; then the closing steps: the configurations read
        # back, no restart, the error shown and the port closed.
        expect(f"{way}: after the stop", after,
               ["Busy|13|0|6100", "Status|Reading current configuration...",
                "Status|Error 15 - Serial port (unspecified error)", "Baud|Not connected",
                "GetLastError|15|Serial port (unspecified error)"])
        told = {line.split("|")[0]: line.split("|")[1:] for line in lines}
        print(f"{way}: the second thread: {told.get('During')} (calls, median, 99th percentile, longest ms); "
              f"{told.get('Second')}, Cancel {told.get('Cancel')}, ended {told.get('Stopped')} ms after it")
        expect(f"{way}: the second thread's second operation", told.get("Second", [""])[0], "13")
        # The longest of the GetLastError calls, the second operation, Cancel: at once, not after the operation
        # (how fast on an idle machine is scripts/bench-windows's to say)
        slow = [name for name, at in (("During", 3), ("Second", 1), ("Cancel", 0))
                if float(told.get(name, [1e9] * 4)[at]) > 1000]
        expect(f"{way}: answers later than 1 s", slow, [])
        expect(f"{way}: ended within 5 s of Cancel", float(told.get("Stopped", [1e9])[0]) <= 5000, True)
        # DownLoad fails with E_ABORT and the component's sentence on the stop. Wine 8 carries no error object
        # back with a call through the interface (Windows does); a call by name brings it in its EXCEPINFO.
        code, source, description = (told.get("Failed", []) + [""] * 3)[:3]
        expect(f"{way}: the stopped call's HRESULT", code, "0x80004004")
        said = [source, description if source == "" else bool(re.fullmatch(stopped, description))]
        allowed = [["KX6000Download.clsDLManager", True]] + ([["", ""]] if way == "early" else [])
        expect(f"{way}: the stop's source and sentence", said in allowed, True)
        expect(f"{way}: exit status", run.returncode, 1)
        expect(f"{way}: server processes left 5 s after the release", left(wine), [])
    frames = [event.get("code") for event in map(json.loads, radios.traces[0].read_text().splitlines())
              if event.get("event") == "frame"]
    records = len(image.read_text().splitlines()) - 2
    wrong = flash_mismatches(radios.end()[0], image)
    # Each run stopped while writing the image's 515 blocks: its blocks locked again and the configurations read,
    # the radio not restarted (the next run's logon restarts it).
    last = len(frames) - frames[::-1].index("35") if "35" in frames else 0
    expect("some but not all records in flash", 0 < len(wrong) < records, True)
    expect("blocks written, locks, what followed the last block", (0 < frames.count("35") < 515, frames.count("39"),
                                                                   frames[last:]), (True, 2, ["39", "31"]))


def two(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    # Two callers download at once, each through a server of its own, to the radios on COM1 and COM2; a third
    # object asks for COM1 once the first radio's flash is being written.
    clients = [subprocess.Popen(["wine", str(CLIENT), str(port), "6100",
                                 windows_path(DEMO)], env=wine.env, cwd=work, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, text=True) for port in (1, 2)]
    for line in clients[0].stdout:
        if line.startswith("Status|Downloading data..."):
            break
    steps, during, _, status = run_steps(wine, "held")
    expect("the third object on COM1", [steps.get("SetPort"), steps.get("GetLastError")],
           ["12|0", "12|Serial port in use by another application|0"])
    expect("server processes while three objects live", len(during or []), 3)
    results = []
    for client in clients:
        out = client.stdout.read().replace("\r", "").splitlines()
        results.append([line for line in out if line.startswith(("DownLoad|", "GetLastError|"))][-1:] +
                       [client.wait(timeout=120)])
    expect("each caller's own result", results, [["GetLastError|0|Success", 0]] * 2)
    expect("server processes left 5 s after the releases", left(wine), [])
    for port, state in enumerate(radios.end(), 1):
        wrong = flash_mismatches(state, DEMO)
        expect(f"records not in COM{port}'s flash (the first of them)", (len(wrong), wrong[:1]), (0, []))


def script(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    example = subprocess.run(["wine", CSCRIPT, "//nologo", windows_path(EXAMPLE), "1", "6200"], env=wine.env,
                             cwd=work, stdin=subprocess.DEVNULL, capture_output=True, encoding="cp437", timeout=60)
    print(example.stdout)
    expect("the example's output", example.stdout.replace("\r", "").splitlines(), EXAMPLE_LISTED)
    expect("the example's exit status", example.returncode, 0)
    # A table of odd bytes, in the boot code's block.
    odd, loaded, refused = work / "odd.s28", work / "loaded", work / "refused"
    odd.write_text("DW 8\r\n" + record("S0", 0, b"KXC62_ODD".hex().upper()) + record("S2", 0x100, "AABBCC") +
                   record("S8", 0, ""), newline="")
    seen = []

    def note(step):
        """What the radio has received when the odd table is loaded and when DownLoad has refused it."""
        if step in ("LoadFiles(odd)", "DownLoad(odd)"):
            seen.append(radios.bytes_seen()[0]["rx"])
            (loaded if step == "LoadFiles(odd)" else refused).touch()

    # A relative path is refused (33), though the server's current folder holds such a file: under wine the
    # server starts in its caller's folder, on Windows in the system folder.
    shutil.copy(DEMO, work / "relative.s28")
    steps, during, after, status = run_steps(wine, "steps", "relative.s28", DEMO, odd, loaded, refused,
                                             seen=note)
    report = subprocess.run(["wine", str(windows_bin / "kx6000-download.exe"), "--radio", "6200", "--json", "report"],
                            env=wine.env, cwd=work, capture_output=True, text=True, timeout=60)
    state = radios.end()[0]
    texts = "KXB62_A%7CB%25C|0|KXB62_\u00ff\u00e9|1|"
    listed = f"ZMA2B_01.00|0|KXA62_HW03|0|KXC62_SITE_NORTH|2|{texts}KXD62_CONTROL_HEAD|1|"
    # The demo's radio application and site configuration take the place of the erased one's block.
    downloaded = f"ZMA2B_01.00|0|KXA62_HW03|0|{texts}ZMA1F_02.00.00.00|0|KXC61_SITE_A|0|KXD62_CONTROL_HEAD|1|"
    # step: value|Err.Number
    wanted = {
        "CreateObject": "_clsDLManager|0",
        "RadioType": "6200|0",
        "SetPort": "0|0",
        "ReportConfigurations": f"0|{listed}|0",
        "EraseSelected": f"0|{listed.replace('KXC62_SITE_NORTH|2|', '')}|0",
        "GetLastError": "33|33|File does not exist|0",
        "LoadFiles": "0|0",
        "DownLoad": f"0|{downloaded}|0",
        "LoadFiles(odd)": "0|0",
        "DownLoad(odd)": "34|0",
        "ReportConfigurations again": f"0|{downloaded}|0",
        "SetPort(Array)": "|13",  # type mismatch
        "GetLastError(n)": "|450",  # wrong number of arguments
        "released": "|0",
    }
    for step, value in wanted.items():
        expect(step, steps.get(step), value)
    expect_one_server(during, after, status)
    wrong = flash_mismatches(state, DEMO)
    expect("records not in flash (the first of them)", (len(wrong), wrong[:1]), (0, []))
    expect("the radio's configurations", [c["productId"] for c in state["configurations"]],
           [name.replace("%7C", "|").replace("%25", "%") for name in downloaded.split("|")[0:-1:2]])
    expect("bytes the radio received while DownLoad refused the odd table", len(set(seen)), 1)
    # The list's pairs, the names as the list writes them, read back: the command line's JSON.
    pairs = steps.get("ReportConfigurations again", "").split("|")[1:-2]
    listed = [(name.replace("%7C", "|").replace("%25", "%"), int(status))
              for name, status in zip(pairs[::2], pairs[1::2])]
    try:
        shown = [(c["productId"], c["status"]) for c in json.loads(report.stdout)["configurations"]]
    except (json.JSONDecodeError, KeyError):
        shown = report.stdout + report.stderr
    expect("the list's pairs against the command line's JSON", listed, shown)


def registry(wine):
    """HKLM\\Software as regedit exports it, one entry per key; in a 64-bit prefix its 32-bit view too, below
    Wow6432Node."""
    out = work / "registry.reg"
    wine("regedit", "/E", str(out), r"HKEY_LOCAL_MACHINE\Software")
    return out.read_text(encoding="utf-16").split("\n\n")


CLSID, LIBID = "{6A6BD4B0-51BF-48FD-9FCB-D28B430A6742}", "{DADD6776-8920-4901-A0E6-27B482D2A0DC}"
# The interfaces and the system's marshallers that carry them: by the type library, and IDispatch's own.
INTERFACES = {"{D097C8E9-2107-4E96-BCF6-E23629A0FA09}": "{00020424-0000-0000-C000-000000000046}",
              "{136EA943-EBDF-4678-9708-D3B1C196966D}": "{00020420-0000-0000-C000-000000000046}"}


def answered(wine, *args):
    """The server run with `args` by answer-box.exe: the message box it opened, answered, and its exit code."""
    run = subprocess.run(["wine", str(windows_bin / "answer-box.exe"), windows_path(SERVER), *args], env=wine.env,
                         cwd=work, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=90)
    return run.stdout.replace("\r", "").splitlines()


def registration(wine, radios):
    wine(str(SERVER), "/UnregServer", "/s")  # whatever an earlier case registered
    before = registry(wine)
    quiet = ["Box|none", "Exit|0x00000000"]
    expect("/RegServer /s: no box, its exit code", answered(wine, "/RegServer", "/s"), quiet)
    added = {key.split("\n")[0]: key for key in registry(wine) if key not in before}
    expect("/UnregServer: its box, its exit code", answered(wine, "/UnregServer"),
           ["Box|KX6000 Download|The KX6000 Download Component's registration is removed.", "Exit|0x00000000"])
    after = registry(wine)
    expect("-regserver: its box, its exit code", answered(wine, "-regserver"),
           ["Box|KX6000 Download|The KX6000 Download Component is registered.", "Exit|0x00000000"])
    expect("/UnregServer -S: no box, its exit code", answered(wine, "/UnregServer", "-S"), quiet)
    # No lasting key can be made under a volatile one: writing the class fails, and what was written goes.
    refused = "Exit|0x80070005"
    for args, wanted in [(["/RegServer"], ["Box|KX6000 Download|The KX6000 Download Component is not registered: the "
                                           "class cannot be registered (is the program run as an administrator?) "
                                           "(0x80070005).", refused]),
                         (["/RegServer", "/s"], ["Box|none", refused])]:
        wine(str(windows_bin / "volatile-key.exe"), r"Software\Classes\KX6000Download.clsDLManager")
        expect(f"{' '.join(args)} refused: its box, its exit code", answered(wine, *args), wanted)
    expect("keys left after all", [key.split("\n")[0] for key in registry(wine) if key not in before], [])
    # The interfaces in each view a caller may have (64-bit Windows keeps the 32-bit one below Wow6432Node), the
    # class in the server's own (wine copies a local server's class into the other view, Windows 7 and later
    # do not); the names and the type library once, as both views share them.
    own, views = (r"\Wow6432Node", [r"\Wow6432Node", ""]) if ARCH == "win64" else ("", [""])
    server = windows_path(SERVER).replace("\\", "\\\\")  # as regedit writes it
    wanted = [(rf"{own}\CLSID\{CLSID}\LocalServer32", server)] + [
        (rf"{view}\Interface\{iid}\{key}", value) for view in views for iid, marshaller in INTERFACES.items()
        for key, value in (("ProxyStubClsid32", marshaller), ("TypeLib", LIBID))] + [
        (r"\KX6000Download.clsDLManager\CurVer", "KX6000Download.clsDLManager.1"),
        (r"\KX6000Download.clsDLManager.1\CLSID", CLSID)] + [
        (rf"\Typelib\{LIBID}\1.5\0\{kind}", server) for kind in ("win32", "win64")]
    for key, value in wanted:
        entry = added.get(rf"[HKEY_LOCAL_MACHINE\Software\Classes{key}]", "")
        expect(f"registered: {key} = {value}", value in entry, True)
    expect("keys left after /UnregServer", [key.split("\n")[0] for key in after if key not in before], [])
    expect("keys gone after /UnregServer", [key.split("\n")[0] for key in before if key not in after], [])


def servers_registered(wine):
    """The class's LocalServer32 entries, as regedit exports them from either view."""
    return [key for key in registry(wine) if key.startswith("[") and rf"\CLSID\{CLSID}\LocalServer32]" in key]


def installer(wine, radios):
    """The installer on 64-bit Windows: the 32-bit programs go to Program Files (x86) and the server is registered
    from there for both kinds of callers; the installed example runs in the 64-bit cscript against the radio; the
    uninstaller, run in place so that it has ended when it returns, takes the registration out of both views."""
    package = next((windows_bin.parent / "installer-case" / "package").glob("KX6000Download-*-win32.exe"))
    drive_c = wine.prefix / "drive_c"
    folder, installed = drive_c / "Program Files (x86)" / "KX6000 Download", r"C:\Program Files (x86)\KX6000 Download"
    wine(str(package), "/S")
    expect("the programs installed", sorted(p.name for p in folder.glob("*.exe")),
           ["KX6000Download.exe", "Uninstall.exe", "kx6000-download.exe"])
    expect("anything in Program Files", (drive_c / "Program Files" / "KX6000 Download").exists(), False)
    program = (installed + r"\KX6000Download.exe").replace("\\", "\\\\")  # as regedit writes it
    expect("the server registered for 32-bit callers from there",
           [key for key in servers_registered(wine) if r"\Wow6432Node\CLSID" in key and program in key] != [], True)
    example = subprocess.run(["wine", CSCRIPT, "//nologo", installed + r"\examples\report.vbs", "1", "6200"],
                             env=wine.env, cwd=work, stdin=subprocess.DEVNULL, capture_output=True, encoding="cp437",
                             timeout=60)
    print(example.stdout)
    expect("the installed example's output", example.stdout.replace("\r", "").splitlines(), EXAMPLE_LISTED)
    expect("server processes left 5 s after the release", left(wine), [])
    # "_?=" takes the rest of the command line as it is, spaces and all: no quotes.
    wine(str(folder / "Uninstall.exe"), "/S", *f"_?={installed}".split(" "))
    expect("the server registered after the uninstall", servers_registered(wine), [])
    expect("the programs left", sorted(p.name for p in folder.glob("*.exe")), ["Uninstall.exe"])


def named(wine, radios):
    wine(str(SERVER), "/RegServer", "/s")
    # Its cases, each checked by the client, are printed "ok <case>" or "FAIL <case>: ...".
    run = subprocess.run(["wine", str(windows_bin / "named-arguments.exe")], env=wine.env, cwd=work,
                         stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    print(run.stdout + run.stderr)
    lines = run.stdout.replace("\r", "").splitlines()
    expect("cases that failed", [line for line in lines if not line.startswith("ok ")], [])
    expect("the client's exit status", run.returncode, 0)
    expect("server processes left 5 s after the release", left(wine), [])


def network(wine, radios):
    """Port 1 routed in the registry to ser2net in front of the radio: the caller's SetPort("1") reaches it
    through the network with no change to the caller, and the download lands in its flash."""
    wine(str(SERVER), "/RegServer", "/s")
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    (work / "ser2net.yaml").write_text(
        f"connection: &radio\n  accepter: telnet(rfc2217),tcp,127.0.0.1,{port}\n"
        f"  connector: serialdev,{work / 'com1'},19200n81,local\n"
        f"  options:\n    trace-read: {work / 'ser2net.trace'}\n")  # COM1 reaches the radio too: not taken
    server = subprocess.Popen(["ser2net", "-n", "-c", str(work / "ser2net.yaml"), "-P", str(work / "ser2net.pid")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    key = r"HKLM\Software\Veltrane Systems Ltd\Radio Software Components\KX6100_RLDC"
    try:
        time.sleep(0.5)
        wine("reg", "add", key, "/v", "Port1", "/d", f"rfc2217://127.0.0.1:{port}", "/f")
        client = subprocess.run(["wine", str(CLIENT), "1", "6100", windows_path(DEMO)], env=wine.env, cwd=work,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    finally:
        wine("reg", "delete", key, "/v", "Port1", "/f")
        server.terminate()
        server.wait()
    out = client.stdout.replace("\r", "").splitlines()
    expect("the caller's result", [line for line in out if line.startswith("GetLastError|")][-1:] + [client.returncode],
           ["GetLastError|0|Success", 0])
    wrong = flash_mismatches(radios.end()[0], DEMO)
    expect("records not in the flash (the first of them)", (len(wrong), wrong[:1]), (0, []))
    trace = work / "ser2net.trace"
    expect("the radio's replies came through ser2net", trace.exists() and trace.stat().st_size > 100, True)


# name: the case, the radio's scenario[, how many radios[, in real time]]: several radios play in real time, so
# that a download lasts while other callers come
CASES = {
    "script": (script, KX6200),
    "two": (two, None, 2),
    "registration": (registration, None),
    "named": (named, None),
    "window": (window, None),
    "events": (events, None),
    "cancel": (cancel, None, 1, True),
    "network": (network, None),
    # An FPGA image is written in special upgrade mode, which the radio enters after a power cycle.
    "fpga": (fpga, json.dumps({"specialMode": True, "powerCycleAfterSeconds": 0.5})),
}
# In a 64-bit prefix: the installer, and what 64-bit callers do.
if ARCH == "win64":
    CASES = {"installer": (installer, KX6200), **{name: CASES[name] for name in ("script", "events", "registration")}}


def check(name):
    case, scenario, *more = CASES[name]
    count = more[0] if more else 1
    realtime = more[1] if len(more) > 1 else count > 1
    wine = Wine(work, Display(work).name(), ARCH)
    wine.map_ports()
    radios = Radios(linux_bin, count, work, name, realtime=realtime, scenario=scenario, state=True)
    try:
        case(wine, radios)
    except (AssertionError, subprocess.SubprocessError, ValueError) as error:
        expect("the case ran to its end", str(error), "")
    finally:
        radios.end()
    print(f"{'FAIL' if failures else 'ok'} {name}")
    return 1 if failures else 0


dispatch(CASES, lambda: start_on_display(work, ARCH), lambda: end_on_display(work), check)
