#!/usr/bin/env python3
"""The Debian packages, built from this build tree, unpacked and run.

usage: install_test.py CPACK_CONFIG VERSION HELP_FROM_BINDIR WINDOW(ON|OFF)

Builds the packages with CPack into a temporary folder, checks their fields and that every
file lands where it belongs, unpacks them into a temporary root, verifies the unit with
systemd-analyze (when there is one), then starts the unpacked velgated in a folder of its own
as systemd would: standard input /dev/null, NOTIFY_SOCKET a datagram socket of the test's,
WATCHDOG_USEC set, its control socket in the test's folder. It must tell READY=1, send
WATCHDOG=1, serve a user and answer the unpacked velgatectl; the unit's ExecReload, run as
systemctl reload runs it, must reload the settings and leave it serving; after SIGTERM it must
tell STOPPING=1 and end with status 0, and velgatectl must then say it cannot reach it. A
velgated built without systemd notification does all the same; then the notification checks
are skipped (exit 77).
"""

import gzip
import os
import random
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
faults = []


def check(condition, fault):
    if not condition:
        faults.append(fault)
    return condition


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


def build_packages(config, out):
    started = time.monotonic()
    result = subprocess.run(["cpack", "--config", config, "-B", out],
                            capture_output=True, text=True, check=False)
    if result.returncode != 0:
        print(result.stdout, result.stderr)
        sys.exit("cpack failed")
    print(f"packages built in {time.monotonic() - started:.1f} s")
    return {run("dpkg-deb", "-f", os.path.join(out, name), "Package").strip():
            os.path.join(out, name) for name in os.listdir(out) if name.endswith(".deb")}


def check_fields(deb, version):
    fields = {key: run("dpkg-deb", "-f", deb, key).strip()
              for key in ("Version", "Section", "Maintainer", "Description", "Depends")}
    check(fields["Version"] == version, f"{deb}: Version {fields['Version']}, not {version}")
    check(fields["Section"] == "hamradio", f"{deb}: Section {fields['Section']}")
    check(re.search(r"<[^@>]+@[^>]+>", fields["Maintainer"]), f"{deb}: no maintainer address")
    check(len(fields["Description"].splitlines()) > 1, f"{deb}: no long description")
    check("libc6" in fields["Depends"], f"{deb}: Depends lacks the C library: {fields['Depends']}")
    return fields["Depends"]


def check_files(root, deb, expected):
    listed = {line.split()[-1].lstrip(".") for line in run("dpkg-deb", "-c", deb).splitlines()}
    files = {path for path in listed if not path.endswith("/")}
    check(files == set(expected), f"{deb}: holds {sorted(files)}, expected {sorted(expected)}")
    for path in expected:
        check(os.path.isfile(root + path), f"{path} not unpacked")
    for program in (p for p in expected if "/bin/" in p):
        check(os.access(root + program, os.X_OK), f"{program} is not executable")


def read_unit(root):
    with open(root + "/usr/lib/systemd/system/velgated.service", encoding="utf-8") as file:
        return file.read()


def check_unit(root):
    text = read_unit(root)
    start = "ExecStart=/usr/bin/velgated --dir /var/lib/velgate --control /run/velgate/control"
    for line in ("Type=notify", start, "ExecReload=/bin/kill -HUP $MAINPID",
                 "StateDirectory=velgate", "RuntimeDirectory=velgate", "StandardInput=null",
                 "WatchdogSec=30"):
        check(re.search(rf"^{re.escape(line)}$", text, re.M), f"the unit lacks {line}")
    if not shutil.which("systemd-analyze"):
        print("no systemd-analyze here: the unit is not verified")
        return
    # Verified as installed, but started from the unpacked root (the only line changed).
    copy = os.path.join(os.path.dirname(root), "verify", "velgated.service")
    os.makedirs(os.path.dirname(copy))
    with open(copy, "w", encoding="utf-8") as file:
        file.write(text.replace("/usr/bin/velgated", root + "/usr/bin/velgated"))
    result = subprocess.run(["systemd-analyze", "verify", "--man=no", copy],
                            capture_output=True, text=True, check=False)
    said = [line for line in (result.stdout + result.stderr).splitlines() if "velgated" in line]
    check(not said, "systemd-analyze verify: " + "\n".join(said))


def free_port(taken):
    """A port below 32768 (the cluster port is a 16-bit signed number) that nothing holds."""
    while True:
        port = random.randrange(20000, 32768)
        if port in taken:
            continue
        with socket.socket() as probe:
            try:
                probe.bind(("0.0.0.0", port))
                taken.add(port)
                return port
            except OSError:
                continue


def notifies(program):
    """Whether the program tells systemd anything: linked to libsystemd's sd_notify, or
    speaking to NOTIFY_SOCKET itself."""
    symbols = run("nm", "-D", program) if shutil.which("nm") else ""
    libraries = run("ldd", program)
    with open(program, "rb") as file:
        own = b"NOTIFY_SOCKET" in file.read()
    linked = re.search(r"\bsd_(pid_)?notifyf?\b", symbols) and "libsystemd" in libraries
    return bool(linked or own), "libsystemd" in libraries


class Notifications:
    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(path)
        self.received = []

    def wait_for(self, word, seconds):
        deadline = time.monotonic() + seconds
        while not any(word in message.split("\n") for message in self.received):
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            self.socket.settimeout(left)
            try:
                self.received.append(self.socket.recv(4096).decode(errors="replace"))
            except socket.timeout:
                return False
        return True


def reload_command(root, pid):
    """The unit's ExecReload= as systemd runs it for systemctl reload: $MAINPID the daemon's."""
    found = re.search(r"^ExecReload=(.*)$", read_unit(root), re.M)
    if not check(found, "the unit has no ExecReload="):
        return None
    line = found.group(1).strip().lstrip("-@:+!")  # systemd's prefixes, none of them ours
    return shlex.split(line.replace("${MAINPID}", str(pid)).replace("$MAINPID", str(pid)))


class StandardError:
    """The daemon's standard error, read as it comes, so that a line can be waited for."""

    def __init__(self, stream):
        self.lines = []
        self.changed = threading.Condition()
        self.reader = threading.Thread(target=self.read, args=(stream,), daemon=True)
        self.reader.start()

    def read(self, stream):
        for raw in stream:
            with self.changed:
                self.lines.append(raw.decode(errors="replace").rstrip("\n"))
                self.changed.notify_all()

    def wait_for(self, pattern, seconds):
        with self.changed:
            found = self.changed.wait_for(
                lambda: any(re.search(pattern, line) for line in self.lines), seconds)
        return found

    def text(self):
        self.reader.join(timeout=5)
        with self.changed:
            return "\n".join(self.lines)


def run_briefly(command, seconds):
    """A command's outcome; one that does not end in time is a failure, not the test's end."""
    try:
        return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=seconds, check=False)
    except subprocess.TimeoutExpired:
        return subprocess.CompletedProcess(command, -1, "", f"did not end within {seconds} s")


def velgatectl(root, control, *command):
    # Longer than velgatectl's own 30 s wait for an answer.
    return run_briefly([root + "/usr/bin/velgatectl", "--control", control, *command], 40)


def check_control(root, control):
    """The unpacked velgatectl asks the running gateway."""
    asked = velgatectl(root, control, "status")
    check(asked.returncode == 0, f"velgatectl status ended with {asked.returncode}: "
          f"{asked.stderr.strip()}")
    check(any(line.startswith("version: ") for line in asked.stdout.splitlines()),
          f"velgatectl status printed no version line: {asked.stdout!r}")


def check_reload(root, daemon, errors, ports, folder):
    """systemctl reload, as the unit says it: the gateway reads Velgate.cfg again and serves on."""
    with open(os.path.join(folder, "Velgate.cfg"), "a", encoding="latin-1", newline="") as cfg:
        cfg.write('"Locked Out","192.0.2."\r\n')
    command = reload_command(root, daemon.pid)
    if not command:
        return
    reloaded = run_briefly(command, 20)
    check(reloaded.returncode == 0,
          f"ExecReload {command} ended with {reloaded.returncode}: {reloaded.stderr.strip()}")
    check(errors.wait_for(r"^<\d>settings reloaded changed=LockOuts ", 10),
          "no settings reloaded line taking the new lock-out within 10 s of ExecReload")
    check(daemon.poll() is None, f"velgated ended after ExecReload, status {daemon.returncode}")
    check(greeted(ports["user"], 20), "no greeting on the user port after ExecReload")


def greeted(port, seconds):
    """Whether a user on the port hears the gateway (the cluster is offline: it says so)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as user:
                heard = b""
                while b"Cluster is offline" not in heard and time.monotonic() < deadline:
                    chunk = user.recv(4096)
                    if not chunk:
                        break
                    heard += chunk
                return b"Cluster is offline" in heard
        except OSError:
            time.sleep(0.05)  # not listening yet: ask again
    return False


def run_daemon(root, work, with_notify):
    folder = os.path.join(work, "state")
    control = os.path.join(work, "control")
    os.makedirs(folder)
    taken = set()
    ports = {name: free_port(taken) for name in ("user", "cluster", "monitor")}
    with open(os.path.join(folder, "Velgate.cfg"), "w", encoding="latin-1", newline="") as cfg:
        cfg.write(f'"AGWenabled",0\r\n"ClusterPort",{ports["cluster"]}\r\n'
                  f'"UserPort","{ports["user"]}"\r\n"MonitorPort","{ports["monitor"]}"\r\n'
                  '"ClusterAllow","127.0.0.1"\r\n"MonitorAllow","127.0.0.1"\r\n')
    notifications = Notifications(os.path.join(work, "notify"))
    environment = dict(os.environ, NOTIFY_SOCKET=os.path.join(work, "notify"),
                       WATCHDOG_USEC="2000000")
    # As systemd does: WATCHDOG_PID is the daemon's own (the shell's, which it replaces).
    daemon = subprocess.Popen(
        ["sh", "-c", 'WATCHDOG_PID=$$ exec "$0" "$@"', root + "/usr/bin/velgated", "--dir", folder,
         "--control", control],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
        env=environment)
    errors = StandardError(daemon.stderr)
    try:
        if with_notify:
            check(notifications.wait_for("READY=1", 20), "no READY=1 within 20 s")
        check(greeted(ports["user"], 20), f"no greeting on the user port {ports['user']}")
        if with_notify:
            check(notifications.wait_for("WATCHDOG=1", 10),
                  "no WATCHDOG=1 within 10 s with WATCHDOG_USEC=2000000")
        check_control(root, control)
        check_reload(root, daemon, errors, ports, folder)
        daemon.send_signal(signal.SIGTERM)
        if with_notify:
            check(notifications.wait_for("STOPPING=1", 20), "no STOPPING=1 within 20 s of SIGTERM")
        daemon.wait(timeout=20)
    except subprocess.TimeoutExpired:
        daemon.kill()
        daemon.wait()
        faults.append("velgated did not end within 20 s of SIGTERM")
    check(daemon.returncode == 0, f"velgated ended with status {daemon.returncode}")
    gone = velgatectl(root, control, "status")
    said = gone.stderr.strip()
    check(gone.returncode == 2 and control in said and "\n" not in said,
          f"velgatectl with the gateway gone: status {gone.returncode}, {said!r}")
    if faults:
        print("velgated's standard error:\n" + errors.text())
    print("notifications:", [m.replace("\n", " ") for m in notifications.received])


def main():
    config, version, help_from_bindir, window = sys.argv[1:5]
    work = tempfile.mkdtemp(prefix="velgate-install-")
    try:
        packages = build_packages(config, os.path.join(work, "packages"))
        root = os.path.join(work, "root")
        wanted = ["velgated", "velgate-monitor"] + (["velgate"] if window == "ON" else [])
        if not check(sorted(packages) == sorted(wanted), f"packages {sorted(packages)}, "
                     f"expected {sorted(wanted)}"):
            return finish()
        for deb in packages.values():
            run("dpkg-deb", "-x", deb, root)

        daemon_depends = check_fields(packages["velgated"], version)
        check(not re.search(r"qt", daemon_depends, re.I),
              f"velgated depends on Qt: {daemon_depends}")
        help_dir = "/usr/share/doc/velgate/help"
        check_files(root, packages["velgated"], [
            "/usr/bin/velgated", "/usr/bin/velgatectl", "/usr/lib/systemd/system/velgated.service",
            "/usr/share/man/man8/velgated.8.gz", "/usr/share/man/man8/velgatectl.8.gz",
            "/usr/share/bash-completion/completions/velgatectl",
            f"{help_dir}/configuration.html", f"{help_dir}/lockouts.html"])
        monitor_depends = check_fields(packages["velgate-monitor"], version)
        check(re.search(r"libncurses|libtinfo", monitor_depends)
              and not re.search(r"qt|systemd|velgated", monitor_depends, re.I),
              f"velgate-monitor depends on {monitor_depends}")
        check_files(root, packages["velgate-monitor"], [
            "/usr/bin/velgate-monitor", "/usr/share/man/man1/velgate-monitor.1.gz"])
        shown = run_briefly([root + "/usr/bin/velgate-monitor", "--version"], 10)
        check(shown.returncode == 0 and shown.stdout == f"velgate-monitor {version}\n",
              f"velgate-monitor --version: {shown.returncode} {shown.stdout!r}")
        if window == "ON":
            depends = check_fields(packages["velgate"], version)
            check(re.search(r"libqt6widgets6", depends), f"velgate lacks Qt in {depends}")
            check(re.search(rf"velgated \(= {re.escape(version)}\)", depends),
                  f"velgate does not depend on this velgated: {depends}")
            check_files(root, packages["velgate"], [
                "/usr/bin/velgate", "/usr/share/man/man1/velgate.1.gz",
                "/usr/share/applications/velgate.desktop",
                "/usr/share/icons/hicolor/scalable/apps/velgate.svg"])
        # The window program looks for its help pages there, from its own folder.
        found = os.path.normpath(os.path.join(root + "/usr/bin", help_from_bindir))
        check(found == os.path.normpath(root + help_dir),
              f"the program looks for help in {found}, installed in {help_dir}")
        for name in ("velgated", "velgatectl"):
            page = root + f"/usr/share/man/man8/{name}.8.gz"
            if os.path.isfile(page):
                with gzip.open(page, "rt") as text:
                    check(text.read().startswith(".\\\""), f"{name}.8.gz is not the manual page")
        completion = root + "/usr/share/bash-completion/completions/velgatectl"
        if os.path.isfile(completion):
            with open(completion, encoding="utf-8") as text:
                check(re.search(r"^\s*complete -F \S+ velgatectl$", text.read(), re.M),
                      "the bash completion does not complete velgatectl")
        check_unit(root)

        program = root + "/usr/bin/velgated"
        with_notify, linked = notifies(program)
        if linked:
            check("libsystemd0" in daemon_depends,
                  "velgated links libsystemd, but its package does not depend on libsystemd0")
        run_daemon(root, work, with_notify)
        if not with_notify and not faults:
            print("SKIP: the installed velgated served and stopped, but it has no sd_notify "
                  "(nm -D) and does not link libsystemd (ldd): READY=1, WATCHDOG=1 and "
                  "STOPPING=1 not checked")
            return SKIP
        return finish()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def finish():
    for fault in faults:
        print("FAULT:", fault)
    print(f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
