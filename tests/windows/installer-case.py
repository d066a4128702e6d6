#!/usr/bin/env python3
"""The Windows installer as a technician's machine gets it, in a wine prefix of its own: a silent install,
the files, Start-menu entries and registration it makes, the signatures and version resources of the installer
and the programs, the VBScript example against the installed server and the simulated radio on COM1, a new
installation and an uninstall refused while a caller holds the server, then a silent uninstall that leaves the
install folder, the Start menu and the registry as they were before.

Usage: installer-case.py PACKAGE_FOLDER LINUX_BIN WORK_FOLDER VERSION WINDOWS_BIN
       installer-case.py --package PACKAGE_FOLDER CPACK CPACK_CONFIG   (makes the installer, signed)
"""
import json
import os
import subprocess
import shutil
import sys
import time
from pathlib import Path

from wineenv import HERE, Radios, Wine

if sys.argv[1] == "--package":
    # A throw-away certificate, as a maintainer's own would be given to `make package-windows`.
    package_folder, cpack, config = Path(sys.argv[2]).resolve(), sys.argv[3], sys.argv[4]
    signing = package_folder / "signing"
    shutil.rmtree(package_folder, ignore_errors=True)
    signing.mkdir(parents=True)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=KX6000 Download test signing", "-keyout", signing / "key.pem", "-out",
                    signing / "cert.pem"], check=True, capture_output=True)
    sys.exit(subprocess.run([cpack, "--config", config, "-B", package_folder],
                            env=dict(os.environ, KX6000_SIGN_CERT=str(signing / "cert.pem"),
                                     KX6000_SIGN_KEY=str(signing / "key.pem"))).returncode)

package_folder, linux_bin, work, windows_bin = (Path(p).resolve() for p in sys.argv[1:4] + sys.argv[5:6])
version = sys.argv[4]
EXAMPLES = HERE.parents[1] / "examples" / "windows"
PROGID = r"HKEY_LOCAL_MACHINE\Software\Classes\KX6000Download.clsDLManager"
UNINSTALL_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\KX6000 Download"
# Each Start-menu entry and the file it opens.
MENU = {"KX6000 Download.lnk": "KX6000Download.exe", "KX6000 Download Help.lnk": "kx6kd_en.chm",
        "Uninstall.lnk": "Uninstall.exe"}

# A radio with a configuration whose status is above 32767, which report.vbs lists as any other.
RADIO = json.dumps({"configurations": [{"productId": "ZMA1B_01.00", "address": "0x100", "status": 0},
                                       {"productId": "KXC61_SITE", "address": "0x20000", "status": 0xAFAF}]})
# A caller that holds the server until C:\release exists.
HOLD = r"""Set m = CreateObject("KX6000Download.clsDLManager")
Set files = CreateObject("Scripting.FileSystemObject")
Do Until files.FileExists("C:\release")
  WScript.Sleep 100
Loop
"""

failures = []


def expect(what, ok, detail=""):
    if not ok:
        failures.append(f"{what}: {detail}" if detail else what)
    return ok


def run(wine, *args):
    """Runs a program to its end: its exit status and what it printed. The output goes through a file, since
    what COM starts for a program (wine's RPC service) keeps the program's handles open after its end."""
    with open(work / "output", "w+b") as output:
        try:
            status = subprocess.run(["wine", *args], env=wine.env, cwd=work, stdout=output, stderr=output,
                                    stdin=subprocess.DEVNULL, timeout=60).returncode
        except subprocess.TimeoutExpired:
            status = "no end within 60 s"
        output.seek(0)
        return status, output.read().decode(errors="replace")


def registry(wine, name):
    """The machine's and the user's software keys, as {key: its value lines}."""
    keys = {}
    for root in ("HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Software"):
        export = work / f"{name}.reg"
        status, text = run(wine, "regedit", "/E", str(export), root)
        if status:
            raise RuntimeError(f"regedit /E {root}: {status} {text}")
        key = None
        for line in export.read_text(encoding="utf-16").splitlines():
            if line.startswith("[") and line.endswith("]"):
                key = line[1:-1]
                keys[key] = []
            elif key and line:
                keys[key].append(line)
    return keys


def value(keys, key, name):
    """A text value of an exported key ("@" for its default), unescaped; None when it has none."""
    start = "@=" if name == "@" else f'"{name}"='
    for line in next((lines for k, lines in keys.items() if k.lower() == key.lower()), []):
        if line.startswith(start + '"'):
            return line[len(start) + 1:-1].replace('\\"', '"').replace("\\\\", "\\")
    return None


def differences(before, after):
    # Wine keeps the display's colours and metrics here for as long as its server runs.
    before, after = ({k: v for k, v in keys.items() if "\\Temporary System Parameters\\" not in k}
                     for keys in (before, after))
    return [f"- {k}" for k in before if k not in after] + [f"+ {k} {after[k]}" for k in after if k not in before] + [
        f"~ {k} {before[k]} -> {after[k]}" for k in before if k in after and before[k] != after[k]]


def windows_path(path, drive_c):
    return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")


def named(wine, text):
    """Whether a program of this prefix has `text` in its command line."""
    marker, prefix = text.lower().encode(), f"WINEPREFIX={wine.prefix}".encode()
    for process in Path("/proc").glob("[0-9]*"):
        try:
            if prefix in (process / "environ").read_bytes().split(b"\0") and marker in (
                    process / "cmdline").read_bytes().lower():
                return True
        except OSError:
            pass
    return False


def within(seconds, condition):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.2)
    return True


def signed(path):
    """Whether osslsigncode verifies the file's signature against the test's certificate."""
    checked = subprocess.run(["osslsigncode", "verify", "-CAfile", package_folder / "signing" / "cert.pem",
                              "-in", path], capture_output=True, text=True)
    return expect(f"{path.name} signed", checked.returncode == 0, checked.stdout[-300:] + checked.stderr[-300:])


def versions(wine, *paths):
    """The version resources of the files as the system's version calls read them, one dictionary each."""
    _, shown = run(wine, str(windows_bin / "version-reader.exe"), *map(str, paths))
    return [dict(field.split("=", 1) for field in line.split("\t") if field) for line in shown.splitlines()]


def main():
    package = package_folder / f"KX6000Download-{version}-win32.exe"
    if not package.exists():
        return f"no {package.name} in {package_folder}"
    signed(package)
    Wine(work).end()  # what an interrupted run left
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    wine = Wine(work)
    # Shortcuts made under wine would also become menu entries of this Linux desktop.
    wine.env["WINEDLLOVERRIDES"] += ";winemenubuilder.exe=d"
    radios = None
    try:
        wine.start()
        # COM's first activation in the server that made the prefix never completes under wine 8; a server
        # started anew serves it.
        wine.end()
        wine.serve()
        drive_c = wine.prefix / "drive_c"
        # The 32-bit programs go where a 32-bit program's Program Files is: "Program Files (x86)" on 64-bit
        # Windows; a 32-bit prefix, which is all wine32 makes, has only "Program Files".
        programs = drive_c / "Program Files (x86)"
        folder = (programs if programs.exists() else drive_c / "Program Files") / "KX6000 Download"
        installed = windows_path(folder, drive_c)
        menu = drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "KX6000 Download"
        # Wine registers its script host's types at cscript's first run: that is done before the registry is
        # taken, so only the installer's and the server's keys make a difference.
        (drive_c / "nothing.vbs").write_text("WScript.Quit 0\n")
        run(wine, "cscript", "//nologo", r"C:\nothing.vbs")
        before = registry(wine, "before")

        examples = sorted(str(p.relative_to(EXAMPLES)) for p in EXAMPLES.rglob("*") if p.is_file())
        status, _ = run(wine, str(package), "/S")
        expect("the installer's exit status", status == 0, str(status))
        files = sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())
        wanted = sorted(["KX6000Download.exe", "kx6000-download.exe", "kx6kd_en.chm", "Uninstall.exe"] +
                        [f"examples/{name}" for name in examples])
        expect("the installed files", files == wanted, f"{files}, not {wanted}")
        entries = sorted(p.name for p in menu.glob("*")) if menu.exists() else []
        expect("the Start-menu entries", entries == sorted(MENU), f"{entries} in {menu}")
        for entry, target in MENU.items():
            link = (menu / entry).read_bytes() if (menu / entry).exists() else b""
            expect(f"{entry} opens {target}", target.encode() in link or target.encode("utf-16-le") in link)
        _, shown = run(wine, str(folder / "kx6000-download.exe"), "--version")
        major, minor, revision = (int(n) for n in version.split("."))
        expect("the installed command line's version", shown.strip() == f"{major}.{minor:02}.{revision:02}", shown)
        for program in ("KX6000Download.exe", "kx6000-download.exe", "Uninstall.exe"):
            signed(folder / program)
        common = {"fixed": f"{version}.0", "ProductName": "KX6000 Download",
                  "CompanyName": "KX6000 Download maintainers", "FileVersion": version, "ProductVersion": version}
        wanted = [dict(common, FileDescription=description) for description in (
            "KX6000 Download window and automation server", "KX6000 Download command line",
            f"KX6000 Download {version} installer")]
        got = versions(wine, folder / "KX6000Download.exe", folder / "kx6000-download.exe", package)
        expect("the version resources", got == wanted, f"{got}, not {wanted}")
        keys = registry(wine, "installed")
        uninstaller = windows_path(folder / "Uninstall.exe", drive_c)
        expect("the uninstall entry", value(keys, UNINSTALL_KEY, "UninstallString") == f'"{uninstaller}"',
               keys.get(UNINSTALL_KEY))
        clsid = value(keys, PROGID + "\\CLSID", "@")
        command = value(keys, f"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{clsid}\\LocalServer32", "@")
        expect("the server registered from the install folder",
               windows_path(folder / "KX6000Download.exe", drive_c) in (command or ""), f"{clsid}: {command}")
        wine.map_ports()
        radios = Radios(linux_bin, 1, work, "report", scenario=RADIO)
        status, shown = run(wine, "cscript", "//nologo", windows_path(folder / "examples" / "report.vbs", drive_c))
        print(f"report.vbs (exit status {status}):\n{shown}")
        expect("report.vbs's exit status", status == 0, str(status))
        expect("report.vbs's list", shown.splitlines() == ["ZMA1B_01.00\tOK", "KXC61_SITE\tStatus 44975"], shown)
        expect("report.vbs talked to the radio on COM1", radios.bytes_seen()[0]["rx"] != "")
        expect("the server's end after its object's release", within(10, lambda: not named(wine, installed)))

        # While a caller holds the server, neither a new installation nor the uninstaller takes it away: run
        # silently, as the installer runs the old version's (in place, so that its status is its own), each ends
        # non-zero with every file and key as it was.
        (drive_c / "hold.vbs").write_text(HOLD)
        holder = subprocess.Popen(["wine", "cscript", "//nologo", r"C:\hold.vbs"], env=wine.env, cwd=work,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if expect("the server started for a holding caller", within(20, lambda: named(wine, installed))):
            status, _ = run(wine, str(package), "/S")
            expect("a new installation's status with the server running", status == 2, str(status))
            # "_?=" takes the rest of the command line as it is, spaces and all: no quotes.
            status, _ = run(wine, str(folder / "Uninstall.exe"), "/S", *f"_?={installed}".split(" "))
            expect("the uninstaller's status with the server running", status == 2, str(status))
            kept = sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())
            expect("the files kept", kept == files, str(kept))
            changed = differences(keys, registry(wine, "refused"))
            expect("the registration kept", not changed, "\n  ".join([""] + changed))
        (drive_c / "release").write_text("")
        expect("the holding caller's end", holder.wait(timeout=30) == 0)
        expect("the server's end after its caller's", within(10, lambda: not named(wine, installed)))

        # The uninstaller runs from a copy in the temporary folder, given the install folder, and the
        # command returns at once: it has ended when the folder is gone and no program names it.
        run(wine, str(folder / "Uninstall.exe"), "/S")
        expect("the uninstaller's end", within(30, lambda: not folder.exists() and not named(wine, installed)))
        expect("the install folder removed", not folder.exists(),
               str([str(p) for p in folder.rglob("*")]) if folder.exists() else "")
        expect("the Start-menu entries removed", not menu.exists())
        changed = differences(before, registry(wine, "after"))
        expect("the registry as before the install", not changed, "\n  ".join([""] + changed))
    finally:
        if radios:
            radios.end()
        wine.end()
    return "\n".join(failures) or None


sys.exit(main())
