"""What the Windows build's end-to-end tests share: a wine prefix of their own with its server, the COM ports
mapped to simulated radios, the radios themselves, and an X server for the windows."""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent


class Wine:
    """The prefix `work`/wine, whose COM1 and COM2 lead to the links `work`/com1 and `work`/com2. Its server,
    started by start(), serves every program until end(), in whichever process the test runs. `arch` is the
    kind of prefix start() makes: "win64" is 64-bit Windows, whose 32-bit programs run through WoW64."""

    def __init__(self, work, display=None, arch="win32"):
        self.work = Path(work)
        self.prefix = self.work / "wine"
        # A 32-bit prefix unless asked for, whichever wine makes by default.
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
        for name in ["KX6000_ROOT", "KX6000_SETTINGS", "KX6000_LOG_FOLDER", "DISPLAY"] + [
                f"KX6000_PORT{port}" for port in range(1, 5)]:
            self.env.pop(name, None)
        if display:
            self.env["DISPLAY"] = display

    def __call__(self, *args):
        subprocess.run(["wine", *args], env=self.env, cwd=self.work, capture_output=True, check=True)

    def start(self):
        """Makes the prefix, its server serving it (serve()), and maps COM1 and COM2."""
        self.prefix.mkdir(parents=True)
        self.serve()
        # Plain wineboot makes a new prefix too; with -i it leaves a second service manager running beside the
        # first, and COM's RpcSs cannot be started then, so no program can serve COM objects.
        subprocess.run(["wineboot"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        for port in range(1, 3):
            self("reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{port}", "/d", str(self.work / f"com{port}"),
                 "/f")

    def serve(self):
        """The server starts first, in a session of its own that it does not lead: one started by wine would
        hold the pipes of the program that started it, and a session leader would take the first radio's pty
        for its terminal and end when that radio does."""
        subprocess.Popen(["sh", "-c", "wineserver -f -p; :"], env=self.env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        # The server takes connections once its socket is there: a wine program started before would start a
        # server of its own.
        # Debian's wine keeps it in a folder of a random name.
        where = self.prefix.stat()
        server = f"server-{where.st_dev:x}-{where.st_ino:x}/socket"
        for _ in range(200):
            if any(Path("/tmp").glob(f"wine-*/{server}")) or Path(f"/tmp/.wine-{os.getuid()}/{server}").exists():
                break
            time.sleep(0.05)

    def end(self):
        """Ends the server and every program it serves, and waits until it is gone."""
        for option in ("-k", "-w"):
            subprocess.run(["wineserver", option], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

    def map_ports(self):
        """COM1 and COM2 lead to the radios' links; COM3 and COM4 are no ports at all. Wine's mount manager maps
        the ports to /dev/ttyS* when wine starts, and may still be at it when wineboot returns: the links are
        made before each run."""
        for port in range(1, 5):
            dosdevice = self.prefix / "dosdevices" / f"com{port}"
            dosdevice.unlink(missing_ok=True)
            if port <= 2:
                dosdevice.symlink_to(self.work / f"com{port}")


class Radios:
    """Simulated radios for one run, each behind the link its port is mapped to, tracing what they see; with
    a scenario (JSON text) all play it, and with `state` each writes its configurations and flash at its end."""

    def __init__(self, linux_bin, count, folder, name, realtime=False, scenario=None, state=False):
        self.processes, self.traces, self.states = [], [], []
        for port in range(1, count + 1):
            link, trace = folder / f"com{port}", folder / f"{name}-{port}.trace"
            link.unlink(missing_ok=True)
            args = [str(Path(linux_bin) / "kx6000-radio-sim"), "--link", str(link), "--trace", str(trace),
                    "--max-seconds", "120"] + (["--realtime"] if realtime else [])
            if scenario:
                (folder / f"{name}-{port}.json").write_text(scenario)
                args += ["--scenario", str(folder / f"{name}-{port}.json")]
            if state:
                self.states.append(folder / f"{name}-{port}.state")
                args += ["--state-out", str(self.states[-1])]
            self.processes.append(subprocess.Popen(args, stdout=subprocess.DEVNULL))
            self.traces.append(trace)
            for _ in range(100):
                if link.exists():
                    break
                time.sleep(0.05)

    def settle(self):
        """Waits until the radios' traces have been still for 0.3 s (at most 5 s): a reply the program did not
        wait for, such as the last reset's, is traced too."""
        sizes, still, deadline = None, time.monotonic(), time.monotonic() + 5
        while time.monotonic() - still < 0.3 and time.monotonic() < deadline:
            now = [trace.stat().st_size if trace.exists() else 0 for trace in self.traces]
            if now != sizes:
                sizes, still = now, time.monotonic()
            time.sleep(0.05)

    def end(self):
        """Ends the radios at once, or, when they write their state, as asked to, and gives that state."""
        for process in self.processes:
            process.send_signal(signal.SIGTERM if self.states else signal.SIGKILL)
            process.wait()
        return [json.loads(state.read_text()) for state in self.states]

    def bytes_seen(self):
        """What each radio received and sent, in order."""
        seen = []
        for trace in self.traces:
            events = [json.loads(line) for line in trace.read_text().splitlines()]
            seen.append({way: "".join(e["hex"] for e in events if e.get("dir") == way) for way in ("rx", "tx")})
        return seen


class Display:
    """An X server for the windows, kept running between the processes of a test run: its number and process
    are kept in `work`/display.json."""

    def __init__(self, work):
        self.record = Path(work) / "display.json"

    def start(self, size="1024x768x24"):
        # Xvfb names its display on the pipe once it takes connections.
        read, write = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp"],
                                  pass_fds=[write], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write)
        with os.fdopen(read) as named:
            number = named.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.record.write_text(json.dumps({"display": f":{number}", "pid": server.pid}))
        return f":{number}"

    def name(self):
        return json.loads(self.record.read_text())["display"]

    def end(self):
        if self.record.exists():
            try:
                os.kill(json.loads(self.record.read_text())["pid"], signal.SIGTERM)
            except ProcessLookupError:
                pass
            self.record.unlink()


def start_on_display(work, arch="win32"):
    """A new work folder, an X server of its own and a prefix of that arch on it. No window manager runs on the
    display: wine places and focuses its windows itself, and does not wait, two seconds each time, for a manager to
    let go of a window it hides (a radio waiting for a reply would time out meanwhile)."""
    end_on_display(work)  # what an interrupted run left
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    wine = Wine(work, Display(work).start(), arch)
    wine.start()
    wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
    return wine


def end_on_display(work):
    Wine(work).end()
    Display(work).end()


def record(kind, address, data):
    """One S-record line."""
    digits = 6 if kind in ("S2", "S8") else 4
    body = f"{digits // 2 + len(data) // 2 + 1:02X}{address:0{digits}X}{data}"
    return f"{kind}{body}{~sum(bytes.fromhex(body)) & 0xFF:02X}\r\n"


def write_image(path, size):
    """A download file of one table: `size` bytes of random words from word address 0x20000, sixteen words a
    record."""
    data = random.Random(6200).randbytes(size).hex().upper()
    path.write_text(record("S0", 0, b"DISK".hex().upper()) +
                    "".join(record("S2", 0x20000 + offset // 4, data[offset:offset + 64])
                            for offset in range(0, len(data), 64)) + record("S8", 0, ""), newline="")


def flash_mismatches(state, path):
    """The data records of an S-record file that the radio's flash does not hold at their address (in words)."""
    wrong = []
    for line in path.read_text().splitlines():
        if digits := {"S1": 4, "S2": 6, "S3": 8}.get(line[:2]):
            address, data = int(line[4:4 + digits], 16), line[4 + digits:-2].upper()
            held = "".join(block["hex"][(address - block["start"]) * 4:][:len(data)] for block in state["flash"]
                           if block["start"] <= address < block["start"] + len(block["hex"]) // 4)
            if held != data:
                wrong.append(line)
    return wrong


def dispatch(cases, start, end, check, **more):
    """Does what a case script's action argument asks: --list its cases, --start or --end what they share, one
    case by its name (the exit status says whether it held), or one of `more`'s options (names with "--"
    written "_")."""
    what = sys.argv[5] if sys.argv[4] == "win64" else sys.argv[4]  # after the folders and the prefix's kind
    if what == "--list":
        print(";".join(cases))
    elif what == "--start":
        start()
    elif what == "--end":
        end()
    elif what.startswith("--"):
        sys.exit(more[what[2:].replace("-", "_")]())
    else:
        sys.exit(check(what))
