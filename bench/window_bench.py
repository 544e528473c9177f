"""What the administration window costs the FTP service, in one run:

- attached: one tarvona-server; rounds without a window alternate with rounds while the
  window (offscreen) is attached to it through the control socket, polling the session
  list and following the log;
- inside: tarvona-server against the window binary with the server inside (`tarvona
  --local`), two servers side by side, alternating.

Each round measures the 4 KiB small-files rate (bench_small_files: sequential RETRs in
one session) and a download (curl, a sparse file); rounds go without, with, with,
without, ... and the rows compare the medians and the neighbouring rounds. The servers
and the window run on CPU 0, the clients on CPU 1, so the window's work weighs on the
server's CPU.

Then the window alone under a log flood: 8 clients whose NOOPs make 1000 log lines per
second, while a probe connects every 100 ms and times the greeting (each greeting waits
until the window's main thread has handled the session's WM_SESSION_OPENED, so it
measures how soon the window's event loop answers a posted event), and the window's
resident memory is sampled every second.

Standard library plus the curl command.
Usage: window_bench.py BUILD_DIR [--runs N] [--quick]

--quick: one round a side of 200 files and a 16 MiB download and a 2 s flood, a check
that the script runs rather than a figure."""
import ftplib
import os
import signal
import socket
import statistics
import subprocess
import sys
import threading
import time

import benchlib
from ftp_server_env import SANITIZER_MARKS, FtpServerEnv, wait_for_port

LINES_PER_SECOND = 1000
CLIENTS = 8


def window_process(build_dir, prog, stderr_path, *args):
    """The window binary, offscreen, on the program directory `prog`."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    with open(stderr_path, "ab") as err:
        return subprocess.Popen([os.path.join(build_dir, "app", "tarvona"), "--dir", prog, *args],
                                stdout=subprocess.DEVNULL, stderr=err, env=env)


def stop_window(proc, stderr_path):
    """SIGTERM ends the window with status 0; anything else, or a sanitizer's report, is
    a fault the run must not hide."""
    proc.send_signal(signal.SIGTERM)
    try:
        status = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise RuntimeError("the window did not end within 20 s of SIGTERM")
    with open(stderr_path, "rb") as f:
        text = f.read().decode(errors="replace")
    reports = [line for line in text.splitlines() if any(m in line for m in SANITIZER_MARKS)]
    if status != 0 or reports:
        print(text[-4000:])
        raise RuntimeError("the window ended with status %d %s" % (status, " | ".join(reports[:3])))


def wait_until(condition, seconds):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def control_socket_peers(sock_path):
    """Open connections to the control socket: /proc/net/unix names the path on the
    listening socket and on every connection it accepted."""
    with open("/proc/net/unix") as f:
        return sum(1 for line in f if line.rstrip("\n").endswith(" " + sock_path)) - 1


class AttachedWindow:
    """The window attached to `env`'s running server while `with` lasts (its own server
    stays down); on CPU 0 with the server when `pinned`."""

    def __init__(self, env, pinned, settle):
        self.env, self.pinned, self.settle = env, pinned, settle
        self.stderr_path = os.path.join(env.root, "window-stderr.log")

    def __enter__(self):
        sock_path = self.env.prog + "tarvona.sock"
        # The control socket listening, and an earlier window's connections closed: a
        # window started before it listens runs a server of its own, and an old
        # connection would pass for this window's.
        if not wait_until(lambda: control_socket_peers(sock_path) == 0, 10):
            raise RuntimeError("the control socket does not listen, or keeps connections")
        self.proc = window_process(self.env.build_dir, self.env.prog, self.stderr_path)
        # Attached once it holds a connection (the log it follows); then `settle`
        # seconds for its first page and polls.
        if not wait_until(lambda: control_socket_peers(sock_path) >= 1
                          or self.proc.poll() is not None, 30) or self.proc.poll() is not None:
            stop_window(self.proc, self.stderr_path)
            raise RuntimeError("the window did not attach to tarvona-server")
        if self.pinned:
            benchlib.pin_threads(self.proc.pid, 0)
        time.sleep(self.settle)
        return self

    def __exit__(self, *exception):
        stop_window(self.proc, self.stderr_path)


class WindowEnv(FtpServerEnv):
    """The same program directory and account, served by the window binary."""

    def start(self):
        with open(os.path.join(self.prog, "option.ini"), "w") as f:
            f.write("[Server]\nport=%d\nmaxusers=200\nAutoActive=1\n" % self.port)
        self.stderr_path = os.path.join(self.root, "window-stderr.log")
        self.proc = window_process(self.build_dir, self.prog, self.stderr_path, "--local")
        if not wait_for_port(self.port, 30):
            raise RuntimeError("tarvona did not start")
        return self

    def stop(self):
        if self.proc is not None:
            proc, self.proc = self.proc, None
            stop_window(proc, self.stderr_path)


def fill(env, sizes):
    benchlib.sparse_file(env.path("big.bin"), sizes.big)
    benchlib.fill_small(env.home, sizes.small_files)


def measure(env, client, sizes):
    """(4 KiB files/s, MiB/s of the download) of one round against `env`."""
    return (benchlib.small_files_rate(client, env.port, env.user, env.password,
                                      sizes.small_files),
            benchlib.download_rate(env.url("big.bin"), sizes.big))


def comparison(title, without, loaded, quiet, busy, sizes):
    print(title)
    benchlib.comparison_header(without, loaded)
    benchlib.comparison_row("%d × 4 KiB files/s" % sizes.small_files,
                            [r[0] for r in quiet], [r[0] for r in busy])
    benchlib.comparison_row("%s download, MiB/s" % sizes.big_label(),
                            [r[1] for r in quiet], [r[1] for r in busy])


def attached_rounds(build_dir, client, sizes, runs):
    with FtpServerEnv(build_dir) as env:
        # The port in option.ini: were the window not to attach, its own server would
        # fail on the taken port rather than open the default one.
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nport=%d\nmaxusers=200\n" % env.port)
        fill(env, sizes)
        env.start(port_argument=False)
        pinned = benchlib.pin(env.proc.pid)
        measure(env, client, sizes)  # warm the page cache

        def attached():
            with AttachedWindow(env, pinned, 0.3 if sizes.quick else 2.0):
                return measure(env, client, sizes)

        quiet, busy = benchlib.alternate(runs, lambda: measure(env, client, sizes), attached)
    comparison("window attached to tarvona-server:", "tarvona-server alone",
               "window attached", quiet, busy, sizes)


def inside_rounds(server_env, window_env, client, sizes, runs):
    for env in (server_env, window_env):
        measure(env, client, sizes)  # warm the page cache
    quiet, busy = benchlib.alternate(runs, lambda: measure(server_env, client, sizes),
                                     lambda: measure(window_env, client, sizes))
    comparison("window with the server inside against tarvona-server:", "tarvona-server",
               "tarvona (window)", quiet, busy, sizes)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def flood(env, seconds):
    """Each NOOP is logged twice (the command and the reply)."""
    stop = time.monotonic() + seconds
    period = CLIENTS * 2.0 / LINES_PER_SECOND

    def client():
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", env.port, timeout=30)
        ftp.login(env.user, env.password)
        due = time.monotonic()
        while due < stop:
            ftp.voidcmd("NOOP")
            due += period
            time.sleep(max(0.0, due - time.monotonic()))
        ftp.quit()

    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    for t in threads:
        t.start()
    return threads


def greeting_latencies(port, seconds):
    latencies = []
    stop = time.monotonic() + seconds
    while time.monotonic() < stop:
        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.settimeout(10)
            s.makefile("rb").readline()
            latencies.append((time.monotonic() - start) * 1000)
            s.sendall(b"QUIT\r\n")
        time.sleep(0.1)
    return latencies


def log_flood(window_env, seconds):
    memory = []
    sampling = threading.Event()

    def sample():
        while not sampling.is_set():
            memory.append(resident_kib(window_env.proc.pid))
            sampling.wait(1)

    sampler = threading.Thread(target=sample)
    sampler.start()
    clients = flood(window_env, seconds)
    latencies = greeting_latencies(window_env.port, seconds)
    for t in clients:
        t.join()
    sampling.set()
    sampler.join()
    latencies.sort()
    p99 = latencies[max(0, int(len(latencies) * 0.99) - 1)]
    print("log flood on the window, %d clients, %d lines/s for %d s:"
          % (CLIENTS, LINES_PER_SECOND, seconds))
    print("| measurement | result | goal |")
    print("|---|---|---|")
    print("| greeting, %d probes | median %.1f ms, p99 %.1f ms, max %.1f ms | p99 <= 50 ms |"
          % (len(latencies), statistics.median(latencies), p99, latencies[-1]))
    third = max(1, len(memory) // 3) if len(memory) > 1 else 0
    print("| window VmRSS, KiB | start %d, after a third %d, end %d, peak %d | bounded |"
          % (memory[0], memory[third], memory[-1], max(memory)))


def window_configured(build_dir):
    """False where the build leaves the window out (TARVONA_UI=OFF)."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt")) as f:
            return "TARVONA_UI:BOOL=ON" in f.read()
    except OSError:
        return True


def main():
    build_dir = os.path.abspath(sys.argv[1])
    sizes = benchlib.Sizes(benchlib.quick_requested())
    runs = benchlib.runs_argument(sys.argv, 5)
    client = benchlib.compiled_client(build_dir, "bench_small_files")
    window = os.path.join(build_dir, "app", "tarvona")
    if sizes.quick and not window_configured(build_dir):
        benchlib.skip("window_bench.py", "this build has no window: TARVONA_UI=OFF")
        return 0
    if not os.access(window, os.X_OK):
        raise SystemExit("%s not found: build the target tarvona (TARVONA_UI=ON)" % window)
    attached_rounds(build_dir, client, sizes, runs)
    with FtpServerEnv(build_dir) as server_env, WindowEnv(build_dir) as window_env:
        for env in (server_env, window_env):
            fill(env, sizes)
        server_env.start()
        window_env.start()
        benchlib.pin(server_env.proc.pid, window_env.proc.pid)
        inside_rounds(server_env, window_env, client, sizes, runs)
        log_flood(window_env, 2 if sizes.quick else 60)
    return benchlib.exit_status()


if __name__ == "__main__":
    sys.exit(main())
