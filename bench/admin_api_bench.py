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

    admin_api_bench.py BUILD_DIR [--runs N] [--python-clients] [--quick]

--quick: one round a side of 200 files and a 16 MiB download, a check that the script
runs rather than a figure.
"""
import os
import socket
import subprocess
import sys
import threading
import time

import benchlib
from ftp_server_env import FtpServerEnv

POLLERS = 10
POLL_PERIOD = 0.1


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


def measure(env, client, sizes):
    """(4 KiB files/s, MiB/s of the big download) of one round."""
    return (benchlib.small_files_rate(client, env.port, env.user, env.password,
                                      sizes.small_files),
            benchlib.download_rate(env.url("big.bin"), sizes.big))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    sizes = benchlib.Sizes(benchlib.quick_requested())
    runs = benchlib.runs_argument(sys.argv, 5)
    client = benchlib.compiled_client(build_dir, "bench_small_files")
    python_clients = "--python-clients" in sys.argv
    load_program = None if python_clients else benchlib.compiled_client(build_dir,
                                                                         "bench_admin_load")
    loads = []
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=100\nSavelog=1\n[Security]\nMaxPerAddress=0\n")
        benchlib.sparse_file(env.path("big.bin"), sizes.big)
        benchlib.fill_small(env.home, sizes.small_files)
        env.start()
        benchlib.pin(env.proc.pid)
        sock_path = env.prog + "tarvona.sock"
        measure(env, client, sizes)  # warm the page cache

        def loaded():
            load = (AdminLoad(sock_path) if python_clients
                    else CompiledAdminLoad(load_program, sock_path))
            loads.append(load)
            with load:
                return measure(env, client, sizes)

        quiet, busy = benchlib.alternate(runs, lambda: measure(env, client, sizes), loaded)
    print("clients: %s" % ("Python threads" if python_clients else "bench_admin_load"))
    benchlib.comparison_header("without API clients", "with %d pollers + live log" % POLLERS)
    benchlib.comparison_row("%d × 4 KiB files/s" % sizes.small_files,
                            [r[0] for r in quiet], [r[0] for r in busy])
    benchlib.comparison_row("%s download, MiB/s" % sizes.big_label(),
                            [r[1] for r in quiet], [r[1] for r in busy])
    load = loads[-1]
    print("last loaded run: %d polls answered, %d failed, %d log bytes read"
          % (load.polls, load.failures, load.log_bytes))
    # A poller that got no answer is a fault of the server, not a figure.
    return benchlib.exit_status(load.polls and not load.failures)


if __name__ == "__main__":
    sys.exit(main())
