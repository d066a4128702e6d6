#!/usr/bin/env python3
"""KX6000Download.exe under wine on an X server of its own, against the simulated radio on COM1, driven as a
technician works: keys, and clicks at the controls' places from the layout's twips. What the window shows is
read back from its controls by window-reader.exe; what the radio holds, from its state at its end.

Usage: window-cases.py WINDOWS_BIN LINUX_BIN WORK_FOLDER (--start | --end | --list | --screenshot OUT | CASE)
"""
import json
import shutil
import subprocess
import sys
import time
from pathlib import Path

from wineenv import (HERE, Display, Radios, Wine, dispatch, end_on_display, flash_mismatches,
                     start_on_display)

windows_bin, linux_bin, work = (Path(p).resolve() for p in sys.argv[1:4])
DEMO = HERE.parents[1] / "examples" / "demo-upgrade.s28"
KEY = r"HKLM\Software\Veltrane Systems Ltd\Radio Software Components\KX6100_RLDC"
KX6200 = json.dumps({"model": 6200, "configurations": [
    {"productId": name, "address": address, "status": status} for name, address, status in [
        ("ZMA2B_01.00", 0x100, 0), ("ZMA2G_03.02.00.01", 0x10100, 0), ("ZMA2F_02.01.00.07", 0x20100, 0),
        ("KXA62_HW03", 0x30100, 0), ("KXC62_SITE_NORTH", 0x40100, 2)]],
    "devices": [{"networkId": 1, "deviceId": 2, "flash": [{"start": 0, "length": 0x8000}],
                 "configurations": [{"productId": "KXD62_CONTROL_HEAD", "address": 0x100, "status": 1}]}]})

# The layout, in twips (left, top[, width, height]); the table's cells from the frame's corner.
FRAME = (240, 480)
COLUMNS = (480, 1920, 4320, 120, 5880, 6960)  # type, product, status, box, network, device
HARDWARE_TOP, FIRST_ROW_TOP, ROW_STEP = 840, 1200, 360
REPORT, ERASE, HELP = (2520, 6480, 1695, 375), (4320, 6480, 1695, 375), (8400, 0, 375, 375)
UNPROTECTED, CANCEL = (5520, 6120, 255, 255), (1200, 720, 1335, 375)  # the check box's box; the wait window's
PORT = (360, 6480, 975, 315)  # the port list, closed
PROGRESS = ["msctls_progress32", "msctls_statusbar32"]
STOP_QUESTION = "KX6000StopQuestion"
SESSION_HOLD = "KX6000SessionHold"
REASON = "Writing the radio's flash: wait until the download ends"
STOP_TEXT = ("A command is running. Stop it and close the window? The radio stays in upgrade mode until the next "
             "command resets it.")


def px(twips):
    """Twips as pixels at 96 DPI, rounded as the window rounds them."""
    return (twips * 96 + 720) // 1440


class Window:
    """One run of the window program and the reader of its state."""

    def __init__(self, wine, args=(), folder=None, env=None, stderr=subprocess.DEVNULL):
        self.wine, self.windows = wine, []
        self.program = subprocess.Popen(["wine", str(Path(folder or windows_bin) / "KX6000Download.exe"), *args],
                                        env=env or wine.env, cwd=folder or work, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=stderr)
        self.reader = subprocess.Popen(["wine", str(windows_bin / "window-reader.exe")], env=wine.env,
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.wait_for(lambda: self.top("KX6000Download"), 60)
        self.xid = self.wait_for(lambda: self.xdotool("search", "--onlyvisible", "--name", "^KX6000 Download$"))
        self.xid = self.xid.split()[0]
        self.xdotool("windowfocus", "--sync", self.xid)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.wine.env, capture_output=True, text=True).stdout

    def read(self, classes=(), word="read"):
        self.reader.stdin.write(" ".join([word, *classes]) + "\n")
        self.reader.stdin.flush()
        self.windows = json.loads(self.reader.stdout.readline())
        return self.windows

    def top(self, kind):
        """The visible top-level window of that class, read now."""
        return next((window for window in self.read() if window["class"] == kind), None)

    def wait_for(self, ready, seconds=30):
        """What `ready` gives once it is true; keys and clicks take a moment to arrive."""
        deadline = time.monotonic() + seconds
        while not (found := ready()):
            if time.monotonic() > deadline:
                raise TimeoutError(json.dumps(self.windows, indent=1))
            time.sleep(0.1)
        return found

    def control(self, left, top, window="KX6000Download"):
        """The control whose corner lies at the layout's place."""
        shown = next((w for w in self.windows if w["class"] == window), None)
        if not shown:
            raise AssertionError(f"no {window} window shown")
        return next(c for c in shown["controls"] if (c["x"], c["y"]) == (px(left), px(top)))

    def table(self):
        """The hardware row and the rows shown: type|product|status|box|network|device, "-" a hidden cell."""
        self.read()
        cells = [[self.control(FRAME[0] + left, FRAME[1] + top) for left in COLUMNS]
                 for top in [HARDWARE_TOP] + [FIRST_ROW_TOP + ROW_STEP * i for i in range(9)]]
        rows = ["|".join((c["text"] or "box") if c["visible"] else "-" for c in row) for row in cells]
        return rows[:1] + [row for row in rows[1:] if row != "-|-|-|-|-|-"]

    def panels(self):
        return next(c for c in self.top("KX6000Download")["controls"] if c["class"] == "msctls_statusbar32")["panels"]

    def enabled(self, button):
        self.read()
        return self.control(*button[:2])["enabled"]

    def click(self, place, window="KX6000Download"):
        """A click in the middle of that place of the window."""
        left, top, width, height = place
        shown = self.top(window)
        x, y = shown["x"] + px(left + width // 2), shown["y"] + px(top + height // 2)
        self.xdotool("mousemove", str(x), str(y), "click", "1")

    def hover(self, x, y):
        """The mouse at that point of the screen, moved there from beside it so the tooltip sees it arrive."""
        self.xdotool("mousemove", str(x + 5), str(y), "mousemove", str(x), str(y))

    def tip(self, wanted):
        """The text of the tooltip shown, once it is `wanted` or after 5 s."""
        shown, deadline = None, time.monotonic() + 5
        while shown != wanted and time.monotonic() < deadline:
            time.sleep(0.1)
            shown = (self.top("tooltips_class32") or {}).get("title")
        return shown

    def key(self, *keys):
        self.xdotool("key", *keys)

    def command(self, keys):
        """Runs a command by its access key; gives the status it ends with, which differs from the one before."""
        before = self.panels()[1]
        self.key(keys)
        return self.ended(lambda status: status != before)

    def ended(self, new=lambda status: True):
        """Waits for the running command's end, Report enabled again; gives the status shown."""
        self.wait_for(lambda: self.enabled(REPORT) and new(self.panels()[1]))
        return self.panels()[1]

    def choose(self, path):
        """Types the file's path into the open file dialog's name field, and Enter."""
        self.wait_for(lambda: self.top("#32770"))
        self.key("ctrl+a")
        self.xdotool("type", "Z:" + str(path).replace("/", "\\"))
        self.key("Return")

    def picture(self, name, whole=False):
        """The main window's picture, or the whole screen's (other windows over it are black in its own)."""
        subprocess.run(["import", "-display", self.wine.env["DISPLAY"], "-window", "root" if whole else self.xid,
                        str(work / name)], check=True)

    def answer(self, keys):
        """Keys to the box beside the window (the stop question), then the focus back to the window."""
        box = next(x for x in self.xdotool("search", "--onlyvisible", "--name", "^KX6000 Download$").split()
                   if x != self.xid)
        self.xdotool("windowfocus", "--sync", box)
        self.key(keys)
        self.xdotool("windowfocus", self.xid)

    def close(self):
        """Alt+F4, as a technician closes it; gives the program's exit status."""
        self.key("alt+F4")
        return self.program.wait(timeout=30)

    def end(self):
        self.reader.stdin.close()
        for process in (self.program, self.reader):
            if process.poll() is None:
                process.kill()
            process.wait()


failures = []


def expect(what, got, wanted):
    if got != wanted:
        failures.append(what)
        print(f"FAIL {what}:\n  got    {got!r}\n  wanted {wanted!r}")


def report(window, radios):
    # type|product|status|box|network|device; the hardware row first.
    wanted = ["Hardware ID|KXA62_HW03|-|-|0|0",
              "Boot Code|ZMA2B_01.00|OK|-|0|0",
              "FPGA Image|ZMA2G_03.02.00.01|OK|box|0|0",
              "Radio Application|ZMA2F_02.01.00.07|OK|box|0|0",
              "Non Standard|KXC62_SITE_NORTH|Checksum invalid|box|0|0",
              "Non Standard|KXD62_CONTROL_HEAD|No code segments|box|1|2"]
    expect("status", window.command("alt+r"), "Configuration successfully read")
    window.picture("report.png")
    expect("table", window.table(), wanted)
    expect("erase enabled", window.enabled(ERASE), False)
    expect("exit status", window.close(), 0)


def erase(window, radios):
    window.command("alt+r")
    row = FRAME[0] + COLUMNS[3], FRAME[1] + FIRST_ROW_TOP + 3 * ROW_STEP, 255, 255  # KXC62_SITE_NORTH's box
    window.click(row)
    window.wait_for(lambda: window.enabled(ERASE), 5)  # by the box
    expect("status", window.command("alt+e"), "Configuration(s) succesfully erased")
    expect("table", [r.split("|")[1] for r in window.table()],
           ["KXA62_HW03", "ZMA2B_01.00", "ZMA2G_03.02.00.01", "ZMA2F_02.01.00.07", "KXD62_CONTROL_HEAD"])
    expect("erase enabled", window.enabled(ERASE), False)
    expect("exit status", window.close(), 0)
    kept = [c["productId"] for c in radios.end()[0]["configurations"]]
    expect("the radio's configurations", kept,
           ["ZMA2B_01.00", "ZMA2G_03.02.00.01", "ZMA2F_02.01.00.07", "KXA62_HW03", "KXD62_CONTROL_HEAD"])


def download(window, radios):
    window.key("alt+d")
    window.choose(DEMO)
    # Progress sampled until the end; Alt+F4 once it has moved asks whether to stop, and Enter says No.
    seen, question = [], False
    while main := next((w for w in window.read(PROGRESS) if w["class"] == "KX6000Download"), None):
        bar, status = (next(c for c in main["controls"] if c["class"] == kind) for kind in PROGRESS)
        seen.append(bar["position"])
        if not question and 0 < bar["position"] < 100:
            # The box found among the top windows only: reading every label while the download runs would hold
            # the window's thread past the radio's time-out.
            window.key("alt+F4")
            question = window.wait_for(lambda: any(w["class"] == STOP_QUESTION for w in window.read(["-"])), 5)
            window.picture("download.png", whole=True)
            window.answer("Return")
        if status["panels"][1].startswith(("Download successful", "Error")):
            break
    print(f"progress seen: {seen}")
    expect("closing asked about during the download", question, True)
    expect("status, the window still there", window.ended(), "Download successful")
    moving = [(a, b) for a, b in zip(seen, seen[1:]) if 0 < a < b < 100]
    expect(f"progress rising between 0 and 100 (seen {seen})", bool(moving), True)
    expect("exit status", window.close(), 0)
    wrong = flash_mismatches(radios.end()[0], DEMO)
    expect("records not in flash (the first of them)", (len(wrong), wrong[:1]), (0, []))


def stop(window, radios):
    # A radio that sends only keep-alive words holds the report until the technician closes the window and
    # answers Yes: the report ends through its closing steps, then the window closes.
    window.key("alt+r")
    window.wait_for(lambda: not window.enabled(REPORT), 5)
    window.key("alt+F4")
    question = window.wait_for(lambda: window.top(STOP_QUESTION), 5)
    window.picture("stop.png", whole=True)
    expect("the question", [question["title"]] + [c["text"] for c in question["controls"]],
           ["KX6000 Download", "", STOP_TEXT, "&Yes", "&No"])
    window.answer("alt+y")
    expect("exit status", window.program.wait(timeout=30), 0)


def end_session(window, radios):
    # A log-off while the download writes the flash is refused, with the reason the system shows; ended anyway,
    # the session waits until the download has stopped through its closing steps: the image's blocks locked
    # again and the configurations read back, as a stop from the window's own close leaves the radio.
    window.key("alt+d")
    window.choose(DEMO)
    bar = lambda: next(c for w in window.read(PROGRESS) if w["class"] == "KX6000Download" for c in w["controls"]
                       if c["class"] == PROGRESS[0])["position"]
    window.wait_for(lambda: 0 < bar() < 100)
    answers = {w["class"]: w for w in window.read(word="end-session")}
    print(f"the session's end, window by window: {answers}")
    expect("the window's answer to log-off", answers.get("KX6000Download", {}).get("query"), 0)
    expect("the session's end waited for by its hold", answers.get(SESSION_HOLD, {}).get("query"), 1)
    expect("the download's end, before the session's", window.panels()[1],
           "Error 15 - Serial port (unspecified error)")
    frames = [event.get("code") for event in map(json.loads, radios.traces[0].read_text().splitlines())
              if event.get("event") == "frame"]
    last = len(frames) - frames[::-1].index("35") if "35" in frames else 0
    expect("what followed the last block written", frames[last:], ["39", "31"])
    logs = [(window.wine.prefix / "drive_c" / name).read_text(errors="replace")
            for name in ("KX6000Download.log", "KX6000Config.log")]
    expect("the stop in the logs", ["stopped by the caller" in logs[0], "After download (stopped)..." in logs[1]],
           [True, True])
    expect("exit status", window.close(), 0)
    wrong = flash_mismatches(radios.end()[0], DEMO)
    expect("some records not in flash", bool(wrong), True)
    # Wine keeps no reason (its ShutdownBlockReasonCreate is a stub): it names the call and its text.
    expect("the reason given to the system", REASON in (work / "end-session.err").read_text(errors="replace"), True)


def help_case(window, radios):
    chm = "Z:" + str(work / "help" / "kx6kd_en.chm").replace("/", "\\")
    calls = work / "help" / "HtmlHelpA.txt"
    # The contents, then the window's topic in front of it: owner class|file|command|context.
    wanted = [f"none|{chm}|1|0", f"KX6000Download|{chm}|15|2368"]
    for how in ("F1", "shift+F1", "ctrl+F1", "alt+F1", "ctrl+shift+F1", "button"):
        calls.unlink(missing_ok=True)
        window.click(HELP) if how == "button" else window.key(how)
        seen = []
        for _ in range(50):
            if len(seen := calls.read_text().splitlines() if calls.exists() else []) >= len(wanted):
                break
            time.sleep(0.1)
        expect(how, seen, wanted)
    expect("exit status", window.close(), 0)


def wait(window, radios):
    window.click(UNPROTECTED)
    window.wait_for(lambda: window.read() and window.control(*UNPROTECTED[:2])["checked"], 5)
    window.key("alt+d")
    window.choose(DEMO)
    box = window.wait_for(lambda: window.top("KX6000Wait"))
    time.sleep(0.3)  # drawn
    window.picture("wait.png", whole=True)
    expect("wait window", [box["title"]] + [c["text"] for c in box["controls"] if c["visible"]],
           ["KX6000 Download", "Please power cycle the radio to continue ...", "&Cancel"])
    window.click(CANCEL, "KX6000Wait")
    expect("status", window.ended(), "Error 21 - Radio did not reset")
    expect("windows left", [w["class"] for w in window.read()], ["KX6000Download"])
    expect("exit status", window.close(), 0)


def port_tips(window, radios):
    # The closed list shows the chosen port's device, the dropped one the device of the item under the mouse;
    # wine maps COM1 to the radio.
    window.read()
    main = window.top("KX6000Download")
    window.hover(main["x"] + px(PORT[0] + PORT[2] // 3), main["y"] + px(PORT[1] + PORT[3] // 2))
    expect("the closed list's tip", window.tip(r"\\.\COM1"), r"\\.\COM1")
    window.picture("port-tip.png", whole=True)
    window.click((PORT[0] + PORT[2] - 120, PORT[1], 120, PORT[3]))  # the arrow
    dropped = window.wait_for(lambda: window.top("ComboLBox"), 5)
    height = window.control(*PORT[:2])["itemHeight"]
    window.hover(dropped["x"] + px(PORT[2] // 3), dropped["y"] + height * 5 // 2)  # the third item
    expect("the dropped list's tip", window.tip(r"\\.\COM3"), r"\\.\COM3")
    window.picture("port-list-tip.png", whole=True)
    window.key("Escape")
    expect("exit status", window.close(), 0)


# name: the case, the radio's scenario, the window's arguments, the Debug value.
CASES = {
    "report": (report, KX6200, ["--radio", "6200"], "False"),
    "erase": (erase, KX6200, ["--radio", "6200"], "False"),
    "download": (download, None, [], "False"),
    "stop": (stop, json.dumps({"faults": {"keepAliveFlood": True}}), [], "False"),
    "help": (help_case, None, [], "False"),
    "end-session": (end_session, None, [], "True"),
    "wait": (wait, json.dumps({"model": 6200, "specialMode": True}), ["--radio", "6200"], "True"),
    "port-tips": (port_tips, None, [], "False"),
}


def start():
    start_on_display(work)
    # The help case's copy of the program, beside the help file and the stand-in viewer that records its calls.
    (work / "help").mkdir()
    for source in (windows_bin / "KX6000Download.exe", windows_bin / "kx6kd_en.chm",
                   windows_bin / "help-stand-in" / "hhctrl.ocx"):
        shutil.copy(source, work / "help")


def check(name):
    case, scenario, args, debug = CASES[name]
    wine = Wine(work, Display(work).name())
    wine("reg", "add", KEY, "/v", "Debug", "/d", debug, "/f")
    wine.map_ports()
    radios = Radios(linux_bin, 1, work, name, scenario=scenario, state=True)
    window = None
    try:
        if name == "help":  # the copy beside the stand-in viewer
            window = Window(wine, args, work / "help",
                            dict(wine.env, WINEDLLOVERRIDES=wine.env["WINEDLLOVERRIDES"] + ";hhctrl.ocx=n"))
        elif name == "end-session":  # with wine's note of the reason given to the system
            with open(work / "end-session.err", "w") as err:
                window = Window(wine, args, env=dict(wine.env, WINEDEBUG="-all,fixme+all"), stderr=err)
        else:
            window = Window(wine, args)
        case(window, radios)
    except (AssertionError, TimeoutError) as error:
        expect("the case ran to its end", str(error), "")
    finally:
        if window:
            window.end()
        radios.end()
    print(f"{'FAIL' if failures else 'ok'} {name}")
    return 1 if failures else 0


def screenshot():
    start()
    try:
        status = check("report")
        shutil.copy(work / "report.png", sys.argv[5])
    finally:
        end_on_display(work)
    return status


dispatch(CASES, start, lambda: end_on_display(work), check, screenshot=screenshot)
