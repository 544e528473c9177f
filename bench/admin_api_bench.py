"""The administration API's cost to the FTP service: the 4 KiB small-files rate of
this build's tarvona-server (bench_small_files: 2000 sequential RETRs in one session) and
the rate of a 1 GiB download (curl), without API clients and with 10 clients polling
GET /api/v1/sessions every 100 ms and one reading the live log, alternating in one run
(in the order quiet, loaded, loaded, quiet, ... so that a drift of the machine's load
weighs on both sides alike).

The server runs on CPU 0 and every client (bench_small_files, curl, the API clients) on
CPU 1: left to the scheduler, a 1 GiB download on this 2-core machine runs at one of two
rates about twice apart, depending on where the threads land, which hides a 5 % change.

The clients are bench_admin_load (compiled) unless --python-clients is given: then they
are Python threads in this process, whose own CPU time on this 2-core machine is more
than the server's work for them.

    admin_api_bench.py BUILD_DIR [--runs N] [--python-clients]
"""
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
from ftp_server_env import FtpServerEnv  # noqa: E402

POLLERS = 10
POLL_PERIOD = 0.1


BIG_BYTES = 1 << 30


def fill(home):
    # Sparse: the download measures the server, not the disk.
    with open(os.path.join(home, "big.bin"), "wb") as f:
        f.truncate(BIG_BYTES)
    os.makedirs(os.path.join(home, "small"))
    for i in range(2000):
        with open(os.path.join(home, "small", "s%04d.bin" % i), "wb") as f:
            f.write(os.urandom(4096))


def request(sock_path, target):
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(10)
        s.connect(sock_path)
        s.sendall(b"GET " + target + b" HTTP/1.1\r\nConnection: close\r\n\r\n")
        answer = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return answer
            answer += chunk


class AdminLoad:
    """The pollers and the log reader, while `with` lasts; counts what they got."""

    def __init__(self, sock_path):
        self.sock_path, self.stop = sock_path, threading.Event()
        self.polls = self.failures = self.log_bytes = 0
        self.threads = [threading.Thread(target=self.poll) for _ in range(POLLERS)]
        self.threads.append(threading.Thread(target=self.follow))

    def poll(self):
        while not self.stop.is_set():
            started = time.monotonic()
            try:
                ok = request(self.sock_path, b"/api/v1/sessions").startswith(b"HTTP/1.1 200")
            except OSError:
                ok = False
            self.polls += ok
            self.failures += not ok
            self.stop.wait(max(0.0, POLL_PERIOD - (time.monotonic() - started)))

    def follow(self):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(1)
            s.connect(self.sock_path)
            s.sendall(b"GET /api/v1/log?follow=1 HTTP/1.1\r\n\r\n")
            while not self.stop.is_set():
                try:
                    self.log_bytes += len(s.recv(65536))
                except socket.timeout:
                    pass

    def __enter__(self):
        for t in self.threads:
            t.start()
        return self

    def __exit__(self, *exception):
        self.stop.set()
        for t in self.threads:
            t.join()


class CompiledAdminLoad:
    """bench_admin_load in a process of its own, while `with` lasts."""

    def __init__(self, program, sock_path):
        self.command = [program, sock_path, str(POLLERS), str(int(POLL_PERIOD * 1000))]
        self.polls = self.failures = self.log_bytes = 0

    def __enter__(self):
        self.process = subprocess.Popen(self.command, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)
        return self

    def __exit__(self, *exception):
        out, _ = self.process.communicate(timeout=30)
        self.polls, self.failures, self.log_bytes = (int(x) for x in out.split())


def pin(server_pid):
    """The server (each of its threads; later ones inherit) on CPU 0, this process and
    the clients it starts on CPU 1."""
    for task in os.listdir("/proc/%d/task" % server_pid):
        try:
            os.sched_setaffinity(int(task), {0})
        except ProcessLookupError:
            pass  # a thread that ended meanwhile
    os.sched_setaffinity(0, {1})


def small_files_rate(client, env):
    out = subprocess.run([client, str(env.port), env.user, env.password,
                          "/small/s%04d.bin", "2000", "4096"],
                         capture_output=True, timeout=600)
    if out.returncode != 0:
        sys.exit("bench_small_files failed: %s" % out.stderr.decode(errors="replace"))
    return float(out.stdout)


def big_download_rate(env):
    """MiB/s of one 1 GiB RETR."""
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{speed_download}",
                          "ftp://%s:%s@127.0.0.1:%d/big.bin" % (env.user, env.password, env.port)],
                         capture_output=True, timeout=600, check=True)
    return float(out.stdout) / (1 << 20)


def row(name, runs, quiet, loaded):
    """Medians of each side, and the median of the ratios of neighbouring rounds (each
    loaded round against the quiet round beside it), which the machine's drift moves
    least."""
    q, l = statistics.median(quiet), statistics.median(loaded)
    paired = statistics.median(b / a for a, b in zip(quiet, loaded))
    print("| %s (median of %d) | %s -> %.0f | %s -> %.0f | %+.1f %% | %+.1f %% |"
          % (name, runs, ", ".join("%.0f" % r for r in quiet), q,
             ", ".join("%.0f" % r for r in loaded), l, 100.0 * (l - q) / q,
             100.0 * (paired - 1)))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 5
    client = os.path.join(build_dir, "bench", "bench_small_files")
    python_clients = "--python-clients" in sys.argv
    load_program = os.path.join(build_dir, "bench", "bench_admin_load")
    results = {False: ([], []), True: ([], [])}  # loaded -> (small, big)
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=100\nSavelog=1\n[Security]\nMaxPerAddress=0\n")
        fill(env.home)
        env.start()
        pin(env.proc.pid)
        sock_path = env.prog + "tarvona.sock"
        small_files_rate(client, env)  # warm the page cache
        big_download_rate(env)
        load = None
        for run in range(2 * runs):
            loaded = run % 4 in (1, 2)
            small, big = results[loaded]
            if not loaded:
                small.append(small_files_rate(client, env))
                big.append(big_download_rate(env))
                continue
            load = AdminLoad(sock_path) if python_clients else CompiledAdminLoad(load_program,
                                                                                 sock_path)
            with load:
                small.append(small_files_rate(client, env))
                big.append(big_download_rate(env))
    print("clients: %s" % ("Python threads" if python_clients else "bench_admin_load"))
    print("| rate | without API clients: runs -> median | with 10 pollers + live log | change"
          " of medians | median change of neighbours |")
    print("|---|---|---|---|---|")
    row("4 KiB files/s", runs, results[False][0], results[True][0])
    row("1 GiB download, MiB/s", runs, results[False][1], results[True][1])
    print("last loaded run: %d polls answered, %d failed, %d log bytes read"
          % (load.polls, load.failures, load.log_bytes))


if __name__ == "__main__":
    main()
